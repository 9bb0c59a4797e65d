// Modal message and input boxes behind one interface, so that the services
// show boxes without knowing who answers them: a person at a terminal or a
// desktop, or a script of answers (<comsvc/testing/scripted_dialogs.h>, for
// tests and batch runs).
//
// Boxes are how the services report to a user ("Parser Error", "Invalid
// Host", a socket's error); they raise nothing themselves.
//
// The dialog service is process-wide and set before use: a host calls
// SetDialogs before any thread shows a box, and never while one does. A
// service's own methods are called from whichever thread shows the box; the
// services below are not meant to be shared by threads at once.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace comsvc::platform {

enum class BoxIcon { kNone, kInformation, kExclamation, kCritical };

const char* BoxIconName(BoxIcon icon);  // "none", "information", ...

// One box that was shown, as a record.
struct DialogRecord {
  enum class Kind { kMessage, kInput } kind = Kind::kMessage;
  std::u16string text;  // message text, or the input box's prompt
  std::u16string title;
  BoxIcon icon = BoxIcon::kNone;          // message boxes
  std::u16string default_text;            // input boxes
  std::optional<std::u16string> answer;   // input boxes: nullopt = cancelled
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Shows a modal message box with one OK button; returns when it is closed.
  // An empty title shows the application's name.
  virtual void ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) = 0;
  // Shows a modal input box; returns the confirmed text, or nullopt when the
  // user cancels.
  virtual std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                                     const std::u16string& default_text) = 0;
};

// The service the library's boxes go to. By default one that shows nothing
// and cancels every input box, so that a library used without a user never
// blocks. SetDialogs(nullptr) restores it.
DialogService& Dialogs();
void SetDialogs(std::shared_ptr<DialogService> service);

// The box operations the services call.
void MessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon);
// The edited text, or the empty text when the user cancels.
std::u16string InputBox(const std::u16string& prompt, const std::u16string& title,
                        const std::u16string& default_text);

// The desktop's boxes: zenity's on Linux (with a display), the system's own
// on Windows. While a box is open the thread's message loop keeps being
// served. nullptr when no desktop can show boxes now.
std::shared_ptr<DialogService> MakeDesktopDialogs();

// Draws boxes on a terminal: the message box waits for Enter; the input box
// shows the default and reads a line (an empty line keeps the default); end
// of input cancels. While a box waits for its line, the thread's message loop
// is served, as by every modal box.
class TerminalDialogs : public DialogService {
 public:
  TerminalDialogs(int in_fd, int out_fd);
  void ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) override;
  std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                             const std::u16string& default_text) override;

 private:
  int in_fd_;
  int out_fd_;
};

}  // namespace comsvc::platform
