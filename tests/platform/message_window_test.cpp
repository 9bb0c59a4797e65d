// The notice window on a real X server (Xvfb), and headless.
#include "platform/message_window.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/x11_probe.h"
#include "support/xvfb_server.h"

namespace comsvc {
namespace {

using platform::MessageLoop;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned long kFace = 0xF0F0F0;

// A screenshot of a window's client area.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<unsigned long> pixels;
  unsigned long At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)] & 0xFFFFFF; }
  // Dark enough to be text rather than the face colour or its smoothing.
  bool IsInk(int x, int y) const {
    unsigned long p = At(x, y);
    return ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) < 3 * 0x90;
  }
  bool operator==(const Image&) const = default;
};

// Where ink was found, if anywhere.
struct InkBox {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool Empty() const { return right < 0; }
};

InkBox FindInk(const Image& image) {
  InkBox box;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (!image.IsInk(x, y)) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  }
  return box;
}

class MessageWindowOnX : public ::testing::Test {
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
    display_ = XOpenDisplay(server_->Display().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  static void Serve(milliseconds time) { MessageLoop::Current().RunFor(time); }

  std::optional<Window> FormWindow() { return testing::FindTopLevel(display_, "formMsg"); }

  Image Capture(Window window) {
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window, &attributes);
    XImage* shot = XGetImage(display_, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    Image image{attributes.width, attributes.height, {}};
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) image.pixels.push_back(XGetPixel(shot, x, y));
    }
    XDestroyImage(shot);
    return image;
  }

  // Shows a fresh form with the given texts set one after the other and
  // returns its screenshot.
  Image ShownWith(const std::vector<std::u16string>& texts) {
    formMsg form;
    form.Show();
    for (const auto& text : texts) form.setMessage(text);
    Serve(milliseconds(300));
    std::optional<Window> window = FormWindow();
    return window ? Capture(*window) : Image{};
  }

  static testing::XvfbServer* server_;
  Display* display_ = nullptr;
};

testing::XvfbServer* MessageWindowOnX::server_ = nullptr;

TEST_F(MessageWindowOnX, LabelStartsEmptyAndDrawsItsTextInsideItsBounds) {
  Image empty = ShownWith({});
  ASSERT_EQ(empty.width, 359);
  EXPECT_TRUE(FindInk(empty).Empty());
  EXPECT_EQ(empty.At(5, 5), kFace);

  Image shown = ShownWith({u"\u4F60\u597D, world"});
  InkBox ink = FindInk(shown);
  ASSERT_FALSE(ink.Empty());
  // Left-aligned from the label's top-left corner, inside the label.
  EXPECT_GE(ink.left, 16);
  EXPECT_LE(ink.left, 20);
  EXPECT_GE(ink.top, 16);
  EXPECT_LE(ink.top, 24);
  EXPECT_LT(ink.bottom, 16 + 105);
}

TEST_F(MessageWindowOnX, ChineseGlyphsAreDrawnAsThemselves) {
  // A missing glyph draws the same box for every character.
  Image zhong = ShownWith({u"\u4E2D"});
  Image wen = ShownWith({u"\u6587"});
  ASSERT_FALSE(FindInk(zhong).Empty());
  EXPECT_FALSE(zhong == wen);
}

TEST_F(MessageWindowOnX, SecondMessageReplacesTheFirst) {
  Image replaced = ShownWith({u"First text, quite long", u"\u4E2D\u6587 second"});
  Image direct = ShownWith({u"\u4E2D\u6587 second"});
  ASSERT_FALSE(FindInk(direct).Empty());
  EXPECT_TRUE(replaced == direct);
}

TEST_F(MessageWindowOnX, LongTextWrapsAndStaysInsideTheLabel) {
  std::u16string words;
  for (int i = 0; i < 200; ++i) words += u"word ";
  Image wrapped = ShownWith({words});
  InkBox ink = FindInk(wrapped);
  ASSERT_FALSE(ink.Empty());
  EXPECT_GT(ink.bottom - ink.top, 60);  // several lines
  EXPECT_LT(ink.right, 16 + 329);
  EXPECT_LT(ink.bottom, 16 + 105);
}

TEST_F(MessageWindowOnX, UnloadsTwoSecondsAfterLoadingNotAfterTheLastMessage) {
  const Clock::time_point loaded = Clock::now();
  formMsg form;
  form.Show();
  MessageLoop::Current().StartOneShot(milliseconds(1000), [&] { form.setMessage(u"set at one second"); });
  Serve(milliseconds(1500));
  std::optional<Window> window = FormWindow();
  ASSERT_TRUE(window);
  EXPECT_FALSE(FindInk(Capture(*window)).Empty());
  EXPECT_EQ(form.Label1Text(), u"set at one second");

  EXPECT_TRUE(MessageLoop::Current().RunUntil([&] { return !form.IsLoaded(); }, loaded + milliseconds(3000)));
  const auto elapsed = Clock::now() - loaded;
  EXPECT_GE(elapsed, milliseconds(2000));
  EXPECT_LT(elapsed, milliseconds(2500));
  EXPECT_EQ(form.Label1Text(), u"");
  EXPECT_FALSE(FormWindow());
}

TEST_F(MessageWindowOnX, CaptionSizeAndClosingByHand) {
  formMsg form;
  ASSERT_TRUE(form.HasWindow());
  form.Show();
  Serve(milliseconds(200));
  std::optional<Window> window = FormWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(testing::Utf8Property(display_, *window, "_NET_WM_NAME"), "\xE6\x8F\x90\xE7\xA4\xBA");  // 提示
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, *window, &attributes);
  EXPECT_EQ(attributes.width, 359);
  EXPECT_EQ(attributes.height, 135);

  testing::RequestClose(display_, *window);
  EXPECT_TRUE(MessageLoop::Current().RunUntil([&] { return !form.IsLoaded(); }, Clock::now() + milliseconds(1000)));
  EXPECT_FALSE(FormWindow());
}

// Without a display the form keeps its model and its timing.
class HeadlessMessageWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* display = std::getenv("DISPLAY")) saved_ = display;
    unsetenv("DISPLAY");
  }
  void TearDown() override {
    if (saved_) setenv("DISPLAY", saved_->c_str(), 1);
  }
  std::optional<std::string> saved_;
};

TEST_F(HeadlessMessageWindow, KeepsTheModelAndTheTiming) {
  const Clock::time_point loaded = Clock::now();
  formMsg form;
  EXPECT_FALSE(form.HasWindow());
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_EQ(form.Label1Text(), u"");
  form.Show();
  form.setMessage(u"first");
  form.setMessage(u"second");
  EXPECT_EQ(form.Label1Text(), u"second");
  MessageLoop::Current().StartOneShot(milliseconds(1000), [&] { form.setMessage(u"late"); });
  EXPECT_TRUE(MessageLoop::Current().RunUntil([&] { return !form.IsLoaded(); }, loaded + milliseconds(3000)));
  const auto elapsed = Clock::now() - loaded;
  EXPECT_GE(elapsed, milliseconds(2000));
  EXPECT_LT(elapsed, milliseconds(2500));
  EXPECT_EQ(form.Label1Text(), u"");
}

TEST_F(HeadlessMessageWindow, UseAfterUnloadLoadsAFreshForm) {
  formMsg form;
  form.setMessage(u"one");
  form.Unload();
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(form.Label1Text(), u"one");  // unloading by hand leaves the label
  const Clock::time_point reloaded = Clock::now();
  form.setMessage(u"two");
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_EQ(form.Label1Text(), u"two");
  EXPECT_TRUE(MessageLoop::Current().RunUntil([&] { return !form.IsLoaded(); }, reloaded + milliseconds(3000)));
  EXPECT_GE(Clock::now() - reloaded, milliseconds(2000));
}

}  // namespace
}  // namespace comsvc
