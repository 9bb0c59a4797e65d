// The system's own store of INI files, where it has one (Windows's profile
// functions in their ANSI form); elsewhere, and for what those functions
// cannot take (an empty section or key name, a value holding CR or LF),
// Errc::kNotAvailable, and the INI settings use their own engine. Arguments
// and results are code-page bytes.
#pragma once

#include <cstddef>
#include <string>
#include <system_error>

namespace comsvc::os {

// The value of `key` in `section` of the file at `path`, at most
// buffer_size - 1 bytes, or `default_value` when there is none.
std::error_code ReadSystemProfileString(const std::string& section, const std::string& key,
                                        const std::string& default_value, size_t buffer_size,
                                        const std::string& path, std::string& value);

// Writes `value` as `key` in `section`; a failure when the system refused.
std::error_code WriteSystemProfileString(const std::string& section, const std::string& key,
                                         const std::string& value, const std::string& path);

}  // namespace comsvc::os
