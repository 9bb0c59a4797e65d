// Inputs large or hostile enough that a reader which recursed without bound,
// quoted without bound or went back over the text would crash or never finish.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include "support/test_support.h"

namespace comsvc::JSON {
namespace {

std::u16string Repeat(std::u16string_view piece, size_t times) {
  std::u16string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// The error lines of the last read (none of the texts below holds a line feed).
size_t ErrorLines() { return std::ranges::count(ReaderErrors(), u'\n'); }

TEST(ReadJsonLarge, AMillionOpeningBracketsStopAtTheNestingBound) {
  const std::u16string description = Utf8ToUtf16(ErrorDescription(ErrorNumber::kOutOfStackSpace));
  for (std::u16string_view open : {u"[", u"{a:"}) {
    EXPECT_FALSE(ReadJson(Repeat(open, 1000000)).IsEmpty());
    EXPECT_EQ(ReaderErrors().rfind(description, 0), 0u);
    EXPECT_EQ(ErrorLines(), 1000u);
  }
}

TEST(ReadJsonLarge, AHundredMegabytesOfRandomInputAreRead) {
  std::mt19937 random(1);
  const char16_t steering[] = u"[]{}\"',:/*()\\ \r\ntfnrulase0123456789.-+Eux";
  for (bool any_unit : {true, false}) {
    std::u16string text(50'000'000, u' ');
    for (char16_t& c : text) c = any_unit ? static_cast<char16_t>(random()) : steering[random() % 41];
    text[0] = u'[';
    ReadJson(text);
  }
  // Each level of a deep array reports the one bad word again.
  ReadJson(Repeat(u"[", 1000) + u"tru" + std::u16string(10'000'000, u' '));
  EXPECT_EQ(ErrorLines(), 1000u);
  // Each quote is whole up to a budget of a few times the text's length.
  EXPECT_LT(ReaderErrors().size(), 8 * 10'000'000u + 65536 + 1000 * 64);
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

// Every document of the JSONTestSuite parsing corpus, valid or not.
TEST(JsonCorpus, EveryDocumentIsRead) {
  size_t documents = 0;
  const std::filesystem::path corpus = COMSVC_TEST_DATA_DIR "/JSONTestSuite/test_parsing";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    // Bytes that are not UTF-8 become U+FFFD, as a lenient decoder hands them on.
    const std::u16string text = Utf8ToUtf16(testing::ReadBytes(entry.path()));
    const Value root = ReadJson(text);
    const std::string name = entry.path().filename().string();
    const size_t first = text.find_first_not_of(u" \t\r\n");
    if (first == std::u16string::npos || std::u16string_view(u"[{/*()").find(text[first]) == std::u16string::npos) {
      EXPECT_EQ(ReaderErrors(), u"Invalid JSON") << name;
    }
    // A valid object or array reads without error unless the dictionary
    // refuses a duplicate key or a number lies beyond 32-bit integers.
    const bool refused = name.find("number") != std::string::npos || name.find("duplicated_key") != std::string::npos;
    if (name.starts_with("y_") && !root.IsEmpty() && !refused) {
      EXPECT_EQ(EncodeUtf8(ReaderErrors()), "") << name;
    }
    ++documents;
  }
  EXPECT_GT(documents, 300u);
}

}  // namespace
}  // namespace comsvc::JSON
