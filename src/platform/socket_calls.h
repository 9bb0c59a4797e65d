// The operating system's socket calls beneath TcpSocket. Descriptors are
// ints; every failure comes back already as the socket's error number
// (SocketError), so the connection logic above stays the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct addrinfo;

namespace comsvc::platform::socket_calls {

// The TCP addresses of `host` for `port`, in the resolver's order, into
// `list` (released with FreeAddresses); returns 0 or the error number.
int32_t ResolveAddresses(const std::string& host, int32_t port, addrinfo*& list);
void FreeAddresses(addrinfo* list);
addrinfo* NextAddress(const addrinfo& address);

// Opens a non-blocking socket and starts connecting it to `address`: the
// descriptor, or -1 with the error number in `error`.
int StartConnecting(const addrinfo& address, int32_t& error);
// Once the descriptor is writable or failed: 0 when connected, otherwise
// the error that ended the attempt.
int32_t ConnectOutcome(int fd);

// One non-blocking receive or send.
struct Transfer {
  enum Outcome { kMoved, kWouldBlock, kEnded } outcome;
  size_t count = 0;    // bytes moved, for kMoved
  int32_t error = 0;   // for kEnded: the error number, or 0 when the peer closed
};
Transfer Receive(int fd, char* buffer, size_t size);
Transfer Send(int fd, const char* data, size_t size);

void CloseDescriptor(int fd);

}  // namespace comsvc::platform::socket_calls
