// `comsvc eval --trace`: every event of a running script as one JSON line,
// with the file it is in and its line and column there.
#pragma once

#include <cstdio>
#include <string>

#include <comsvc/json_script_events.h>

namespace comsvc::cli {

// The observer for one file's run, writing its events to `out` (which
// outlives the run). Paths become lines and columns through a located
// reading of `text`, the file's text as the script reads it.
ScriptObserver TraceObserver(std::FILE* out, const std::string& file, std::u16string_view text);

}  // namespace comsvc::cli
