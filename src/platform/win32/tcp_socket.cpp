#include <comsvc/tcp_socket.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include "platform/win32/socket_notice.h"

namespace comsvc::platform {

namespace {

constexpr size_t kReadChunk = 64 * 1024;

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

[[noreturn]] void RaiseBadState() {
  throw RuntimeError(static_cast<int32_t>(SocketError::kBadState),
                     EncodeUtf8(SocketErrorDescription(SocketError::kBadState)));
}

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

}  // namespace

struct TcpSocket::Resolved {
  addrinfo* list = nullptr;
  addrinfo* next = nullptr;  // the address to try after the current one
  ~Resolved() {
    if (list) freeaddrinfo(list);
  }
};

TcpSocket::TcpSocket(MessageLoop& loop) : loop_(loop), generation_(std::make_shared<uint64_t>(0)) {}

TcpSocket::~TcpSocket() { ReleaseDescriptor(); }

void TcpSocket::SetEvents(Events events) { events_ = std::move(events); }

void TcpSocket::Deliver(std::function<void()> event) {
  std::weak_ptr<uint64_t> alive = generation_;
  uint64_t generation = *generation_;
  loop_.PostTask([alive, generation, event = std::move(event)] {
    auto current = alive.lock();
    if (current && *current == generation) event();
  });
}

void TcpSocket::Connect() {
  if (state_ != State::kClosed) RaiseBadState();
  state_ = State::kResolving;
  // Resolution runs on the next turn, so that even an immediate failure
  // reaches the caller as an event after Connect has returned.
  Deliver([this] { StartResolving(); });
}

void TcpSocket::StartResolving() {
  if (remote_port_ < 1 || remote_port_ > 65535) {
    Fail(static_cast<int32_t>(SocketError::kAddressNotAvailable));
    return;
  }
  std::string host = CodePage::Current().ToBytes(remote_host_);
  if (host.empty() || host.find('\0') != std::string::npos) {
    Fail(static_cast<int32_t>(SocketError::kHostNotFound));
    return;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  auto resolved = std::make_unique<Resolved>();
  StartWinsock();
  int code = getaddrinfo(host.c_str(), std::to_string(remote_port_).c_str(), &hints, &resolved->list);
  if (code != 0) {
    resolved->list = nullptr;
    Fail(ErrorFromWinsock(code));
    return;
  }
  resolved->next = resolved->list;
  resolved_ = std::move(resolved);
  state_ = State::kConnecting;
  connect_timer_ = loop_.StartOneShot(connect_timeout_, [this] {
    connect_timer_ = 0;
    Fail(static_cast<int32_t>(SocketError::kTimedOut));
  });
  TryNextAddress();
}

// Tries the resolved addresses in order ("localhost" may name ::1 before
// 127.0.0.1); the error of the last one is the one reported.
void TcpSocket::TryNextAddress() {
  int last_error = WSAECONNREFUSED;
  while (resolved_ && resolved_->next) {
    addrinfo* address = resolved_->next;
    resolved_->next = address->ai_next;
    SOCKET s = socket(address->ai_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
      last_error = WSAGetLastError();
      continue;
    }
    fd_ = static_cast<int>(s);
    u_long non_blocking = 1;
    ioctlsocket(s, FIONBIO, &non_blocking);
    if (connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0 ||
        WSAGetLastError() == WSAEWOULDBLOCK) {
      watch_ = loop_.WatchFd(fd_, MessageLoop::kWritable, [this](unsigned ready) { OnReady(ready); });
      return;
    }
    last_error = WSAGetLastError();
    closesocket(s);
    fd_ = -1;
  }
  FailWithErrno(last_error);
}

// The descriptor became writable (or failed) while connecting: the attempt
// is over, one way or the other.
void TcpSocket::OnConnectReady() {
  int error = ConnectErrorOf(fd_);
  if (error != 0) {
    loop_.UnwatchFd(watch_);
    watch_ = 0;
    closesocket(static_cast<SOCKET>(fd_));
    fd_ = -1;
    if (resolved_ && resolved_->next) {
      TryNextAddress();
    } else {
      FailWithErrno(error);
    }
    return;
  }
  loop_.StopTimer(connect_timer_);
  connect_timer_ = 0;
  resolved_.reset();
  state_ = State::kConnected;
  loop_.ChangeWatch(watch_, MessageLoop::kReadable);
  Deliver([this] {
    if (events_.connected) events_.connected();
  });
}

void TcpSocket::OnReady(unsigned ready) {
  if (state_ == State::kConnecting) {
    OnConnectReady();
    return;
  }
  if (ready & MessageLoop::kWritable) FlushSendQueue();
  if (state_ == State::kConnected && (ready & (MessageLoop::kReadable | MessageLoop::kHangUp | MessageLoop::kError))) {
    ReadArrived();
  }
}

void TcpSocket::ReadArrived() {
  size_t before = received_.size();
  bool peer_closed = false;
  int read_error = 0;
  for (;;) {
    size_t old_size = received_.size();
    received_.resize(old_size + kReadChunk);
    const int n = recv(static_cast<SOCKET>(fd_), received_.data() + old_size, static_cast<int>(kReadChunk), 0);
    received_.resize(old_size + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n > 0) continue;
    if (n == 0) {
      peer_closed = true;
    } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
      read_error = WSAGetLastError();
    }
    break;
  }
  if (received_.size() > before) {
    Deliver([this] {
      if (!received_.empty() && events_.data_arrival) events_.data_arrival(received_.size());
    });
  }
  if (read_error != 0) {
    FailWithErrno(read_error);
  } else if (peer_closed) {
    ReleaseDescriptor();
    state_ = State::kClosing;
    Deliver([this] {
      if (events_.closed_by_peer) events_.closed_by_peer();
    });
  }
}

void TcpSocket::SendData(std::u16string_view text) {
  if (state_ != State::kConnected) RaiseBadState();
  unsent_ += CodePage::Current().ToBytes(text);
  FlushSendQueue();
}

void TcpSocket::FlushSendQueue() {
  size_t sent = 0;
  while (sent < unsent_.size()) {
    const int n = send(static_cast<SOCKET>(fd_), unsent_.data() + sent,
                       static_cast<int>(std::min<size_t>(unsent_.size() - sent, 1 << 20)), 0);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
      break;
    } else {
      FailWithErrno(n < 0 ? WSAGetLastError() : WSAECONNABORTED);
      return;
    }
  }
  unsent_.erase(0, sent);
  unsigned wanted = MessageLoop::kReadable | (unsent_.empty() ? 0u : unsigned{MessageLoop::kWritable});
  loop_.ChangeWatch(watch_, wanted);
}

std::u16string TcpSocket::GetData(size_t max_bytes) {
  size_t count = std::min(max_bytes, received_.size());
  std::u16string text = CodePage::Current().FromBytes(std::string_view(received_).substr(0, count));
  received_.erase(0, count);
  return text;
}

void TcpSocket::Close() {
  ReleaseDescriptor();
  received_.clear();
  unsent_.clear();
  state_ = State::kClosed;
  ++*generation_;
}

void TcpSocket::Fail(int32_t error_number) {
  ReleaseDescriptor();
  unsent_.clear();
  state_ = State::kError;
  Deliver([this, error_number] {
    if (events_.error) events_.error(error_number, SocketErrorDescription(static_cast<SocketError>(error_number)));
  });
}

void TcpSocket::FailWithErrno(int error) { Fail(ErrorFromWinsock(error)); }

void TcpSocket::ReleaseDescriptor() {
  if (watch_ != 0) loop_.UnwatchFd(watch_);
  if (connect_timer_ != 0) loop_.StopTimer(connect_timer_);
  watch_ = 0;
  connect_timer_ = 0;
  resolved_.reset();
  if (fd_ >= 0) closesocket(static_cast<SOCKET>(fd_));
  fd_ = -1;
}

}  // namespace comsvc::platform
