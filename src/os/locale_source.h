// What the system says about the user's locale.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace comsvc::os {

// The decimal separator of the user's number format ('.' when unknown).
char16_t SystemDecimalSeparator();

// Fills both 0x10000-entry tables with each code unit's lower and upper case,
// one code unit to one; surrogates map to themselves.
void SystemCaseMapping(std::vector<char16_t>& lower, std::vector<char16_t>& upper);

// The system's ANSI code page where the system keeps one (Windows); nothing
// where the code page follows from the locale's language instead.
std::optional<int> SystemAnsiCodePage();

// The name of the user's locale: on POSIX the first of LC_ALL, LC_CTYPE and
// LANG that is set ("zh_CN.UTF-8"), else "C"; on Windows its locale name
// ("zh-CN").
std::string UserLocaleName();

}  // namespace comsvc::os
