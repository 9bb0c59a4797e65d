#include "platform/socket_calls.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <comsvc/tcp_socket.h>

namespace comsvc::platform::socket_calls {
namespace {

int32_t ErrorFromErrno(int errno_value) {
  switch (errno_value) {
    case ECONNREFUSED:
      return static_cast<int32_t>(SocketError::kConnectionRefused);
    case ETIMEDOUT:
      return static_cast<int32_t>(SocketError::kTimedOut);
    case ECONNRESET:
      return static_cast<int32_t>(SocketError::kConnectionReset);
    case EHOSTUNREACH:
    case ENETUNREACH:
      return static_cast<int32_t>(SocketError::kHostUnreachable);
    case EADDRNOTAVAIL:
      return static_cast<int32_t>(SocketError::kAddressNotAvailable);
    default:  // EPIPE, ECONNABORTED and whatever else ends a connection
      return static_cast<int32_t>(SocketError::kConnectionAborted);
  }
}

int32_t ErrorFromResolver(int eai_code) {
  switch (eai_code) {
    case EAI_AGAIN:
      return static_cast<int32_t>(SocketError::kHostNotFoundTryAgain);
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return static_cast<int32_t>(SocketError::kNoData);
    default:
      return static_cast<int32_t>(SocketError::kHostNotFound);
  }
}

// A transfer's result, with interrupted calls to be retried by the caller.
template <typename Call>
Transfer Transferred(Call call) {
  for (;;) {
    const ssize_t n = call();
    if (n > 0) return {Transfer::kMoved, static_cast<size_t>(n)};
    if (n == 0) return {Transfer::kEnded};
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {Transfer::kWouldBlock};
    return {Transfer::kEnded, 0, ErrorFromErrno(errno)};
  }
}

}  // namespace

int32_t ResolveAddresses(const std::string& host, int32_t port, addrinfo*& list) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (code == 0) return 0;
  list = nullptr;
  return ErrorFromResolver(code);
}

void FreeAddresses(addrinfo* list) { freeaddrinfo(list); }

addrinfo* NextAddress(const addrinfo& address) { return address.ai_next; }

int StartConnecting(const addrinfo& address, int32_t& error) {
  const int fd = socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = ErrorFromErrno(errno);
    return -1;
  }
  if (connect(fd, address.ai_addr, address.ai_addrlen) == 0 || errno == EINPROGRESS) return fd;
  error = ErrorFromErrno(errno);
  close(fd);
  return -1;
}

int32_t ConnectOutcome(int fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  return error == 0 ? 0 : ErrorFromErrno(error);
}

Transfer Receive(int fd, char* buffer, size_t size) {
  return Transferred([&] { return recv(fd, buffer, size, 0); });
}

// A peer that accepts nothing more ends the connection as an abort.
Transfer Send(int fd, const char* data, size_t size) {
  Transfer sent = Transferred([&] { return send(fd, data, size, MSG_NOSIGNAL); });
  if (sent.outcome == Transfer::kEnded && sent.error == 0) sent.error = ErrorFromErrno(EPIPE);
  return sent;
}

void CloseDescriptor(int fd) { close(fd); }

}  // namespace comsvc::platform::socket_calls
