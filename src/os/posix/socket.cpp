#include "os/socket.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/error.h"

namespace comsvc::os {
namespace {

std::error_code FromErrno(int errno_value) {
  switch (errno_value) {
    case ECONNREFUSED: return Errc::kConnectionRefused;
    case ETIMEDOUT: return Errc::kTimedOut;
    case ECONNRESET: return Errc::kConnectionReset;
    case EHOSTUNREACH:
    case ENETUNREACH: return Errc::kHostUnreachable;
    case EADDRNOTAVAIL: return Errc::kAddressNotAvailable;
    default: return Errc::kConnectionAborted;  // EPIPE, ECONNABORTED and whatever else ends a connection
  }
}

std::error_code FromResolver(int eai_code) {
  switch (eai_code) {
    case EAI_AGAIN: return Errc::kHostNotFoundTryAgain;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return Errc::kNoData;
    default: return Errc::kHostNotFound;
  }
}

// A transfer's result; interrupted calls are made again.
template <typename Call>
Transfer Transferred(Call call) {
  for (;;) {
    const ssize_t n = call();
    if (n > 0) return {Transfer::kMoved, static_cast<size_t>(n), {}};
    if (n == 0) return {Transfer::kEnded, 0, {}};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {Transfer::kWouldBlock, 0, {}};
    return {Transfer::kEnded, 0, FromErrno(errno)};
  }
}

}  // namespace

std::error_code Resolve(const std::string& host, int32_t port, std::vector<SocketAddress>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list)) {
    return FromResolver(code);
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
  const int fd = socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return FromErrno(errno);
  const auto* target = reinterpret_cast<const sockaddr*>(address.bytes.data());
  if (connect(fd, target, static_cast<socklen_t>(address.length)) != 0 && errno != EINPROGRESS) {
    const std::error_code error = FromErrno(errno);
    close(fd);
    return error;
  }
  socket_out = fd;
  return {};
}

std::error_code ConnectOutcome(NativeSocket socket, std::error_code) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return error == 0 ? std::error_code() : FromErrno(error);
}

Transfer Receive(NativeSocket socket, char* buffer, size_t size) {
  return Transferred([&] { return recv(socket, buffer, size, 0); });
}

Transfer Send(NativeSocket socket, const char* data, size_t size) {
  Transfer sent = Transferred([&] { return send(socket, data, size, MSG_NOSIGNAL); });
  if (sent.outcome == Transfer::kEnded && !sent.error) sent.error = FromErrno(EPIPE);
  return sent;
}

void CloseSocket(NativeSocket socket) { close(socket); }

}  // namespace comsvc::os
