// Desktop boxes (zenity) on a private X server.
#include <comsvc/dialogs.h>

#include <gtest/gtest.h>

#include <comsvc/message_loop.h>
#include "support/notice_between_timers.h"

// After gtest and the library: Xlib's macros clash with their names.
#include "support/x_server.h"

namespace comsvc::platform {
namespace {

class ZenityBoxes : public testing::XServerTest {
 protected:
  void SetUp() override {
    XServerTest::SetUp();
    if (IsSkipped()) return;
    boxes_ = MakeDesktopDialogs();
    if (!boxes_) GTEST_SKIP() << "needs zenity for the desktop's boxes";
  }

  // From within the box's wait: once the box is up and `ready()` holds, notes
  // its caption and closes it as a person would.
  void CloseBoxWhen(const std::function<bool()>& ready) {
    poll_ = MessageLoop::Current().StartTimer(std::chrono::milliseconds(50), [this, ready] {
      std::optional<Window> box = FindTopLevel("zenity");
      if (!box || !ready()) return;
      caption_ = Utf8Property(*box, "_NET_WM_NAME");
      RequestClose(*box);
      MessageLoop::Current().StopTimer(poll_);
    });
  }

  std::shared_ptr<DialogService> boxes_;
  MessageLoop::Id poll_ = 0;
  std::string caption_;
};

// The box stays open until the notice's two seconds have passed in the
// loop's time: the notice must unload on its timer during the box's wait.
TEST_F(ZenityBoxes, NoticeTimerFiresWhileAMessageBoxIsOpen) {
  testing::NoticeBetweenTimers timers;
  timers.Notice().Show();
  timers.Notice().setMessage(u"saved");
  CloseBoxWhen([&] { return timers.LoadedJustAfter().has_value(); });

  boxes_->ShowMessageBox(u"Message while a notice is up", u"Box title", BoxIcon::kInformation);

  EXPECT_TRUE(timers.UnloadedBetween());
  EXPECT_EQ(caption_, "Box title");
}

TEST_F(ZenityBoxes, ClosedInputBoxIsCancelled) {
  CloseBoxWhen([] { return true; });
  EXPECT_EQ(boxes_->ShowInputBox(u"Your name_\\n:", u"\u8F93\u5165", u"default text"), std::nullopt);
  EXPECT_EQ(caption_, "\xE8\xBE\x93\xE5\x85\xA5");  // 输入
}

}  // namespace
}  // namespace comsvc::platform
