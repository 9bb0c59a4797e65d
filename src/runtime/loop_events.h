// The calling thread's message loop as the operating-system seam sees it:
// what a backend that waits (a box, a terminal line, a window) is served by.
#pragma once

#include "os/event_sink.h"

namespace comsvc::platform {

// The thread's own, lasting as long as the thread.
os::EventSink& LoopEvents();

}  // namespace comsvc::platform
