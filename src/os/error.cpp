#include "os/error.h"

#include <string>

namespace comsvc::os {
namespace {

class SeamCategory : public std::error_category {
 public:
  const char* name() const noexcept override { return "comsvc-os"; }
  std::string message(int value) const override {
    switch (static_cast<Errc>(value)) {
      case Errc::kNotRegularFile: return "not a regular file";
      case Errc::kFileTooLarge: return "file too large";
      case Errc::kNotAvailable: return "not available on this system";
      case Errc::kConnectionRefused: return "connection refused";
      case Errc::kTimedOut: return "timed out";
      case Errc::kConnectionReset: return "connection reset by peer";
      case Errc::kConnectionAborted: return "connection aborted";
      case Errc::kHostUnreachable: return "no route to host";
      case Errc::kAddressNotAvailable: return "address not available";
      case Errc::kHostNotFound: return "host not found";
      case Errc::kHostNotFoundTryAgain: return "host not found, try again";
      case Errc::kNoData: return "no address for the name";
    }
    return "unknown error";
  }
};

}  // namespace

const std::error_category& Category() noexcept {
  static const SeamCategory category;
  return category;
}

}  // namespace comsvc::os
