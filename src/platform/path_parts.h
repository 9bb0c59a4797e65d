// Splitting file-system paths ("/" separated) into folder and name.
#pragma once

#include <string>

namespace comsvc::platform {

// Everything before the last "/": "." for a bare name, "/" for a file at the
// root.
inline std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Everything after the last "/".
inline std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace comsvc::platform
