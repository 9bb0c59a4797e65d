// Peers on the loopback interface for the socket and form post tests. Each
// serves in a thread of the test, on a port below 32768 so that a URL can
// address it (URL ports stop at 32767; Linux hands out ephemeral ports above).
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace comsvc::testing {

// A listener whose every connection is served by a behaviour of the test's
// making (answer, answer in pieces, close, reset, stay silent...). The
// connection is closed after the behaviour returns unless the behaviour
// closed it itself and set fd to -1.
class LoopbackPeer {
 public:
  using Behaviour = std::function<void(LoopbackPeer& peer, int& fd)>;
  explicit LoopbackPeer(Behaviour behaviour);
  ~LoopbackPeer();

  int Port() const { return port_; }
  int Connections() const { return connections_; }
  // Reads what the client sends until it has been quiet for a moment.
  void ReadRequest(int fd);
  // Sleeps until the peer is being destroyed, `duration` passes, or `done()`
  // holds (checked every few milliseconds).
  void Pause(std::chrono::milliseconds duration, const std::function<bool()>& done = [] { return false; });

 private:
  Behaviour behaviour_;
  int listener_ = -1, port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// Writes all of `bytes`, or what the connection takes of them.
void SendAll(int fd, const std::string& bytes);
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
  int listener_ = -1, port_ = 0;
  std::vector<int> fillers_;
};

// An HTTP server (cpp-httplib) answering every POST to /form with
// {"ok":true,"fields":N,"echo":"<the bytes of field q>"}.
class FormServer {
 public:
  FormServer();
  ~FormServer();

  std::string Url() const;  // http://127.0.0.1:PORT/form
  // The requests as the server's own parser saw them.
  std::vector<httplib::Request> Seen();

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<httplib::Request> seen_;
};

}  // namespace comsvc::testing
