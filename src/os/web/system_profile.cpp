// A page keeps no INI files.
#include "os/system_profile.h"

#include "os/error.h"

namespace comsvc::os {

std::error_code ReadSystemProfileString(const std::string&, const std::string&, const std::string&, size_t,
                                        const std::string&, std::string&) {
  return Errc::kNotAvailable;
}

std::error_code WriteSystemProfileString(const std::string&, const std::string&, const std::string&,
                                         const std::string&) {
  return Errc::kNotAvailable;
}

}  // namespace comsvc::os
