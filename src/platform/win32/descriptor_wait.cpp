#include "platform/descriptor_wait.h"

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

namespace comsvc::platform {
namespace {

constexpr UINT kSocketMessage = WM_APP + 1;

// The thread's hidden window that receives its sockets' notifications.
HWND SocketWindow() {
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

unsigned ReadyFrom(LPARAM lparam) {
  const WORD event = WSAGETSELECTEVENT(lparam);
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

// Dispatches every queued message of the thread; socket notifications are
// noted in `waits` instead. Returns whether any message came.
bool DrainQueue(std::vector<DescriptorWait>& waits) {
  bool any = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    any = true;
    if (msg.message == kSocketMessage && msg.hwnd == SocketWindow()) {
      for (DescriptorWait& wait : waits) {
        if (static_cast<WPARAM>(wait.fd) == msg.wParam) wait.ready |= ReadyFrom(msg.lParam);
      }
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return any;
}

}  // namespace

// The thread's own Windows message queue is the loop's one wait: sockets
// report through WSAAsyncSelect messages, windows through theirs.
bool WaitForDescriptors(std::vector<DescriptorWait>& waits, std::optional<MessageLoop::Clock::duration> max_wait) {
  for (const DescriptorWait& wait : waits) {
    WSAAsyncSelect(static_cast<SOCKET>(wait.fd), SocketWindow(), kSocketMessage, SelectMask(wait.events));
  }
  bool any = DrainQueue(waits);
  if (!any) {
    MsgWaitForMultipleObjectsEx(0, nullptr, ToTimeout(max_wait), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    any = DrainQueue(waits);
  }
  return any;
}

}  // namespace comsvc::platform
