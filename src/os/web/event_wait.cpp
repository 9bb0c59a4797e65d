// A page has no handles to wait on: a wait is a pause of its length, during
// which the browser runs the page (the module is built with Asyncify).
#include "os/event_wait.h"

#include <emscripten.h>

#include <algorithm>
#include <climits>

namespace comsvc::os {

bool WaitForEvents(std::span<HandleWait> waits, std::optional<WaitDuration> max_wait) {
  for (HandleWait& wait : waits) wait.ready = 0;
  if (!max_wait || *max_wait <= WaitDuration::zero()) return false;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*max_wait).count();
  emscripten_sleep(static_cast<unsigned>(std::min<long long>(ms, INT_MAX)));
  return false;
}

void StopWaitingFor(WaitHandle) {}

}  // namespace comsvc::os
