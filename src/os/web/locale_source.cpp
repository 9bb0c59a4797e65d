// The page's locale is the neutral one: "." for decimals, Unicode's simple
// case mappings, and the code page the page chooses.
#include "os/locale_source.h"

#include <wctype.h>

namespace comsvc::os {
namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

char16_t OneUnitOr(wint_t mapped, char16_t original) {
  return mapped <= 0xFFFF && !IsSurrogate(mapped) ? static_cast<char16_t>(mapped) : original;
}

}  // namespace

char16_t SystemDecimalSeparator() { return u'.'; }

// The C library's tables, which are Unicode's whatever the locale.
void SystemCaseMapping(std::vector<char16_t>& lower, std::vector<char16_t>& upper) {
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const auto unit = static_cast<char16_t>(c);
    lower[c] = upper[c] = unit;
    if (IsSurrogate(c)) continue;
    lower[c] = OneUnitOr(towlower(static_cast<wint_t>(c)), unit);
    upper[c] = OneUnitOr(towupper(static_cast<wint_t>(c)), unit);
  }
}

std::optional<int> SystemAnsiCodePage() { return std::nullopt; }

std::string UserLocaleName() { return "C"; }

}  // namespace comsvc::os
