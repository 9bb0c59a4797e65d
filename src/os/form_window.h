// A top-level window with one text label, drawn by the desktop: the native
// side of small forms. The form keeps its own model; the window only shows
// it. Text is UTF-8.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "os/event_sink.h"

namespace comsvc::os {

// Sizes in pixels.
struct FormLayout {
  std::string caption;
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
  virtual void SetLabelText(const std::string& text) = 0;
};

// A window on the desktop, hidden until Show, served through `events` for
// as long as it exists (which must outlive it). `on_close` runs from the
// loop when the user closes the window. nullptr when there is no desktop to
// draw on (no display, or a build without one).
std::unique_ptr<FormWindow> OpenFormWindow(const FormLayout& layout, std::function<void()> on_close,
                                           EventSink& events);

}  // namespace comsvc::os
