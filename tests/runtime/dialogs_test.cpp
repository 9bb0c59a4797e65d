#include <comsvc/dialogs.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>
#include "support/local_channels.h"
#include "support/notice_between_timers.h"

namespace comsvc::platform {
namespace {

using testing::MakePipe;
using namespace std::string_literals;

// Shows boxes on a terminal made of two pipes: `typed` is what the user types
// before the end of input. Returns what the boxes drew; `rest` gets what
// they left unread.
std::string OnTerminal(const std::string& typed, const std::function<void(TerminalDialogs&)>& show,
                       std::string* rest = nullptr) {
  int input[2], output[2];
  if (!MakePipe(input) || !MakePipe(output)) return "no pipes";
  EXPECT_EQ(write(input[1], typed.data(), typed.size()), static_cast<int>(typed.size()));
  close(input[1]);
  TerminalDialogs terminal(input[0], output[1]);
  show(terminal);
  close(output[1]);
  const auto drain = [](int fd) {
    std::string bytes;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, got);
    return close(fd), bytes;
  };
  if (rest != nullptr) *rest = drain(input[0]);
  return drain(output[0]);
}

TEST(TerminalDialogs, MessageBoxShowsEverythingAndWaitsForEnter) {
  std::string rest;
  std::string screen = OnTerminal("\nnext line", [](TerminalDialogs& t) {
    t.ShowMessageBox(u"Saved caf\u00E9\r\nsecond line \x1B[2J", u"R\u00E9sultat", BoxIcon::kCritical);
  }, &rest);
  for (const char* part : {"R\xC3\xA9sultat", "Saved caf\xC3\xA9", "second line", "critical", "[ OK ]"}) {
    EXPECT_NE(screen.find(part), std::string::npos) << part << " in\n" << screen;
  }
  EXPECT_EQ(screen.find('\x1B'), std::string::npos);  // control characters cannot steer the terminal
  EXPECT_EQ(rest, "next line");
  screen = OnTerminal("\n", [](TerminalDialogs& t) { t.ShowMessageBox(u"text", u"", BoxIcon::kNone); });
  EXPECT_NE(screen.find(testing::ProgramName()), std::string::npos);  // the application's name as title
  EXPECT_EQ(screen.find("none"), std::string::npos);                          // no icon, no icon word
}

TEST(TerminalDialogs, InputBoxReadsALineAndCancelsAtTheEndOfInput) {
  const std::pair<std::string, std::optional<std::u16string>> cases[] = {
      {"h\xC3\xA9llo\r\n", u"h\u00E9llo"}, {"\n", u"dflt"}, {"", std::nullopt}, {"no newline", u"no newline"},
  };
  for (const auto& [typed, answer] : cases) {
    std::optional<std::u16string> got;
    const auto ask = [&](TerminalDialogs& t) { got = t.ShowInputBox(u"Name?", u"Ask", u"dflt"); };
    const std::string screen = OnTerminal(typed, ask);
    EXPECT_EQ(got, answer) << typed;
    for (const char* part : {"Name?", "Ask", "dflt"}) EXPECT_NE(screen.find(part), std::string::npos) << screen;
  }
}

// A terminal box is modal but keeps the thread's queue served while it waits
// for its line: a loaded notice window still unloads on its two-second timer,
// and a socket event that comes during the wait is handled. The user answers
// once both have happened, in the loop's own time.
TEST(TerminalDialogs, BoxesKeepTheMessageLoopServedWhileWaiting) {
  const std::pair<const char*, std::function<std::u16string(TerminalDialogs&)>> boxes[] = {
      {"message box", [](auto& t) { return t.ShowMessageBox(u"waiting", u"T", BoxIcon::kNone), u"closed"s; }},
      {"input box", [](TerminalDialogs& t) { return t.ShowInputBox(u"Name?", u"T", u"d").value_or(u"cancelled"); }},
  };
  for (const auto& [name, show] : boxes) {
    SCOPED_TRACE(name);
    int keyboard[2], screen[2], sockets[2];
    ASSERT_TRUE(MakePipe(keyboard) && MakePipe(screen) && testing::MakeSocketPair(sockets));
    MessageLoop& loop = MessageLoop::Current();
    testing::NoticeBetweenTimers timers;
    timers.Notice().setMessage(u"saved");
    bool socket_event = false, answered = false;
    const auto answer_once_both_happened = [&] {
      if (answered || !socket_event || !timers.LoadedJustAfter()) return;
      answered = true;
      EXPECT_EQ(write(keyboard[1], "typed\n", 6), 6);
    };
    const MessageLoop::Id watch = loop.WatchHandle(sockets[0], MessageLoop::kReadable, [&](const auto&) {
      socket_event = !testing::ReceiveByte(sockets[0]).empty();
      answer_once_both_happened();
    });
    // Another process would send on the socket: the loop plays it, once the box waits.
    loop.StartOneShot(std::chrono::milliseconds(300), [&] { EXPECT_TRUE(testing::SendToSocket(sockets[1], "x")); });
    loop.StartOneShot(formMsg::kTimerInterval, answer_once_both_happened);  // due after the notice's timers

    TerminalDialogs terminal(keyboard[0], screen[1]);
    EXPECT_EQ(show(terminal), name == std::string("input box") ? u"typed" : u"closed");
    loop.Unwatch(watch);
    EXPECT_TRUE(timers.UnloadedBetween());
    EXPECT_TRUE(socket_event);
    for (int fd : {keyboard[0], keyboard[1], screen[0], screen[1]}) close(fd);
    for (int socket : sockets) testing::CloseSocket(socket);
  }
}

}  // namespace
}  // namespace comsvc::platform
