#include "platform/profile_store.h"

#include <windows.h>

#include <string>
#include <vector>

namespace comsvc::platform {

// Windows keeps INI files itself; its ANSI functions read and write them in
// the system's code page.
std::string ReadStoredProfileString(std::string_view section, std::string_view key, std::string_view default_value,
                                    size_t buffer_size, std::string_view path, const CodePage&) {
  if (buffer_size == 0) return "";
  std::vector<char> buffer(buffer_size, '\0');
  const DWORD length = GetPrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                                std::string(default_value).c_str(), buffer.data(),
                                                static_cast<DWORD>(buffer_size), std::string(path).c_str());
  return std::string(buffer.data(), length);
}

bool WriteStoredProfileString(std::string_view section, std::string_view key, std::string_view value,
                              std::string_view path, const CodePage&) {
  return WritePrivateProfileStringA(std::string(section).c_str(), std::string(key).c_str(),
                                    std::string(value).c_str(), std::string(path).c_str()) != 0;
}

}  // namespace comsvc::platform
