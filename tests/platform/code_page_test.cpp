#include "platform/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace comsvc::platform {
namespace {

constexpr int kAllCodePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char b : bytes) {
    if (!hex.empty()) hex += ' ';
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

struct EncodeCase {
  int code_page;
  std::u16string text;
  std::string bytes;  // hexadecimal, separated by blanks
};

class ToBytesTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(ToBytesTest, WritesCodePageBytesAndQuestionMarksForTheRest) {
  const auto& c = GetParam();
  EXPECT_EQ(Hex(CodePage(c.code_page).ToBytes(c.text)), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(WesternAndChinese, ToBytesTest,
                         ::testing::Values(EncodeCase{1252, u"\u00E9", "E9"}, EncodeCase{1252, u"\u4E2D", "3F"},
                                           EncodeCase{1252, u"\u20AC", "80"},
                                           EncodeCase{1252, u"\u0101", "3F"},  // no best fit "a"
                                           EncodeCase{1252, u"\U0001F600", "3F 3F"}, EncodeCase{1252, u"\xD800", "3F"},
                                           EncodeCase{1252, u"\xDC00x", "3F 78"},
                                           EncodeCase{1252, u"\u00A0\u0081", "A0 81"},
                                           EncodeCase{1252, u"\u008D\u008F\u0090\u009D", "8D 8F 90 9D"},
                                           EncodeCase{1252, u"\u0080", "3F"},  // 80 is the euro sign, not U+0080
                                           EncodeCase{936, u"\u00E9", "A8 A6"}, EncodeCase{936, u"\u4E2D", "D6 D0"},
                                           EncodeCase{936, u"\u20AC", "80"}, EncodeCase{936, u"\u0101", "A8 A1"},
                                           EncodeCase{936, u"\U0001F600", "3F 3F"}, EncodeCase{936, u"\xD800", "3F"},
                                           EncodeCase{936, u"\u00A0\u0081", "3F 3F"},
                                           EncodeCase{936, u"a\u4E2Db", "61 D6 D0 62"}, EncodeCase{936, u"", ""}));

INSTANTIATE_TEST_SUITE_P(OtherCodePages, ToBytesTest,
                         ::testing::Values(EncodeCase{932, u"\u65E5\u672C", "93 FA 96 7B"},
                                           EncodeCase{932, u"\uFF71", "B1"}, EncodeCase{949, u"\uAC00", "B0 A1"},
                                           EncodeCase{950, u"\u4E2D", "A4 A4"}, EncodeCase{874, u"\u0E01", "A1"},
                                           EncodeCase{1250, u"\u0159", "F8"}, EncodeCase{1251, u"\u0416", "C6"},
                                           EncodeCase{1253, u"\u03A9", "D9"}, EncodeCase{1254, u"\u011F", "F0"},
                                           EncodeCase{1255, u"\u05D0", "E0"}, EncodeCase{1256, u"\u0639", "DA"},
                                           EncodeCase{1257, u"\u0105", "E0"},
                                           // 1258 has A-tilde only as A plus a combining tilde: no
                                           // decomposing on the way out.
                                           EncodeCase{1258, u"\u0102\u00C3", "C3 3F"}));

struct DecodeCase {
  int code_page;
  std::string bytes;
  std::u16string text;
};

class FromBytesTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(FromBytesTest, ReadsCodePageBytes) {
  const auto& c = GetParam();
  EXPECT_EQ(CodePage(c.code_page).FromBytes(c.bytes), c.text);
}

INSTANTIATE_TEST_SUITE_P(All, FromBytesTest,
                         ::testing::Values(DecodeCase{1252, "\x80\xE9", u"\u20AC\u00E9"},
                                           DecodeCase{1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
                                           DecodeCase{1252, "\xA0", u"\u00A0"}, DecodeCase{936, "\xD6\xD0", u"\u4E2D"},
                                           DecodeCase{936, "\x80", u"\u20AC"},
                                           DecodeCase{936, "a\xA8\xA6z", u"a\u00E9z"},
                                           DecodeCase{936, "\xD6", u"?"},  // lead byte with nothing after it
                                           DecodeCase{936, "x\xD6\xD0\xD6", u"x\u4E2D?"}, DecodeCase{936, "\xFF", u"?"},
                                           DecodeCase{932, "\x93\xFA\xB1", u"\u65E5\uFF71"},
                                           DecodeCase{1251, std::string("\0\x7F", 2), std::u16string(u"\0\x7F", 2)}));

TEST(CodePageTest, CharCodeIsSignedLeadTimes256PlusTrail) {
  struct Case {
    int code_page;
    char16_t c;
    int16_t code;
  };
  for (const Case& c :
       {Case{936, u'\u4E2D', -10544}, Case{936, u'\u00E9', static_cast<int16_t>(0xA8A6)}, Case{936, u'\u20AC', 128},
        Case{936, u'A', 65}, Case{936, u'\u00A0', 63}, Case{1252, u'\u00E9', 233}, Case{1252, u'\u20AC', 128},
        Case{1252, u'\u4E2D', 63}, Case{1252, u'?', 63}, Case{1252, u'\xD83D', 63}, Case{932, u'\uFF71', 0xB1}}) {
    EXPECT_EQ(CodePage(c.code_page).CharCode(c.c), c.code) << c.code_page << " U+" << std::hex << int(c.c);
  }
}

// Whatever a code page writes must read back as the same character: a
// character that would come back as another one (a best fit) is "?".
TEST(CodePageTest, EveryWrittenCharacterReadsBackUnchanged) {
  for (int number : kAllCodePages) {
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
}

TEST(CodePageTest, LanguageSelectsTheCodePageAsWindowsDoes) {
  struct Case {
    const char* locale;
    int code_page;
  };
  for (const Case& c : {Case{"zh_CN.UTF-8", 936}, Case{"zh_SG", 936},        Case{"zh_TW.Big5", 950},
                        Case{"zh_HK.UTF-8", 950}, Case{"zh_MO", 950},        Case{"ja_JP.UTF-8", 932},
                        Case{"ja", 932},          Case{"ko_KR.EUC-KR", 949}, Case{"ru_RU.UTF-8", 1251},
                        Case{"uk_UA", 1251},      Case{"bg_BG", 1251},       Case{"el_GR.UTF-8", 1253},
                        Case{"tr_TR", 1254},      Case{"az_AZ", 1254},       Case{"he_IL", 1255},
                        Case{"fa_IR", 1256},      Case{"lt_LT", 1257},       Case{"vi_VN", 1258},
                        Case{"th_TH.UTF-8", 874}, Case{"pl_PL", 1250},       Case{"hr_HR@euro", 1250},
                        Case{"C", 1252},          Case{"POSIX", 1252},       Case{"C.UTF-8", 1252},
                        Case{"", 1252},           Case{"en_US.UTF-8", 1252}, Case{"de_DE@euro", 1252},
                        Case{"zhx_CN", 1252}}) {
    EXPECT_EQ(CodePage::CodePageForLocale(c.locale), c.code_page) << c.locale;
  }
}

TEST(CodePageTest, SetCurrentRefusesUnsupportedCodePages) {
  for (int number : {0, 437, 65001, 1259, -1}) {
    EXPECT_FALSE(CodePage::IsSupported(number)) << number;
    EXPECT_THROW(CodePage{number}, std::invalid_argument);
  }
  ASSERT_TRUE(CodePage::SetCurrent(936));
  const CodePage& before = CodePage::Current();
  EXPECT_FALSE(CodePage::SetCurrent(65001));
  EXPECT_EQ(CodePage::Current().Number(), 936);
  ASSERT_TRUE(CodePage::SetCurrent(1252));
  EXPECT_EQ(CodePage::Current().Number(), 1252);
  EXPECT_EQ(before.ToBytes(u"\u4E2D"), "\xD6\xD0");  // still usable after the change
}

// The choice on first use, in a fresh process each.
TEST(CodePageDeathTest, FirstUseReadsTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* codepage;
    const char* lc_all;
    const char* lc_ctype;
    const char* lang;
    int expected;
  };
  for (const Case& c :
       {Case{"932", "", "", "zh_CN.UTF-8", 932}, Case{"1234", "", "", "el_GR", 1253},
        Case{nullptr, "ja_JP.UTF-8", "ko_KR", "ru_RU", 932}, Case{nullptr, "", "ko_KR.UTF-8", "ru_RU", 949},
        Case{nullptr, "", "", "zh_TW", 950}, Case{nullptr, "", "", "", 1252}}) {
    auto choose = [&c] {
      c.codepage ? setenv("COMSVC_CODEPAGE", c.codepage, 1) : unsetenv("COMSVC_CODEPAGE");
      setenv("LC_ALL", c.lc_all, 1);
      setenv("LC_CTYPE", c.lc_ctype, 1);
      setenv("LANG", c.lang, 1);
      std::exit(CodePage::Current().Number() % 256);
    };
    EXPECT_EXIT(choose(), ::testing::ExitedWithCode(c.expected % 256), "") << c.expected;
  }
}

}  // namespace
}  // namespace comsvc::platform
