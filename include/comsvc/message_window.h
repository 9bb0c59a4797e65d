// formMsg: a small notice window that shows one text and unloads itself two
// seconds after it was loaded.
//
// Layout (pixels at 96 dots per inch): caption "提示", client area 359 x 135,
// Label1 at 16,16 of 329 x 105 with the default label look, Timer1 of
// 2000 ms running from load. The timer event clears the label and unloads
// the form; the two seconds count from loading, not from the last
// setMessage, and pass only while the thread serves its message loop.
//
// On a desktop the form is a real window (X11 on Linux); without a display,
// or in a build without X11, it is a headless form with the same model and
// timing. Nothing here raises or shows a box. The form owns its window and
// timer, which go when it unloads or is destroyed.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include <comsvc/message_loop.h>

namespace comsvc {

class formMsg {
 public:
  static constexpr std::u16string_view kCaption = u"\u63D0\u793A";
  static constexpr int kClientWidth = 359;
  static constexpr int kClientHeight = 135;
  static constexpr int kLabelLeft = 16;
  static constexpr int kLabelTop = 16;
  static constexpr int kLabelWidth = 329;
  static constexpr int kLabelHeight = 105;
  static constexpr std::chrono::milliseconds kTimerInterval{2000};

  // Loads the form: an empty label, Timer1 running, the window not yet shown.
  formMsg();
  ~formMsg();
  formMsg(const formMsg&) = delete;
  formMsg& operator=(const formMsg&) = delete;

  // Shows the window. Like every use of an unloaded form, loads it afresh
  // first (timer running again).
  void Show();
  // Sets Label1's text; it neither shows the window nor restarts the timer.
  void setMessage(const std::u16string& sMessage);
  // Closes and destroys the window and stops the timer.
  void Unload();

  bool IsLoaded() const { return loaded_; }
  bool HasWindow() const;  // false: headless
  const std::u16string& Label1Text() const { return label_text_; }

 private:
  void Load();
  void EnsureLoaded();
  void Timer1Timer();
  void SetLabel(const std::u16string& text);

  platform::MessageLoop& loop_;
  bool loaded_ = false;
  std::u16string label_text_;
  platform::MessageLoop::Id timer_ = 0;
  struct Window;  // the desktop's side of the form, private to the library
  std::unique_ptr<Window> window_;
};

}  // namespace comsvc
