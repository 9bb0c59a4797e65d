// The files of the objects the dynamic loader has loaded.
#pragma once

#include <optional>
#include <string>

namespace comsvc::os {

// The C library the process loaded (libc.so.*), resolved to its real place.
std::optional<std::string> CLibraryFile();

}  // namespace comsvc::os
