// How the operating-system seam reports failure: a std::error_code.
//
// What the system itself names comes in std::system_category(): errno values
// on POSIX, Win32 and Winsock codes on Windows. The few failures the seam
// names on its own come in os::Category(): a file that is not a regular file
// or too large to read whole, a service the system does not have, and a
// socket's failure by kind, so that the socket above gives each kind its
// number without knowing any system's codes.
#pragma once

#include <system_error>
#include <type_traits>

namespace comsvc::os {

enum class Errc {
  kNotRegularFile = 1,
  kFileTooLarge,
  kNotAvailable,
  // A socket's failures.
  kConnectionRefused,
  kTimedOut,
  kConnectionReset,
  kConnectionAborted,
  kHostUnreachable,
  kAddressNotAvailable,
  kHostNotFound,
  kHostNotFoundTryAgain,
  kNoData,
};

const std::error_category& Category() noexcept;

inline std::error_code make_error_code(Errc e) noexcept { return {static_cast<int>(e), Category()}; }

// The last error of the calling thread as the system reports it (errno, or
// GetLastError on Windows).
std::error_code LastSystemError() noexcept;

}  // namespace comsvc::os

template <>
struct std::is_error_code_enum<comsvc::os::Errc> : std::true_type {};
