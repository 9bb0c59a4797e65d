// Inputs large or hostile enough that a reader which recursed without bound,
// quoted without bound or went back over the text would crash or never finish.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>

namespace comsvc::JSON {
namespace {

std::u16string Repeat(std::u16string_view piece, size_t times) {
  std::u16string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// The error lines of the last read (none of the texts below holds a line feed).
size_t ErrorLines() { return std::ranges::count(ReaderErrors(), u'\n'); }

// The number of the runtime error `read` raised; 0 for none.
int ErrorOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

TEST(ReadJsonLarge, AMillionOpeningBracketsStopAtTheNestingBound) {
  const std::u16string description = Utf8ToUtf16(ErrorDescription(ErrorNumber::kOutOfStackSpace));
  for (std::u16string_view open : {u"[", u"{a:"}) {
    EXPECT_FALSE(ReadJson(Repeat(open, 1000000)).IsEmpty());
    EXPECT_EQ(ReaderErrors().rfind(description, 0), 0u);
    EXPECT_EQ(ErrorLines(), 1000u);
  }
}

// Random text is read to its end, or to where its error text reaches its
// limit, each bad word's line quoting the whole rest of the text.
TEST(ReadJsonLarge, AHundredMegabytesOfRandomInputAreRead) {
  std::mt19937 random(1);
  const char16_t steering[] = u"[]{}\"',:/*()\\ \r\ntfnrulase0123456789.-+Eux";
  for (bool any_unit : {true, false}) {
    std::u16string text(50'000'000, u' ');
    for (char16_t& c : text) c = any_unit ? static_cast<char16_t>(random()) : steering[random() % 41];
    text[0] = u'[';
    const int error = ErrorOf([&] { Read(text); });
    EXPECT_TRUE(error == 0 || error == 7) << error;
  }
  // Each level of a deep array would report the one bad word again, in
  // 20 GB of error text.
  EXPECT_EQ(ErrorOf([&] { Read(Repeat(u"[", 1000) + u"tru" + std::u16string(10'000'000, u' ')); }), 7);
}

// Member names alike in length, start, middle and end, which differ only
// elsewhere, in one large object and spread over many small ones: keeping
// each name once must not make such names share one chain of look-ups.
TEST(ReadJsonLarge, AQuarterMillionLookAlikeNamesAreKeptApart) {
  constexpr int kNames = 250'000;
  std::u16string one_object = u"{", many_objects = u"[";
  for (int i = 0; i < kNames; ++i) {
    const std::u16string digits = Utf8ToUtf16(std::to_string(1'000'000 + i));
    const std::u16string name = u"same" + digits + u"same" + digits + u"same";
    one_object += (i > 0 ? u"," : u"") + name + u":1";
    many_objects += (i > 0 ? u",{" : u"{") + name + u":1}";
  }
  const Value object = ReadJson(one_object + u"}");
  ASSERT_EQ(ReaderErrors(), u"");
  EXPECT_EQ(object.AsObject()->Count(), kNames);
  const Value objects = ReadJson(many_objects + u"]");
  ASSERT_EQ(ReaderErrors(), u"");
  EXPECT_EQ(objects.AsArray()->Count(), kNames);
}

}  // namespace
}  // namespace comsvc::JSON
