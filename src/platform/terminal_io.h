// Plain reads and writes on the descriptors of a terminal, and the name a
// box shows when it has no title.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace comsvc::platform {

// The running program's name, without its folder.
std::u16string ApplicationName();

// Writes all of `bytes`, stopping quietly when the terminal is gone.
void WriteAll(int fd, std::string_view bytes);

// Reads one line byte by byte, so that nothing after it is taken from the
// descriptor, serving the thread's message loop while it waits. nullopt at
// end of input before any byte.
std::optional<std::string> ReadLine(int fd);

}  // namespace comsvc::platform
