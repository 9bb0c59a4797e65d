// The thread's message queue: timers, watches of system handles and posted
// callbacks, served one at a time on the thread that owns the loop.
//
// Every service that waits (the connection wait of a form post, the modal
// boxes, the notice window's timer) serves this queue while it waits, so the
// other handlers of the thread keep running. There is one loop per thread,
// created on first use by Current(); nothing here starts a thread, and a loop
// is used only from its own thread.
//
// Waits nest: a handler may itself call RunUntil (a modal box opened from a
// socket event), and the inner wait serves the same queue. Handlers may add or
// remove timers and watches, their own included, at any time.
//
// The loop owns the callbacks it is given until they are stopped, removed or
// run (posted tasks, one-shot timers); it never owns a watched handle. What
// a handler raises passes out of the RunUntil or RunOnce that ran it, and
// the loop stays usable.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

namespace comsvc::platform {

class MessageLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using Callback = std::function<void()>;
  // Identifies a timer, a watch or a source; 0 is never used.
  using Id = uint64_t;

  // What the loop can wait on: a file descriptor on POSIX systems, a socket
  // (SOCKET) on Windows, whose windows and timers report through the
  // thread's message queue, which the loop serves as well.
#ifdef _WIN32
  using Handle = std::uintptr_t;
#else
  using Handle = int;
#endif

  // What a watched handle is waited for, and what it reports.
  enum HandleEvents : unsigned {
    kReadable = 1u << 0,
    kWritable = 1u << 1,
    // Reported only: the peer hung up or the handle has an error pending.
    kHangUp = 1u << 2,
    kError = 1u << 3,
  };
  struct Readiness {
    unsigned events = 0;
    // Why a connection attempt or a connection ended, where the system says
    // so with the report itself (Windows does); empty otherwise.
    std::error_code error;
  };
  using HandleCallback = std::function<void(const Readiness& ready)>;

  // The loop of the calling thread.
  static MessageLoop& Current();

  MessageLoop();
  ~MessageLoop();
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Runs `callback` on a later turn of the loop, after what is already queued.
  void PostTask(Callback callback);

  // Calls `callback` every `interval` (a repeating timer, as a timer control)
  // until StopTimer; or once, after `interval`, for a one-shot timer. A timer
  // that fell behind fires once, not once per missed interval.
  Id StartTimer(std::chrono::milliseconds interval, Callback callback, bool repeating = true);
  Id StartOneShot(std::chrono::milliseconds delay, Callback callback) {
    return StartTimer(delay, std::move(callback), false);
  }
  // Stopping an unknown or finished timer does nothing.
  void StopTimer(Id timer);

  // Calls `callback` with what is ready whenever `handle` is ready for one of
  // `events` (kReadable | kWritable); hang-up and error are always reported.
  // The loop does not own the handle: remove the watch before closing it.
  Id WatchHandle(Handle handle, unsigned events, HandleCallback callback);
  void ChangeWatch(Id watch, unsigned events);
  void Unwatch(Id watch);

  // An event source with a buffer of its own (a display connection): before
  // the loop blocks it calls `prepare`, which flushes what the source has to
  // send and returns true when events already wait in the source's buffer;
  // the loop then calls `dispatch` instead of blocking. Pair it with a watch
  // of the source's descriptor for events still on the wire.
  Id AddSource(std::function<bool()> prepare, Callback dispatch);
  void RemoveSource(Id source);

  // Serves the queue until `done()` returns true (checked before every turn,
  // so a condition that already holds returns at once) or `deadline` passes.
  // Returns true when the condition held, false on the deadline, or at once
  // when the loop is idle (nothing left that could change the condition).
  bool RunUntil(const std::function<bool()>& done, std::optional<Clock::time_point> deadline = std::nullopt);
  bool RunFor(Clock::duration duration, const std::function<bool()>& done = [] { return false; }) {
    return RunUntil(done, Clock::now() + duration);
  }

  // One turn: waits at most `max_wait` (forever when absent, unless nothing is
  // left to wait for) and runs what became due: sources, ready descriptors,
  // due timers, then the posted callbacks queued before the turn began.
  // Returns true when at least one handler ran.
  bool RunOnce(std::optional<Clock::duration> max_wait = std::nullopt);

  // True when nothing could ever wake the loop: no timer, no watch, no
  // source and no posted callback.
  bool IsIdle() const;

 private:
  struct Timer;
  struct Watch;
  struct Source;

  std::optional<Clock::time_point> NextTimerDue() const;
  bool RunSources();
  bool WaitAndRunWatches(std::optional<Clock::duration> max_wait);
  bool RunDueTimers();
  bool RunPostedTasks();

  Id next_id_ = 1;
  uint64_t turns_ = 0;  // counts turns, nested ones included
  std::deque<Callback> posted_;
  std::map<Id, std::shared_ptr<Timer>> timers_;
  std::map<Id, std::shared_ptr<Watch>> watches_;
  std::map<Id, std::shared_ptr<Source>> sources_;
};

}  // namespace comsvc::platform
