// The module is a page's script, not a file.
#include "os/modules.h"

namespace comsvc::os {

std::optional<std::string> OwnModuleFile() { return std::nullopt; }

}  // namespace comsvc::os
