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

#include "json/powers_of_five.h"
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

  [[gnu::always_inline]] std::optional<Decimal> Scan() {
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
  [[gnu::always_inline]] bool Next(char16_t c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  // One or more digits of the integer part or of the fraction: leading
  // zeros, then up to 19 significant digits kept, then any more counted.
  [[gnu::always_inline]] bool Digits(bool fraction) {
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
  [[gnu::always_inline]] bool TakeFourDigits() {
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

  [[gnu::always_inline]] bool Exponent() {
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
[[gnu::always_inline]] inline std::optional<double> ExactDouble(const Decimal& d) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (d.significant > 15 || d.exponent < -22 || d.exponent > 22) return std::nullopt;
  double value = static_cast<double>(d.digits);
  value = d.exponent < 0 ? value / kPowers[-d.exponent] : value * kPowers[d.exponent];
  return d.negative ? -value : value;
}

// Up to 19 non-zero digits times any power of ten a double can need: the
// digits, shifted to a full 64 bits, times the 128 leading bits of the power
// of five, give the 55 leading bits of the exact product, from which the
// nearest double follows (Eisel and Lemire's method). The product's top
// 128 bits are below the exact product by less than one unit of the
// second word, so where the bits below the 55 could still carry or sit
// exactly halfway, the exact product decides; where it cannot be had from
// these bits at all, nothing. Nothing too for a result past the largest
// double or below the smallest normal one: those are left to the platform's
// reading, with its overflow error and its underflow.
[[gnu::always_inline]] inline std::optional<double> NearestDouble(const Decimal& d) {
  if (d.digits == 0 || d.significant > 19 || d.exponent < kSmallestPowerOfFive ||
      d.exponent > kLargestPowerOfFive) {
    return std::nullopt;
  }
  const int q = static_cast<int>(d.exponent);
  const int leading_zeros = std::countl_zero(d.digits);
  const uint64_t digits = d.digits << leading_zeros;
  const PowerOfFive& power = kPowersOfFive[q - kSmallestPowerOfFive];
  constexpr int kKeptBits = 52 + 3;  // the stored mantissa, its leading 1, a rounding bit and one spare
  constexpr uint64_t kBelowKept = ~uint64_t{0} >> kKeptBits;
  wide::Uint128 product = wide::Multiply(digits, power.high);
  if ((product.high & kBelowKept) == kBelowKept) {
    // The bits below the kept ones are all set: the second word may carry.
    const uint64_t carry_in = wide::Multiply(digits, power.low).high;
    product.low += carry_in;
    if (product.low < carry_in) ++product.high;
  }
  // Past these powers the second word is not exact enough to settle a
  // product that ends in all ones.
  if (product.low == ~uint64_t{0} && (q < -27 || q > 55)) return std::nullopt;
  const int top_bit = static_cast<int>(product.high >> 63);
  uint64_t mantissa = product.high >> (top_bit + 64 - kKeptBits);
  // floor(q * log2(10)) + 63, the binary exponent of the product's top bit
  // less one, plus the double's exponent bias.
  int exponent = ((217706 * q) >> 16) + 63 + top_bit - leading_zeros + 1023;
  if (exponent <= 0) return std::nullopt;
  // Exactly halfway between two doubles, which only a power of ten from
  // 10^-4 to 10^23 can give with these digits: round to even.
  if (product.low <= 1 && q >= -4 && q <= 23 && (mantissa & 3) == 1 &&
      (mantissa << (top_bit + 64 - kKeptBits)) == product.high) {
    mantissa &= ~uint64_t{1};
  }
  mantissa = (mantissa + (mantissa & 1)) >> 1;
  if (mantissa >= uint64_t{2} << 52) {  // rounded up to the next power of two
    mantissa = uint64_t{1} << 52;
    ++exponent;
  }
  if (exponent >= 0x7FF) return std::nullopt;
  const uint64_t bits = (mantissa & ~(uint64_t{1} << 52)) | static_cast<uint64_t>(exponent) << 52 |
                        static_cast<uint64_t>(d.negative) << 63;
  return std::bit_cast<double>(bits);
}

// Any double the ones above do not give: the standard library's correctly
// rounded conversion of `text`, after NearestDouble. Nothing for a number
// out of range.
template <typename Unit>
std::optional<double> WideDouble(const Decimal& d, std::basic_string_view<Unit> text);

}  // namespace comsvc::JSON
