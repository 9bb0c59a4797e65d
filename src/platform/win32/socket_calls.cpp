#include "platform/socket_calls.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include <comsvc/tcp_socket.h>
#include "platform/win32/socket_notice.h"

namespace comsvc::platform::socket_calls {
namespace {

// Winsock already reports in the numbers the socket's events carry; what
// ends a connection otherwise is an abort.
int32_t ErrorFromWinsock(int code) {
  switch (code) {
    case WSAECONNREFUSED:
    case WSAETIMEDOUT:
    case WSAECONNRESET:
    case WSAEHOSTUNREACH:
    case WSAEADDRNOTAVAIL:
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_DATA:
      return code;
    case WSAENETUNREACH:
      return static_cast<int32_t>(SocketError::kHostUnreachable);
    default:
      return static_cast<int32_t>(SocketError::kConnectionAborted);
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
  if (n > 0) return {Transfer::kMoved, static_cast<size_t>(n)};
  if (n == 0) return {Transfer::kEnded};
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return {Transfer::kWouldBlock};
  return {Transfer::kEnded, 0, ErrorFromWinsock(error)};
}

}  // namespace

int32_t ResolveAddresses(const std::string& host, int32_t port, addrinfo*& list) {
  StartWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (code == 0) return 0;
  list = nullptr;
  return ErrorFromWinsock(code);
}

void FreeAddresses(addrinfo* list) { freeaddrinfo(list); }

addrinfo* NextAddress(const addrinfo& address) { return address.ai_next; }

int StartConnecting(const addrinfo& address, int32_t& error) {
  const SOCKET s = socket(address.ai_family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    error = ErrorFromWinsock(WSAGetLastError());
    return -1;
  }
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0 ||
      WSAGetLastError() == WSAEWOULDBLOCK) {
    return static_cast<int>(s);
  }
  error = ErrorFromWinsock(WSAGetLastError());
  closesocket(s);
  return -1;
}

int32_t ConnectOutcome(int fd) {
  const int error = ConnectErrorOf(fd);
  return error == 0 ? 0 : ErrorFromWinsock(error);
}

Transfer Receive(int fd, char* buffer, size_t size) {
  return Transferred(recv(static_cast<SOCKET>(fd), buffer, ChunkOf(size), 0));
}

// A peer that accepts nothing more ends the connection as an abort.
Transfer Send(int fd, const char* data, size_t size) {
  Transfer sent = Transferred(send(static_cast<SOCKET>(fd), data, ChunkOf(size), 0));
  if (sent.outcome == Transfer::kEnded && sent.error == 0) sent.error = ErrorFromWinsock(WSAECONNABORTED);
  return sent;
}

void CloseDescriptor(int fd) { closesocket(static_cast<SOCKET>(fd)); }

}  // namespace comsvc::platform::socket_calls
