// Numbers in the form documents use, "-"? digits ("." digits)?
// ([eE] [+-]? digits)?, read in one pass: the reader meets one in every few
// characters of some documents, so the common cases are inline here.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

#include "json/wide_integer.h"

namespace comsvc::JSON {

inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The parts of such a number: its digits without leading zeros (the first
// 19 of them), how many there were, and the power of ten that scales them.
struct Decimal {
  bool negative = false;
  bool integral = true;  // neither a fraction nor an exponent
  uint64_t digits = 0;
  int significant = 0;
  int64_t exponent = 0;
};

// Over UTF-16 code units or UTF-8 bytes: the number's characters are ASCII.
template <typename Unit>
class DecimalScanner {
 public:
  explicit DecimalScanner(std::basic_string_view<Unit> text) : text_(text) {}

  std::optional<Decimal> Scan() {
    if (Next(u'-')) d_.negative = true;
    if (!Digits(false)) return std::nullopt;
    if (Next(u'.')) {
      d_.integral = false;
      if (!Digits(true)) return std::nullopt;
    }
    if (Next(u'e') || Next(u'E')) {
      d_.integral = false;
      if (!Exponent()) return std::nullopt;
    }
    return d_;
  }

  // The characters scanned.
  size_t Length() const { return at_; }

 private:
  bool Next(char16_t c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  // One or more digits of the integer part or of the fraction: leading
  // zeros, then up to 19 significant digits kept, then any more counted.
  bool Digits(bool fraction) {
    const size_t start = at_;
    if (d_.significant == 0) {
      while (at_ < text_.size() && text_[at_] == u'0') ++at_;
      if (fraction) d_.exponent -= static_cast<int64_t>(at_ - start);
    }
    const size_t kept_start = at_;
    while (d_.significant + 4 <= 19 && TakeFourDigits()) d_.significant += 4;
    for (; at_ < text_.size() && IsDigit(text_[at_]) && d_.significant < 19; ++at_, ++d_.significant) {
      d_.digits = d_.digits * 10 + static_cast<uint64_t>(text_[at_] - u'0');
    }
    if (fraction) d_.exponent -= static_cast<int64_t>(at_ - kept_start);
    const size_t dropped_start = at_;
    while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
    const auto dropped = static_cast<int>(at_ - dropped_start);
    d_.significant += dropped;
    if (!fraction) d_.exponent += dropped;
    return at_ > start;
  }

  // Four digits at once, as the four lanes (one per code unit) of one
  // word, where the text's code units lie in the word in reading order.
  bool TakeFourDigits() {
    if constexpr (std::endian::native != std::endian::little) {
      return false;
    } else {
      using Word = std::conditional_t<sizeof(Unit) == 1, uint32_t, uint64_t>;
      constexpr int kLaneBits = 8 * sizeof(Unit);
      constexpr Word kLaneMask = (Word{1} << kLaneBits) - 1;
      constexpr Word kLanes = Word{1} | Word{1} << kLaneBits | Word{1} << 2 * kLaneBits | Word{1} << 3 * kLaneBits;
      if (text_.size() - at_ < 4) return false;
      Word units;
      std::memcpy(&units, text_.data() + at_, sizeof units);
      // Each lane below 0x80 (so that no sum below carries into the next),
      // at least '0' (adding 0x50 reaches 0x80) and at most '9' (adding
      // 0x46 stays below 0x80).
      const bool all_digits = (units & ((kLaneMask & ~Word{0x7F}) * kLanes)) == 0 &&
                              ((units + 0x50 * kLanes) & (0x80 * kLanes)) == 0x80 * kLanes &&
                              ((units + 0x46 * kLanes) & (0x80 * kLanes)) == 0;
      if (!all_digits) return false;
      const Word digits = units - 0x30 * kLanes;
      const Word pairs = digits * 10 + (digits >> kLaneBits);  // lanes 0 and 2 hold two digits each
      d_.digits = d_.digits * 10000 + (pairs & kLaneMask) * 100 + (pairs >> 2 * kLaneBits & kLaneMask);
      at_ += 4;
      return true;
    }
  }

  bool Exponent() {
    const bool negative = Next(u'-');
    if (!negative) Next(u'+');
    constexpr int64_t kFarOutOfRange = 100000;
    const size_t start = at_;
    int64_t value = 0;
    for (; at_ < text_.size() && IsDigit(text_[at_]); ++at_) {
      value = std::min(value * 10 + (text_[at_] - u'0'), kFarOutOfRange);
    }
    d_.exponent += negative ? -value : value;
    return at_ > start;
  }

  std::basic_string_view<Unit> text_;
  size_t at_ = 0;
  Decimal d_;
};

inline std::optional<int32_t> PlainInteger(const Decimal& d) {
  if (d.significant > 10) return std::nullopt;
  const int64_t value = d.negative ? -static_cast<int64_t>(d.digits) : static_cast<int64_t>(d.digits);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

// Up to 15 digits and a power of ten up to 22 are exact doubles, so one
// multiplication or division gives the correctly rounded value.
inline std::optional<double> ExactDouble(const Decimal& d) {
  constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (d.significant > 15 || d.exponent < -22 || d.exponent > 22) return std::nullopt;
  double value = static_cast<double>(d.digits);
  value = d.exponent < 0 ? value / kPowers[-d.exponent] : value * kPowers[d.exponent];
  return d.negative ? -value : value;
}

// Up to 19 non-zero digits scaled by up to 19 powers of ten, exactly in
// 128-bit integers: a product converts to the correctly rounded double;
// a division is done on the digits shifted so that the quotient has 63 or
// 64 bits, with the remainder folded into its last bit, which then rounds
// as the exact quotient would. Inline: most digits of documents written by
// programs (coordinates, measurements) have 16 or 17 significant digits.
inline std::optional<double> ScaledDouble(const Decimal& d) {
  constexpr int kMaxPower = 19;
  static constexpr uint64_t kPowers[] = {1u,
                                  10u,
                                  100u,
                                  1000u,
                                  10000u,
                                  100000u,
                                  1000000u,
                                  10000000u,
                                  100000000u,
                                  1000000000u,
                                  10000000000u,
                                  100000000000u,
                                  1000000000000u,
                                  10000000000000u,
                                  100000000000000u,
                                  1000000000000000u,
                                  10000000000000000u,
                                  100000000000000000u,
                                  1000000000000000000u,
                                  10000000000000000000u};
  if (d.digits == 0 || d.significant > 19 || d.exponent < -kMaxPower || d.exponent > kMaxPower) {
    return std::nullopt;
  }
  const uint64_t power = kPowers[d.exponent < 0 ? -d.exponent : d.exponent];
  double magnitude;
  if (d.exponent >= 0) {
    magnitude = wide::ToDouble(wide::Multiply(d.digits, power));
  } else {
    const int shift = std::bit_width(power) + 63 - std::bit_width(d.digits);
    uint64_t remainder;
    const uint64_t quotient = wide::Divide(wide::ShiftLeft(d.digits, shift), power, remainder);
    // 2^-shift, exactly: shift stays far below 1022.
    const double scale = std::bit_cast<double>(static_cast<uint64_t>(1023 - shift) << 52);
    magnitude = static_cast<double>(quotient | (remainder != 0)) * scale;
  }
  return d.negative ? -magnitude : magnitude;
}

// Any double the ones above do not give: the standard library's correctly
// rounded conversion of `text`, after ScaledDouble. Nothing for a number
// out of range.
template <typename Unit>
std::optional<double> WideDouble(const Decimal& d, std::basic_string_view<Unit> text);

}  // namespace comsvc::JSON
