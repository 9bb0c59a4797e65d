// A top-level window with one text label, drawn by the desktop: the native
// side of small forms. The form keeps its own model; the window only shows
// it.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace comsvc::platform {

// Sizes in pixels.
struct FormLayout {
  std::u16string caption;
  int client_width;
  int client_height;
  int label_left;
  int label_top;
  int label_width;
  int label_height;
};

class FormWindow {
 public:
  virtual ~FormWindow() = default;
  virtual void Show() = 0;
  // Replaces the label's text and redraws it. The text wraps at the label's
  // width (at blanks, or between wide characters) and is cut at its height.
  virtual void SetLabelText(const std::u16string& text) = 0;
};

// A window on the desktop (on X11, the display named by $DISPLAY), hidden
// until Show, served by the calling thread's message loop for as long as it
// exists. `on_close`
// runs from the loop when the user closes the window. nullptr when there is
// no display to open.
std::unique_ptr<FormWindow> OpenFormWindow(const FormLayout& layout, std::function<void()> on_close);

}  // namespace comsvc::platform
