#include "os/locale_source.h"

#include <windows.h>

#include "os/win32/wide_text.h"

namespace comsvc::os {

char16_t SystemDecimalSeparator() {
  wchar_t decimal[4] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 4) < 2) return u'.';
  return static_cast<char16_t>(decimal[0]);
}

// The system's own case tables, one code unit at a time.
void SystemCaseMapping(std::vector<char16_t>& lower, std::vector<char16_t>& upper) {
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    wchar_t unit[1] = {static_cast<wchar_t>(c)};
    lower[c] = upper[c] = static_cast<char16_t>(c);
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    CharLowerBuffW(unit, 1);
    lower[c] = static_cast<char16_t>(unit[0]);
    unit[0] = static_cast<wchar_t>(c);
    CharUpperBuffW(unit, 1);
    upper[c] = static_cast<char16_t>(unit[0]);
  }
}

std::optional<int> SystemAnsiCodePage() { return static_cast<int>(GetACP()); }

std::string UserLocaleName() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) == 0) return "C";
  return Utf8(name);
}

}  // namespace comsvc::os
