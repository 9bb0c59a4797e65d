#include "platform/dialogs.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace comsvc::platform {
namespace {

TEST(BoxIconNameTest, NamesEveryIcon) {
  EXPECT_STREQ(BoxIconName(BoxIcon::kNone), "none");
  EXPECT_STREQ(BoxIconName(BoxIcon::kInformation), "information");
  EXPECT_STREQ(BoxIconName(BoxIcon::kExclamation), "exclamation");
  EXPECT_STREQ(BoxIconName(BoxIcon::kCritical), "critical");
}

TEST(ScriptedDialogsTest, AnswersInOrderThenCancelsAndRecordsEveryBox) {
  ScriptedDialogs dialogs({u"first", std::nullopt, u""});
  dialogs.ShowMessageBox(u"hello", u"Title", BoxIcon::kExclamation);
  EXPECT_EQ(dialogs.ShowInputBox(u"Name?", u"Ask", u"Bob"), u"first");
  EXPECT_EQ(dialogs.ShowInputBox(u"Again?", u"", u""), std::nullopt);
  EXPECT_EQ(dialogs.ShowInputBox(u"Empty?", u"", u"x"), u"");
  EXPECT_EQ(dialogs.ShowInputBox(u"Beyond the list", u"", u"y"), std::nullopt);

  const auto& records = dialogs.Records();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].kind, DialogRecord::Kind::kMessage);
  EXPECT_EQ(records[0].text, u"hello");
  EXPECT_EQ(records[0].title, u"Title");
  EXPECT_EQ(records[0].icon, BoxIcon::kExclamation);
  EXPECT_EQ(records[1].kind, DialogRecord::Kind::kInput);
  EXPECT_EQ(records[1].text, u"Name?");
  EXPECT_EQ(records[1].title, u"Ask");
  EXPECT_EQ(records[1].default_text, u"Bob");
  EXPECT_EQ(records[1].answer, u"first");
  EXPECT_EQ(records[2].answer, std::nullopt);
  EXPECT_EQ(records[3].answer, u"");
  EXPECT_EQ(records[4].answer, std::nullopt);
}

TEST(DialogsTest, FreeFunctionsGoToTheInstalledService) {
  auto scripted = std::make_shared<ScriptedDialogs>(std::vector<std::optional<std::u16string>>{u"yes", std::nullopt});
  SetDialogs(scripted);
  MessageBox(u"note", u"", BoxIcon::kInformation);
  EXPECT_EQ(InputBox(u"p", u"t", u"d"), u"yes");
  EXPECT_EQ(InputBox(u"p", u"t", u"d"), u"");  // cancelled: the empty text, not the default
  EXPECT_EQ(scripted->Records().size(), 3u);
  EXPECT_EQ(&Dialogs(), scripted.get());

  SetDialogs(nullptr);  // back to a service that never waits for anyone
  EXPECT_NE(&Dialogs(), scripted.get());
  EXPECT_EQ(InputBox(u"p", u"t", u"default"), u"");
  MessageBox(u"nobody reads this", u"", BoxIcon::kNone);
  EXPECT_EQ(scripted->Records().size(), 3u);
}

// A terminal driven through pipes: what the user types is written in advance,
// and what the box draws is read afterwards.
class TerminalDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(input_), 0);
    ASSERT_EQ(pipe(output_), 0);
  }
  void TearDown() override {
    for (int fd : {input_[0], input_[1], output_[0], output_[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  // Writes what the user types; end of input after it.
  void Type(const std::string& keys) {
    ASSERT_EQ(write(input_[1], keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    close(input_[1]);
    input_[1] = -1;
  }
  std::string Screen() {
    close(output_[1]);
    output_[1] = -1;
    std::string screen;
    char buffer[4096];
    for (ssize_t got; (got = read(output_[0], buffer, sizeof buffer)) > 0;) screen.append(buffer, got);
    return screen;
  }
  TerminalDialogs Terminal() { return TerminalDialogs(input_[0], output_[1]); }

  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
};

TEST_F(TerminalDialogsTest, MessageBoxShowsEverythingAndWaitsForEnter) {
  Type("\nnext line");
  auto terminal = Terminal();
  terminal.ShowMessageBox(u"Saved caf\u00E9\r\nsecond line", u"R\u00E9sultat", BoxIcon::kCritical);
  const std::string screen = Screen();
  for (const char* part : {"R\xC3\xA9sultat", "Saved caf\xC3\xA9", "second line", "critical", "[ OK ]"}) {
    EXPECT_NE(screen.find(part), std::string::npos) << part << " in\n" << screen;
  }
  // Only the Enter that closed the box was taken from the input.
  char rest[16] = {};
  EXPECT_EQ(read(input_[0], rest, sizeof rest), 9);
  EXPECT_STREQ(rest, "next line");
}

TEST_F(TerminalDialogsTest, ControlCharactersCannotSteerTheTerminal) {
  Type("\n");
  Terminal().ShowMessageBox(u"a\x1B[2Jb", u"t", BoxIcon::kNone);
  const std::string screen = Screen();
  EXPECT_EQ(screen.find('\x1B'), std::string::npos);
  EXPECT_EQ(screen.find("none"), std::string::npos);  // no icon, no icon word
}

TEST_F(TerminalDialogsTest, EmptyTitleShowsTheApplicationName) {
  Type("\n");
  Terminal().ShowMessageBox(u"text", u"", BoxIcon::kNone);
  EXPECT_NE(Screen().find(program_invocation_short_name), std::string::npos);
}

TEST_F(TerminalDialogsTest, InputBoxAnswers) {
  struct Case {
    std::string typed;
    std::optional<std::u16string> answer;
  };
  for (const Case& c : {Case{"hello\n", u"hello"}, Case{"h\xC3\xA9llo\r\n", u"h\u00E9llo"}, Case{"\n", u"dflt"},
                        Case{"", std::nullopt}, Case{"no newline", u"no newline"}, Case{"  \n", u"  "}}) {
    TearDown();
    SetUp();
    Type(c.typed);
    EXPECT_EQ(Terminal().ShowInputBox(u"Your name?", u"Ask", u"dflt"), c.answer) << c.typed;
    const std::string screen = Screen();
    for (const char* part : {"Your name?", "Ask", "dflt"}) {
      EXPECT_NE(screen.find(part), std::string::npos) << part << " in\n" << screen;
    }
  }
}

TEST_F(TerminalDialogsTest, SuccessiveBoxesReadSuccessiveLines) {
  Type("one\n\ntwo\n");
  auto terminal = Terminal();
  EXPECT_EQ(terminal.ShowInputBox(u"1", u"", u""), u"one");
  terminal.ShowMessageBox(u"between", u"", BoxIcon::kInformation);
  EXPECT_EQ(terminal.ShowInputBox(u"2", u"", u""), u"two");
  EXPECT_EQ(terminal.ShowInputBox(u"3", u"", u"kept"), std::nullopt);
}

}  // namespace
}  // namespace comsvc::platform
