// The notice window on a real X server (Xvfb).
#include <comsvc/message_window.h>

#include <gtest/gtest.h>

#include <climits>

// After gtest and the library: Xlib's macros clash with their names.
#include "support/loop_waits.h"
#include "support/notice_between_timers.h"
#include "support/x_server.h"

#include <X11/Xutil.h>

namespace comsvc {
namespace {

using platform::MessageLoop;
using std::chrono::milliseconds;

// A window's caption, a screenshot of its client area, and where the text ink
// in it starts (INT_MAX when there is none).
struct Shot {
  std::string caption;
  std::vector<unsigned long> pixels = {};
  int left = INT_MAX, top = INT_MAX;
};

class MessageWindowOnX : public testing::XServerTest {
 protected:
  // A fresh form shown with `texts` set one after the other, as drawn: with
  // ink once a text is set, without before. A form that unloads (after its
  // two seconds) before it is seen drawn is shown afresh.
  Shot ShownWith(const std::vector<std::u16string>& texts) {
    Shot shot;
    const auto drawn = [&] {
      std::optional<Window> window = FindTopLevel("formMsg");
      XWindowAttributes size;
      if (!window || !XGetWindowAttributes(display_, *window, &size)) return false;
      XImage* image = XGetImage(display_, *window, 0, 0, size.width, size.height, AllPlanes, ZPixmap);
      shot = {Utf8Property(*window, "_NET_WM_NAME")};
      for (int at = 0; at < size.width * size.height; ++at) {
        const unsigned long p = XGetPixel(image, at % size.width, at / size.width) & 0xFFFFFF;
        shot.pixels.push_back(p);
        // Dark enough to be text rather than the face colour or its smoothing.
        if ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF) >= 3 * 0x90) continue;
        shot.left = std::min(shot.left, at % size.width);
        shot.top = std::min(shot.top, at / size.width);
      }
      XDestroyImage(image);
      return (shot.left != INT_MAX) == !texts.empty();
    };
    formMsg form;
    for (int attempt = 0; attempt < 5 && !drawn(); ++attempt) {
      form.Show();
      for (const auto& text : texts) form.setMessage(text);
      testing::ServeLoopUntil([&] { return !form.IsLoaded() || drawn(); });
    }
    return shot;
  }
};

TEST_F(MessageWindowOnX, CaptionSizeAndLabel) {
  Shot empty = ShownWith({});
  EXPECT_EQ(empty.caption, "\xE6\x8F\x90\xE7\xA4\xBA");  // 提示
  EXPECT_EQ(empty.pixels.size(), 359u * 135u);  // the client area, in pixels
  EXPECT_EQ(empty.left, INT_MAX);  // no ink

  // Left-aligned from the label's top-left corner, inside the label.
  Shot shown = ShownWith({u"\u4F60\u597D, world"});
  EXPECT_TRUE(shown.left >= 16 && shown.left <= 20) << shown.left;
  EXPECT_TRUE(shown.top >= 16 && shown.top <= 24) << shown.top;
  // A missing glyph would draw the same box for both characters.
  EXPECT_NE(ShownWith({u"\u4E2D"}).pixels, ShownWith({u"\u6587"}).pixels);
}

// Timers of the same loop, due just before and just after the notice's own,
// tell when it unloaded however late a busy machine runs them.
TEST_F(MessageWindowOnX, UnloadsTwoSecondsAfterLoadingNotAfterTheLastMessage) {
  testing::NoticeBetweenTimers timers;
  timers.Notice().Show();
  MessageLoop::Current().StartOneShot(milliseconds(1000), [&] { timers.Notice().setMessage(u"set at one second"); });
  ASSERT_TRUE(MessageLoop::Current().RunUntil([&] { return timers.LoadedJustAfter().has_value(); }));
  EXPECT_TRUE(timers.UnloadedBetween());
  EXPECT_FALSE(FindTopLevel("formMsg"));
}

}  // namespace
}  // namespace comsvc
