// A notice window loaded between two timers of the thread's message loop
// that run as long as the notice's own: the first is due just before the
// notice's timer, the second just after. What each saw tells whether the
// notice unloaded on its own timer, in the loop's time, however late a busy
// machine runs the loop.
#pragma once

#include <optional>

#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>

namespace comsvc::testing {

class NoticeBetweenTimers {
 public:
  NoticeBetweenTimers() { after_ = Probe(loaded_after_); }
  ~NoticeBetweenTimers() {
    loop_.StopTimer(before_);
    loop_.StopTimer(after_);
  }
  NoticeBetweenTimers(const NoticeBetweenTimers&) = delete;
  NoticeBetweenTimers& operator=(const NoticeBetweenTimers&) = delete;

  formMsg& Notice() { return notice_; }
  // Whether the notice was loaded when each timer fired; empty until then.
  std::optional<bool> LoadedJustBefore() const { return loaded_before_; }
  std::optional<bool> LoadedJustAfter() const { return loaded_after_; }
  // Whether the notice unloaded on its own timer: loaded just before it, no
  // longer just after.
  bool UnloadedBetween() const { return loaded_before_ == true && loaded_after_ == false; }

 private:
  platform::MessageLoop::Id Probe(std::optional<bool>& loaded) {
    return loop_.StartOneShot(formMsg::kTimerInterval, [this, &loaded] { loaded = notice_.IsLoaded(); });
  }

  // In this order: the first timer starts before the notice loads.
  platform::MessageLoop& loop_ = platform::MessageLoop::Current();
  std::optional<bool> loaded_before_, loaded_after_;
  platform::MessageLoop::Id before_ = Probe(loaded_before_);
  formMsg notice_;
  platform::MessageLoop::Id after_ = 0;
};

}  // namespace comsvc::testing
