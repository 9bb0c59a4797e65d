// Unsigned 128-bit integers as a pair of 64-bit words, with the three
// operations exact decimal scaling needs. Each operation has a portable
// version, always compiled, and a faster one where the compiler has 128-bit
// integers or the processor a 128-by-64-bit division; both give the same
// answers.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace comsvc::JSON::wide {

struct Uint128 {
  uint64_t high = 0;
  uint64_t low = 0;
  friend bool operator==(const Uint128&, const Uint128&) = default;
};

// `x` shifted left by 0 <= shift < 128 bits.
constexpr Uint128 ShiftLeft(uint64_t x, int shift) {
  if (shift >= 64) return {x << (shift - 64), 0};
  if (shift == 0) return {0, x};
  return {x >> (64 - shift), x << shift};
}

namespace portable {

// Schoolbook multiplication on 32-bit halves; no partial sum overflows.
constexpr Uint128 Multiply(uint64_t a, uint64_t b) {
  constexpr uint64_t kLowHalf = 0xffffffff;
  const uint64_t low_low = (a & kLowHalf) * (b & kLowHalf);
  const uint64_t high_low = (a >> 32) * (b & kLowHalf);
  const uint64_t low_high = (a & kLowHalf) * (b >> 32);
  const uint64_t high_high = (a >> 32) * (b >> 32);
  const uint64_t middle = (low_low >> 32) + (high_low & kLowHalf) + low_high;
  return {high_high + (high_low >> 32) + (middle >> 32), (middle << 32) | (low_low & kLowHalf)};
}

// Long division one bit at a time. The running remainder can reach 65 bits
// just before a subtraction; `carry` holds that bit.
constexpr uint64_t Divide(Uint128 dividend, uint64_t divisor, uint64_t& remainder) {
  uint64_t quotient = 0;
  uint64_t rest = dividend.high;
  uint64_t low = dividend.low;
  for (int bit = 0; bit < 64; ++bit) {
    const bool carry = (rest >> 63) != 0;
    rest = (rest << 1) | (low >> 63);
    low <<= 1;
    quotient <<= 1;
    if (carry || rest >= divisor) {
      rest -= divisor;
      quotient |= 1;
    }
  }
  remainder = rest;
  return quotient;
}

// The 64 leading bits, with every bit below them folded into the last one,
// round to 53 bits exactly as the whole value would; scaling back by a
// power of two is exact.
inline double ToDouble(Uint128 x) {
  if (x.high == 0) return static_cast<double>(x.low);
  const int dropped = std::bit_width(x.high);
  const uint64_t leading = dropped == 64 ? x.high : (x.high << (64 - dropped)) | (x.low >> dropped);
  const bool below = dropped == 64 ? x.low != 0 : (x.low << (64 - dropped)) != 0;
  return std::ldexp(static_cast<double>(leading | (below ? 1 : 0)), dropped);
}

}  // namespace portable

#if defined(__SIZEOF_INT128__)

inline Uint128 Multiply(uint64_t a, uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return {static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
}

inline double ToDouble(Uint128 x) {
  return static_cast<double>(static_cast<unsigned __int128>(x.high) << 64 | x.low);
}

#else

inline Uint128 Multiply(uint64_t a, uint64_t b) { return portable::Multiply(a, b); }
inline double ToDouble(Uint128 x) { return portable::ToDouble(x); }

#endif

// `dividend` / `divisor` for dividend.high < divisor, so that the quotient
// fits in 64 bits.
inline uint64_t Divide(Uint128 dividend, uint64_t divisor, uint64_t& remainder) {
#if defined(__x86_64__) && defined(__GNUC__)
  uint64_t quotient;
  asm("divq %4" : "=a"(quotient), "=d"(remainder) : "a"(dividend.low), "d"(dividend.high), "rm"(divisor));
  return quotient;
#elif defined(__SIZEOF_INT128__)
  const unsigned __int128 whole = static_cast<unsigned __int128>(dividend.high) << 64 | dividend.low;
  remainder = static_cast<uint64_t>(whole % divisor);
  return static_cast<uint64_t>(whole / divisor);
#else
  return portable::Divide(dividend, divisor, remainder);
#endif
}

}  // namespace comsvc::JSON::wide
