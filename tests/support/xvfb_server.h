// A private X server (Xvfb) for tests that open real windows.
#pragma once

#include <sys/types.h>

#include <string>

namespace comsvc::testing {

// Starts Xvfb on a free display number (it picks one itself) with a
// 1024x768 screen of 24-bit colour; stops it with the object.
class XvfbServer {
 public:
  XvfbServer();
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool Running() const { return pid_ > 0 && !display_.empty(); }
  // ":N", the value for $DISPLAY; empty when the server did not start.
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace comsvc::testing
