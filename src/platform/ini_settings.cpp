#include <comsvc/ini_settings.h>

#include <optional>

#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include "platform/ini_profile.h"
#include "platform/loaded_modules.h"
#include "platform/path_parts.h"
#include "platform/profile_store.h"

namespace comsvc::RWINI {

std::u16string IniName;
bool IniNameIsPath = false;

namespace {

constexpr size_t kValueBuffer = 2000;

std::u16string ModuleFolder() {
  std::optional<std::string> file = platform::OwnModuleFile();
  return file ? Utf8ToUtf16(platform::FolderOf(*file)) : std::u16string();
}

bool Write(const std::u16string& path, const std::u16string& section, const std::u16string& key,
           const std::u16string& value) {
  const platform::CodePage& code_page = platform::CodePage::Current();
  return platform::WriteStoredProfileString(code_page.ToBytes(section), code_page.ToBytes(key), code_page.ToBytes(value),
                                      code_page.ToBytes(path), code_page);
}

}  // namespace

std::u16string IniFilePath(const std::u16string& name) {
  std::u16string path = IniNameIsPath ? name : ModuleFolder() + platform::kPathSeparator16 + name + u".ini";
  IniNameIsPath = false;
  return path;
}

std::u16string IniRead(const std::u16string& section, const std::u16string& key, const std::u16string& default_value) {
  const std::u16string path = IniFilePath(IniName);
  const platform::CodePage& code_page = platform::CodePage::Current();
  std::string stored = platform::ReadStoredProfileString(code_page.ToBytes(section), code_page.ToBytes(key), "", kValueBuffer,
                                                   code_page.ToBytes(path), code_page);
  if (!stored.empty()) return code_page.FromBytes(stored.substr(0, stored.find('\0')));
  // The default goes to the file that was read, whether or not the caller
  // named it by a full path.
  Write(path, section, key, default_value);
  return default_value;
}

Value IniWrite(const std::u16string& section, const std::u16string& key, const std::u16string& value) {
  const std::u16string path = IniFilePath(IniName);
  return Value(static_cast<int16_t>(Write(path, section, key, value) ? 1 : 0));
}

}  // namespace comsvc::RWINI
