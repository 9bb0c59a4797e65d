// Message and input boxes drawn on the desktop by the system: on POSIX by
// the zenity program, on Windows by the system's own boxes. Text is UTF-8.
//
// A box is modal: it returns when the user closes it, and the thread's loop
// is served meanwhile (through `events`; the Windows boxes serve the
// thread's message queue themselves).
#pragma once

#include <optional>
#include <string>

#include "os/event_sink.h"

namespace comsvc::os {

enum class DesktopIcon { kNone, kInformation, kExclamation, kCritical };

// Whether boxes can be shown on a desktop right now.
bool DesktopBoxesAvailable();

// One OK button; an empty title shows the program's name.
void ShowDesktopMessageBox(const std::string& text, const std::string& title, DesktopIcon icon,
                           EventSink& events);

// The confirmed text; nullopt for Cancel, closing the box, or a box that
// could not be shown.
std::optional<std::string> ShowDesktopInputBox(const std::string& prompt, const std::string& title,
                                               const std::string& default_text, EventSink& events);

}  // namespace comsvc::os
