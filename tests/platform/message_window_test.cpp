// The notice window on a real X server (Xvfb), and headless.
#include "platform/message_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>
#include <string>
#include <vector>

// After gtest and the library: Xlib's macros clash with their names.
#include "support/x_server.h"

#include <X11/Xutil.h>

namespace comsvc {
namespace {

using platform::MessageLoop;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A screenshot of a window's client area, and the bounds of the text ink in it.
struct Shot {
  std::vector<unsigned long> pixels;
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
  bool HasInk() const { return right >= 0; }
};

class MessageWindowOnX : public testing::XServerTest {
 protected:
  Shot Capture(Window window) {
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window, &attributes);
    XImage* image = XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    Shot shot;
    for (int y = 0; y < attributes.height; ++y) {
      for (int x = 0; x < attributes.width; ++x) {
        const unsigned long p = XGetPixel(image, x, y) & 0xFFFFFF;
        shot.pixels.push_back(p);
        // Dark enough to be text rather than the face colour or its smoothing.
        if ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF) >= 3 * 0x90) continue;
        shot.left = std::min(shot.left, x);
        shot.top = std::min(shot.top, y);
        shot.right = std::max(shot.right, x);
        shot.bottom = std::max(shot.bottom, y);
      }
    }
    XDestroyImage(image);
    return shot;
  }

  // A fresh form shown with `texts` set one after the other, as drawn.
  Shot ShownWith(const std::vector<std::u16string>& texts) {
    formMsg form;
    form.Show();
    for (const auto& text : texts) form.setMessage(text);
    MessageLoop::Current().RunFor(milliseconds(300));
    std::optional<Window> window = FindTopLevel("formMsg");
    return window ? Capture(*window) : Shot{};
  }
};

TEST_F(MessageWindowOnX, CaptionSizeAndClosingByHand) {
  formMsg form;
  ASSERT_TRUE(form.HasWindow());
  form.Show();
  MessageLoop::Current().RunFor(milliseconds(200));
  std::optional<Window> window = FindTopLevel("formMsg");
  ASSERT_TRUE(window);
  EXPECT_EQ(Utf8Property(*window, "_NET_WM_NAME"), "\xE6\x8F\x90\xE7\xA4\xBA");  // 提示
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, *window, &attributes);
  EXPECT_EQ(attributes.width, 359);
  EXPECT_EQ(attributes.height, 135);

  RequestClose(*window);
  EXPECT_TRUE(MessageLoop::Current().RunUntil([&] { return !form.IsLoaded(); }, Clock::now() + milliseconds(1000)));
  EXPECT_FALSE(FindTopLevel("formMsg"));
}

TEST_F(MessageWindowOnX, LabelDrawsItsTextInsideItsBounds) {
  Shot empty = ShownWith({});
  ASSERT_EQ(empty.pixels.size(), 359u * 135u);
  EXPECT_FALSE(empty.HasInk());

  // Left-aligned from the label's top-left corner, inside the label.
  Shot shown = ShownWith({u"\u4F60\u597D, world"});
  ASSERT_TRUE(shown.HasInk());
  EXPECT_TRUE(shown.left >= 16 && shown.left <= 20) << shown.left;
  EXPECT_TRUE(shown.top >= 16 && shown.top <= 24) << shown.top;

  // A missing glyph would draw the same box for both characters.
  EXPECT_NE(ShownWith({u"\u4E2D"}).pixels, ShownWith({u"\u6587"}).pixels);
}

TEST_F(MessageWindowOnX, UnloadsTwoSecondsAfterLoadingNotAfterTheLastMessage) {
  const Clock::time_point loaded = Clock::now();
  formMsg form;
  form.Show();
  MessageLoop::Current().StartOneShot(milliseconds(1000), [&] { form.setMessage(u"set at one second"); });
  MessageLoop::Current().RunFor(milliseconds(1500));
  std::optional<Window> window = FindTopLevel("formMsg");
  ASSERT_TRUE(window);
  EXPECT_TRUE(Capture(*window).HasInk());

  EXPECT_TRUE(MessageLoop::Current().RunUntil([&] { return !form.IsLoaded(); }, loaded + milliseconds(3000)));
  EXPECT_GE(Clock::now() - loaded, milliseconds(2000));
  EXPECT_LT(Clock::now() - loaded, milliseconds(2500));
  EXPECT_EQ(form.Label1Text(), u"");
  EXPECT_FALSE(FindTopLevel("formMsg"));
  // Any later use loads the form afresh.
  form.setMessage(u"again");
  EXPECT_TRUE(form.IsLoaded());
}

}  // namespace
}  // namespace comsvc
