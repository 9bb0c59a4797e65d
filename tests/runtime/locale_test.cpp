#include <comsvc/locale.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>

#include "support/runtime_errors.h"

namespace comsvc::platform {
namespace {

constexpr NumberFormat kGerman{u',', u'.'};

// The number read (the shortest text that reads back exactly), or "error N"
// for the runtime error raised.
std::string Outcome(const std::function<double()>& convert) {
  return testing::ResultOrError(convert, [](double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
  });
}

TEST(NumberReading, ReadsAsThePlatformDoes) {
  constexpr const char *kMismatch = "error 13", *kOverflow = "error 6";
  // The text, then what it reads as an integer and as a double.
  const std::tuple<std::u16string, const char*, const char*> cases[] = {
      {u"+4", "4", "4"}, {u"1-", "-1", "-1"}, {u"1e3-", "-1000", "-1000"}, {u"--1", kMismatch, kMismatch},
      {u"1-2", kMismatch, kMismatch}, {u"1e", kMismatch, kMismatch}, {u"", kMismatch, kMismatch},
      {u"0x10", kMismatch, kMismatch}, {u"1 2", kMismatch, kMismatch}, {u" 12 ", "12", "12"},
      {u".5", "0", "0.5"}, {u"-0", "0", "-0"}, {u"1,000.5", "1000", "1000.5"}, {u"1.0,5", kMismatch, kMismatch},
      // an integer rounds half to even
      {u"2.5", "2", "2.5"}, {u"3.5", "4", "3.5"}, {u"2.5000001", "3", "2.5000001"},
      {u"2147483647.5", kOverflow, "2147483647.5"}, {u"2147483648", kOverflow, "2147483648"},
      {u"1e400", kOverflow, kOverflow}, {u"4.9e-325", "0", "0"},
      {u"&o17", "15", "15"}, {u"&HFFFF", "-1", "-1"}, {u"&H10000", "65536", "65536"},
      {u"&H100000000", kOverflow, kOverflow}, {u"&o8", kMismatch, kMismatch},
  };
  for (const auto& [text, as_long, as_double] : cases) {
    const std::string utf8(text.begin(), text.end());
    EXPECT_EQ(Outcome([&] { return TextToLong(text, Locale::kInvariant); }), as_long) << utf8;
    EXPECT_EQ(Outcome([&] { return TextToDouble(text, Locale::kInvariant); }), as_double) << utf8;
    EXPECT_EQ(IsNumeric(text, Locale::kInvariant), std::string_view(as_double).find("error") != 0) << utf8;
  }
  const std::pair<std::u16string, const char*> sixteen_bits[] = {
      {u"-32768.5", "-32768"}, {u"32767.5", kOverflow}, {u"&HFFFF", "-1"}, {u"abc", kMismatch},
  };
  for (const auto& [text, value] : sixteen_bits) {
    EXPECT_EQ(Outcome([&] { return TextToInteger(text, Locale::kInvariant); }), value);
  }
  // The locale chooses the separators.
  EXPECT_EQ(std::pair(TextToDouble(u"1.000,25", kGerman), TextToLong(u"3,5", kGerman)), std::pair(1000.25, 4));
}

TEST(NumberReading, HexDigitsPassOverBlanksAndStopAtAnythingElse) {
  const std::pair<std::u16string, uint16_t> cases[] = {
      {u"aBcD", 0xABCD}, {u"0 0\t4\n1", 0x41}, {u"12G4", 0x12}, {u"\r41", 0}, {u"12345", 0x2345},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ReadHexDigits(text), value) << int(text[0]);
}

TEST(DefaultText, WritesNumbersAndBooleansAsThePlatformDoes) {
  // The value, its text with a point and with a comma as the decimal separator.
  const std::tuple<double, std::u16string, std::u16string> cases[] = {
      {0.1, u"0.1", u"0,1"}, {1e15, u"1E+15", u"1E+15"}, {123456789012345.0, u"123456789012345", u"123456789012345"},
      {1e-5, u"1E-05", u"1E-05"}, {1e-4, u"0.0001", u"0,0001"}, {1.0 / 3, u"0.333333333333333", u"0,333333333333333"},
      {-0.0, u"0", u"0"}, {DBL_MAX, u"1.79769313486232E+308", u"1,79769313486232E+308"},
  };
  for (const auto& [value, text, german] : cases) {
    EXPECT_EQ(DefaultText(value, Locale::kInvariant), text);
    EXPECT_EQ(DefaultText(value, kGerman), german);
  }
  EXPECT_EQ(DefaultText(INT32_MIN) + DefaultText(true) + DefaultText(false), u"-2147483648TrueFalse");
}

TEST(CaseMapping, OneUnitToOneWithoutTurkishOrSpecialRules) {
  // Letters that map, then ß ẞ µ ŉ ǅ ı İ ς and a surrogate pair (U+10400), which stay.
  const std::u16string kept = u"\u00DF\u1E9E\u00B5\u0149\u01C5\u0131\u0130\u03C2\U00010400";
  const std::u16string text = u"Az1\u00C9\u00FF\u0100\u03A3\u0416\uFF21iI" + kept;
  EXPECT_EQ(LowerCase(text), u"az1\u00E9\u00FF\u0101\u03C3\u0436\uFF41ii" + kept);
  EXPECT_EQ(UpperCase(text), u"AZ1\u00C9\u0178\u0100\u03A3\u0416\uFF21II" + kept);
}

}  // namespace
}  // namespace comsvc::platform
