// The system's ANSI code page: one per process, shared by every service that
// turns text into bytes or bytes into text (digests, percent-encoding, the
// socket, INI files, folder paths).
//
// Process-wide and set before use: a host calls SetCurrent once, before any
// thread converts text; changing it while other threads convert is safe (the
// switch is atomic) but each conversion then uses whichever code page was in
// force when it started.
//
// The conversion tables are Windows' own, generated from Microsoft's published
// tables and prepared once per code page; converting is a table look-up per
// code unit, with the same answers on every platform. What the code page lacks
// becomes "?" (no best fit), one "?" per UTF-16 code unit, so a surrogate pair
// gives "??". A double-byte character is written lead byte, then trail byte.
//
// Errors: a CodePage made for a number it does not support raises error 5;
// converting raises nothing but error 7, when memory runs out. Conversions
// return texts the caller owns.
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
  // environment variable COMSVC_CODEPAGE (ignored when it names no supported
  // code page), else the language of the first of LC_ALL, LC_CTYPE and LANG
  // that is not empty, mapped as Windows maps it (see CodePageForLocale).
  static const CodePage& Current();
  // Makes `number` the code page in force (hosts, the command line, tests);
  // returns false and changes nothing for a code page that is not supported.
  // A reference obtained from Current() stays valid after a change.
  static bool SetCurrent(int number);
  static bool IsSupported(int number);
  // Windows's language table: "zh_CN.UTF-8" -> 936, "zh_TW" -> 950,
  // "ja_JP" -> 932, ...; Chinese of other territories -> 936; C, POSIX and
  // every other language -> 1252.
  static int CodePageForLocale(std::string_view locale_name);

  int Number() const { return number_; }
  bool IsDoubleByte() const;

  // Text to bytes.
  std::string ToBytes(std::u16string_view text) const;
  // The code of one character as a signed 16-bit integer: the byte for a
  // one-byte character, lead * 256 + trail read as signed for a two-byte one,
  // the code of "?" (63) for a character the code page lacks.
  int16_t CharCode(char16_t c) const;
  // CharCode of every unit of the text, into codes[0] to codes[text.size() - 1].
  void CharCodes(std::u16string_view text, int16_t* codes) const;
  // Bytes to text. A lead byte takes the byte after it, whatever it is, and
  // the pair gives one character; an undefined pair, an undefined byte or a
  // lead byte at the end gives the code page's default character ("?", but
  // U+30FB in 932). Bytes a code page leaves undefined read as Windows reads
  // them: 1252's 81 8D 8F 90 9D as the C1 controls U+0081..., for example.
  std::u16string FromBytes(std::string_view bytes) const;
  // Where text in this code page is not valid: the offset of the first byte,
  // or pair of a lead and a trail byte, that the page does not define, or
  // nullopt when it defines them all. Not defined: what Windows' table for
  // the page has no character for (FromBytes reads it as the default
  // character, though it is not that character's own code), a lead byte at
  // the end, and a byte 80..9F that the page reads as the C1 control of the
  // same number, the filler Windows puts in the gaps of its tables (1252's
  // 81 8D 8F 90 9D, for example). FromBytes reads all of these as Windows
  // does; this is for text that must be in the code page.
  std::optional<size_t> FirstUndefined(std::string_view bytes) const;

  struct Tables;  // prepared from the generated tables, see code_page.cpp
  // Raises error 5 (invalid procedure call or argument) for a code page that
  // is not supported. The tables are shared by every instance of the same
  // code page.
  explicit CodePage(int number);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

 private:
  int number_;
  std::shared_ptr<const Tables> tables_;
};

}  // namespace comsvc::platform
