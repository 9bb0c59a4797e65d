// Splitting file-system paths into folder and name. Windows accepts "\\" and
// "/" alike and writes "\\"; everywhere else the separator is "/".
#pragma once

#include <string>

namespace comsvc::platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator16 = u'\\';
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr char16_t kPathSeparator16 = u'/';
inline constexpr const char* kPathSeparators = "/";
#endif

// Everything before the last "/": "." for a bare name, "/" for a file at the
// root.
inline std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of(kPathSeparators);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Everything after the last "/".
inline std::string NameOf(const std::string& path) {
  size_t slash = path.find_last_of(kPathSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace comsvc::platform
