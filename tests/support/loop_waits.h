// Waiting in the thread's message loop for what another thread, process or
// server brings about, which sends the loop no event of its own.
#pragma once

#include <chrono>
#include <functional>

#include <comsvc/message_loop.h>

namespace comsvc::testing {

// Serves the loop until `done()` holds, looking every few milliseconds, or
// until `limit` passes (generous: a busy machine is slow, not wrong). True
// when `done()` held.
inline bool ServeLoopUntil(const std::function<bool()>& done,
                           std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  platform::MessageLoop& loop = platform::MessageLoop::Current();
  const platform::MessageLoop::Id look_again = loop.StartTimer(std::chrono::milliseconds(10), [] {});
  const bool held = loop.RunUntil(done, platform::MessageLoop::Clock::now() + limit);
  loop.StopTimer(look_again);
  return held;
}

}  // namespace comsvc::testing
