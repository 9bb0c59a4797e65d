#include <comsvc/utf8.h>

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace comsvc {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Length of the sequence that starts with `lead`, or 0 for a byte that cannot
// start one.
int SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Decodes one sequence at `i`; returns the code point or -1 when it is not
// valid UTF-8.
int32_t DecodeOne(std::string_view bytes, size_t i, int length) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
  if (length == 0 || i + length > bytes.size()) return -1;
  int32_t cp = length == 1 ? byte(0) : byte(0) & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (byte(k) & 0x3F);
  }
  static constexpr int32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

// The length of the valid multi-byte sequence at `i`, whose lead byte is
// not ASCII, with its code point in `cp`; 0 for an invalid one. The same
// answers as DecodeOne, each length written out: text with many non-ASCII
// characters (CJK, Cyrillic) meets one every few bytes.
[[gnu::always_inline]] inline int DecodeMultiByte(const unsigned char* p, size_t i, size_t n, int32_t& cp) {
  const unsigned lead = p[i];
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (n - i < 2 || (p[i + 1] & 0xC0) != 0x80) return 0;
    cp = static_cast<int32_t>((lead & 0x1F) << 6 | (p[i + 1] & 0x3F));
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (n - i < 3 || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80) return 0;
    cp = static_cast<int32_t>((lead & 0x0F) << 12 | (p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F));
    // Overlong forms and surrogates.
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (n - i < 4 || (p[i + 1] & 0xC0) != 0x80 || (p[i + 2] & 0xC0) != 0x80 || (p[i + 3] & 0xC0) != 0x80) return 0;
    cp = static_cast<int32_t>((lead & 0x07) << 18 | (p[i + 1] & 0x3F) << 12 | (p[i + 2] & 0x3F) << 6 |
                              (p[i + 3] & 0x3F));
    if (cp < 0x10000 || cp > 0x10FFFF) return 0;
    return 4;
  }
  return 0;
}

// Writes the code point's one or two code units at `out`; gives the end.
char16_t* PutCodePoint(char16_t* out, int32_t cp) {
  if (cp < 0x10000) {
    *out++ = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return out;
}

void AppendCodePoint(std::u16string& out, int32_t cp) {
  char16_t units[2];
  out.append(units, PutCodePoint(units, cp));
}

// The end of the run of ASCII bytes at `from`, 16 bytes at a time where
// the processor allows (eight otherwise): most text at the edges is ASCII.
size_t AsciiEnd(std::string_view bytes, size_t from) {
  size_t i = from;
#ifdef __SSE2__
  const auto block = [&](size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at)); };
  // Long runs (a whole document of ASCII) four blocks at a time, with one
  // test for the four.
  for (; bytes.size() - i >= 64; i += 64) {
    const __m128i any = _mm_or_si128(_mm_or_si128(block(i), block(i + 16)), _mm_or_si128(block(i + 32), block(i + 48)));
    if (_mm_movemask_epi8(any) != 0) break;
  }
  for (; bytes.size() - i >= 16; i += 16) {
    if (_mm_movemask_epi8(block(i)) != 0) break;
  }
#endif
  for (; bytes.size() - i >= 8; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  return i;
}

// Copies the run of ASCII bytes at `from` to `out` as code units and gives
// its end; 16 bytes at a time where the processor allows.
size_t WidenAscii(std::string_view bytes, size_t from, char16_t*& out) {
  size_t i = from;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  for (; bytes.size() - i >= 16; i += 16, out += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    if (_mm_movemask_epi8(block) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(block, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(block, zero));
  }
#endif
  for (; i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80; ++i) {
    *out++ = static_cast<unsigned char>(bytes[i]);
  }
  return i;
}

}  // namespace

// The length of the valid multi-byte sequence at `i`, whose lead byte is
// not ASCII; 0 for an invalid one. The answers of DecodeMultiByte without
// the code point: overlong forms, surrogates and code points past U+10FFFF
// show in the second byte's range alone.
[[gnu::always_inline]] inline int ValidSequenceLength(const unsigned char* p, size_t i, size_t n) {
  const unsigned lead = p[i];
  const auto continues = [&](size_t k) { return (p[i + k] & 0xC0) == 0x80; };
  const auto second_within = [&](unsigned low, unsigned high) { return p[i + 1] >= low && p[i + 1] <= high; };
  if (lead < 0xC2 || lead > 0xF4) return 0;
  if (lead <= 0xDF) return n - i >= 2 && continues(1) ? 2 : 0;
  if (lead <= 0xEF) {
    return n - i >= 3 && continues(2) && second_within(lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF) ? 3 : 0;
  }
  return n - i >= 4 && continues(2) && continues(3) &&
                 second_within(lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF)
             ? 4
             : 0;
}

std::optional<size_t> FirstInvalidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = AsciiEnd(bytes, 0);
  while (i < n) {
    if (p[i] < 0x80) {
      // Text beyond ASCII mostly has one or two ASCII bytes between its
      // characters: those are passed here, longer runs in bulk.
      if (++i < n && p[i] < 0x80) i = AsciiEnd(bytes, i);
      continue;
    }
    const int length = ValidSequenceLength(p, i, n);
    if (length == 0) return i;
    i += static_cast<size_t>(length);
  }
  return std::nullopt;
}

Utf8Result DecodeUtf8(std::string_view bytes) {
  Utf8Result result;
  result.text.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    int length = SequenceLength(static_cast<unsigned char>(bytes[i]));
    int32_t cp = DecodeOne(bytes, i, length);
    if (cp < 0) {
      result.error_offset = i;
      return result;
    }
    AppendCodePoint(result.text, cp);
    i += static_cast<size_t>(length);
  }
  return result;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  AppendUtf8ToUtf16(out, bytes);
  return out;
}

void AppendUtf8ToUtf16(std::u16string& out, std::string_view bytes) {
  // No byte gives more than one code unit (four give two), so the text
  // fits in as many units as there are bytes, written in place.
  const size_t start = out.size();
  out.resize(start + bytes.size());
  char16_t* next = out.data() + start;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      i = WidenAscii(bytes, i, next);
      continue;
    }
    int32_t cp;
    if (const int length = DecodeMultiByte(p, i, n, cp)) {
      next = PutCodePoint(next, cp);
      i += static_cast<size_t>(length);
    } else {
      *next++ = kReplacement;
      ++i;
    }
  }
  out.resize(static_cast<size_t>(next - out.data()));
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace comsvc
