// TCP peers on the loopback interface for the socket and form post tests:
// a listener on a free port whose every connection is served, in a thread of
// the test, by a behaviour of the test's making (answer, answer in pieces,
// close, reset, stay silent...).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace comsvc::testing {

class LoopbackPeer {
 public:
  // Serves one accepted connection. The connection is closed after the
  // behaviour returns unless the behaviour closed or took it (fd set to -1).
  using Behaviour = std::function<void(LoopbackPeer& peer, int& fd)>;

  explicit LoopbackPeer(Behaviour behaviour);
  ~LoopbackPeer();  // stops serving and closes what is still open
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  int Port() const { return port_; }
  int Connections() const { return connections_; }
  // What the behaviours read (ReadRequest), one entry per request.
  std::vector<std::string> Requests();
  bool Stopping() const { return stopping_; }

  // Reads one HTTP request: up to the empty line, then Content-Length bytes
  // of body (if given); stops early at end of input or after `limit`.
  // Records it in Requests().
  std::string ReadRequest(int fd, std::chrono::milliseconds limit = std::chrono::seconds(5));
  // Sleeps until the peer is being destroyed or `duration` passes.
  void Pause(std::chrono::milliseconds duration);

 private:
  void Serve();

  Behaviour behaviour_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// Calls `bind_port` with free-looking ports from 20000 to 32767 until it
// returns true, and returns that port. URLs address ports up to 32767 only,
// and Linux hands out ephemeral ports from 32768 up, so a listener that a
// URL must reach binds here.
int BindLowPort(const std::function<bool(int port)>& bind_port);

// Writes all of `bytes`; false when the connection failed.
bool SendAll(int fd, const std::string& bytes);
// Closes the connection with a reset (RST) instead of an orderly close.
void ResetConnection(int& fd);
// A loopback port on which nothing listens.
int ClosedLoopbackPort();

// A listener whose queue of pending connections is full, so that a new
// connection attempt gets no answer at all (its SYN is dropped).
class UnansweredListener {
 public:
  UnansweredListener();
  ~UnansweredListener();
  UnansweredListener(const UnansweredListener&) = delete;
  UnansweredListener& operator=(const UnansweredListener&) = delete;
  int Port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace comsvc::testing
