#include <comsvc/code_page.h>

#include <gtest/gtest.h>

#include <random>

#include "support/runtime_errors.h"

namespace comsvc::platform {
namespace {

TEST(CodePage, WritesItsBytesAndAQuestionMarkPerUnitItLacks) {
  struct Case { int number; std::u16string text; std::string bytes; int16_t first_code; };  // of the first unit
  const Case cases[] = {
      {1252, u"\u00E9", "\xE9", 233}, {1252, u"\u4E2D", "?", 63}, {1252, u"\u20AC", "\x80", 128},
      {1252, u"\u0101", "?", 63},  // no best fit "a"
      {1252, u"\U0001F600", "??", 63}, {1252, u"\u0080", "?", 63},  // 80 is the euro sign, not U+0080
      {936, u"\u00E9", "\xA8\xA6", -22362}, {936, u"\u4E2D", "\xD6\xD0", -10544}, {936, u"\u20AC", "\x80", 128},
      {936, u"\u0101", "\xA8\xA1", -22367}, {936, u"\U0001F600", "??", 63}, {936, u"a\u4E2Db", "a\xD6\xD0" "b", 97},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::pair(CodePage(c.number).ToBytes(c.text), CodePage(c.number).CharCode(c.text[0])),
              std::pair(c.bytes, c.first_code)) << c.number << " U+" << std::hex << int(c.text[0]);
  }
}

// Where the first byte or pair that the page does not define stands.
TEST(CodePage, FirstUndefinedIsWhereTheTextStopsBeingThePages) {
  const std::tuple<int, std::string, std::optional<size_t>> cases[] = {
      {1252, "\x80\xE9\xA0?", std::nullopt}, {1252, "a\x81\x8D", 1},  // C1 controls fill the gaps
      {936, "\x80\xD6\xD0", std::nullopt},   {936, "\xAA\xA1", std::nullopt},
      {936, "x\xA8\xA6\xD6", 3},  // a lead byte at the end
      {936, "\xA1\x7F", 0},        // an undefined pair
      {932, "a\x81\x20" "b", 1},     // a trail byte out of range
      {932, "\x81\x45", std::nullopt},  // the default character's own code
      {932, "\x82\xA0\x85\x40", 2},  // a row that holds no characters
      {932, "\x80", 0},
  };
  for (const auto& [number, bytes, undefined_at] : cases) {
    EXPECT_EQ(CodePage(number).FirstUndefined(bytes), undefined_at) << number << " " << bytes;
  }
}

// Bytes read as the code page's characters, what it lacks as its default
// character, and the text read is written back. Where Windows' tables differ
// from other converters' for the same code page, Windows' answer counts, or
// a text's digests would differ.
TEST(CodePage, ReadsAsWindowsAndWritesWhatItReadBack) {
  struct Case { int number; std::string bytes; std::u16string read; std::string written; };  // written: of `read`
  const Case cases[] = {
      {1252, "\x80\xE9\xA0", u"\u20AC\u00E9\u00A0", "\x80\xE9\xA0"},
      {936, "\x80\xD6\xD0", u"\u20AC\u4E2D", "\x80\xD6\xD0"},
      {936, "x\xA8\xA6\xD6", u"x\u00E9?", "x\xA8\xA6?"},  // a lead byte at the end
      {936, "\xA1\x7F", u"?", "?"},                        // an undefined pair
      // Bytes a one-byte page leaves undefined are the C1 controls.
      {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},
      {874, "\x81\x9F", u"\u0081\u009F", "\x81\x9F"}, {1250, "\x83\x98", u"\u0083\u0098", "\x83\x98"},
      {1251, "\x98", u"\u0098", "\x98"}, {1257, "\x8A\x9F", u"\u008A\u009F", "\x8A\x9F"},
      {1255, "\xCA", u"\u05BA", "\xCA"},
      // 932 reads what it lacks as U+30FB, a lead byte at the end too.
      {932, "\x85\x41", u"\u30FB", "\x81\x45"}, {932, "a\x81", u"a\u30FB", "a\x81\x45"},
      {932, "\x80", u"\u0080", "\x80"},
      // The end-user-defined ranges round-trip through the private use area.
      {936, "\xAA\xA1", u"\uE000", "\xAA\xA1"}, {936, "\xA1\x40", u"\uE4C6", "\xA1\x40"},
      {949, "\xC9\xA1", u"\uE000", "\xC9\xA1"}, {950, "\xFA\x40", u"\uE000", "\xFA\x40"},
      // Two pairs read as one box-drawing character; it is written as F9 xx.
      {950, "\xA2\xA4\xF9\xF9", u"\u2550\u2550", "\xF9\xF9\xF9\xF9"},
      {950, "\xA2\xA5\xF9\xE9", u"\u255E\u255E", "\xF9\xE9\xF9\xE9"},
      {950, "\xA2\xA7\xF9\xEB", u"\u2561\u2561", "\xF9\xEB\xF9\xEB"},
      {950, "\xA2\xA6\xF9\xEA", u"\u256A\u256A", "\xF9\xEA\xF9\xEA"},
  };
  for (const Case& c : cases) {
    const CodePage page(c.number);
    EXPECT_EQ(std::pair(page.FromBytes(c.bytes), page.ToBytes(c.read)), std::pair(c.read, c.written)) << c.number;
  }
}

// Long texts convert as their units do one at a time, wherever runs of ASCII
// start and end.
TEST(CodePage, TextsConvertAsTheirUnits) {
  std::mt19937 random(874);
  const std::u16string others = u"\u00E9\u4E2D\u20AC\u0101\uFFFF\U0001F600\u0080\u30FB";
  for (int number : {1252, 932, 936, 1255}) {
    const CodePage page(number);
    for (int round = 0; round < 200; ++round) {
      // Runs of ASCII of any length between other units.
      std::u16string text;
      while (random() % 6) {
        for (unsigned n = random() % 40; n > 0; --n) text += static_cast<char16_t>(random() % 0x80);
        text += others[random() % others.size()];
      }
      std::string bytes;
      std::vector<int16_t> codes(text.size());
      for (char16_t c : text) bytes += page.ToBytes(std::u16string_view(&c, 1));
      page.CharCodes(text, codes.data());
      ASSERT_EQ(page.ToBytes(text), bytes) << number << " " << round;
      for (size_t i = 0; i < text.size(); ++i) ASSERT_EQ(codes[i], page.CharCode(text[i])) << number << " " << i;
    }
  }
}

TEST(CodePage, LanguageSelectsTheCodePageAsWindowsDoes) {
  const std::pair<const char*, int> cases[] = {
      {"zh_CN.UTF-8", 936}, {"zh_TW.Big5", 950}, {"zh_HK", 950}, {"ja", 932}, {"ko_KR.EUC-KR", 949},
      {"uk_UA", 1251}, {"az_AZ", 1254}, {"hr_HR@euro", 1250}, {"POSIX", 1252}, {"", 1252}, {"zhx_CN", 1252},
  };
  for (const auto& [locale, number] : cases) EXPECT_EQ(CodePage::CodePageForLocale(locale), number) << locale;
  ASSERT_TRUE(CodePage::SetCurrent(936));
  EXPECT_FALSE(CodePage::SetCurrent(65001));
  for (int number : {437, 65001, 1259}) EXPECT_EQ(testing::RaisedError([&] { CodePage{number}; }), 5) << number;
  EXPECT_EQ(CodePage::Current().ToBytes(u"\u4E2D"), "\xD6\xD0");
}

}  // namespace
}  // namespace comsvc::platform
