// The file of the module (executable or shared object) that holds this
// library's code, resolved to its real location (no symbolic links, no "."
// or ".."), in UTF-8.
#pragma once

#include <optional>
#include <string>

namespace comsvc::os {

std::optional<std::string> OwnModuleFile();

}  // namespace comsvc::os
