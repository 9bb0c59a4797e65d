#include "json/wide_integer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

namespace comsvc::JSON::wide {
namespace {

constexpr uint64_t kMax = ~uint64_t{0};
constexpr uint64_t kTenToThe19 = 10000000000000000000u;

TEST(WideInteger, PortableMultiplyCarriesBetweenHalves) {
  struct Case {
    uint64_t a, b;
    Uint128 product;
  };
  const Case cases[] = {
      {0, kMax, {0, 0}},
      {kMax, 1, {0, kMax}},
      {uint64_t{1} << 32, uint64_t{1} << 32, {1, 0}},
      {0xffffffff, 0xffffffff, {0, 0xfffffffe00000001}},
      {kMax, 2, {1, kMax - 1}},
      // (2^64 - 1)^2 = 2^128 - 2^65 + 1
      {kMax, kMax, {kMax - 1, 1}},
      // 10^19 * 10^19 = 10^38
      {kTenToThe19, kTenToThe19, {0x4b3b4ca85a86c47a, 0x098a224000000000}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(portable::Multiply(c.a, c.b), c.product) << c.a << " * " << c.b;
    EXPECT_EQ(Multiply(c.a, c.b), c.product) << c.a << " * " << c.b;
  }
}

TEST(WideInteger, PortableDivideKeepsTheRemainder) {
  struct Case {
    Uint128 dividend;
    uint64_t divisor, quotient, remainder;
  };
  const Case cases[] = {
      {{0, 7}, 3, 2, 1},
      {{1, 0}, 2, uint64_t{1} << 63, 0},
      // (d - 1) * 2^64 + 2^64 - 1 = d * (2^64 - 1) + d - 1: the largest quotient.
      {{2, kMax}, 3, kMax, 2},
      {{kTenToThe19 - 1, kMax}, kTenToThe19, kMax, kTenToThe19 - 1},
      // A divisor with its top bit set makes the running remainder pass 64 bits.
      {{uint64_t{1} << 63, 0}, kMax, uint64_t{1} << 63, uint64_t{1} << 63},
      {{kMax - 1, kMax}, kMax, kMax, kMax - 1},
  };
  for (const Case& c : cases) {
    uint64_t remainder = 0;
    EXPECT_EQ(portable::Divide(c.dividend, c.divisor, remainder), c.quotient) << c.divisor;
    EXPECT_EQ(remainder, c.remainder) << c.divisor;
    remainder = 0;
    EXPECT_EQ(Divide(c.dividend, c.divisor, remainder), c.quotient) << c.divisor;
    EXPECT_EQ(remainder, c.remainder) << c.divisor;
  }
}

TEST(WideInteger, PortableToDoubleRoundsToNearestEven) {
  const uint64_t bit53 = uint64_t{1} << 53;
  struct Case {
    Uint128 value;
    double expected;
  };
  const Case cases[] = {
      {{0, 0}, 0.0},
      {{0, bit53 + 1}, 0x1p53},
      {{1, 0}, 0x1p64},
      {{1, 1}, 0x1p64},
      // 2^117 + 2^64 is half way between two doubles: it goes to the even
      // one, and a single bit more below the cut takes it up.
      {{bit53 + 1, 0}, 0x1p117},
      {{bit53 + 1, 1}, 0x1p117 + 0x1p65},
      {{bit53 + 3, 0}, 0x1p117 + 0x1p66},
      // The same with the leading bit at the very top.
      {{(uint64_t{1} << 63) + (uint64_t{1} << 10), 0}, 0x1p127},
      {{(uint64_t{1} << 63) + (uint64_t{1} << 10), 1}, 0x1p127 + 0x1p75},
      {{kMax, kMax}, 0x1p128},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(portable::ToDouble(c.value), c.expected) << c.value.high << ":" << c.value.low;
    EXPECT_EQ(ToDouble(c.value), c.expected) << c.value.high << ":" << c.value.low;
  }
}

#if defined(__SIZEOF_INT128__)
// Where the compiler has 128-bit integers, they are an independent answer
// for any operands.
TEST(WideInteger, PortableOperationsAgreeWithNativeIntegers) {
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t a = random() >> (random() % 64);
    const uint64_t b = random() >> (random() % 64);
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    ASSERT_EQ(portable::Multiply(a, b), (Uint128{static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)}));
    const Uint128 wide{a, b};
    const unsigned __int128 whole = static_cast<unsigned __int128>(a) << 64 | b;
    ASSERT_EQ(portable::ToDouble(wide), static_cast<double>(whole)) << a << ":" << b;
    if (a == kMax) continue;  // no divisor exceeds it
    const uint64_t divisor = a + 1 + ((random() >> (random() % 64)) & (kMax - a - 1));
    uint64_t remainder = 0;
    ASSERT_EQ(portable::Divide(wide, divisor, remainder), static_cast<uint64_t>(whole / divisor));
    ASSERT_EQ(remainder, static_cast<uint64_t>(whole % divisor));
  }
}
#endif

}  // namespace
}  // namespace comsvc::JSON::wide
