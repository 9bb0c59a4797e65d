// What the process is attached to: a terminal, a display.
#pragma once

#include <string>
#include <vector>

namespace comsvc::platform {

bool StandardInputIsTerminal();
// True when a graphical display is configured for this process.
bool DisplayAvailable();
// True when the program `name` is found on the PATH.
bool ProgramAvailable(const char* name);

// The program's arguments after its name, in UTF-8. On Windows they come from
// the wide command line, so nothing is lost to the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the standard output and error streams carry the UTF-8 the program
// writes: bytes unchanged into a pipe or file, text onto a Windows console.
void UseUtf8StandardStreams();

}  // namespace comsvc::platform
