#include "json/json_number.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "platform/locale.h"

namespace comsvc::JSON {
namespace {

// The value and kind, or the number of the error raised, as one text.
template <typename Read>
std::string Outcome(Read read) {
  try {
    const Value v = read();
    if (v.Kind() == ValueKind::kLong) return "long " + std::to_string(v.AsLong());
    uint64_t bits;
    const double d = v.AsDouble();
    std::memcpy(&bits, &d, sizeof bits);
    return "double " + std::to_string(bits);
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.Number());
  }
}

// Our reading must be the platform's reading with "." as the decimal point.
void ExpectSameAsPlatform(std::u16string_view text) {
  const bool decimal = text.find_first_of(u".eE") != std::u16string_view::npos;
  const auto& invariant = platform::Locale::kInvariant;
  EXPECT_EQ(Outcome([&] { return NumberValue(text); }),
            Outcome([&]() -> Value {
              return decimal ? Value(platform::TextToDouble(text, invariant)) : Value(platform::TextToLong(text, invariant));
            }))
      << EncodeUtf8(text);
}

// Awkward texts first, then random ones: mostly well formed, with 1 to 20
// digits before and after the point, and some of the 15 characters at random.
TEST(NumberValue, ReadsAsThePlatformDoes) {
  for (const char16_t* text :
       {u"0", u"-0", u"+1", u"1-", u"007", u"2147483647", u"2147483648", u"-2147483648", u"-2147483649", u"99999999999",
        u"", u"-", u".", u"e", u"1-2", u"--1", u"1e", u"1.5e", u".5", u"5.", u"-.5", u"1e+3", u"-0.0", u"1e400",
        u"4.9e-325", u"4.9e-324", u"2.2250738585072011e-308", u"1.7976931348623159e308", u"1..2", u"1e2e3", u"+-1",
        u"123456789012345678901234567890", u"9007199254740993.0", u"9007199254740995.0", u"1.0000000000000001110",
        u"1.0000000000000001111", u"-65.633056999999951", u"18446744073709551615e-19", u"9999999999999999999e19"}) {
    ExpectSameAsPlatform(text);
  }
  std::mt19937 random(20261206);
  const auto digits = [&](int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) text += static_cast<char16_t>(u'0' + random() % 10);
    return text;
  };
  const char16_t alphabet[] = u"+-0123456789.eE";
  for (int i = 0; i < 100000; ++i) {
    std::u16string text;
    if (i % 3 == 2) {
      for (int n = random() % 8; n > 0; --n) text += alphabet[random() % 15];
    } else {
      text = (random() % 4 ? u"" : u"-") + digits(1 + random() % 20);
      if (i % 3 == 1 || random() % 2) text += u"." + digits(1 + random() % 20);
      if (random() % 3 == 0) text += u"e" + Utf8ToUtf16(std::to_string(static_cast<int>(random() % 61) - 30));
    }
    ExpectSameAsPlatform(text);
  }
}

}  // namespace
}  // namespace comsvc::JSON
