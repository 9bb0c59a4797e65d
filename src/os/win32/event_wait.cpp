#include "os/event_wait.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

namespace comsvc::os {
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
  if (events & kReadable) mask |= FD_READ;
  if (events & kWritable) mask |= FD_WRITE | FD_CONNECT;
  return mask;
}

// What one notification says: the events, and the error that came with
// it (a failed connection attempt is reported only here).
void Note(HandleWait& wait, LPARAM lparam) {
  const WORD event = WSAGETSELECTEVENT(lparam);
  const int error = WSAGETSELECTERROR(lparam);
  if (event & FD_READ) wait.ready |= kReadable;
  if (event & (FD_WRITE | FD_CONNECT)) wait.ready |= kWritable;
  if (event & FD_CLOSE) wait.ready |= kHangUp | kReadable;
  if (error != 0) {
    wait.ready |= kError;
    wait.error = std::error_code(error, std::system_category());
  }
}

DWORD ToTimeout(std::optional<WaitDuration> wait) {
  if (!wait) return INFINITE;
  if (*wait <= WaitDuration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
  return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

bool IsWakeTimer(const MSG& msg) {
  return msg.message == WM_TIMER && msg.hwnd == LoopWindow() && msg.wParam == kWakeTimer;
}

// Dispatches every queued message of the thread; socket notifications are
// noted in `waits` instead, and the wake timer only ends the wait. Returns
// whether any other message came.
bool DrainQueue(std::span<HandleWait> waits) {
  bool any = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsWakeTimer(msg)) continue;
    any = true;
    if (msg.message == kSocketMessage && msg.hwnd == LoopWindow()) {
      for (HandleWait& wait : waits) {
        if (wait.handle == msg.wParam) Note(wait, msg.lParam);
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
bool PollReady(std::span<HandleWait> waits) {
  fd_set readable, writable, failed;
  FD_ZERO(&readable), FD_ZERO(&writable), FD_ZERO(&failed);
  for (const HandleWait& wait : waits) {
    if (wait.wanted & kReadable) FD_SET(wait.handle, &readable);
    if (wait.wanted & kWritable) FD_SET(wait.handle, &writable);
    if (wait.wanted & kWritable) FD_SET(wait.handle, &failed);
  }
  timeval now{0, 0};
  if (waits.empty() || select(0, &readable, &writable, &failed, &now) <= 0) return false;
  for (HandleWait& wait : waits) {
    if (FD_ISSET(wait.handle, &readable)) wait.ready |= kReadable;
    if (FD_ISSET(wait.handle, &writable)) wait.ready |= kWritable;
    if (FD_ISSET(wait.handle, &failed)) wait.ready |= kWritable | kError;
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

bool WaitForEvents(std::span<HandleWait> waits, std::optional<WaitDuration> max_wait) {
  for (const HandleWait& wait : waits) {
    WSAAsyncSelect(wait.handle, LoopWindow(), kSocketMessage, SelectMask(wait.wanted));
  }
  bool any = PollReady(waits);
  any |= DrainQueue(waits);
  if (!any) {
    WaitForMessage(ToTimeout(max_wait));
    any = DrainQueue(waits);
  }
  return any;
}

void StopWaitingFor(WaitHandle handle) { WSAAsyncSelect(handle, LoopWindow(), 0, 0); }

}  // namespace comsvc::os
