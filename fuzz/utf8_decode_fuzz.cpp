// The command line's UTF-8 decoding: never reads out of bounds, stops at the
// first byte that a table of the well-formed byte sequences rejects (as
// the validation alone does too), and what it decodes encodes back to the
// same bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <comsvc/utf8.h>

namespace {

// The well-formed sequences as ranges per position, one row per lead byte
// range (the Unicode standard's table of well-formed UTF-8).
struct Row {
  uint8_t lead_low, lead_high;
  uint8_t second_low, second_high;
  int length;
};

constexpr Row kRows[] = {
    {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
    {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
    {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
};

// Length of the well-formed sequence at the start of `bytes`, 0 if none.
size_t WellFormedLength(std::string_view bytes) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  for (const Row& row : kRows) {
    if (byte(0) < row.lead_low || byte(0) > row.lead_high) continue;
    if (bytes.size() < static_cast<size_t>(row.length)) return 0;
    if (row.length > 1 && (byte(1) < row.second_low || byte(1) > row.second_high)) return 0;
    for (int i = 2; i < row.length; ++i) {
      if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return static_cast<size_t>(row.length);
  }
  return 0;
}

// Offset of the first sequence that is not well formed, or the size.
size_t FirstError(std::string_view bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t length = WellFormedLength(bytes.substr(at));
    if (length == 0) return at;
    at += length;
  }
  return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  comsvc::Utf8Result decoded = comsvc::DecodeUtf8(bytes);
  const size_t valid = decoded.error_offset.value_or(size);
  if (valid != FirstError(bytes)) std::abort();
  if (comsvc::FirstInvalidUtf8(bytes) != decoded.error_offset) std::abort();
  if (comsvc::EncodeUtf8(decoded.text) != bytes.substr(0, valid)) std::abort();
  // Lenient decoding keeps every valid character and replaces the rest.
  std::u16string lenient = comsvc::Utf8ToUtf16(bytes);
  if (lenient.substr(0, decoded.text.size()) != decoded.text) std::abort();
  // Each bad byte is one U+FFFD, so the text decoded from just after it
  // follows it.
  if (decoded.error_offset) {
    const std::u16string rest = comsvc::Utf8ToUtf16(bytes.substr(valid + 1));
    if (lenient != decoded.text + u'\uFFFD' + rest) std::abort();
  }
  return 0;
}
