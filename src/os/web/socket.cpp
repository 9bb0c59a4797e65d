// A page opens no TCP connections: every socket call is not available.
#include "os/socket.h"

#include "os/error.h"

namespace comsvc::os {

std::error_code Resolve(const std::string&, int32_t, std::vector<SocketAddress>&) { return Errc::kNotAvailable; }

std::error_code StartConnecting(const SocketAddress&, NativeSocket&) { return Errc::kNotAvailable; }

std::error_code ConnectOutcome(NativeSocket, std::error_code) { return Errc::kNotAvailable; }

Transfer Receive(NativeSocket, char*, size_t) { return {Transfer::kEnded, 0, Errc::kNotAvailable}; }

Transfer Send(NativeSocket, const char*, size_t) { return {Transfer::kEnded, 0, Errc::kNotAvailable}; }

void CloseSocket(NativeSocket) {}

}  // namespace comsvc::os
