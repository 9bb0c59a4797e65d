// Helpers shared by the fuzz targets: stopping on a broken property, and an
// independent reading of percent-encoded text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <comsvc/code_page.h>

namespace comsvc::fuzz {

// Stops the run with a crash report when a property does not hold.
inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

inline bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

inline std::optional<int> UpperHexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return std::nullopt;
}

// The bytes that percent-encoded text stands for. Stops the run on anything
// outside the encoder's alphabet: ASCII letters and digits, and "%" with two
// upper-case hexadecimal digits.
inline std::string PercentDecoded(std::u16string_view encoded) {
  std::string bytes;
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (IsAsciiLetterOrDigit(encoded[i])) {
      bytes.push_back(static_cast<char>(encoded[i]));
      continue;
    }
    Check(encoded[i] == u'%' && i + 2 < encoded.size());
    const std::optional<int> high = UpperHexDigit(encoded[i + 1]);
    const std::optional<int> low = UpperHexDigit(encoded[i + 2]);
    Check(high && low);
    bytes.push_back(static_cast<char>(*high << 4 | *low));
    i += 2;
  }
  return bytes;
}

// The code-page bytes of each character of `text` in turn (a surrogate on
// its own is a character the code page lacks).
inline std::string CharacterBytes(std::u16string_view text, const platform::CodePage& code_page) {
  std::string bytes;
  for (char16_t c : text) bytes += code_page.ToBytes(std::u16string_view(&c, 1));
  return bytes;
}

}  // namespace comsvc::fuzz
