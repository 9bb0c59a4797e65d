#include "os/locale_source.h"

#include <langinfo.h>
#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include <climits>
#include <cstdlib>

namespace comsvc::os {
namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

char16_t OneUnitOr(wint_t mapped, char16_t original) {
  return mapped <= 0xFFFF && !IsSurrogate(mapped) ? static_cast<char16_t>(mapped) : original;
}

}  // namespace

// The radix character of the C library's LC_NUMERIC as the environment sets
// it, decoded in that locale's own character set, without touching the
// process's global locale.
char16_t SystemDecimalSeparator() {
  locale_t numeric = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (numeric == static_cast<locale_t>(0)) return u'.';
  const locale_t previous = uselocale(numeric);
  const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
  wchar_t decoded = L'.';
  mbstate_t state{};
  const size_t length = mbrtowc(&decoded, radix, MB_CUR_MAX, &state);
  uselocale(previous);
  freelocale(numeric);
  if (length == 0 || length > MB_LEN_MAX || decoded > 0xFFFF || IsSurrogate(static_cast<char32_t>(decoded))) {
    return u'.';
  }
  return static_cast<char16_t>(decoded);
}

// From the C library's Unicode case tables (locale-neutral C.UTF-8, so no
// Turkish rules).
void SystemCaseMapping(std::vector<char16_t>& lower, std::vector<char16_t>& upper) {
  locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const auto unit = static_cast<char16_t>(c);
    lower[c] = upper[c] = unit;
    if (IsSurrogate(c)) continue;
    if (unicode != static_cast<locale_t>(0)) {
      lower[c] = OneUnitOr(towlower_l(static_cast<wint_t>(c), unicode), unit);
      upper[c] = OneUnitOr(towupper_l(static_cast<wint_t>(c), unicode), unit);
    } else if (c < 0x80) {
      lower[c] = c >= u'A' && c <= u'Z' ? unit + 32 : unit;
      upper[c] = c >= u'a' && c <= u'z' ? unit - 32 : unit;
    }
  }
  if (unicode != static_cast<locale_t>(0)) freelocale(unicode);
}

// A POSIX system keeps no code page of its own: it follows from the locale.
std::optional<int> SystemAnsiCodePage() { return std::nullopt; }

std::string UserLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return "C";
}

}  // namespace comsvc::os
