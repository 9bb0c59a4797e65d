// A page has no folders.
#include "os/known_folders.h"

namespace comsvc::os {

std::optional<std::string> KnownFolderPath(KnownFolder) { return std::nullopt; }

}  // namespace comsvc::os
