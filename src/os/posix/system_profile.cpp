#include "os/system_profile.h"

#include "os/error.h"

namespace comsvc::os {

// A POSIX system keeps no INI files of its own.
std::error_code ReadSystemProfileString(const std::string&, const std::string&, const std::string&, size_t,
                                        const std::string&, std::string&) {
  return Errc::kNotAvailable;
}

std::error_code WriteSystemProfileString(const std::string&, const std::string&, const std::string&,
                                         const std::string&) {
  return Errc::kNotAvailable;
}

}  // namespace comsvc::os
