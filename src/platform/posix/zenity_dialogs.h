// Message and input boxes on the desktop, drawn by zenity. While a box is
// open the thread's message loop keeps being served, so timers (a notice
// window's among them) and other handlers run during the box.
#pragma once

#include <optional>
#include <string>

#include <comsvc/dialogs.h>

namespace comsvc::platform {

class ZenityDialogs : public DialogService {
 public:
  // True when there is an X display to draw on and zenity is on the PATH.
  static bool Available();

  // The message box: --info, --warning or --error by icon; a box without an
  // icon is an info box with no icon. An empty title shows the program's name.
  void ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) override;
  // The entry box; Cancel, closing the box or a failure to show it gives
  // nullopt.
  std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                             const std::u16string& default_text) override;
};

}  // namespace comsvc::platform
