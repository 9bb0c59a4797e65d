// Looking at other clients' windows on an X server, as a person would.
#pragma once

#include <optional>
#include <string>

// Xlib's macros (None, Bool, Status) clash with other libraries' names:
// include this header after them.
#include <X11/Xlib.h>

namespace comsvc::testing {

// The first viewable top-level window whose WM_CLASS instance name is `name`.
std::optional<Window> FindTopLevel(Display* display, const std::string& name);

// A UTF8_STRING property ("_NET_WM_NAME"), empty when absent.
std::string Utf8Property(Display* display, Window window, const char* name);

// Asks the window's owner to close it, as a window manager's close button
// does (WM_DELETE_WINDOW).
void RequestClose(Display* display, Window window);

}  // namespace comsvc::testing
