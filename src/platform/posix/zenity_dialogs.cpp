#include "platform/posix/zenity_dialogs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <comsvc/utf8.h>
#include "platform/console.h"
#include <comsvc/message_loop.h>

extern char** environ;

namespace comsvc::platform {
namespace {

struct BoxResult {
  bool confirmed = false;  // exit status 0: OK
  std::string output;
};

std::string ProgramName() { return program_invocation_short_name; }

// The entry box's prompt is a label with mnemonics and backslash escapes;
// both are doubled so that the text shows as it is.
std::string LiteralLabel(const std::u16string& text) {
  std::string out;
  for (char c : EncodeUtf8(text)) {
    if (c == '\\' || c == '_') out.push_back(c);
    out.push_back(c);
  }
  return out;
}

std::string TitleArgument(const std::u16string& title) {
  return "--title=" + (title.empty() ? ProgramName() : EncodeUtf8(title));
}

// Runs zenity, serving the message loop until it exits, and collects what it
// printed.
BoxResult RunZenity(const std::vector<std::string>& args) {
  BoxResult result;
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv{const_cast<char*>("zenity")};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int spawned = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) {
    close(pipe_fds[0]);
    return result;
  }

  MessageLoop& loop = MessageLoop::Current();
  bool finished = false;
  MessageLoop::Id watch = loop.WatchFd(pipe_fds[0], MessageLoop::kReadable, [&](unsigned) {
    char buffer[4096];
    ssize_t got = read(pipe_fds[0], buffer, sizeof buffer);
    if (got > 0) {
      result.output.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      finished = true;  // zenity closed its output: it is exiting
    }
  });
  loop.RunUntil([&] { return finished; });
  loop.UnwatchFd(watch);
  close(pipe_fds[0]);

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.confirmed = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

const char* KindOption(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kExclamation:
      return "--warning";
    case BoxIcon::kCritical:
      return "--error";
    case BoxIcon::kInformation:
    case BoxIcon::kNone:
      break;
  }
  return "--info";
}

}  // namespace

bool ZenityDialogs::Available() { return DisplayAvailable() && ProgramAvailable("zenity"); }

void ZenityDialogs::ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) {
  std::vector<std::string> args{KindOption(icon), TitleArgument(title), "--text=" + EncodeUtf8(text), "--no-markup"};
  if (icon == BoxIcon::kNone) args.push_back("--icon-name=");
  RunZenity(args);
}

std::optional<std::u16string> ZenityDialogs::ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                                          const std::u16string& default_text) {
  BoxResult result = RunZenity(
      {"--entry", TitleArgument(title), "--text=" + LiteralLabel(prompt), "--entry-text=" + EncodeUtf8(default_text)});
  if (!result.confirmed) return std::nullopt;
  if (!result.output.empty() && result.output.back() == '\n') result.output.pop_back();
  return Utf8ToUtf16(result.output);
}

}  // namespace comsvc::platform
