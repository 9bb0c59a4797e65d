#include "os/system_profile.h"

#include <windows.h>

#include <string_view>
#include <vector>

#include "os/error.h"

namespace comsvc::os {
namespace {

// The ANSI profile functions fail hard on an empty section or key name
// ("works only in unicode"), so such names never reach them: the library's
// own engine answers, as it does on every other system. A name ends at its
// first NUL, as the system would read it.
bool EmptyName(const std::string& name) { return name.c_str()[0] == '\0'; }

}  // namespace

// Windows keeps INI files itself; its ANSI functions read and write them in
// the system's code page.
std::error_code ReadSystemProfileString(const std::string& section, const std::string& key,
                                        const std::string& default_value, size_t buffer_size,
                                        const std::string& path, std::string& value) {
  value.clear();
  if (EmptyName(section) || EmptyName(key)) return Errc::kNotAvailable;
  if (buffer_size == 0) return {};
  std::vector<char> buffer(buffer_size, '\0');
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(), buffer.data(),
                                                static_cast<DWORD>(buffer_size), path.c_str());
  value.assign(buffer.data(), length);
  return {};
}

std::error_code WriteSystemProfileString(const std::string& section, const std::string& key,
                                         const std::string& value, const std::string& path) {
  if (EmptyName(section) || EmptyName(key)) return Errc::kNotAvailable;
  // The system would write a CR or LF as it is, splitting the value into
  // stray lines and keys; the engine refuses such a value, as on every system.
  if (std::string_view(value.c_str()).find_first_of("\r\n") != std::string_view::npos) return Errc::kNotAvailable;
  if (WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str())) return {};
  return LastSystemError();
}

}  // namespace comsvc::os
