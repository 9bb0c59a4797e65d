// Files of the modules (executable and shared objects) loaded in the process.
// Paths are file-system paths (UTF-8 bytes), resolved to their real
// location: no symbolic links, no "." or "..".
#pragma once

#include <optional>
#include <string>

namespace comsvc::platform {

// The executable or shared object that holds this library's code.
std::optional<std::string> OwnModuleFile();

// The C library the process loaded (libc.so.*).
std::optional<std::string> CLibraryFile();

}  // namespace comsvc::platform
