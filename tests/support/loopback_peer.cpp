#include "support/loopback_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace comsvc::testing {

namespace {

int ListenOnLoopback(int backlog, int& port) {
  int fd = -1;
  port = BindLowPort([&](int candidate) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(candidate));
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, backlog) == 0) return true;
    close(fd);
    return false;
  });
  return fd;
}

bool WaitReadable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

size_t ContentLength(const std::string& head) {
  static const std::string kName = "\r\ncontent-length:";
  std::string lower;
  for (char c : head) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = lower.find(kName);
  if (at == std::string::npos) return 0;
  return std::strtoul(head.c_str() + at + kName.size(), nullptr, 10);
}

}  // namespace

int BindLowPort(const std::function<bool(int port)>& bind_port) {
  static std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<int> first(20000, 32767);
  int start = first(random);
  for (int i = 0; i < 12768; ++i) {
    int port = 20000 + (start - 20000 + i) % 12768;
    if (bind_port(port)) return port;
  }
  throw std::runtime_error("no free loopback port below 32768");
}

LoopbackPeer::LoopbackPeer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
  listener_ = ListenOnLoopback(16, port_);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackPeer::~LoopbackPeer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

void LoopbackPeer::Serve() {
  while (!stopping_) {
    if (!WaitReadable(listener_, 20)) continue;
    int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    behaviour_(*this, fd);
    if (fd >= 0) close(fd);
  }
}

std::vector<std::string> LoopbackPeer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string LoopbackPeer::ReadRequest(int fd, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  std::string request;
  size_t wanted = std::string::npos;
  while (request.size() < wanted && !stopping_ && std::chrono::steady_clock::now() < deadline) {
    if (!WaitReadable(fd, 20)) continue;
    char buffer[4096];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
    size_t head_end = request.find("\r\n\r\n");
    if (wanted == std::string::npos && head_end != std::string::npos) {
      wanted = head_end + 4 + ContentLength(request.substr(0, head_end + 2));
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back(request);
  return request;
}

void LoopbackPeer::Pause(std::chrono::milliseconds duration) {
  auto deadline = std::chrono::steady_clock::now() + duration;
  while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void ResetConnection(int& fd) {
  linger option{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  close(fd);
  fd = -1;
}

int ClosedLoopbackPort() {
  int port = 0;
  close(ListenOnLoopback(1, port));
  return port;
}

UnansweredListener::UnansweredListener() {
  listener_ = ListenOnLoopback(0, port_);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port_));
  // Connections that are never accepted fill the queue; later attempts are
  // then ignored by the listener.
  for (int i = 0; i < 3; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers_.push_back(fd);
  }
  usleep(50 * 1000);
}

UnansweredListener::~UnansweredListener() {
  for (int fd : fillers_) close(fd);
  close(listener_);
}

}  // namespace comsvc::testing
