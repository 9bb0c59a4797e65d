#include "support/x11_probe.h"

#include <X11/Xutil.h>

// Fontconfig (under Xft) links its patterns' parts by offsets rather than
// pointers, which the leak checker cannot follow: its one-time font data
// would show as leaks in every program that draws text.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace comsvc::testing {

std::optional<Window> FindTopLevel(Display* display, const std::string& name) {
  XSync(display, False);
  Window root, parent;
  Window* children = nullptr;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  std::optional<Window> found;
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    XClassHint hint{};
    if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    if (!XGetClassHint(display, children[i], &hint)) continue;
    if (name == hint.res_name) found = children[i];
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  if (children) XFree(children);
  return found;
}

std::string Utf8Property(Display* display, Window window, const char* name) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False,
                     XInternAtom(display, "UTF8_STRING", False), &type, &format, &items, &after, &data);
  std::string value = data ? std::string(reinterpret_cast<char*>(data), items) : "";
  if (data) XFree(data);
  return value;
}

void RequestClose(Display* display, Window window) {
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &close);
  XFlush(display);
}

}  // namespace comsvc::testing
