// Desktop boxes (zenity) on a private X server.
#include <comsvc/dialogs.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>

// After gtest and the library: Xlib's macros clash with their names.
#include "support/x_server.h"

namespace comsvc::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ZenityBoxes : public testing::XServerTest {
 protected:
  void SetUp() override {
    XServerTest::SetUp();
    boxes_ = MakeDesktopDialogs();
    ASSERT_TRUE(boxes_);
  }

  // From within the box's wait: once the box is up and `after` has passed,
  // notes its caption and closes it as a person would.
  void CloseBoxAfter(milliseconds after) {
    const Clock::time_point close_at = Clock::now() + after;
    poll_ = MessageLoop::Current().StartTimer(milliseconds(50), [this, close_at] {
      std::optional<Window> box = FindTopLevel("zenity");
      if (!box || Clock::now() < close_at) return;
      caption_ = Utf8Property(*box, "_NET_WM_NAME");
      RequestClose(*box);
      MessageLoop::Current().StopTimer(poll_);
    });
  }

  std::shared_ptr<DialogService> boxes_;
  MessageLoop::Id poll_ = 0;
  std::string caption_;
};

TEST_F(ZenityBoxes, NoticeTimerFiresWhileAMessageBoxIsOpen) {
  const Clock::time_point start = Clock::now();
  formMsg notice;
  notice.Show();
  notice.setMessage(u"saved");
  std::optional<bool> loaded_during_box;
  MessageLoop::Current().StartOneShot(milliseconds(2300), [&] { loaded_during_box = notice.IsLoaded(); });
  CloseBoxAfter(milliseconds(2800));

  boxes_->ShowMessageBox(u"Message while a notice is up", u"Box title", BoxIcon::kInformation);

  EXPECT_GE(Clock::now() - start, milliseconds(2800));
  EXPECT_EQ(loaded_during_box, std::optional<bool>(false));
  EXPECT_EQ(caption_, "Box title");
}

TEST_F(ZenityBoxes, ClosedInputBoxIsCancelled) {
  CloseBoxAfter(milliseconds(0));
  EXPECT_EQ(boxes_->ShowInputBox(u"Your name_\\n:", u"\u8F93\u5165", u"default text"), std::nullopt);
  EXPECT_EQ(caption_, "\xE8\xBE\x93\xE5\x85\xA5");  // 输入
}

}  // namespace
}  // namespace comsvc::platform
