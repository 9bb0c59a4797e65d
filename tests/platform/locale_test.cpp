#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <variant>

#include "core/runtime_error.h"

namespace comsvc::platform {
namespace {

constexpr NumberFormat kGerman{u',', u'.'};
// The runtime error a conversion raised.
struct Error {
  int number;
  friend bool operator==(Error, Error) = default;
  friend std::ostream& operator<<(std::ostream& out, Error e) { return out << "error " << e.number; }
};
constexpr Error kOverflow{6};
constexpr Error kMismatch{13};

// A conversion's value, or the error it raised.
template <typename T>
using Outcome = std::variant<T, Error>;

template <typename T, typename Convert>
Outcome<T> Attempt(Convert convert) {
  try {
    return convert();
  } catch (const RuntimeError& e) {
    return Error{e.Number()};
  }
}

struct NumberCase {
  std::u16string text;
  Outcome<int32_t> as_long;
  Outcome<double> as_double;
};

class NumberReadingTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberReadingTest, ReadsAsThePlatformDoes) {
  const auto& c = GetParam();
  EXPECT_EQ(Attempt<int32_t>([&] { return TextToLong(c.text, Locale::kInvariant); }), c.as_long);
  EXPECT_EQ(Attempt<double>([&] { return TextToDouble(c.text, Locale::kInvariant); }), c.as_double);
  EXPECT_EQ(IsNumeric(c.text, Locale::kInvariant), std::holds_alternative<double>(c.as_double));
}

INSTANTIATE_TEST_SUITE_P(
    Signs, NumberReadingTest,
    ::testing::Values(NumberCase{u"1", 1, 1.0}, NumberCase{u"+4", 4, 4.0}, NumberCase{u"-7", -7, -7.0},
                      NumberCase{u"1-", -1, -1.0}, NumberCase{u"5-", -5, -5.0}, NumberCase{u"1e3-", -1000, -1000.0},
                      NumberCase{u"1-2", kMismatch, kMismatch}, NumberCase{u"--1", kMismatch, kMismatch},
                      NumberCase{u"-1-", kMismatch, kMismatch}, NumberCase{u"- 1", kMismatch, kMismatch},
                      NumberCase{u"-", kMismatch, kMismatch}));

INSTANTIATE_TEST_SUITE_P(
    Shapes, NumberReadingTest,
    ::testing::Values(NumberCase{u"1e", kMismatch, kMismatch}, NumberCase{u"1.5e", kMismatch, kMismatch},
                      NumberCase{u"e5", kMismatch, kMismatch}, NumberCase{u".", kMismatch, kMismatch},
                      NumberCase{u"", kMismatch, kMismatch}, NumberCase{u"   ", kMismatch, kMismatch},
                      NumberCase{u"0x10", kMismatch, kMismatch}, NumberCase{u"1d2", kMismatch, kMismatch},
                      NumberCase{u"Infinity", kMismatch, kMismatch}, NumberCase{u"NaN", kMismatch, kMismatch},
                      NumberCase{u"1 2", kMismatch, kMismatch}, NumberCase{u"\uFF11", kMismatch, kMismatch},
                      NumberCase{u" 12 ", 12, 12.0}, NumberCase{u"\t7\t", 7, 7.0}, NumberCase{u"1e3", 1000, 1000.0},
                      NumberCase{u"1E3", 1000, 1000.0}, NumberCase{u"1e+3", 1000, 1000.0},
                      NumberCase{u"-1.5e3", -1500, -1500.0}, NumberCase{u".5", 0, 0.5}, NumberCase{u"5.", 5, 5.0},
                      NumberCase{u"-0", 0, -0.0}, NumberCase{u"0000000000000000000000000042", 42, 42.0}));

INSTANTIATE_TEST_SUITE_P(Grouping, NumberReadingTest,
                         ::testing::Values(NumberCase{u"1,000", 1000, 1000.0}, NumberCase{u"1,000.5", 1000, 1000.5},
                                           NumberCase{u"1,0,0", 100, 100.0}, NumberCase{u",1", kMismatch, kMismatch},
                                           NumberCase{u"1,", kMismatch, kMismatch},
                                           NumberCase{u"1,,0", kMismatch, kMismatch},
                                           NumberCase{u"1.0,5", kMismatch, kMismatch}));

INSTANTIATE_TEST_SUITE_P(HalfToEven, NumberReadingTest,
                         ::testing::Values(NumberCase{u"2.5", 2, 2.5}, NumberCase{u"3.5", 4, 3.5},
                                           NumberCase{u"-2.5", -2, -2.5}, NumberCase{u"0.5", 0, 0.5},
                                           NumberCase{u"1.5", 2, 1.5}, NumberCase{u"2.5000001", 3, 2.5000001},
                                           NumberCase{u"-3.5", -4, -3.5}, NumberCase{u"25e-1", 2, 2.5}));

INSTANTIATE_TEST_SUITE_P(Range, NumberReadingTest,
                         ::testing::Values(NumberCase{u"2147483647", 2147483647, 2147483647.0},
                                           NumberCase{u"-2147483648", INT32_MIN, -2147483648.0},
                                           NumberCase{u"2147483648", kOverflow, 2147483648.0},
                                           NumberCase{u"-2147483649", kOverflow, -2147483649.0},
                                           NumberCase{u"2147483647.5", kOverflow, 2147483647.5},
                                           NumberCase{u"-2147483648.5", INT32_MIN, -2147483648.5},
                                           NumberCase{u"99999999999999999999", kOverflow, 1e20},
                                           NumberCase{u"1e400", kOverflow, kOverflow},
                                           NumberCase{u"-1e400", kOverflow, kOverflow}, NumberCase{u"4.9e-325", 0, 0.0},
                                           NumberCase{u"1e-99999999999999999999", 0, 0.0},
                                           NumberCase{u"1.7976931348623157e308", kOverflow, DBL_MAX},
                                           NumberCase{u"0.000000000000000000000000000001e330", kOverflow, 1e300}));

INSTANTIATE_TEST_SUITE_P(
    RadixForms, NumberReadingTest,
    ::testing::Values(NumberCase{u"&h10", 16, 16.0}, NumberCase{u"&o17", 15, 15.0}, NumberCase{u"&HfF", 255, 255.0},
                      NumberCase{u" &H7FFF ", 32767, 32767.0}, NumberCase{u"&HFFFF", -1, -1.0},
                      NumberCase{u"&H10000", 65536, 65536.0}, NumberCase{u"&HFFFFFFFF", -1, -1.0},
                      NumberCase{u"&H100000000", kOverflow, kOverflow}, NumberCase{u"&H", kMismatch, kMismatch},
                      NumberCase{u"&o8", kMismatch, kMismatch}, NumberCase{u"&x1", kMismatch, kMismatch},
                      NumberCase{u"-&h1", kMismatch, kMismatch}));

TEST(NumberConversionTest, GermanSeparatorsSwapPointAndComma) {
  EXPECT_EQ(TextToDouble(u"2.5", kGerman), 25.0);
  EXPECT_EQ(TextToDouble(u"1,5", kGerman), 1.5);
  EXPECT_EQ(TextToDouble(u"1.000,25", kGerman), 1000.25);
  EXPECT_EQ(TextToLong(u"2,5", kGerman), 2);
  EXPECT_EQ(TextToLong(u"3,5", kGerman), 4);
  EXPECT_FALSE(IsNumeric(u"1,000.5", kGerman));
}

TEST(NumberConversionTest, SixteenBitIntegersRoundHalfToEven) {
  struct Case {
    std::u16string text;
    Outcome<int16_t> value;
  };
  for (const Case& c : {Case{u"80", int16_t{80}}, Case{u"8080.5", int16_t{8080}}, Case{u"32767", int16_t{32767}},
                        Case{u"32767.5", kOverflow}, Case{u"-32768.5", int16_t{-32768}}, Case{u"32768", kOverflow},
                        Case{u"-32769", kOverflow}, Case{u"&HFFFF", int16_t{-1}}, Case{u"1e400", kOverflow},
                        Case{u"abc", kMismatch}, Case{u"", kMismatch}}) {
    EXPECT_EQ(Attempt<int16_t>([&] { return TextToInteger(c.text, Locale::kInvariant); }), c.value);
  }
}

TEST(NumberConversionTest, HexDigitsPassOverBlanksAndStopAtAnythingElse) {
  struct Case {
    std::u16string text;
    uint16_t value;
  };
  for (const Case& c : {Case{u"00e9", 0x00E9}, Case{u"FFFF", 0xFFFF}, Case{u"aBcD", 0xABCD}, Case{u"0 0\t4\n1", 0x0041},
                        Case{u" 41", 0x41}, Case{u"12G4", 0x12}, Case{u"", 0}, Case{u"xyz", 0}, Case{u"\r41", 0},
                        Case{u"12345", 0x2345}}) {
    EXPECT_EQ(ReadHexDigits(c.text), c.value) << std::string(c.text.begin(), c.text.end());
  }
}

TEST(DefaultTextTest, DoublesHaveFifteenDigitsAndExponentsOfTwoDigits) {
  struct Case {
    double value;
    std::u16string text;
    std::u16string german;
  };
  for (const Case& c :
       {Case{0.1, u"0.1", u"0,1"}, Case{1.5, u"1.5", u"1,5"}, Case{1e15, u"1E+15", u"1E+15"},
        Case{1234567890123456.0, u"1.23456789012346E+15", u"1,23456789012346E+15"},
        Case{123456789012345.0, u"123456789012345", u"123456789012345"}, Case{1e-5, u"1E-05", u"1E-05"},
        Case{1e-4, u"0.0001", u"0,0001"}, Case{1.0 / 3, u"0.333333333333333", u"0,333333333333333"},
        Case{0.1 + 0.2, u"0.3", u"0,3"}, Case{-0.0, u"0", u"0"},
        Case{DBL_MAX, u"1.79769313486232E+308", u"1,79769313486232E+308"}, Case{-2.5e-7, u"-2.5E-07", u"-2,5E-07"},
        Case{100.0, u"100", u"100"}, Case{-1e100, u"-1E+100", u"-1E+100"}}) {
    EXPECT_EQ(DefaultText(c.value, Locale::kInvariant), c.text);
    EXPECT_EQ(DefaultText(c.value, kGerman), c.german);
  }
}

TEST(DefaultTextTest, IntegersAndBooleans) {
  EXPECT_EQ(DefaultText(int32_t{0}), u"0");
  EXPECT_EQ(DefaultText(int32_t{-42}), u"-42");
  EXPECT_EQ(DefaultText(INT32_MIN), u"-2147483648");
  EXPECT_EQ(DefaultText(true), u"True");
  EXPECT_EQ(DefaultText(false), u"False");
}

TEST(LocaleTest, DecimalSeparatorChoosesTheGroupingSeparator) {
  const NumberFormat saved = Locale::Numbers();
  Locale::SetDecimalSeparator(u',');
  EXPECT_EQ(Locale::Numbers().grouping, u'.');
  EXPECT_EQ(TextToDouble(u"1.000,5"), 1000.5);
  EXPECT_EQ(DefaultText(0.5), u"0,5");
  Locale::SetDecimalSeparator(u'.');
  EXPECT_EQ(Locale::Numbers().grouping, u',');
  EXPECT_EQ(TextToDouble(u"1,000.5"), 1000.5);
  Locale::SetDecimalSeparator(saved.decimal);
}

TEST(LocaleDeathTest, DecimalSeparatorComesFromTheEnvironment) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* comsvc_decimal;
    int expected;
  };
  for (const Case& c : {Case{",", ','}, Case{nullptr, '.'}}) {
    auto read = [&c] {
      c.comsvc_decimal ? setenv("COMSVC_DECIMAL", c.comsvc_decimal, 1) : unsetenv("COMSVC_DECIMAL");
      setenv("LC_ALL", "C", 1);
      std::exit(Locale::Numbers().decimal);
    };
    EXPECT_EXIT(read(), ::testing::ExitedWithCode(c.expected), "");
  }
}

TEST(CaseMappingTest, OneUnitToOneWithoutTurkishOrSpecialRules) {
  struct Case {
    char16_t c, lower, upper;
  };
  for (const Case& c : {
           Case{u'A', u'a', u'A'},
           Case{u'z', u'z', u'Z'},
           Case{u'1', u'1', u'1'},
           Case{u'\u00C9', u'\u00E9', u'\u00C9'},  // É
           Case{u'\u00FF', u'\u00FF', u'\u0178'},  // ÿ
           Case{u'\u0100', u'\u0101', u'\u0100'},  // Ā
           Case{u'\u03A3', u'\u03C3', u'\u03A3'},  // Σ
           Case{u'\u0416', u'\u0436', u'\u0416'},  // Ж
           Case{u'\uFF21', u'\uFF41', u'\uFF21'},  // fullwidth A
           Case{u'i', u'i', u'I'},
           Case{u'I', u'i', u'I'},
           Case{u'\u00DF', u'\u00DF', u'\u00DF'},  // ß
           Case{u'\u1E9E', u'\u1E9E', u'\u1E9E'},  // ẞ
           Case{u'\u00B5', u'\u00B5', u'\u00B5'},  // µ
           Case{u'\u0149', u'\u0149', u'\u0149'},  // ŉ
           Case{u'\u01C5', u'\u01C5', u'\u01C5'},  // ǅ
           Case{u'\u0131', u'\u0131', u'\u0131'},  // dotless ı
           Case{u'\u0130', u'\u0130', u'\u0130'},  // dotted İ
           Case{u'\u03C2', u'\u03C2', u'\u03C2'},  // final ς
           Case{u'\xD801', u'\xD801', u'\xD801'},
           Case{u'\xDC00', u'\xDC00', u'\xDC00'},
       }) {
    EXPECT_EQ(LowerCaseUnit(c.c), c.lower) << std::hex << int(c.c);
    EXPECT_EQ(UpperCaseUnit(c.c), c.upper) << std::hex << int(c.c);
  }
}

TEST(CaseMappingTest, WholeTextsKeepTheirLength) {
  // U+10400 (Deseret capital long I) is a pair of code units and stays.
  EXPECT_EQ(LowerCase(u"Stra\u00DFE \u00C0\U00010400"), u"stra\u00DFe \u00E0\U00010400");
  EXPECT_EQ(UpperCase(u"stra\u00DFe \u00E0\u03C2"), u"STRA\u00DFE \u00C0\u03C2");
  EXPECT_EQ(UpperCase(u""), u"");
}

}  // namespace
}  // namespace comsvc::platform
