// The value of a JSON number text: a run of the characters "+-0123456789.eE"
// as the reader gathers it. A text with ".", "e" or "E" is a double, any
// other an integer; both read as the platform's number conversions read
// them, with "." as the decimal point whatever the locale, so a document
// reads the same everywhere.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <comsvc/value.h>

#include "json/decimal.h"

namespace comsvc::JSON {

// The number as a double or a 32-bit integer. Raises error 13 (type
// mismatch) for a text that is not a number and error 6 (overflow) for one
// out of range.
Value NumberValue(std::u16string_view text);

// The number that `text` starts with, in the form documents use:
// "-"? digits ("." digits)? ([eE] [+-]? digits)?, and in `length` the
// characters it takes. Nothing for any other form, or for an integer out
// of the 32-bit range; NumberValue reads those.
template <typename Unit>
[[gnu::always_inline]] inline std::optional<Value> PlainNumberAt(std::basic_string_view<Unit> text, size_t& length) {
  DecimalScanner scanner(text);
  const std::optional<Decimal> d = scanner.Scan();
  if (!d) return std::nullopt;
  length = scanner.Length();
  if (d->integral) {
    if (auto integer = PlainInteger(*d)) return Value(*integer);
    return std::nullopt;
  }
  if (auto exact = ExactDouble(*d)) return Value(*exact);
  if (auto nearest = NearestDouble(*d)) return Value(*nearest);
  if (auto wide = WideDouble(*d, text.substr(0, length))) return Value(*wide);
  return std::nullopt;
}

}  // namespace comsvc::JSON
