// Desktop boxes drawn by zenity on a private X server.
#include "platform/zenity_dialogs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/message_loop.h"
#include "platform/message_window.h"
#include "support/xvfb_server.h"

// After gtest and the library: Xlib's macros clash with their names.
#include "support/x11_probe.h"

namespace comsvc::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ZenityBoxes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new testing::XvfbServer();
    if (server_->Running()) setenv("DISPLAY", server_->Display().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete server_;
    unsetenv("DISPLAY");
  }

  void SetUp() override {
    ASSERT_TRUE(server_->Running()) << "Xvfb did not start";
    ASSERT_TRUE(ZenityDialogs::Available());
    display_ = XOpenDisplay(server_->Display().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  // From within the box's wait: once the box is up and `after` has passed,
  // notes its caption and closes it as a person would.
  void CloseBoxAfter(milliseconds after) {
    const Clock::time_point close_at = Clock::now() + after;
    poll_ = MessageLoop::Current().StartTimer(milliseconds(50), [this, close_at] {
      std::optional<Window> box = testing::FindTopLevel(display_, "zenity");
      if (!box || Clock::now() < close_at) return;
      caption_ = testing::Utf8Property(display_, *box, "_NET_WM_NAME");
      testing::RequestClose(display_, *box);
      MessageLoop::Current().StopTimer(poll_);
    });
  }

  static testing::XvfbServer* server_;
  Display* display_ = nullptr;
  MessageLoop::Id poll_ = 0;
  std::string caption_;
};

testing::XvfbServer* ZenityBoxes::server_ = nullptr;

TEST_F(ZenityBoxes, NoticeTimerFiresWhileAMessageBoxIsOpen) {
  const Clock::time_point start = Clock::now();
  formMsg notice;
  notice.Show();
  notice.setMessage(u"saved");
  std::optional<bool> loaded_during_box;
  MessageLoop::Current().StartOneShot(milliseconds(2300), [&] { loaded_during_box = notice.IsLoaded(); });
  CloseBoxAfter(milliseconds(2800));

  ZenityDialogs().ShowMessageBox(u"Message while a notice is up", u"Box title", BoxIcon::kInformation);

  EXPECT_GE(Clock::now() - start, milliseconds(2800));
  ASSERT_TRUE(loaded_during_box.has_value());
  EXPECT_FALSE(*loaded_during_box);
  EXPECT_EQ(caption_, "Box title");
}

TEST_F(ZenityBoxes, ClosedInputBoxIsCancelled) {
  CloseBoxAfter(milliseconds(0));
  std::optional<std::u16string> answer =
      ZenityDialogs().ShowInputBox(u"Your name_\\n:", u"\u8F93\u5165", u"default text");
  EXPECT_FALSE(answer.has_value());
  EXPECT_EQ(caption_, "\xE8\xBE\x93\xE5\x85\xA5");  // 输入
}

TEST_F(ZenityBoxes, EmptyTitleShowsTheProgramName) {
  CloseBoxAfter(milliseconds(0));
  ZenityDialogs().ShowMessageBox(u"text", u"", BoxIcon::kNone);
  EXPECT_EQ(caption_, program_invocation_short_name);
}

}  // namespace
}  // namespace comsvc::platform
