#include "support/xvfb_server.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace comsvc::testing {
namespace {

// Reads the display number the server writes once it accepts connections.
std::string ReadDisplayNumber(int fd) {
  std::string number;
  for (;;) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 15000) <= 0) return "";
    char c;
    if (read(fd, &c, 1) != 1) return "";
    if (c == '\n') return number;
    number.push_back(c);
  }
}

}  // namespace

XvfbServer::XvfbServer() {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(pipe_fds[0]);
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server when a test crashes
    const std::string fd = std::to_string(pipe_fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipe_fds[1]);
  if (pid_ > 0) {
    std::string number = ReadDisplayNumber(pipe_fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  close(pipe_fds[0]);
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status;
  waitpid(pid_, &status, 0);
}

}  // namespace comsvc::testing
