// The one blocking call of the thread's event loop.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <system_error>

#include "os/handles.h"

namespace comsvc::os {

enum HandleEvents : unsigned {
  kReadable = 1u << 0,
  kWritable = 1u << 1,
  // Reported only: the peer hung up, or the handle has an error pending.
  kHangUp = 1u << 2,
  kError = 1u << 3,
};

struct HandleWait {
  WaitHandle handle;
  unsigned wanted;     // kReadable | kWritable
  unsigned ready = 0;  // what came
  // Why a connection attempt or a connection ended, when the system said so
  // in the readiness report itself (Winsock does; POSIX keeps it on the
  // socket, see ConnectOutcome).
  std::error_code error = {};
};

using WaitDuration = std::chrono::steady_clock::duration;

// Blocks until one of `waits` is ready or `max_wait` has passed (nullopt: no
// limit), rounding the wait up so that a timer is never woken early. Returns
// whether anything happened.
//
// On Windows the thread's message queue is the wait: sockets report through
// window messages, and every other message of the thread (its windows, the
// system's boxes and timers) is dispatched while the wait lasts, so a call
// returns true also when only such a message came.
bool WaitForEvents(std::span<HandleWait> waits, std::optional<WaitDuration> max_wait);

// Tells the system that `handle` is no longer waited on (Windows stops its
// notifications; nothing to do on POSIX).
void StopWaitingFor(WaitHandle handle);

}  // namespace comsvc::os
