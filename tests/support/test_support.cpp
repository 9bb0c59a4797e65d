#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace comsvc::testing {

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::vector<std::string>& env) {
  // Input and output go through files, so that no pipe fills up and blocks
  // either side.
  TempDir dir;
  const std::string in = dir.Write("in", input).string();
  const std::string out = (dir.Path() / "out").string(), err = (dir.Path() / "err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
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
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid) throw std::runtime_error("cannot run " + argv[0]);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
}

ProcessResult RunComsvc(const std::vector<std::string>& args, const std::string& input,
                        const std::vector<std::string>& env) {
  std::vector<std::string> argv{COMSVC_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, input, env);
}

}  // namespace comsvc::testing
