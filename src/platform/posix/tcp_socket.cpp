#include <comsvc/tcp_socket.h>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/code_page.h>

namespace comsvc::platform {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
// One readiness takes at most this much, so that a peer sending faster than
// the owner reads cannot make a single arrival as large as its whole reply.
constexpr size_t kMaxReadPerEvent = 1024 * 1024;

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

[[noreturn]] void RaiseBadState() {
  throw RuntimeError(static_cast<int32_t>(SocketError::kBadState),
                     EncodeUtf8(SocketErrorDescription(SocketError::kBadState)));
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
  int code = getaddrinfo(host.c_str(), std::to_string(remote_port_).c_str(), &hints, &resolved->list);
  if (code != 0) {
    resolved->list = nullptr;
    Fail(ErrorFromResolver(code));
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
  int last_errno = ECONNREFUSED;
  while (resolved_ && resolved_->next) {
    addrinfo* address = resolved_->next;
    resolved_->next = address->ai_next;
    fd_ = socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
      last_errno = errno;
      continue;
    }
    if (connect(fd_, address->ai_addr, address->ai_addrlen) == 0 || errno == EINPROGRESS) {
      watch_ = loop_.WatchFd(fd_, MessageLoop::kWritable, [this](unsigned ready) { OnReady(ready); });
      return;
    }
    last_errno = errno;
    close(fd_);
    fd_ = -1;
  }
  FailWithErrno(last_errno);
}

// The descriptor became writable (or failed) while connecting: the attempt
// is over, one way or the other.
void TcpSocket::OnConnectReady() {
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error != 0) {
    loop_.UnwatchFd(watch_);
    watch_ = 0;
    close(fd_);
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
  int read_errno = 0;
  for (;;) {
    size_t old_size = received_.size();
    received_.resize(old_size + kReadChunk);
    ssize_t n = recv(fd_, received_.data() + old_size, kReadChunk, 0);
    received_.resize(old_size + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n > 0 && received_.size() - before < kMaxReadPerEvent) continue;
    if (n > 0) break;  // the rest comes with the next readiness
    if (n == 0) {
      peer_closed = true;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      read_errno = errno;
    }
    break;
  }
  if (received_.size() > before) {
    Deliver([this] {
      if (!received_.empty() && events_.data_arrival) events_.data_arrival(received_.size());
    });
  }
  if (read_errno != 0) {
    FailWithErrno(read_errno);
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
    ssize_t n = send(fd_, unsent_.data() + sent, unsent_.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else {
      FailWithErrno(n < 0 ? errno : EPIPE);
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

void TcpSocket::FailWithErrno(int errno_value) { Fail(ErrorFromErrno(errno_value)); }

void TcpSocket::ReleaseDescriptor() {
  if (watch_ != 0) loop_.UnwatchFd(watch_);
  if (connect_timer_ != 0) loop_.StopTimer(connect_timer_);
  watch_ = 0;
  connect_timer_ = 0;
  resolved_.reset();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace comsvc::platform
