#include "support/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace comsvc::testing {

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& env) {
  // The output goes to files, so that no pipe fills up and blocks the child;
  // the input comes through a pipe, fed by a thread of its own.
  TempDir dir;
  const std::string out = (dir.Path() / "out").string(), err = (dir.Path() / "err").string();
  int in_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // The given entries replace inherited ones of the same name.
  std::vector<std::string> env_strings(env), args(argv);
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view name(*e, std::strcspn(*e, "=") + 1);
    if (std::none_of(env.begin(), env.end(), [&](const std::string& s) { return s.starts_with(name); })) {
      env_strings.emplace_back(*e);
    }
  }
  std::vector<char*> envp, arg_pointers;
  for (auto& e : env_strings) envp.push_back(e.data());
  for (auto& a : args) arg_pointers.push_back(a.data());
  envp.push_back(nullptr);
  arg_pointers.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, arg_pointers.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  // A child that exits before reading all its input must not kill the test.
  signal(SIGPIPE, SIG_IGN);
  std::thread feed([fd = in_pipe[1], &input] {
    for (ssize_t done = 0, n = 0; done < static_cast<ssize_t>(input.size()) && n >= 0; done += n) {
      n = write(fd, input.data() + done, input.size() - done);
    }
    close(fd);
  });
  int status = 0;
  if (spawned == 0) waitpid(pid, &status, 0);
  feed.join();
  if (spawned != 0) throw std::runtime_error("cannot start " + argv[0]);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
}

ProcessResult RunComsvc(const std::vector<std::string>& args, const std::string& input,
                        const std::vector<std::string>& env) {
  std::vector<std::string> argv{COMSVC_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, input, env);
}

}  // namespace comsvc::testing
