#include "support/x_server.h"

#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// Fontconfig (under Xft) links its patterns' parts by offsets rather than
// pointers, which the leak checker cannot follow: its one-time font data
// would show as leaks in every program that draws text.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace comsvc::testing {

pid_t XServerTest::server_ = -1;
Display* XServerTest::display_ = nullptr;

void XServerTest::SetUpTestSuite() {
  int fds[2];
  if (pipe(fds) != 0) return;
  server_ = fork();
  if (server_ == 0) {
    close(fds[0]);
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server when a test crashes
    execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // Xvfb writes its display number and a line end once it accepts connections.
  std::string name = ":";
  char c = 0;
  pollfd ready{fds[0], POLLIN, 0};
  while (server_ > 0 && poll(&ready, 1, 60000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') name.push_back(c);
  close(fds[0]);
  if (c != '\n') return;
  setenv("DISPLAY", name.c_str(), 1);
  display_ = XOpenDisplay(name.c_str());
}

void XServerTest::TearDownTestSuite() {
  if (display_) XCloseDisplay(display_);
  display_ = nullptr;
  if (server_ > 0) kill(server_, SIGTERM), waitpid(server_, nullptr, 0);
  server_ = -1;
  unsetenv("DISPLAY");
}

std::optional<Window> XServerTest::FindTopLevel(const std::string& name) {
  XSync(display_, False);
  Window root, parent;
  Window* children = nullptr;
  unsigned count = 0;
  XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
  std::optional<Window> found;
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    XClassHint hint{};
    if (!XGetWindowAttributes(display_, children[i], &attributes) || attributes.map_state != IsViewable) continue;
    if (!XGetClassHint(display_, children[i], &hint)) continue;
    if (name == hint.res_name) found = children[i];
    XFree(hint.res_name);
    XFree(hint.res_class);
  }
  if (children) XFree(children);
  return found;
}

std::string XServerTest::Utf8Property(Window window, const char* name) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, 1024, False,
                     XInternAtom(display_, "UTF8_STRING", False), &type, &format, &items, &after, &data);
  std::string value = data ? std::string(reinterpret_cast<char*>(data), items) : "";
  if (data) XFree(data);
  return value;
}

void XServerTest::RequestClose(Window window) {
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  XSendEvent(display_, window, False, NoEventMask, &close);
  XFlush(display_);
}

}  // namespace comsvc::testing
