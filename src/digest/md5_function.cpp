#include <comsvc/md5_function.h>

#include <algorithm>
#include <bit>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include <comsvc/runtime_error.h>
#include <comsvc/code_page.h>
#include <comsvc/locale.h>
#include <comsvc/value_text.h>
#include "digest/md5_shifts.h"

namespace comsvc::MD5ForServer {

// Words are handled as their unsigned bit patterns, on which the module's
// shifts, rotations and modulo-2^32 additions are the machine's own.
namespace internal {

int32_t ShiftLeft(int32_t value, int32_t count) {
  if (count < 0 || count > 31) Raise(ErrorNumber::kOverflow);
  return static_cast<int32_t>(static_cast<uint32_t>(value) << count);
}

int32_t ShiftRight(int32_t value, int32_t count) {
  if (count < 0 || count > 31) Raise(ErrorNumber::kOverflow);
  return static_cast<int32_t>(static_cast<uint32_t>(value) >> count);
}

}  // namespace internal

namespace {

using internal::ShiftLeft;
using internal::ShiftRight;

uint32_t RotateWord(uint32_t value, int count) { return std::rotl(value, count); }
uint32_t AddWords(uint32_t x, uint32_t y) { return x + y; }

// F and G in forms equal to (x And y) Or (Not x And z) and
// (x And z) Or (y And Not z) that take fewer operations (G's two terms share
// no bit, so Or is +, which folds into the step's additions).
uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) + (y & ~z); }
uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

using RoundFunction = uint32_t (*)(uint32_t, uint32_t, uint32_t);

template <RoundFunction f>
void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t x, int s, uint32_t t) {
  a = AddWords(a, AddWords(AddWords(f(b, c, d), x), t));
  a = RotateWord(a, s);
  a = AddWords(a, b);
}

constexpr auto FF = Step<F>;
constexpr auto GG = Step<G>;
constexpr auto HH = Step<H>;
constexpr auto II = Step<I>;

using StepFunction = void (*)(uint32_t&, uint32_t, uint32_t, uint32_t, uint32_t, int, uint32_t);

// The 64 additive constants: the integer part of 2^32 * |sin(i)|, i = 1..64.
constexpr uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// One round's sixteen steps: step j takes message word (first + stride * j)
// mod 16 and the shift shifts[j mod 4].
struct RoundPlan {
  int shifts[4];
  int first_word;
  int word_stride;
};

// The steps are unrolled at compile time, so that every register and word
// index is a constant and the four working words stay in registers.
template <StepFunction step, RoundPlan plan>
void RunRound(uint32_t (&work)[4], const uint32_t* x, const uint32_t* constants) {
  [&]<size_t... j>(std::index_sequence<j...>) {
    // The register receiving each step cycles through a, d, c, b.
    (step(work[(4 - j) & 3], work[(5 - j) & 3], work[(6 - j) & 3], work[(7 - j) & 3],
          x[(plan.first_word + plan.word_stride * j) & 15], plan.shifts[j & 3], constants[j]),
     ...);
  }(std::make_index_sequence<16>{});
}

void CompressBlock(uint32_t (&state)[4], const uint32_t* x) {
  uint32_t work[4] = {state[0], state[1], state[2], state[3]};
  RunRound<FF, RoundPlan{{7, 12, 17, 22}, 0, 1}>(work, x, kSineTable);
  RunRound<GG, RoundPlan{{5, 9, 14, 20}, 1, 5}>(work, x, kSineTable + 16);
  RunRound<HH, RoundPlan{{4, 11, 16, 23}, 5, 3}>(work, x, kSineTable + 32);
  RunRound<II, RoundPlan{{6, 10, 15, 21}, 0, 7}>(work, x, kSineTable + 48);
  for (int k = 0; k < 4; ++k) state[k] = AddWords(state[k], work[k]);
}

constexpr size_t kBlockPositions = 64;

// A code at byte position `position` of its word, with its sign.
constexpr uint32_t Spread(int16_t code, int position) {
  return static_cast<uint32_t>(int32_t{code}) << (8 * position);
}

// One block's words from the codes of its characters: one byte position per
// character holding its code, OR-ed in with its sign, so that a negative
// (double-byte) code's sign bits fill the positions above it in its word.
// Positions past the message hold code 0.
void PackCodes(const int16_t (&codes)[kBlockPositions], uint32_t (&words)[16]) {
  for (size_t j = 0; j < 16; ++j) {
    const int16_t* c = codes + 4 * j;
    words[j] = Spread(c[0], 0) | Spread(c[1], 1) | Spread(c[2], 2) | Spread(c[3], 3);
  }
}

// Digests the message block by block as its characters are converted: 0x80
// follows the last position, and the bit length fills the last two words of
// the final block (one more block when fewer than eight positions are left).
void DigestMessage(std::u16string_view message, uint32_t (&state)[4]) {
  const platform::CodePage& code_page = platform::CodePage::Current();
  int16_t codes[kBlockPositions];
  uint32_t words[16];
  size_t done = 0;
  for (; message.size() - done >= kBlockPositions; done += kBlockPositions) {
    code_page.CharCodes(message.substr(done, kBlockPositions), codes);
    PackCodes(codes, words);
    CompressBlock(state, words);
  }
  const size_t rest = message.size() - done;
  std::fill(std::begin(codes), std::end(codes), int16_t{0});
  code_page.CharCodes(message.substr(done), codes);
  PackCodes(codes, words);
  words[rest / 4] |= static_cast<uint32_t>(ShiftLeft(0x80, static_cast<int32_t>(8 * (rest % 4))));
  if (rest >= kBlockPositions - 8) {
    CompressBlock(state, words);
    std::fill(std::begin(words), std::end(words), 0);
  }
  const auto length_word = static_cast<int32_t>(static_cast<uint32_t>(message.size()));
  words[14] = static_cast<uint32_t>(ShiftLeft(length_word, 3));
  words[15] = static_cast<uint32_t>(ShiftRight(length_word, 29));
  CompressBlock(state, words);
}

// Eight lowercase digits per word, each word least significant byte first.
std::u16string HexText(std::span<const uint32_t> words) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string hex(8 * words.size(), u'0');
  char16_t* out = hex.data();
  for (uint32_t word : words) {
    for (int k = 0; k < 4; ++k, word >>= 8) {
      *out++ = kDigits[(word >> 4) & 15];
      *out++ = kDigits[word & 15];
    }
  }
  return hex;
}

// The host compares a text with a number as numbers when the text reads as
// one under the locale, and finds them unequal otherwise.
bool EqualsThirtyTwo(const Value& stype) {
  if (stype.IsNumber()) return stype.NumberValue() == 32;
  if (!stype.IsString()) return false;
  const std::u16string_view text = stype.AsString();
  return platform::IsNumeric(text) && platform::TextToDouble(text) == 32;
}

}  // namespace

Value MD5(const Value& sMessage, const Value& stype) {
  uint32_t state[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
  // A text is digested where it lies; other values through their text form.
  if (sMessage.IsString()) {
    DigestMessage(sMessage.AsString(), state);
  } else {
    DigestMessage(platform::PlainText(sMessage), state);
  }
  if (EqualsThirtyTwo(stype)) return Value(HexText(state));
  return Value(HexText(std::span(state).subspan(1, 2)));
}

}  // namespace comsvc::MD5ForServer
