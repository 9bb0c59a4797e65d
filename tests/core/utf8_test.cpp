#include <comsvc/utf8.h>

#include <gtest/gtest.h>

namespace comsvc {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string text;               // what decodes before any error
  std::optional<size_t> error_offset;
};

TEST(Utf8, DecodesValidTextAndStopsAtTheFirstInvalidByte) {
  const DecodeCase cases[] = {
      {"empty", "", u"", std::nullopt},
      {"ascii", "abc", u"abc", std::nullopt},
      {"two bytes", "\xC3\xA9", u"\u00E9", std::nullopt},
      {"three bytes", "\xE4\xB8\xAD", u"\u4E2D", std::nullopt},
      {"four bytes become a pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00", std::nullopt},
      {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF", std::nullopt},
      {"lone continuation", "a\x80", u"a", 1},
      {"overlong slash", "a\xC0\xAF", u"a", 1},
      {"overlong three bytes", "\xE0\x80\xAF", u"", 0},
      {"encoded surrogate", "ok\xED\xA0\x80", u"ok", 2},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"", 0},
      {"truncated at the end", "ab\xE4\xB8", u"ab", 2},
      {"latin-1 byte", "caf\xE9", u"caf", 3},
  };
  for (const auto& c : cases) {
    Utf8Result r = DecodeUtf8(c.bytes);
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(r.error_offset, c.error_offset) << c.name;
    EXPECT_EQ(FirstInvalidUtf8(c.bytes), c.error_offset) << c.name;
    // After a long run of ASCII, which is passed over in words.
    const std::string ascii(21, 'x');
    const auto shifted = c.error_offset ? std::optional<size_t>(*c.error_offset + ascii.size()) : std::nullopt;
    EXPECT_EQ(FirstInvalidUtf8(ascii + c.bytes), shifted) << c.name;
    EXPECT_EQ(DecodeUtf8(ascii + c.bytes).text, u"xxxxxxxxxxxxxxxxxxxxx" + c.text) << c.name;
  }
}

TEST(Utf8, EncodesPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(EncodeUtf8(u"\u00E9\u4E2D\xD83D\xDE00"), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(EncodeUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
}

TEST(Utf8, LenientDecodingReplacesEachBadByte) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xC3"), u"a\uFFFD" u"b\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("0123456789\xC3\xA9" "0123456789\x80\xF0\x9F\x98\x80"),
            u"0123456789\u00E9" u"0123456789\uFFFD\xD83D\xDE00");
  std::u16string appended = u"kept ";
  AppendUtf8ToUtf16(appended, "\xC3\xA9\xFF");
  EXPECT_EQ(appended, u"kept \u00E9\uFFFD");
}

}  // namespace
}  // namespace comsvc
