// The handles the seam hands out, in each system's own type.
#pragma once

#include <cstdint>

namespace comsvc::os {

#ifdef _WIN32
// A SOCKET: Winsock's handles are pointer-sized, not descriptors.
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket kNoSocket = ~NativeSocket{0};  // INVALID_SOCKET
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
#endif

// What the thread's event wait can wait on: any descriptor on POSIX (sockets,
// pipes, terminals, a display connection), a socket on Windows, where windows
// and timers report through the thread's message queue instead.
using WaitHandle = NativeSocket;

}  // namespace comsvc::os
