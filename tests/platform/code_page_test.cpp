#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace comsvc::platform {
namespace {

TEST(CodePage, WritesItsBytesAndAQuestionMarkPerUnitItLacks) {
  // The code page, a text, its bytes and the character code of its first unit.
  const std::tuple<int, std::u16string, std::string, int16_t> cases[] = {
      {1252, u"\u00E9", "\xE9", 233}, {1252, u"\u4E2D", "?", 63}, {1252, u"\u20AC", "\x80", 128},
      {1252, u"\u0101", "?", 63},  // no best fit "a"
      {1252, u"\U0001F600", "??", 63}, {1252, u"\u00A0\u0081", "\xA0\x81", 160},
      {1252, u"\u0080", "?", 63},  // 80 is the euro sign, not U+0080
      {936, u"\u00E9", "\xA8\xA6", -22362}, {936, u"\u4E2D", "\xD6\xD0", -10544}, {936, u"\u20AC", "\x80", 128},
      {936, u"\u0101", "\xA8\xA1", -22367}, {936, u"\U0001F600", "??", 63}, {936, u"\xD800", "?", 63},
      {936, u"\u00A0\u0081", "??", 63}, {936, u"a\u4E2Db", "a\xD6\xD0" "b", 97},
      {932, u"\u65E5\uFF71", "\x93\xFA\xB1", -27654}, {949, u"\uAC00", "\xB0\xA1", -20319},
      {950, u"\u4E2D", "\xA4\xA4", -23388}, {874, u"\u0E01", "\xA1", 161}, {1250, u"\u0159", "\xF8", 248},
      {1251, u"\u0416", "\xC6", 198}, {1253, u"\u03A9", "\xD9", 217}, {1254, u"\u011F", "\xF0", 240},
      {1255, u"\u05D0", "\xE0", 224}, {1256, u"\u0639", "\xDA", 218}, {1257, u"\u0105", "\xE0", 224},
      {1258, u"\u0102\u00C3", "\xC3?", 195},  // A-tilde only as A and a combining tilde: nothing decomposes
  };
  for (const auto& [number, text, bytes, code] : cases) {
    EXPECT_EQ(CodePage(number).ToBytes(text), bytes) << number << " U+" << std::hex << int(text[0]);
    EXPECT_EQ(CodePage(number).CharCode(text[0]), code) << number << " U+" << std::hex << int(text[0]);
  }
}

TEST(CodePage, ReadsItsBytesAndAQuestionMarkForWhatItLacks) {
  const std::tuple<int, std::string, std::u16string> cases[] = {
      {1252, "\x80\xE9\xA0", u"\u20AC\u00E9\u00A0"}, {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
      {936, "\x80\xD6\xD0", u"\u20AC\u4E2D"}, {936, "x\xA8\xA6\xD6", u"x\u00E9?"},  // a lead byte at the end
      {936, "\xFF", u"?"}, {932, "\x93\xFA\xB1", u"\u65E5\uFF71"},
      {1251, std::string("\0\x7F", 2), std::u16string(u"\0\x7F", 2)},
  };
  for (const auto& [number, bytes, text] : cases) EXPECT_EQ(CodePage(number).FromBytes(bytes), text) << number;
}

// Whatever a code page writes must read back as the same character: a
// character that would come back as another one (a best fit) is "?".
TEST(CodePage, EveryWrittenCharacterReadsBackUnchanged) {
  for (int number : {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    CodePage page(number);
    int mapped = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
      const std::u16string text(1, static_cast<char16_t>(c));
      const std::string bytes = page.ToBytes(text);
      if (bytes == "?" && c != u'?') continue;
      ++mapped;
      ASSERT_EQ(page.FromBytes(bytes), text) << number << " U+" << std::hex << int(c);
      ASSERT_LE(bytes.size(), page.IsDoubleByte() ? 2u : 1u);
    }
    EXPECT_GE(mapped, page.IsDoubleByte() ? 7000 : 200) << number;
  }
  for (int number : {437, 65001, 1259}) EXPECT_THROW(CodePage{number}, std::invalid_argument);
}

TEST(CodePage, LanguageSelectsTheCodePageAsWindowsDoes) {
  const std::pair<const char*, int> cases[] = {
      {"zh_CN.UTF-8", 936}, {"zh_SG", 936}, {"zh_TW.Big5", 950}, {"zh_HK", 950}, {"ja", 932}, {"ko_KR.EUC-KR", 949},
      {"uk_UA", 1251}, {"el_GR", 1253}, {"az_AZ", 1254}, {"he_IL", 1255}, {"fa_IR", 1256}, {"lt_LT", 1257},
      {"vi_VN", 1258}, {"th_TH", 874}, {"hr_HR@euro", 1250}, {"POSIX", 1252}, {"", 1252}, {"zhx_CN", 1252},
  };
  for (const auto& [locale, number] : cases) EXPECT_EQ(CodePage::CodePageForLocale(locale), number) << locale;
}

// The choice on first use, in a fresh process each; a host may change it later.
TEST(CodePageDeathTest, FirstUseReadsTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // COMSVC_CODEPAGE, LC_ALL, LC_CTYPE, LANG and the code page they choose.
  const std::tuple<const char*, const char*, const char*, const char*, int> cases[] = {
      {"932", "", "", "zh_CN.UTF-8", 932}, {"1234", "", "", "el_GR", 1253}, {nullptr, "ja_JP", "ko_KR", "ru_RU", 932},
      {nullptr, "", "ko_KR.UTF-8", "ru_RU", 949},
  };
  for (const auto& [codepage, lc_all, lc_ctype, lang, number] : cases) {
    const auto choose = [&] {
      codepage ? setenv("COMSVC_CODEPAGE", codepage, 1) : unsetenv("COMSVC_CODEPAGE");
      setenv("LC_ALL", lc_all, 1);
      setenv("LC_CTYPE", lc_ctype, 1);
      setenv("LANG", lang, 1);
      std::exit(CodePage::Current().Number() % 256);
    };
    EXPECT_EXIT(choose(), ::testing::ExitedWithCode(number % 256), "") << number;
  }
  const CodePage& before = CodePage::Current();
  ASSERT_TRUE(CodePage::SetCurrent(936));
  EXPECT_FALSE(CodePage::SetCurrent(65001));
  EXPECT_EQ(CodePage::Current().ToBytes(u"\u4E2D"), "\xD6\xD0");
  EXPECT_EQ(before.ToBytes(u"A"), "A");  // still usable after the change
}

}  // namespace
}  // namespace comsvc::platform
