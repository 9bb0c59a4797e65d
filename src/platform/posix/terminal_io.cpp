#include "platform/terminal_io.h"

#include <errno.h>
#include <unistd.h>

#include "core/utf8.h"

namespace comsvc::platform {

std::u16string ApplicationName() { return Utf8ToUtf16(program_invocation_short_name); }

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a closed terminal: nothing more to show
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

// Reads one line byte by byte, so that nothing after it is taken from the
// descriptor. nullopt at end of input before any byte.
std::optional<std::string> ReadLine(int fd) {
  std::string line;
  for (;;) {
    char byte;
    ssize_t got = read(fd, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
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
