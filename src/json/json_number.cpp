#include "json/json_number.h"

#include <algorithm>
#include <cfloat>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#include <comsvc/locale.h>

// Reading rounds each step to double; wider intermediates (x87 without
// -mfpmath=sse) would round some numbers twice.
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must be evaluated in double precision");

namespace comsvc::JSON {

namespace {

using platform::Locale;

// Any other plain double, correctly rounded by the standard library.
template <typename Unit>
std::optional<double> RoundedDouble(std::basic_string_view<Unit> text) {
  constexpr size_t kMaxLength = 64;
  if (text.size() > kMaxLength) return std::nullopt;
  char narrow[kMaxLength];
  std::copy(text.begin(), text.end(), narrow);
  double value;
  auto [end, error] = std::from_chars(narrow, narrow + text.size(), value);
  // Out of range (an overflow, or an underflow that the platform reads as
  // 0) is left to the platform's reading.
  if (error != std::errc() || end != narrow + text.size()) return std::nullopt;
  return value;
}

std::optional<Value> PlainNumber(std::u16string_view text) {
  size_t length = 0;
  std::optional<Value> value = PlainNumberAt(text, length);
  if (length != text.size()) return std::nullopt;
  return value;
}

bool HasDecimalMark(std::u16string_view text) {
  return text.find_first_of(u".eE") != std::u16string_view::npos;
}

}  // namespace

template <typename Unit>
std::optional<double> WideDouble(const Decimal&, std::basic_string_view<Unit> text) {
  return RoundedDouble(text);
}

template std::optional<double> WideDouble(const Decimal&, std::u16string_view);
template std::optional<double> WideDouble(const Decimal&, std::string_view);

Value NumberValue(std::u16string_view text) {
  if (std::optional<Value> plain = PlainNumber(text)) return std::move(*plain);
  if (HasDecimalMark(text)) return platform::TextToDouble(text, Locale::kInvariant);
  return platform::TextToLong(text, Locale::kInvariant);
}

}  // namespace comsvc::JSON
