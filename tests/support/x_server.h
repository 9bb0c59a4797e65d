// A private X server (Xvfb) for tests that open real windows, and a look at
// other clients' windows on it as a person would have.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <optional>
#include <string>

// Xlib's macros (None, Bool, Status) clash with other libraries' names:
// include this header after them.
#include <X11/Xlib.h>

namespace comsvc::testing {

// Starts Xvfb once per suite on a display number it picks itself, points
// $DISPLAY at it, and connects to it.
class XServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  // Without an X server (no Xvfb) the tests say so and are skipped.
  void SetUp() override {
    if (display_ == nullptr) GTEST_SKIP() << "needs an X server, and Xvfb did not start";
  }

  // The first viewable top-level window whose WM_CLASS instance name is `name`.
  std::optional<Window> FindTopLevel(const std::string& name);
  // A UTF8_STRING property such as "_NET_WM_NAME"; empty when absent.
  std::string Utf8Property(Window window, const char* name);
  // Asks the window's owner to close it, as a close button does.
  void RequestClose(Window window);

  static Display* display_;

 private:
  static pid_t server_;
};

}  // namespace comsvc::testing
