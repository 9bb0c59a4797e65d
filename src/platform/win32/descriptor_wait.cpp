#include "platform/descriptor_wait.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <map>

#include "platform/win32/socket_notice.h"

namespace comsvc::platform {
namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT_PTR kWakeTimer = 1;

// The thread's hidden window that receives its sockets' notifications and
// the timer that ends a wait.
HWND LoopWindow() {
  thread_local HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                             GetModuleHandleW(nullptr), nullptr);
  return window;
}

long SelectMask(unsigned events) {
  long mask = FD_CLOSE;
  if (events & MessageLoop::kReadable) mask |= FD_READ;
  if (events & MessageLoop::kWritable) mask |= FD_WRITE | FD_CONNECT;
  return mask;
}

// Winsock reports a failed connection attempt only in the notification.
thread_local std::map<int, int> connect_errors;

unsigned ReadyFrom(int fd, LPARAM lparam) {
  const WORD event = WSAGETSELECTEVENT(lparam);
  if (event & FD_CONNECT) connect_errors[fd] = WSAGETSELECTERROR(lparam);
  unsigned ready = 0;
  if (event & FD_READ) ready |= MessageLoop::kReadable;
  if (event & (FD_WRITE | FD_CONNECT)) ready |= MessageLoop::kWritable;
  if (event & FD_CLOSE) ready |= MessageLoop::kHangUp | MessageLoop::kReadable;
  if (WSAGETSELECTERROR(lparam) != 0) ready |= MessageLoop::kError;
  return ready;
}

DWORD ToTimeout(std::optional<MessageLoop::Clock::duration> wait) {
  if (!wait) return INFINITE;
  if (*wait <= MessageLoop::Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

bool IsWakeTimer(const MSG& msg) {
  return msg.message == WM_TIMER && msg.hwnd == LoopWindow() && msg.wParam == kWakeTimer;
}

// Dispatches every queued message of the thread; socket notifications are
// noted in `waits` instead, and the wake timer only ends the wait. Returns
// whether any other message came.
bool DrainQueue(std::vector<DescriptorWait>& waits) {
  bool any = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsWakeTimer(msg)) continue;
    any = true;
    if (msg.message == kSocketMessage && msg.hwnd == LoopWindow()) {
      for (DescriptorWait& wait : waits) {
        if (static_cast<WPARAM>(wait.fd) == msg.wParam) wait.ready |= ReadyFrom(wait.fd, msg.lParam);
      }
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return any;
}

// What is ready already: notifications come only for what happens after a
// socket is registered, so a connection refused or data that came before
// would otherwise be missed.
bool PollReady(std::vector<DescriptorWait>& waits) {
  fd_set readable, writable, failed;
  FD_ZERO(&readable), FD_ZERO(&writable), FD_ZERO(&failed);
  for (const DescriptorWait& wait : waits) {
    if (wait.events & MessageLoop::kReadable) FD_SET(static_cast<SOCKET>(wait.fd), &readable);
    if (wait.events & MessageLoop::kWritable) FD_SET(static_cast<SOCKET>(wait.fd), &writable);
    if (wait.events & MessageLoop::kWritable) FD_SET(static_cast<SOCKET>(wait.fd), &failed);
  }
  timeval now{0, 0};
  if (waits.empty() || select(0, &readable, &writable, &failed, &now) <= 0) return false;
  for (DescriptorWait& wait : waits) {
    const auto s = static_cast<SOCKET>(wait.fd);
    if (FD_ISSET(s, &readable)) wait.ready |= MessageLoop::kReadable;
    if (FD_ISSET(s, &writable)) wait.ready |= MessageLoop::kWritable;
    if (FD_ISSET(s, &failed)) wait.ready |= MessageLoop::kWritable | MessageLoop::kError;
  }
  return true;
}

// Blocks until a message comes or `timeout` ms pass. A limited wait is a
// window timer of the thread (WM_TIMER), so the loop's timers, the notice
// window's among them, run on the system's own timer messages; the wait's
// time-out stays only as the fallback should the timer not be set.
void WaitForMessage(DWORD timeout) {
  const bool timed = timeout != 0 && timeout != INFINITE &&
                     SetTimer(LoopWindow(), kWakeTimer, std::max<DWORD>(timeout, USER_TIMER_MINIMUM), nullptr) != 0;
  MsgWaitForMultipleObjectsEx(0, nullptr, timed ? INFINITE : timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (timed) KillTimer(LoopWindow(), kWakeTimer);
}

}  // namespace

int ConnectErrorOf(int fd) {
  auto it = connect_errors.find(fd);
  if (it != connect_errors.end() && it->second != 0) return it->second;
  int error = 0;
  int length = sizeof error;
  getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  return error;
}

// The thread's own Windows message queue is the loop's one wait: sockets
// report through WSAAsyncSelect messages, windows through theirs.
bool WaitForDescriptors(std::vector<DescriptorWait>& waits, std::optional<MessageLoop::Clock::duration> max_wait) {
  for (const DescriptorWait& wait : waits) {
    WSAAsyncSelect(static_cast<SOCKET>(wait.fd), LoopWindow(), kSocketMessage, SelectMask(wait.events));
  }
  bool any = PollReady(waits);
  any |= DrainQueue(waits);
  if (!any) {
    WaitForMessage(ToTimeout(max_wait));
    any = DrainQueue(waits);
  }
  return any;
}

}  // namespace comsvc::platform
