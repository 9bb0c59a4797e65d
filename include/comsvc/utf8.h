// UTF-8 at the edges (command line, files, terminals, logs) and UTF-16 inside.
//
// Pure functions: they return text the caller owns, raise nothing but
// error 7 when memory runs out, and report bytes that are not UTF-8 as a
// byte offset (DecodeUtf8) or replace them with U+FFFD (the conveniences).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace comsvc {

struct Utf8Result {
  std::u16string text;
  // Byte offset of the first byte that is not valid UTF-8, when there is one;
  // `text` then holds what was decoded before it.
  std::optional<size_t> error_offset;
};

// Strict decoding: overlong forms, surrogates encoded in UTF-8, code points
// above U+10FFFF and truncated sequences are errors.
Utf8Result DecodeUtf8(std::string_view bytes);

// The byte offset of the first byte that is not valid UTF-8 (as DecodeUtf8
// judges it), or nothing when all of `bytes` is; no text is built.
std::optional<size_t> FirstInvalidUtf8(std::string_view bytes);

// Encodes UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// Convenience for literals and arguments known to be valid: invalid bytes
// become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);

// Utf8ToUtf16 appending to `out`.
void AppendUtf8ToUtf16(std::u16string& out, std::string_view bytes);

}  // namespace comsvc
