// The desktop's boxes drawn by zenity: a child process per box, whose output
// is read as the thread's loop serves its other handlers.
#include "os/desktop_boxes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "os/console.h"

extern char** environ;

namespace comsvc::os {
namespace {

// True when a graphical display is configured for this process.
bool DisplayAvailable() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

// True when the program `name` is found on the PATH.
bool ProgramAvailable(const char* name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    size_t colon = rest.find(':');
    std::filesystem::path dir(colon == 0 ? std::string_view(".") : rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (access((dir / name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

struct BoxResult {
  bool confirmed = false;  // exit status 0: OK
  std::string output;
};

// The entry box's prompt is a label with mnemonics and backslash escapes;
// both are doubled so that the text shows as it is.
std::string LiteralLabel(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '_') out.push_back(c);
    out.push_back(c);
  }
  return out;
}

std::string TitleArgument(const std::string& title) {
  return "--title=" + (title.empty() ? ApplicationName() : title);
}

pid_t SpawnZenity(const std::vector<std::string>& args, int output_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv{const_cast<char*>("zenity")};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

// Runs zenity, serving the loop until it exits, and collects what it printed.
BoxResult RunZenity(const std::vector<std::string>& args, EventSink& events) {
  BoxResult result;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return result;
  const pid_t pid = SpawnZenity(args, pipe_fds[1]);
  close(pipe_fds[1]);
  if (pid < 0) {
    close(pipe_fds[0]);
    return result;
  }

  bool finished = false;
  const EventSink::Token watch = events.WatchReadable(pipe_fds[0], [&] {
    char buffer[4096];
    ssize_t got = read(pipe_fds[0], buffer, sizeof buffer);
    if (got > 0) {
      result.output.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      finished = true;  // zenity closed its output: it is exiting
    }
  });
  events.ServeUntil([&] { return finished; });
  events.Unwatch(watch);
  close(pipe_fds[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.confirmed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

const char* KindOption(DesktopIcon icon) {
  switch (icon) {
    case DesktopIcon::kExclamation: return "--warning";
    case DesktopIcon::kCritical: return "--error";
    case DesktopIcon::kInformation:
    case DesktopIcon::kNone: break;
  }
  return "--info";
}

}  // namespace

bool DesktopBoxesAvailable() { return DisplayAvailable() && ProgramAvailable("zenity"); }

void ShowDesktopMessageBox(const std::string& text, const std::string& title, DesktopIcon icon,
                           EventSink& events) {
  std::vector<std::string> args{KindOption(icon), TitleArgument(title), "--text=" + text, "--no-markup"};
  if (icon == DesktopIcon::kNone) args.push_back("--icon-name=");
  RunZenity(args, events);
}

std::optional<std::string> ShowDesktopInputBox(const std::string& prompt, const std::string& title,
                                               const std::string& default_text, EventSink& events) {
  BoxResult result = RunZenity(
      {"--entry", TitleArgument(title), "--text=" + LiteralLabel(prompt), "--entry-text=" + default_text}, events);
  if (!result.confirmed) return std::nullopt;
  if (!result.output.empty() && result.output.back() == '\n') result.output.pop_back();
  return result.output;
}

}  // namespace comsvc::os
