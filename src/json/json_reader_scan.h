// The scanning kernels of the JSON reader: the classes of characters it
// tells apart, and the runs it passes over 16 bytes at a time where the
// processor allows, over UTF-16 code units or UTF-8 bytes alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace comsvc::JSON {

// The 15 characters of a number: "+-0123456789.eE".
inline bool IsNumberChar(char16_t c) {
  static constexpr uint64_t kMask = (uint64_t{0x3FF} << '0') | (uint64_t{1} << '+') | (uint64_t{1} << '-') |
                                    (uint64_t{1} << '.');
  return c < 64 ? (kMask >> c & 1) != 0 : c == u'e' || c == u'E';
}

inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\n' || c == u'\r' || c == u'\t'; }

// Filler other than blanks: parentheses and comment marks.
inline bool MayBeFiller(char16_t c) { return c == u'(' || c == u')' || c == u'/' || c == u'*'; }

#ifdef __SSE2__
// The code units of a text, 16 bytes at a time: eight UTF-16 code units or
// sixteen UTF-8 bytes.
template <typename Unit>
struct Lanes {
  static constexpr size_t kUnits = 16 / sizeof(Unit);

  static __m128i Load(const Unit* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static __m128i Splat(char16_t c) {
    if constexpr (sizeof(Unit) == 1) return _mm_set1_epi8(static_cast<char>(c));
    return _mm_set1_epi16(static_cast<short>(c));
  }
  static __m128i Equal(__m128i a, __m128i b) {
    if constexpr (sizeof(Unit) == 1) return _mm_cmpeq_epi8(a, b);
    return _mm_cmpeq_epi16(a, b);
  }
  // The index of the unit that set the lowest bit of a byte mask.
  static size_t UnitAt(int mask) { return static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / sizeof(Unit); }
};
#endif

// The position of the first `quote` or backslash at or after `from`, or the
// text's length; 16 bytes at a time where the processor allows.
template <typename Unit>
[[gnu::always_inline]] inline size_t StringStop(std::basic_string_view<Unit> text, size_t from, char16_t quote) {
  const Unit* p = text.data() + from;
  const Unit* const end = text.data() + text.size();
#ifdef __SSE2__
  using B = Lanes<Unit>;
  const __m128i quotes = B::Splat(quote);
  const __m128i backslashes = B::Splat(u'\\');
  for (; static_cast<size_t>(end - p) >= B::kUnits; p += B::kUnits) {
    const __m128i units = B::Load(p);
    const __m128i hits = _mm_or_si128(B::Equal(units, quotes), B::Equal(units, backslashes));
    if (const int mask = _mm_movemask_epi8(hits)) return static_cast<size_t>(p - text.data()) + B::UnitAt(mask);
  }
#endif
  while (p < end && *p != quote && *p != u'\\') ++p;
  return static_cast<size_t>(p - text.data());
}

// The end of the run of blanks at `from` (a line break and indentation is
// the longest run of filler in most documents), 16 bytes at a time where the
// processor allows.
template <typename Unit>
[[gnu::always_inline]] inline size_t BlanksEnd(std::basic_string_view<Unit> text, size_t from) {
  const Unit* p = text.data() + from;
  const Unit* const end = text.data() + text.size();
#ifdef __SSE2__
  using B = Lanes<Unit>;
  const __m128i spaces = B::Splat(u' ');
  const __m128i line_feeds = B::Splat(u'\n');
  const __m128i returns = B::Splat(u'\r');
  const __m128i tabs = B::Splat(u'\t');
  for (; static_cast<size_t>(end - p) >= B::kUnits; p += B::kUnits) {
    const __m128i units = B::Load(p);
    // Indentation is spaces: a block of them alone takes one comparison.
    const __m128i blank_spaces = B::Equal(units, spaces);
    if (_mm_movemask_epi8(blank_spaces) == 0xFFFF) continue;
    const __m128i blanks = _mm_or_si128(_mm_or_si128(blank_spaces, B::Equal(units, line_feeds)),
                                        _mm_or_si128(B::Equal(units, returns), B::Equal(units, tabs)));
    const int mask = _mm_movemask_epi8(blanks);
    if (mask != 0xFFFF) return static_cast<size_t>(p - text.data()) + B::UnitAt(~mask);
  }
#endif
  while (p < end && IsBlank(*p)) ++p;
  return static_cast<size_t>(p - text.data());
}

// A character that ends a run of plain key characters: a quote, the colon
// or a blank.
inline bool IsKeySpecial(char16_t c) {
  static constexpr uint64_t kMask = (uint64_t{1} << '"') | (uint64_t{1} << '\'') | (uint64_t{1} << ':') |
                                    (uint64_t{1} << '\r') | (uint64_t{1} << '\n') | (uint64_t{1} << '\t') |
                                    (uint64_t{1} << ' ');
  return c < 64 && (kMask >> c & 1) != 0;
}

}  // namespace comsvc::JSON
