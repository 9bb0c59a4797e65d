// INI files with the meaning of the Windows profile functions in their ANSI
// form: arguments, file name and result are code-page bytes.
//
// Reading: lines end at CR LF, LF or CR; lines are trimmed of blanks (space,
// tab, CR, LF, VT, FF, ^Z); "[name]" opens a section whose name runs to the
// last "]"; "key=value" splits at the first "="; lines before the first
// section form the section ""; lines starting with ";" are comments; names
// match case-insensitively after trimming; only the first section of a name
// is searched and the first matching key in it wins; "key=" is the empty
// value, a key without "=" has no value (the default answers); one pair of
// matching quotes around a value is removed.
//
// Files starting with a UTF-16LE or UTF-8 byte-order mark are Unicode files
// and keep their mark; any other file is in the code page.
//
// Writing keeps every byte of the file that the change does not concern: an
// existing key keeps its line, indentation and spelling, and only the text
// after its "=" is replaced (a key holding the same value already is left
// alone); a new key goes after the last key of its section (for the section
// "", at the top of the file); a new section goes at the end of the file.
// New lines end with CR LF. The file is edited under a lock, replaced
// atomically where its links, owner and mode allow it (see os/files.h).
// Only regular files are read or written: anything else holds no value and
// takes no write.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <comsvc/code_page.h>

namespace comsvc::platform {

// Copies the value of `key` in `section` of the file at `path`, or
// `default_value` (less its trailing spaces) when there is no such value,
// into a buffer of `buffer_size` bytes: at most buffer_size - 1 bytes are
// returned, whole characters only (a double-byte character that does not fit
// is left out). The size of the returned text is the count the Windows
// function returns. Text in a Unicode file that the code page lacks reads as
// "?". Arguments end at their first NUL, as C strings do.
std::string ReadProfileString(std::string_view section, std::string_view key, std::string_view default_value,
                              size_t buffer_size, std::string_view path,
                              const CodePage& code_page = CodePage::Current());

// Stores `value` as `key` of `section` in the file at `path`, creating the
// file and the section when needed. Returns false, changing nothing, when
// the value holds CR or LF (it would split into stray lines), when the folder
// does not exist, or when the file cannot be read or replaced.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value, std::string_view path,
                        const CodePage& code_page = CodePage::Current());

}  // namespace comsvc::platform
