// What the process is attached to: a terminal, a display.
#pragma once

namespace comsvc::platform {

bool StandardInputIsTerminal();
// True when a graphical display is configured for this process.
bool DisplayAvailable();
// True when the program `name` is found on the PATH.
bool ProgramAvailable(const char* name);

}  // namespace comsvc::platform
