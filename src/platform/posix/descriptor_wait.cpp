#include "platform/descriptor_wait.h"

#include <poll.h>

#include <algorithm>
#include <climits>

namespace comsvc::platform {
namespace {

short ToPollEvents(unsigned events) {
  short result = 0;
  if (events & MessageLoop::kReadable) result |= POLLIN;
  if (events & MessageLoop::kWritable) result |= POLLOUT;
  return result;
}

unsigned FromPollEvents(short revents) {
  unsigned result = 0;
  if (revents & (POLLIN | POLLPRI)) result |= MessageLoop::kReadable;
  if (revents & POLLOUT) result |= MessageLoop::kWritable;
  if (revents & POLLHUP) result |= MessageLoop::kHangUp;
  if (revents & (POLLERR | POLLNVAL)) result |= MessageLoop::kError;
  return result;
}

// poll() takes whole milliseconds: round up so that a timer is never woken
// early and polled again in a busy loop.
int ToPollTimeout(std::optional<MessageLoop::Clock::duration> wait) {
  if (!wait) return -1;
  if (*wait <= MessageLoop::Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
  return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

}  // namespace

bool WaitForDescriptors(std::vector<DescriptorWait>& waits, std::optional<MessageLoop::Clock::duration> max_wait) {
  std::vector<pollfd> fds;
  for (const DescriptorWait& wait : waits) fds.push_back(pollfd{wait.fd, ToPollEvents(wait.events), 0});
  int count = poll(fds.data(), fds.size(), ToPollTimeout(max_wait));
  if (count <= 0) return false;  // time-out, or a signal
  for (size_t i = 0; i < fds.size(); ++i) waits[i].ready = FromPollEvents(fds[i].revents);
  return true;
}

}  // namespace comsvc::platform
