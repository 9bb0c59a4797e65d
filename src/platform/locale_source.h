// What the operating system says about the user's locale: the decimal
// separator and the case of each UTF-16 code unit.
#pragma once

#include <vector>

namespace comsvc::platform {

// The decimal separator of the user's number format ('.' when unknown).
char16_t SystemDecimalSeparator();

// Fills both 0x10000-entry tables with each code unit's lower and upper case,
// one code unit to one; surrogates map to themselves.
void SystemCaseMapping(std::vector<char16_t>& lower, std::vector<char16_t>& upper);

}  // namespace comsvc::platform
