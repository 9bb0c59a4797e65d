// The user's locale as the services see it: number reading and writing, the
// decimal separator, and case mapping.
//
// The number format is process-wide and set before use: a host calls
// Locale::SetDecimalSeparator before any thread reads or writes numbers, and
// never while they do (the format is read unguarded). The functions below
// are otherwise safe to call from any thread.
//
// Errors: number reading raises error 13 for a text that is no number and
// error 6 for one out of range; the other functions raise nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace comsvc::platform {

// The separators the number reading and writing use.
struct NumberFormat {
  char16_t decimal = u'.';
  char16_t grouping = u',';
};

class Locale {
 public:
  // The locale's number format: the decimal separator from COMSVC_DECIMAL, else
  // from the C library's LC_NUMERIC; the grouping separator is "." when the
  // decimal separator is ",", else ",".
  static const NumberFormat& Numbers();
  static void SetDecimalSeparator(char16_t decimal);
  // "." as the decimal point whatever the locale (the JSON reader's numbers).
  static constexpr NumberFormat kInvariant{};
};

// Number reading as the platform does it: optional blanks (space, tab, CR,
// LF, VT, FF); one sign, either right before the digits or right after the
// number (exponent included: "1e3-" is -1000); digits with an optional
// decimal point and fraction (at least one digit in all); an optional
// exponent e/E with an optional sign and at least one digit; optional
// blanks. The grouping separator may stand between two digits of the integer
// part. "&H" (hexadecimal) and "&O" (octal) forms take no sign and are typed
// as the platform types such literals: up to FFFF a 16-bit pattern ("&HFFFF"
// is -1), up to FFFFFFFF a 32-bit pattern, beyond that an overflow.
// Anything else raises error 13 (type mismatch); a value out of range raises
// error 6 (overflow); a double that underflows reads as 0.
double TextToDouble(std::u16string_view text, const NumberFormat& format = Locale::Numbers());
// As TextToDouble, then rounded to an integer half to even.
int32_t TextToLong(std::u16string_view text, const NumberFormat& format = Locale::Numbers());
// True when TextToDouble would succeed.
bool IsNumeric(std::u16string_view text, const NumberFormat& format = Locale::Numbers());
// The numeric text rounded half to even to a 16-bit integer; error 6 outside
// -32768..32767 (or beyond the doubles), error 13 when the text is no number.
// "&H" and "&O" forms as TextToDouble reads them ("&HFFFF" is -1).
int16_t TextToInteger(std::u16string_view text, const NumberFormat& format = Locale::Numbers());

// Reads leading hexadecimal digits of either case, passing over blanks, tabs
// and line feeds among them, and stops at any other character; no digit gives
// 0. The value is the low 16 bits of the number the digits make, so that four
// digits give their 16-bit pattern; the caller passes the digits it wants
// read (the view's end stops the reading too).
uint16_t ReadHexDigits(std::u16string_view text);

// Default texts: integers in decimal; doubles with at most 15 significant
// digits, no trailing zeros, exponent form from 1E+15 up and below 1E-4 with
// at least two exponent digits, the locale's decimal separator (C's "%.15G"
// shape); negative zero as "0"; infinities as "1.#INF" / "-1.#INF", NaN as
// "-1.#IND" or "1.#QNAN" by its sign.
std::u16string DefaultText(int32_t value);
std::u16string DefaultText(double value, const NumberFormat& format = Locale::Numbers());
std::u16string DefaultText(bool value);  // "True" / "False"

// Case mapping, one code unit to one code unit; the length never changes.
// Unicode's simple case mapping without Turkish rules, except that ß, ẞ, µ,
// ŉ, the titlecase digraphs (ǅ ǈ ǋ ǲ), ı, İ and final ς stay as they are, as
// does every surrogate.
std::u16string LowerCase(std::u16string_view text);
std::u16string UpperCase(std::u16string_view text);
char16_t LowerCaseUnit(char16_t c);
char16_t UpperCaseUnit(char16_t c);

}  // namespace comsvc::platform
