#include "socket/tcp_socket.h"

#include <algorithm>
#include <string>
#include <utility>

#include "os/error.h"

#include <comsvc/code_page.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>

namespace comsvc::platform {

namespace {

// One readiness takes one read of at most this much; the rest comes with
// the next. A peer sending faster than the owner reads then makes many small
// arrivals, never one as large as its whole reply, and the copies an owner
// makes of an arrival (its bytes, their text, what it writes of them) stay
// small beside what it keeps.
constexpr size_t kReadChunk = 64 * 1024;

[[noreturn]] void RaiseBadState() {
  throw RuntimeError(static_cast<int32_t>(SocketError::kBadState),
                     EncodeUtf8(SocketErrorDescription(SocketError::kBadState)));
}

}  // namespace

TcpSocket::TcpSocket(MessageLoop& loop) : loop_(loop), generation_(std::make_shared<uint64_t>(0)) {}

TcpSocket::~TcpSocket() { ReleaseSocket(); }

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
    Fail(SocketError::kAddressNotAvailable);
    return;
  }
  std::string host = CodePage::Current().ToBytes(remote_host_);
  if (host.empty() || host.find('\0') != std::string::npos) {
    Fail(SocketError::kHostNotFound);
    return;
  }
  std::vector<os::SocketAddress> addresses;
  if (std::error_code error = os::Resolve(host, remote_port_, addresses)) {
    Fail(SocketErrorOf(error));
    return;
  }
  untried_.assign(addresses.rbegin(), addresses.rend());
  state_ = State::kConnecting;
  connect_timer_ = loop_.StartOneShot(connect_timeout_, [this] {
    connect_timer_ = 0;
    Fail(SocketError::kTimedOut);
  });
  TryNextAddress();
}

// Tries the resolved addresses in order ("localhost" may name ::1 before
// 127.0.0.1); the error of the last one is the one reported.
void TcpSocket::TryNextAddress() {
  std::error_code last_error = os::Errc::kConnectionRefused;
  while (!untried_.empty()) {
    const os::SocketAddress address = untried_.back();
    untried_.pop_back();
    last_error = os::StartConnecting(address, socket_);
    if (!last_error) {
      watch_ = loop_.WatchHandle(socket_, MessageLoop::kWritable,
                                 [this](const MessageLoop::Readiness& ready) { OnReady(ready); });
      return;
    }
  }
  Fail(SocketErrorOf(last_error));
}

// The socket became writable (or failed) while connecting: the attempt is
// over, one way or the other.
void TcpSocket::OnConnectReady(std::error_code reported) {
  if (std::error_code error = os::ConnectOutcome(socket_, reported)) {
    loop_.Unwatch(std::exchange(watch_, 0));
    os::CloseSocket(std::exchange(socket_, os::kNoSocket));
    if (!untried_.empty()) {
      TryNextAddress();
    } else {
      Fail(SocketErrorOf(error));
    }
    return;
  }
  loop_.StopTimer(connect_timer_);
  connect_timer_ = 0;
  untried_.clear();
  state_ = State::kConnected;
  loop_.ChangeWatch(watch_, MessageLoop::kReadable);
  Deliver([this] {
    if (events_.connected) events_.connected();
  });
}

void TcpSocket::OnReady(const MessageLoop::Readiness& ready) {
  if (state_ == State::kConnecting) {
    OnConnectReady(ready.error);
    return;
  }
  if (ready.events & MessageLoop::kWritable) FlushSendQueue();
  if (state_ == State::kConnected &&
      (ready.events & (MessageLoop::kReadable | MessageLoop::kHangUp | MessageLoop::kError))) {
    ReadArrived();
  }
}

void TcpSocket::ReadArrived() {
  const size_t before = received_.size();
  received_.resize(before + kReadChunk);
  const os::Transfer read = os::Receive(socket_, received_.data() + before, kReadChunk);
  received_.resize(before + read.count);
  if (read.count > 0) {
    Deliver([this] {
      if (!received_.empty() && events_.data_arrival) events_.data_arrival(received_.size());
    });
  }
  if (read.outcome != os::Transfer::kEnded) return;
  if (read.error) {
    Fail(SocketErrorOf(read.error));
  } else {
    ReleaseSocket();
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
    const os::Transfer write = os::Send(socket_, unsent_.data() + sent, unsent_.size() - sent);
    if (write.outcome == os::Transfer::kWouldBlock) break;
    if (write.outcome == os::Transfer::kEnded) {
      Fail(SocketErrorOf(write.error));
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
  ReleaseSocket();
  received_.clear();
  unsent_.clear();
  state_ = State::kClosed;
  ++*generation_;
}

void TcpSocket::Fail(SocketError error) {
  ReleaseSocket();
  unsent_.clear();
  state_ = State::kError;
  Deliver([this, error] {
    if (events_.error) events_.error(static_cast<int32_t>(error), SocketErrorDescription(error));
  });
}

void TcpSocket::ReleaseSocket() {
  if (watch_ != 0) loop_.Unwatch(watch_);
  if (connect_timer_ != 0) loop_.StopTimer(connect_timer_);
  watch_ = 0;
  connect_timer_ = 0;
  untried_.clear();
  if (socket_ != os::kNoSocket) os::CloseSocket(socket_);
  socket_ = os::kNoSocket;
}

}  // namespace comsvc::platform
