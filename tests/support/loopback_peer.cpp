#include "support/loopback_peer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <utility>

namespace comsvc::testing {
namespace {

// Calls `bind_port` with ports from 20000 to 32767, from a random start,
// until it returns true, and returns that port.
int BindLowPort(const std::function<bool(int port)>& bind_port) {
  const int start = static_cast<int>(std::random_device{}() % 12768);
  for (int i = 0; i < 12768; ++i) {
    if (bind_port(20000 + (start + i) % 12768)) return 20000 + (start + i) % 12768;
  }
  throw std::runtime_error("no free loopback port below 32768");
}

sockaddr_in LoopbackAddress(int port) {
  return {.sin_family = AF_INET, .sin_port = htons(static_cast<uint16_t>(port)), .sin_addr = {htonl(INADDR_LOOPBACK)},
          .sin_zero = {}};
}

int ListenOnLoopback(int backlog, int& port) {
  int fd = -1;
  port = BindLowPort([&](int candidate) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = LoopbackAddress(candidate);
    return (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && listen(fd, backlog) == 0) ||
           (close(fd), false);
  });
  return fd;
}

bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

}  // namespace

LoopbackPeer::LoopbackPeer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
  listener_ = ListenOnLoopback(16, port_);
  thread_ = std::thread([this] {
    while (!stopping_) {
      int fd = WaitReadable(listener_, 20) ? accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
      if (fd < 0) continue;
      ++connections_;
      behaviour_(*this, fd);
      if (fd >= 0) close(fd);
    }
  });
}

LoopbackPeer::~LoopbackPeer() { stopping_ = true, thread_.join(), close(listener_); }

void LoopbackPeer::ReadRequest(int fd) {
  char buffer[4096];
  // The first bytes may keep us waiting; the rest of a request follows at once.
  for (int wait_ms = 5000; !stopping_ && WaitReadable(fd, wait_ms) && recv(fd, buffer, sizeof buffer, 0) > 0;) {
    wait_ms = 100;
  }
}

void LoopbackPeer::Pause(std::chrono::milliseconds duration, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (!stopping_ && !done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void SendAll(int fd, const std::string& bytes) {
  // Stops at the first failure (n < 0).
  for (ssize_t sent = 0, n = 0; sent < static_cast<ssize_t>(bytes.size()) && n >= 0; sent += n) {
    n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
  }
}

void ResetConnection(int& fd) {
  const linger option{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  close(std::exchange(fd, -1));
}

int ClosedLoopbackPort() {
  int port = 0;
  close(ListenOnLoopback(1, port));
  return port;
}

UnansweredListener::UnansweredListener() {
  listener_ = ListenOnLoopback(0, port_);
  // Connections that are never accepted fill the queue; later attempts are
  // then ignored by the listener. The queue is full once one of them is
  // connected.
  const sockaddr_in address = LoopbackAddress(port_);
  std::vector<pollfd> connecting;
  for (int i = 0; i < 3; ++i) {
    fillers_.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    connect(fillers_.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    connecting.push_back({fillers_.back(), POLLOUT, 0});
  }
  poll(connecting.data(), connecting.size(), 60000);
}

UnansweredListener::~UnansweredListener() {
  for (int fd : fillers_) close(fd);
  close(listener_);
}

FormServer::FormServer() {
  server_.Post("/form", [this](const httplib::Request& request, httplib::Response& response) {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(request);
    const std::string fields = std::to_string(request.params.size()), echo = request.get_param_value("q");
    response.set_content("{\"ok\":true,\"fields\":" + fields + ",\"echo\":\"" + echo + "\"}", "application/json");
  });
  port_ = BindLowPort([this](int port) { return server_.bind_to_port("127.0.0.1", port); });
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FormServer::~FormServer() { server_.stop(), thread_.join(); }

std::string FormServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/form"; }

std::vector<httplib::Request> FormServer::Seen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return seen_;
}

}  // namespace comsvc::testing
