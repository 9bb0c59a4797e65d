#include <comsvc/dialogs.h>

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace comsvc::platform {
namespace {

// Shows boxes on a terminal made of two pipes: `typed` is what the user types
// before the end of input. Returns what the boxes drew; `rest` gets what
// they left unread.
std::string OnTerminal(const std::string& typed, const std::function<void(TerminalDialogs&)>& show,
                       std::string* rest = nullptr) {
  int input[2], output[2];
  if (pipe(input) != 0 || pipe(output) != 0) return "no pipes";
  EXPECT_EQ(write(input[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  close(input[1]);
  TerminalDialogs terminal(input[0], output[1]);
  show(terminal);
  close(output[1]);
  std::string screen, left;
  char buffer[4096];
  for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;) screen.append(buffer, got);
  for (ssize_t got; (got = read(input[0], buffer, sizeof buffer)) > 0;) left.append(buffer, got);
  close(input[0]);
  close(output[0]);
  if (rest != nullptr) *rest = left;
  return screen;
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
  EXPECT_NE(screen.find(program_invocation_short_name), std::string::npos);  // the application's name as title
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

}  // namespace
}  // namespace comsvc::platform
