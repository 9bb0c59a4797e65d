// comsvc notice TEXT [--then MILLISECONDS TEXT]...: shows the notice window
// and returns when it has unloaded itself.
#include <charconv>
#include <chrono>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>

namespace comsvc::cli {
namespace {

constexpr const char* kNoticeHelp =
    "usage: comsvc notice TEXT [--then MILLISECONDS TEXT]...\n"
    "\n"
    "Loads the notice window (formMsg), shows it with TEXT, and sets each later\n"
    "TEXT MILLISECONDS (0 to 86400000) after loading. The window unloads itself\n"
    "two seconds after loading; the command returns then. Texts due after that\n"
    "are not shown.\n"
    "Without a display the window is headless: same model, same timing.\n";

struct LaterText {
  std::chrono::milliseconds at;
  std::u16string text;
};

// A day: far past the window's life, and far from the clock's limits.
constexpr long long kMaxMilliseconds = 86400000;

std::chrono::milliseconds ParseMilliseconds(const std::string& arg) {
  long long value = -1;
  auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), value);
  if (error != std::errc() || end != arg.data() + arg.size() || value < 0 || value > kMaxMilliseconds) {
    throw UsageError("--then takes a number of milliseconds from 0 to " + std::to_string(kMaxMilliseconds) +
                     ", not '" + arg + "'");
  }
  return std::chrono::milliseconds(value);
}

int RunNotice(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(1, 1);
  std::vector<LaterText> later;
  for (const std::vector<std::string>& then : arguments.Occurrences("then")) {
    later.push_back({ParseMilliseconds(then[0]), ArgumentText(then[1])});
  }
  const std::u16string text = ArgumentText(arguments.Positionals().front());

  platform::MessageLoop& loop = platform::MessageLoop::Current();
  formMsg form;
  std::vector<platform::MessageLoop::Id> timers;
  for (const LaterText& item : later) {
    timers.push_back(loop.StartOneShot(item.at, [&form, &item] {
      if (form.IsLoaded()) form.setMessage(item.text);
    }));
  }
  form.Show();
  form.setMessage(text);
  loop.RunUntil([&form] { return !form.IsLoaded(); });
  for (platform::MessageLoop::Id timer : timers) loop.StopTimer(timer);
  return kExitOk;
}

}  // namespace

const Subcommand kNoticeCommand = {
    "notice", "show the notice window that closes itself after two seconds",
    kNoticeHelp, {{"then", 2}}, RunNotice};

}  // namespace comsvc::cli
