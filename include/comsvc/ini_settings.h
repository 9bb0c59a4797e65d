// Single values kept in INI files beside the module that holds the library,
// or at a path the caller gives.
//
// Which file: module state, process-wide and unguarded. Callers name the
// file (SetIniName, or SetIniPath for a complete path) right before each
// call of IniRead or IniWrite, all on one thread; two threads using this
// module at once would write to each other's files.
//
// Nothing here shows a box. A file that cannot be read holds no value; a
// write that fails says so in IniWrite's result; a file too large to read
// whole (more than 1 GiB) raises error 7, as memory running out would.
#pragma once

#include <string>

#include <comsvc/value.h>

namespace comsvc::RWINI {

// A bare name (no folder, no extension): the file is the module's folder,
// the separator, `name` and ".ini".
void SetIniName(std::u16string name);
// A complete path, taken as it is by the next path derivation only (a
// one-shot flag; the derivation clears it, and later calls use the name
// beside the module again).
void SetIniPath(std::u16string path);
// The name or path last set, and whether the next derivation takes it as a
// path.
const std::u16string& IniName();
bool IniNameIsPath();

// The module's folder, the separator, `name` and ".ini"; or `name` itself
// when the one-shot path flag is set. Always clears the flag.
std::u16string IniFilePath(const std::u16string& name);

// The value of `key` in `section`, read through a 2000-byte buffer (1999
// bytes at most). When nothing is stored (or the empty value), `default_value`
// is written to the file that was read and returned.
std::u16string IniRead(const std::u16string& section, const std::u16string& key, const std::u16string& default_value);

// Stores `value`; the result is a 16-bit integer: non-zero on success, 0 when
// the write was refused.
Value IniWrite(const std::u16string& section, const std::u16string& key, const std::u16string& value);

}  // namespace comsvc::RWINI
