#include <comsvc/tcp_socket.h>

#include <algorithm>
#include <string>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include "platform/socket_calls.h"

namespace comsvc::platform {

namespace {

constexpr size_t kReadChunk = 64 * 1024;
// One readiness takes at most this much, so that a peer sending faster than
// the owner reads cannot make a single arrival as large as its whole reply.
constexpr size_t kMaxReadPerEvent = 1024 * 1024;

[[noreturn]] void RaiseBadState() {
  throw RuntimeError(static_cast<int32_t>(SocketError::kBadState),
                     EncodeUtf8(SocketErrorDescription(SocketError::kBadState)));
}

}  // namespace

namespace calls = socket_calls;

struct TcpSocket::Resolved {
  addrinfo* list = nullptr;
  addrinfo* next = nullptr;  // the address to try after the current one
  ~Resolved() {
    if (list) calls::FreeAddresses(list);
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
  auto resolved = std::make_unique<Resolved>();
  if (int32_t error = calls::ResolveAddresses(host, remote_port_, resolved->list)) {
    Fail(error);
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
  int32_t last_error = static_cast<int32_t>(SocketError::kConnectionRefused);
  while (resolved_ && resolved_->next) {
    const addrinfo& address = *resolved_->next;
    resolved_->next = calls::NextAddress(address);
    fd_ = calls::StartConnecting(address, last_error);
    if (fd_ >= 0) {
      watch_ = loop_.WatchFd(fd_, MessageLoop::kWritable, [this](unsigned ready) { OnReady(ready); });
      return;
    }
  }
  Fail(last_error);
}

// The descriptor became writable (or failed) while connecting: the attempt
// is over, one way or the other.
void TcpSocket::OnConnectReady() {
  if (int32_t error = calls::ConnectOutcome(fd_)) {
    loop_.UnwatchFd(watch_);
    watch_ = 0;
    calls::CloseDescriptor(fd_);
    fd_ = -1;
    if (resolved_ && resolved_->next) {
      TryNextAddress();
    } else {
      Fail(error);
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
  calls::Transfer read{calls::Transfer::kMoved};
  while (read.outcome == calls::Transfer::kMoved && received_.size() - before < kMaxReadPerEvent) {
    size_t old_size = received_.size();
    received_.resize(old_size + kReadChunk);
    read = calls::Receive(fd_, received_.data() + old_size, kReadChunk);
    received_.resize(old_size + read.count);
  }
  // Past the limit, the rest comes with the next readiness.
  if (received_.size() > before) {
    Deliver([this] {
      if (!received_.empty() && events_.data_arrival) events_.data_arrival(received_.size());
    });
  }
  if (read.outcome != calls::Transfer::kEnded) return;
  if (read.error != 0) {
    Fail(read.error);
  } else {
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
    const calls::Transfer write = calls::Send(fd_, unsent_.data() + sent, unsent_.size() - sent);
    if (write.outcome == calls::Transfer::kWouldBlock) break;
    if (write.outcome == calls::Transfer::kEnded) {
      Fail(write.error);
      return;
    }
    sent += write.count;
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

void TcpSocket::ReleaseDescriptor() {
  if (watch_ != 0) loop_.UnwatchFd(watch_);
  if (connect_timer_ != 0) loop_.StopTimer(connect_timer_);
  watch_ = 0;
  connect_timer_ = 0;
  resolved_.reset();
  if (fd_ >= 0) calls::CloseDescriptor(fd_);
  fd_ = -1;
}

}  // namespace comsvc::platform
