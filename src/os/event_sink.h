// What a backend asks of the thread's event loop, which lives above the
// seam: to be told when a handle can be read, to be asked before the loop
// blocks, and to have the loop served until something is done. The loop
// implements it; backends that wait (a box, a terminal line, a window) take
// it as an argument, so that the seam never reaches up to the loop.
#pragma once

#include <cstdint>
#include <functional>

#include "os/handles.h"

namespace comsvc::os {

class EventSink {
 public:
  using Token = uint64_t;

  // Calls `ready` whenever `handle` can be read (or has hung up).
  virtual Token WatchReadable(WaitHandle handle, std::function<void()> ready) = 0;
  virtual void Unwatch(Token watch) = 0;
  // A source with a buffer of its own (a display connection): before the
  // loop blocks it calls `prepare`, which flushes what the source has to
  // send and returns true when events already wait in its buffer; the loop
  // then calls `dispatch` instead of blocking.
  virtual Token AddSource(std::function<bool()> prepare, std::function<void()> dispatch) = 0;
  virtual void RemoveSource(Token source) = 0;
  // Runs `task` on a later turn of the loop.
  virtual void Post(std::function<void()> task) = 0;
  // Serves the loop until `done()` holds, or nothing is left that could
  // change it.
  virtual void ServeUntil(const std::function<bool()>& done) = 0;

 protected:
  ~EventSink() = default;
};

}  // namespace comsvc::os
