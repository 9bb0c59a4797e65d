#include "platform/terminal_io.h"

#include <io.h>
#include <windows.h>

#include <comsvc/utf8.h>
#include "platform/loaded_modules.h"
#include "platform/path_parts.h"

namespace comsvc::platform {

std::u16string ApplicationName() {
  std::optional<std::string> file = OwnModuleFile();
  if (!file) return u"";
  std::string name = NameOf(*file);
  if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
  return Utf8ToUtf16(name);
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const int written = _write(fd, bytes.data(), static_cast<unsigned>(std::min<size_t>(bytes.size(), 1 << 20)));
    if (written <= 0) return;  // a closed terminal: nothing more to show
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

std::optional<std::string> ReadLine(int fd) {
  std::string line;
  for (;;) {
    char byte;
    if (_read(fd, &byte, 1) <= 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (byte == '\n') break;
    line.push_back(byte);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace comsvc::platform
