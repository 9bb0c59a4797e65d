// Where the system's ANSI code page comes from: the process's locale on POSIX
// systems, the system setting on Windows.
#pragma once

namespace comsvc::platform {

// The number of the system's ANSI code page (it may be one comsvc lacks).
int SystemCodePage();

}  // namespace comsvc::platform
