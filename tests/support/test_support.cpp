#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace comsvc::testing {
namespace {

// Feeds `input` to `in_fd` while draining `out_fd` and `err_fd`, so that no
// pipe fills up and blocks the child.
void Exchange(int in_fd, int out_fd, int err_fd, const std::string& input, ProcessResult& result) {
  size_t written = 0;
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {in_fd, POLLOUT, 0}};
    if (poll(fds, 3, -1) < 0) break;
    char buffer[65536];
    int* readers[2] = {&out_fd, &err_fd};
    std::string* sinks[2] = {&result.out, &result.err};
    for (int k = 0; k < 2; ++k) {
      if (*readers[k] >= 0 && (fds[k].revents & (POLLIN | POLLHUP))) {
        ssize_t n = read(*readers[k], buffer, sizeof buffer);
        if (n > 0) {
          sinks[k]->append(buffer, static_cast<size_t>(n));
        } else {
          close(*readers[k]);
          *readers[k] = -1;
        }
      }
    }
    if (in_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(in_fd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n <= 0 || written == input.size()) {
        close(in_fd);
        in_fd = -1;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& env) {
  // A child that exits before reading all its input must not kill the test.
  signal(SIGPIPE, SIG_IGN);
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);

  // The given entries replace inherited ones of the same name.
  const auto overridden = [&](std::string_view entry) {
    for (const std::string& e : env) {
      if (entry.substr(0, entry.find('=') + 1) == std::string_view(e).substr(0, e.find('=') + 1)) return true;
    }
    return false;
  };
  std::vector<std::string> env_strings(env);
  for (char** e = environ; *e != nullptr; ++e) {
    if (!overridden(*e)) env_strings.emplace_back(*e);
  }
  std::vector<char*> envp, args;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  for (auto& a : argv_copy) args.push_back(a.data());
  args.push_back(nullptr);

  pid_t pid = 0;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  ProcessResult result;
  if (spawned != 0) {
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  Exchange(in_pipe[1], out_pipe[0], err_pipe[0], input, result);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ProcessResult RunComsvc(const std::vector<std::string>& args, const std::string& input,
                        const std::vector<std::string>& env) {
  std::vector<std::string> argv{COMSVC_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, input, env);
}

}  // namespace comsvc::testing
