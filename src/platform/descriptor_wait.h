// Waiting for descriptors: the one blocking call of the message loop, made
// by the operating system's backend.
#pragma once

#include <optional>
#include <vector>

#include <comsvc/message_loop.h>

namespace comsvc::platform {

struct DescriptorWait {
  int fd;
  unsigned events;     // MessageLoop::FdEvents wanted
  unsigned ready = 0;  // MessageLoop::FdEvents that came
};

// Blocks until one of `waits` is ready, a window message of the thread was
// dispatched, or `max_wait` passed (nullopt: no limit). Returns whether
// anything became ready.
bool WaitForDescriptors(std::vector<DescriptorWait>& waits, std::optional<MessageLoop::Clock::duration> max_wait);

}  // namespace comsvc::platform
