#include "os/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "os/error.h"

namespace comsvc::os {
namespace {

std::error_code FromWinsock(int code) {
  switch (code) {
    case WSAECONNREFUSED: return Errc::kConnectionRefused;
    case WSAETIMEDOUT: return Errc::kTimedOut;
    case WSAECONNRESET: return Errc::kConnectionReset;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH: return Errc::kHostUnreachable;
    case WSAEADDRNOTAVAIL: return Errc::kAddressNotAvailable;
    case WSAHOST_NOT_FOUND: return Errc::kHostNotFound;
    case WSATRY_AGAIN: return Errc::kHostNotFoundTryAgain;
    case WSANO_DATA: return Errc::kNoData;
    default: return Errc::kConnectionAborted;  // whatever else ends a connection
  }
}

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

// Winsock's lengths are ints: a larger transfer goes in several calls.
int ChunkOf(size_t size) { return static_cast<int>(std::min<size_t>(size, 1 << 20)); }

Transfer Transferred(int n) {
  if (n > 0) return {Transfer::kMoved, static_cast<size_t>(n), {}};
  if (n == 0) return {Transfer::kEnded, 0, {}};
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return {Transfer::kWouldBlock, 0, {}};
  return {Transfer::kEnded, 0, FromWinsock(error)};
}

}  // namespace

std::error_code Resolve(const std::string& host, int32_t port, std::vector<SocketAddress>& addresses) {
  StartWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list)) {
    return FromWinsock(code);
  }
  addresses.clear();
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    SocketAddress address;
    if (a->ai_addrlen > address.bytes.size()) continue;
    address.family = a->ai_family;
    address.length = a->ai_addrlen;
    std::memcpy(address.bytes.data(), a->ai_addr, a->ai_addrlen);
    addresses.push_back(address);
  }
  freeaddrinfo(list);
  return addresses.empty() ? Errc::kNoData : std::error_code();
}

std::error_code StartConnecting(const SocketAddress& address, NativeSocket& socket_out) {
  const SOCKET s = socket(address.family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return FromWinsock(WSAGetLastError());
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  const auto* target = reinterpret_cast<const sockaddr*>(address.bytes.data());
  if (connect(s, target, static_cast<int>(address.length)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
    const std::error_code error = FromWinsock(WSAGetLastError());
    closesocket(s);
    return error;
  }
  socket_out = s;
  return {};
}

// Winsock tells why an attempt failed in the notification that reports it;
// the socket's own error state is the fallback.
std::error_code ConnectOutcome(NativeSocket socket, std::error_code reported) {
  if (reported) return FromWinsock(reported.value());
  int error = 0;
  int length = sizeof error;
  getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  return error == 0 ? std::error_code() : FromWinsock(error);
}

Transfer Receive(NativeSocket socket, char* buffer, size_t size) {
  return Transferred(recv(socket, buffer, ChunkOf(size), 0));
}

Transfer Send(NativeSocket socket, const char* data, size_t size) {
  Transfer sent = Transferred(send(socket, data, ChunkOf(size), 0));
  if (sent.outcome == Transfer::kEnded && !sent.error) sent.error = FromWinsock(WSAECONNABORTED);
  return sent;
}

void CloseSocket(NativeSocket socket) { closesocket(socket); }

}  // namespace comsvc::os
