#include "json/json_number.h"

#include "json/wide_integer.h"

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

constexpr auto kPowersOfTen = [] {
  std::array<uint64_t, 20> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// 2^-n for 0 <= n <= 1022, exactly.
double InversePowerOfTwo(int n) { return std::bit_cast<double>(static_cast<uint64_t>(1023 - n) << 52); }

// Up to 19 non-zero digits scaled by up to 19 powers of ten, exactly in
// 128-bit integers: a product converts to the correctly rounded double;
// a division is done on the digits shifted so that the quotient has 63 or
// 64 bits, with the remainder folded into its last bit, which then rounds
// as the exact quotient would.
std::optional<double> ScaledDouble(const Decimal& d) {
  constexpr int kMaxPower = 19;
  if (d.digits == 0 || d.significant > 19 || d.exponent < -kMaxPower || d.exponent > kMaxPower) {
    return std::nullopt;
  }
  const uint64_t power = kPowersOfTen[d.exponent < 0 ? -d.exponent : d.exponent];
  double magnitude;
  if (d.exponent >= 0) {
    magnitude = wide::ToDouble(wide::Multiply(d.digits, power));
  } else {
    const int shift = std::bit_width(power) + 63 - std::bit_width(d.digits);
    uint64_t remainder;
    const uint64_t quotient = wide::Divide(wide::ShiftLeft(d.digits, shift), power, remainder);
    magnitude = static_cast<double>(quotient | (remainder != 0)) * InversePowerOfTwo(shift);
  }
  return d.negative ? -magnitude : magnitude;
}

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
std::optional<double> WideDouble(const Decimal& d, std::basic_string_view<Unit> text) {
  if (auto scaled = ScaledDouble(d)) return scaled;
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
