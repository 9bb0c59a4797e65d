#include "os/error.h"
#include "socket/tcp_socket.h"

namespace comsvc::platform {

std::u16string SocketErrorDescription(SocketError error) {
  switch (error) {
    case SocketError::kAddressNotAvailable:
      return u"Address not available from the local machine";
    case SocketError::kConnectionAborted:
      return u"Connection is aborted due to timeout or other failure";
    case SocketError::kConnectionReset:
      return u"The connection is reset by remote side";
    case SocketError::kTimedOut:
      return u"The attempt to connect timed out";
    case SocketError::kConnectionRefused:
      return u"Connection is forcefully rejected";
    case SocketError::kHostUnreachable:
      return u"No route to host";
    case SocketError::kHostNotFound:
      return u"Authoritative answer: Host not found";
    case SocketError::kHostNotFoundTryAgain:
      return u"Non-Authoritative answer: Host not found";
    case SocketError::kNoData:
      return u"Valid name, no data record of requested type";
    case SocketError::kBadState:
      return u"Wrong protocol or connection state for the requested transaction or request";
  }
  return u"";
}

SocketError SocketErrorOf(std::error_code failure) {
  if (failure.category() != os::Category()) return SocketError::kConnectionAborted;
  switch (static_cast<os::Errc>(failure.value())) {
    case os::Errc::kConnectionRefused: return SocketError::kConnectionRefused;
    case os::Errc::kTimedOut: return SocketError::kTimedOut;
    case os::Errc::kConnectionReset: return SocketError::kConnectionReset;
    case os::Errc::kHostUnreachable: return SocketError::kHostUnreachable;
    case os::Errc::kAddressNotAvailable: return SocketError::kAddressNotAvailable;
    case os::Errc::kHostNotFound: return SocketError::kHostNotFound;
    case os::Errc::kHostNotFoundTryAgain: return SocketError::kHostNotFoundTryAgain;
    case os::Errc::kNoData: return SocketError::kNoData;
    default: return SocketError::kConnectionAborted;
  }
}

}  // namespace comsvc::platform
