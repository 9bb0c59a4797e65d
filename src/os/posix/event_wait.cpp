#include "os/event_wait.h"

#include <poll.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace comsvc::os {
namespace {

short ToPollEvents(unsigned events) {
  short result = 0;
  if (events & kReadable) result |= POLLIN;
  if (events & kWritable) result |= POLLOUT;
  return result;
}

unsigned FromPollEvents(short revents) {
  unsigned result = 0;
  if (revents & (POLLIN | POLLPRI)) result |= kReadable;
  if (revents & POLLOUT) result |= kWritable;
  if (revents & POLLHUP) result |= kHangUp;
  if (revents & (POLLERR | POLLNVAL)) result |= kError;
  return result;
}

// poll() takes whole milliseconds: round up so that a timer is never woken
// early and polled again in a busy loop.
int ToPollTimeout(std::optional<WaitDuration> wait) {
  if (!wait) return -1;
  if (*wait <= WaitDuration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

}  // namespace

bool WaitForEvents(std::span<HandleWait> waits, std::optional<WaitDuration> max_wait) {
  std::vector<pollfd> fds;
  fds.reserve(waits.size());
  for (const HandleWait& wait : waits) fds.push_back(pollfd{wait.handle, ToPollEvents(wait.wanted), 0});
  int count = poll(fds.data(), fds.size(), ToPollTimeout(max_wait));
  if (count <= 0) return false;  // time-out, or a signal
  for (size_t i = 0; i < fds.size(); ++i) waits[i].ready = FromPollEvents(fds[i].revents);
  return true;
}

void StopWaitingFor(WaitHandle) {}

}  // namespace comsvc::os
