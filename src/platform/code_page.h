// The system's ANSI code page: one per process, shared by every service that
// turns text into bytes or bytes into text (digests, percent-encoding, the
// socket, INI files, folder paths).
//
// Conversion tables are built once per code page from the C library's iconv;
// converting is then a table look-up per code unit. What the code page lacks
// becomes "?" (no best-fit), one "?" per UTF-16 code unit, so a surrogate pair
// gives "??". A double-byte character is written lead byte, then trail byte.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace comsvc::platform {

class CodePage {
 public:
  // The code page in force. Chosen on first use unless a host set one: the
  // environment variable COMSVC_CODEPAGE, else the locale's language mapped
  // as Windows maps it (see CodePageForLocale).
  static const CodePage& Current();
  // Makes `number` the code page in force; error 5-like misuse is refused:
  // returns false (and changes nothing) for a code page that is not supported.
  static bool SetCurrent(int number);
  static bool IsSupported(int number);
  // Windows's language table: "zh_CN.UTF-8" -> 936, "ja_JP" -> 932, ... ;
  // C, POSIX and every other language -> 1252.
  static int CodePageForLocale(std::string_view locale_name);

  int Number() const { return number_; }
  bool IsDoubleByte() const;

  // Text to bytes.
  std::string ToBytes(std::u16string_view text) const;
  // The code of one character as a signed 16-bit integer: the byte for a
  // one-byte character, lead * 256 + trail read as signed for a two-byte one,
  // the code of "?" (63) for a character the code page lacks.
  int16_t CharCode(char16_t c) const;
  // Bytes to text. An undefined byte or a lone lead byte gives "?".
  std::u16string FromBytes(std::string_view bytes) const;

  struct Tables;  // built from iconv, see code_page.cpp
  explicit CodePage(int number);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

 private:
  int number_;
  std::unique_ptr<Tables> tables_;
};

}  // namespace comsvc::platform
