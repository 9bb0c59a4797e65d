// Single values kept in INI files beside the module that holds the library,
// or at a path the caller gives.
//
// Module state, process-wide and unguarded: callers set `IniName` (and, for
// a complete path, `IniNameIsPath`) right before each call of IniRead or
// IniWrite, all on one thread; two threads using this module at once would
// write to each other's files.
#pragma once

#include <string>

#include <comsvc/value.h>

namespace comsvc::RWINI {

// A bare name (no folder, no extension) or, with IniNameIsPath, a full path.
extern std::u16string IniName;
// One-shot: the next path derivation takes IniName unchanged, then clears it.
extern bool IniNameIsPath;

// The module's folder, "/", `name` and ".ini"; or `name` itself when
// IniNameIsPath is set. Always leaves IniNameIsPath false.
std::u16string IniFilePath(const std::u16string& name);

// The value of `key` in `section`, read through a 2000-byte buffer (1999
// bytes at most). When nothing is stored (or the empty value), `default_value`
// is written to the file that was read and returned.
std::u16string IniRead(const std::u16string& section, const std::u16string& key, const std::u16string& default_value);

// Stores `value`; the result is a 16-bit integer: non-zero on success, 0 when
// the write was refused.
Value IniWrite(const std::u16string& section, const std::u16string& key, const std::u16string& value);

}  // namespace comsvc::RWINI
