// The platform's INI store, in code-page bytes: the operating system's own
// where it has one, else comsvc's engine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <comsvc/code_page.h>

namespace comsvc::platform {

// The value of `key` in `section` of the file at `path`, at most
// buffer_size - 1 bytes, or the default when there is none.
std::string ReadStoredProfileString(std::string_view section, std::string_view key, std::string_view default_value,
                                    size_t buffer_size, std::string_view path, const CodePage& code_page);

// Writes `value` as `key` in `section`; false when the file cannot be written.
bool WriteStoredProfileString(std::string_view section, std::string_view key, std::string_view value,
                              std::string_view path, const CodePage& code_page);

}  // namespace comsvc::platform
