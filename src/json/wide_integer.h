// Unsigned 128-bit products of 64-bit words, as decimal scaling needs them:
// a portable form, always compiled, and the compiler's 128-bit integers
// where it has them; both give the same answers.
#pragma once

#include <cstdint>

namespace comsvc::JSON::wide {

struct Uint128 {
  uint64_t high = 0;
  uint64_t low = 0;
  friend bool operator==(const Uint128&, const Uint128&) = default;
};

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

}  // namespace portable

#if defined(__SIZEOF_INT128__)

inline Uint128 Multiply(uint64_t a, uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return {static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
}

#else

inline Uint128 Multiply(uint64_t a, uint64_t b) { return portable::Multiply(a, b); }

#endif

}  // namespace comsvc::JSON::wide
