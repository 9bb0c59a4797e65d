// An event-driven TCP client socket, in the manner of the host's stream
// socket control: set the remote host and port, connect, send text, read what
// has arrived, close; and four events (connected, data arrival, closed by the
// peer, error) delivered through the thread's message loop, never from inside
// the call that caused them.
//
// Errors carry the control's numbers and description texts (10061
// "Connection is forcefully rejected", ...). Text goes to and comes from the
// wire through the system's ANSI code page.
//
// Name resolution runs getaddrinfo on the loop's thread when the connection
// starts: a numeric address or "localhost" resolves at once, but a name that
// needs a DNS server blocks the thread until the resolver answers. Connecting
// itself never blocks.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <comsvc/message_loop.h>
#include "os/handles.h"
#include "os/socket.h"

namespace comsvc::platform {

// The control's error numbers.
enum class SocketError : int32_t {
  kAddressNotAvailable = 10049,
  kConnectionAborted = 10053,
  kConnectionReset = 10054,
  kTimedOut = 10060,
  kConnectionRefused = 10061,
  kHostUnreachable = 10065,
  kHostNotFound = 11001,
  kHostNotFoundTryAgain = 11002,
  kNoData = 11004,
  kBadState = 40006,
};

// The control's description text of an error number.
std::u16string SocketErrorDescription(SocketError error);

// The control's error for a failure the system reported.
SocketError SocketErrorOf(std::error_code failure);

class TcpSocket {
 public:
  enum class State { kClosed, kResolving, kConnecting, kConnected, kClosing, kError };

  // Windows gives up a connection attempt that gets no answer after about
  // 21 seconds.
  static constexpr std::chrono::milliseconds kDefaultConnectTimeout{21000};

  struct Events {
    std::function<void()> connected;
    // `bytes`: how many bytes wait to be read, all arrivals not yet read
    // included.
    std::function<void(size_t bytes)> data_arrival;
    std::function<void()> closed_by_peer;
    std::function<void(int32_t number, const std::u16string& description)> error;
  };

  explicit TcpSocket(MessageLoop& loop = MessageLoop::Current());
  ~TcpSocket();  // closes the connection; no event is delivered afterwards
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  void SetEvents(Events events);

  void SetRemoteHost(std::u16string host) { remote_host_ = std::move(host); }
  const std::u16string& RemoteHost() const { return remote_host_; }
  void SetRemotePort(int32_t port) { remote_port_ = port; }
  int32_t RemotePort() const { return remote_port_; }
  void SetConnectTimeout(std::chrono::milliseconds timeout) { connect_timeout_ = timeout; }

  State GetState() const { return state_; }
  // Bytes received and not yet read.
  size_t BytesReceived() const { return received_.size(); }

  // Starts connecting to the remote host and port. Only a closed socket
  // connects: in any other state this raises error 40006. Every outcome comes
  // as an event: connected, or error (host not found, refused, time-out
  // after the connect time-out, a port outside 1 to 65535: 10049).
  void Connect();
  // Queues the text's code-page bytes for sending; what the kernel does not
  // take at once goes out as the socket becomes writable. Raises 40006 unless
  // connected.
  void SendData(std::u16string_view text);
  // Takes up to `max_bytes` of the received bytes as text. A double-byte
  // character cut by the limit or by the arrival reads as "?".
  std::u16string GetData(size_t max_bytes);
  // Closes the connection at once, dropping unsent and unread data, and
  // cancels any event not yet delivered. A closed socket stays closed.
  void Close();

 private:
  void StartResolving();
  void TryNextAddress();
  void OnConnectReady(std::error_code reported);
  void OnReady(const MessageLoop::Readiness& ready);
  void ReadArrived();
  void FlushSendQueue();
  void Fail(SocketError error);
  void ReleaseSocket();
  // Runs `event` on a later turn of the loop unless the socket was closed or
  // destroyed in the meantime.
  void Deliver(std::function<void()> event);

  MessageLoop& loop_;
  Events events_;
  std::u16string remote_host_;
  int32_t remote_port_ = 0;
  std::chrono::milliseconds connect_timeout_ = kDefaultConnectTimeout;

  State state_ = State::kClosed;
  os::NativeSocket socket_ = os::kNoSocket;
  MessageLoop::Id watch_ = 0;
  MessageLoop::Id connect_timer_ = 0;
  // The addresses not yet tried, the next first.
  std::vector<os::SocketAddress> untried_;
  std::string received_;
  std::string unsent_;
  // Changes on every Close: an event queued before the close sees another
  // generation and is dropped.
  std::shared_ptr<uint64_t> generation_;
};

}  // namespace comsvc::platform
