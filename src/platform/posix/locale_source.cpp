#include "platform/locale_source.h"

#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

#include <string_view>

#include <comsvc/utf8.h>

namespace comsvc::platform {
namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

char16_t OneUnitOr(wint_t mapped, char16_t original) {
  return mapped <= 0xFFFF && !IsSurrogate(mapped) ? static_cast<char16_t>(mapped) : original;
}

}  // namespace

// The decimal separator of the C library's LC_NUMERIC as the environment sets
// it, read without touching the process's global locale.
char16_t SystemDecimalSeparator() {
  locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (numeric == static_cast<locale_t>(0)) return u'.';
  std::u16string text = Utf8ToUtf16(nl_langinfo_l(RADIXCHAR, numeric));
  freelocale(numeric);
  return text.empty() ? u'.' : text[0];
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

}  // namespace comsvc::platform
