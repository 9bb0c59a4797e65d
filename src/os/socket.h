// TCP client sockets as the system provides them: resolving, a non-blocking
// connect, and non-blocking transfers. Failures come back as Errc socket
// kinds (see error.h), whatever the system's own codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "os/handles.h"

namespace comsvc::os {

// One resolved address, as the system's socket calls take it.
struct SocketAddress {
  int family = 0;
  size_t length = 0;
  std::array<unsigned char, 128> bytes{};  // the size of a sockaddr_storage
};

// The TCP addresses of `host` (its code-page bytes) for `port`, in the
// resolver's order. Resolving a name blocks until the resolver answers.
std::error_code Resolve(const std::string& host, int32_t port, std::vector<SocketAddress>& addresses);

// Opens a non-blocking socket into `socket` and starts connecting it.
std::error_code StartConnecting(const SocketAddress& address, NativeSocket& socket);

// Once the socket is writable or failed: nothing when connected, otherwise
// why the attempt ended. `reported` is the error the readiness report
// carried, if any.
std::error_code ConnectOutcome(NativeSocket socket, std::error_code reported);

// One non-blocking receive or send.
struct Transfer {
  enum Outcome { kMoved, kWouldBlock, kEnded } outcome;
  size_t count = 0;        // bytes moved, for kMoved
  std::error_code error;   // for kEnded: why, or nothing when the peer closed
};
Transfer Receive(NativeSocket socket, char* buffer, size_t size);
// A peer that takes nothing more ends the connection as an abort.
Transfer Send(NativeSocket socket, const char* data, size_t size);

void CloseSocket(NativeSocket socket);

}  // namespace comsvc::os
