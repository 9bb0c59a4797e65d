// Whether the process reads from a terminal, its arguments
// and standard streams, and plain reads and writes on a terminal. Text is
// UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/event_sink.h"

namespace comsvc::os {

bool StandardInputIsTerminal();

// The program's arguments after its name. On Windows they come from the
// wide command line, so nothing is lost to the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the standard output and error streams carry the UTF-8 the program
// writes: bytes unchanged into a pipe or file, text onto a Windows console.
void UseUtf8StandardStreams();

// The running program's name, without its folder or extension.
std::string ApplicationName();

// Writes all of `bytes` to descriptor `fd`, stopping quietly when the
// terminal is gone.
void WriteAll(int fd, std::string_view bytes);

// Reads one line from descriptor `fd`, byte by byte so that nothing after it
// is taken, serving the thread's loop through `events` while it waits: a
// box that waits for its line is modal, not blocking. A CR before the LF is
// dropped. nullopt at end of input before any byte.
std::optional<std::string> ReadLine(int fd, EventSink& events);

}  // namespace comsvc::os
