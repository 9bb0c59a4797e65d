#include <comsvc/message_loop.h>

#include <algorithm>
#include <type_traits>
#include <utility>

#include "os/event_wait.h"

namespace comsvc::platform {

struct MessageLoop::Timer {
  Clock::duration interval;
  Clock::time_point due;
  bool repeating;
  Callback callback;
};

struct MessageLoop::Watch {
  Handle handle;
  unsigned events;
  HandleCallback callback;
};

// The loop hands on what the seam reports as it is.
static_assert(unsigned{MessageLoop::kReadable} == unsigned{os::kReadable} &&
              unsigned{MessageLoop::kWritable} == unsigned{os::kWritable} &&
              unsigned{MessageLoop::kHangUp} == unsigned{os::kHangUp} &&
              unsigned{MessageLoop::kError} == unsigned{os::kError});
static_assert(std::is_same_v<MessageLoop::Handle, os::WaitHandle>);

struct MessageLoop::Source {
  std::function<bool()> prepare;
  Callback dispatch;
};

namespace {

std::optional<MessageLoop::Clock::duration> Shorter(std::optional<MessageLoop::Clock::duration> a,
                                                    std::optional<MessageLoop::Clock::duration> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

}  // namespace

MessageLoop& MessageLoop::Current() {
  thread_local MessageLoop loop;
  return loop;
}

MessageLoop::MessageLoop() = default;
MessageLoop::~MessageLoop() = default;

void MessageLoop::PostTask(Callback callback) { posted_.push_back(std::move(callback)); }

MessageLoop::Id MessageLoop::StartTimer(std::chrono::milliseconds interval, Callback callback, bool repeating) {
  auto timer = std::make_shared<Timer>(
      Timer{interval, Clock::now() + interval, repeating, std::move(callback)});
  Id id = next_id_++;
  timers_.emplace(id, std::move(timer));
  return id;
}

void MessageLoop::StopTimer(Id timer) { timers_.erase(timer); }

MessageLoop::Id MessageLoop::WatchHandle(Handle handle, unsigned events, HandleCallback callback) {
  Id id = next_id_++;
  watches_.emplace(id, std::make_shared<Watch>(Watch{handle, events, std::move(callback)}));
  return id;
}

void MessageLoop::ChangeWatch(Id watch, unsigned events) {
  auto it = watches_.find(watch);
  if (it != watches_.end()) it->second->events = events;
}

void MessageLoop::Unwatch(Id watch) {
  auto it = watches_.find(watch);
  if (it == watches_.end()) return;
  const Handle handle = it->second->handle;
  watches_.erase(it);
  const bool still_watched =
      std::any_of(watches_.begin(), watches_.end(), [&](const auto& entry) { return entry.second->handle == handle; });
  if (!still_watched) os::StopWaitingFor(handle);
}

MessageLoop::Id MessageLoop::AddSource(std::function<bool()> prepare, Callback dispatch) {
  Id id = next_id_++;
  sources_.emplace(id, std::make_shared<Source>(Source{std::move(prepare), std::move(dispatch)}));
  return id;
}

void MessageLoop::RemoveSource(Id source) { sources_.erase(source); }

bool MessageLoop::IsIdle() const {
  return posted_.empty() && timers_.empty() && watches_.empty() && sources_.empty();
}

bool MessageLoop::RunUntil(const std::function<bool()>& done, std::optional<Clock::time_point> deadline) {
  while (!done()) {
    if (IsIdle()) return false;
    std::optional<Clock::duration> max_wait;
    if (deadline) {
      auto now = Clock::now();
      if (now >= *deadline) return false;
      max_wait = *deadline - now;
    }
    RunOnce(max_wait);
  }
  return true;
}

bool MessageLoop::RunOnce(std::optional<Clock::duration> max_wait) {
  ++turns_;
  bool ran = RunSources();
  if (ran || !posted_.empty()) max_wait = Clock::duration::zero();
  if (auto due = NextTimerDue()) max_wait = Shorter(max_wait, *due - Clock::now());
  if (!max_wait && watches_.empty()) return ran;  // nothing could ever wake us
  ran |= WaitAndRunWatches(max_wait);
  ran |= RunDueTimers();
  ran |= RunPostedTasks();
  return ran;
}

std::optional<MessageLoop::Clock::time_point> MessageLoop::NextTimerDue() const {
  std::optional<Clock::time_point> next;
  for (const auto& [id, timer] : timers_) {
    if (!next || timer->due < *next) next = timer->due;
  }
  return next;
}

bool MessageLoop::RunSources() {
  // Snapshot first: a handler may add or remove sources.
  std::vector<std::pair<Id, std::shared_ptr<Source>>> pending;
  for (const auto& [id, source] : sources_) pending.emplace_back(id, source);
  bool ran = false;
  for (auto& [id, source] : pending) {
    if (!sources_.contains(id)) continue;
    if (source->prepare()) {
      source->dispatch();
      ran = true;
    }
  }
  return ran;
}

bool MessageLoop::WaitAndRunWatches(std::optional<Clock::duration> max_wait) {
  std::vector<os::HandleWait> waits;
  std::vector<Id> ids;
  for (const auto& [id, watch] : watches_) {
    waits.push_back(os::HandleWait{watch->handle, watch->events});
    ids.push_back(id);
  }
  if (!os::WaitForEvents(waits, max_wait)) return false;  // time-out: the caller turns again
  bool ran = false;
  const uint64_t turn = turns_;
  // A handler that waits in a nested turn has served the queue itself: what
  // this wait reported may be stale, and the next wait reports again what
  // is still ready.
  for (size_t i = 0; i < waits.size() && turns_ == turn; ++i) {
    if (waits[i].ready == 0) continue;
    auto it = watches_.find(ids[i]);
    if (it == watches_.end()) continue;  // removed by an earlier handler of this turn
    auto watch = it->second;             // keeps the callback alive while it runs
    const Readiness ready{waits[i].ready & (watch->events | kHangUp | kError), waits[i].error};
    if (ready.events == 0) continue;
    watch->callback(ready);
    ran = true;
  }
  return ran;
}

bool MessageLoop::RunDueTimers() {
  auto now = Clock::now();
  std::vector<std::pair<Id, std::shared_ptr<Timer>>> due;
  for (const auto& [id, timer] : timers_) {
    if (timer->due <= now) due.emplace_back(id, timer);
  }
  std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.second->due < b.second->due; });
  for (auto& [id, timer] : due) {
    // Stopped by an earlier handler, or already run by a nested wait.
    if (!timers_.contains(id) || timer->due > now) continue;
    if (timer->repeating) {
      timer->due = now + timer->interval;
    } else {
      timers_.erase(id);
    }
    timer->callback();
  }
  return !due.empty();
}

bool MessageLoop::RunPostedTasks() {
  // Only as many tasks as were queued when this point was reached run now;
  // tasks posted by them wait for the next turn, so a task that reposts
  // itself cannot starve the descriptors and timers. Each task leaves the
  // queue before it runs: a nested wait inside it serves the ones behind it,
  // and if it raises, they stay queued.
  size_t count = posted_.size();
  for (size_t i = 0; i < count && !posted_.empty(); ++i) {
    Callback task = std::move(posted_.front());
    posted_.pop_front();
    task();
  }
  return count > 0;
}

}  // namespace comsvc::platform
