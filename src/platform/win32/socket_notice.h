// What the thread's socket notifications said beyond readiness.
#pragma once

namespace comsvc::platform {

// The Winsock error that ended the connection attempt of socket `fd`
// (0: connected, or still connecting).
int ConnectErrorOf(int fd);

}  // namespace comsvc::platform
