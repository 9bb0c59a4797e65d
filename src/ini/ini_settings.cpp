#include <comsvc/ini_settings.h>

#include <optional>

#include <comsvc/code_page.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "ini/ini_profile.h"
#include "os/error.h"
#include "os/modules.h"
#include "os/path_rules.h"
#include "os/system_profile.h"

namespace comsvc::RWINI {
namespace {

constexpr size_t kValueBuffer = 2000;

struct FileName {
  std::u16string name;
  bool is_path = false;
};

FileName& Current() {
  static FileName file;
  return file;
}

std::u16string ModuleFolder() {
  std::optional<std::string> file = os::OwnModuleFile();
  return file ? Utf8ToUtf16(os::FolderOf(*file)) : std::u16string();
}

// The system's own INI store where it has one, else the library's engine;
// both take and give code-page bytes.
std::string ReadStored(const std::string& section, const std::string& key, const std::string& path,
                       const platform::CodePage& code_page) {
  std::string value;
  if (os::ReadSystemProfileString(section, key, "", kValueBuffer, path, value) == os::Errc::kNotAvailable) {
    value = platform::ReadProfileString(section, key, "", kValueBuffer, path, code_page);
  }
  return value;
}

bool Write(const std::u16string& path, const std::u16string& section, const std::u16string& key,
           const std::u16string& value) {
  const platform::CodePage& code_page = platform::CodePage::Current();
  const std::string bytes[] = {code_page.ToBytes(section), code_page.ToBytes(key), code_page.ToBytes(value),
                               code_page.ToBytes(path)};
  const std::error_code error = os::WriteSystemProfileString(bytes[0], bytes[1], bytes[2], bytes[3]);
  if (error != os::Errc::kNotAvailable) return !error;
  return platform::WriteProfileString(bytes[0], bytes[1], bytes[2], bytes[3], code_page);
}

}  // namespace

void SetIniName(std::u16string name) { Current() = {std::move(name), false}; }
void SetIniPath(std::u16string path) { Current() = {std::move(path), true}; }
const std::u16string& IniName() { return Current().name; }
bool IniNameIsPath() { return Current().is_path; }

std::u16string IniFilePath(const std::u16string& name) {
  const std::u16string path =
      Current().is_path ? name
                        : os::JoinPath<char16_t>(ModuleFolder(), name + u".ini", os::kNativeStyle);
  Current().is_path = false;
  return path;
}

std::u16string IniRead(const std::u16string& section, const std::u16string& key, const std::u16string& default_value) {
  const std::u16string path = IniFilePath(IniName());
  const platform::CodePage& code_page = platform::CodePage::Current();
  std::string stored = RaisingOutOfMemory(
      [&] { return ReadStored(code_page.ToBytes(section), code_page.ToBytes(key), code_page.ToBytes(path), code_page); });
  if (!stored.empty()) return code_page.FromBytes(stored.substr(0, stored.find('\0')));
  // The default goes to the file that was read, whether or not the caller
  // named it by a full path.
  Write(path, section, key, default_value);
  return default_value;
}

Value IniWrite(const std::u16string& section, const std::u16string& key, const std::u16string& value) {
  const std::u16string path = IniFilePath(IniName());
  return Value(static_cast<int16_t>(Write(path, section, key, value) ? 1 : 0));
}

}  // namespace comsvc::RWINI
