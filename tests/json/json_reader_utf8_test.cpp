// Read of UTF-8 against Read of the same text decoded to UTF-16:
// whatever the bytes, both give the same tree (kinds, numbers to the bit,
// texts to the code unit, member order) and the same error text.
#include <comsvc/json_reader.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "picture.h"
#include "support/test_support.h"

namespace comsvc::JSON {
namespace {

using namespace std::string_literals;

// The UTF-8 read of `bytes` is the UTF-16 read of their decoding, which
// it gives.
ReadResult ExpectSameAsUtf16(const std::string& bytes, const std::string& label) {
  ReadResult expected = Read(Utf8ToUtf16(bytes));
  const ReadResult read = Read(std::string_view(bytes));
  EXPECT_EQ(Picture(read.root), Picture(expected.root)) << label;
  EXPECT_TRUE(read.errors == expected.errors) << label;
  return expected;
}

std::string Repeat(std::string_view piece, size_t times) { return EncodeUtf8(JSON::Repeat(Utf8ToUtf16(piece), times)); }

TEST(JsonUtf8, ReadsAsTheDecodedText) {
  const std::string cases[] = {
      // Plain documents and the forgiving syntax.
      R"({"a":1,"b":[true,false,null],"c":"text","d":-1.5e3,"e":{}})",
      R"([0,-0,0.1,1e22,1e23,5e-324,1.7976931348623157e308,2147483647,-2147483648,123456789.123456789e-5])",
      R"([1.5E+2, 00012, 1.2.3, +1, -12e, 12345678901234567890123])", "({\"a\":(1)} ) /* unclosed \xC3\xA9",
      "/* first */ { // line\n \"a\" : 1 /* \xC3\xA9 */ }",
      "{\"a\":1 // \xE6\xB3\xA8\xE9\x87\x8A\n, \"b\" /* \xF0\x9F\x98\x80 */ : 2}",
      "{a:1, b c:2, \xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87:3, x\xF0\x9F\x98\x80y:4}", R"({'a':'b\'c', "d":'e"f'})",
      R"({a"b"c:1, "x y" : 2, 'p' 'q' : 3})", R"([1 2 "three" {} []])", R"([1,,2,])",
      // Escapes, with non-ASCII text before, after and within them (one to a
      // document: any error line would hide the rest).
      R"(["a\"b\\c\/d\'e\b\f\n\r\t\x\q", "\u00e9\u20AC\uD83D\uDE00\uD800\u0041"])", "[\"\\u12\xC3\xA9" "4\"]",
      "[\"\\u\xC3\xA9" "abc\", 1]", "[\"\\u1\xF0\x9F\x98\x80 x\"]", "{\"a\":\"\\u00\xE2\x82\xAC\xE2\x82\xAC\"}",
      "[\"\\\xC3\xA9\"]", "[\"\xC3\xA9\\n\xE2\x82\xAC\\t\xF0\x9F\x98\x80\", \"\\\\\xC3\xA9\"]", R"(["\u"])", R"(["\u1"])",
      // Non-ASCII text in strings and names, 4-byte sequences included.
      "[\"\xC3\xA9\", \"\xE2\x82\xAC\", \"\xF0\x9F\x98\x80\", \"a\xF0\x9F\x98\x80" "b\", '\xC3\xA9\"']",
      "{\"\xF0\x9F\x98\x80\":1, \"\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87\":{\"\xC3\xBC\":[]}, \"\xC3\xBC\":2}",
      "[{\"n\xC3\xA9\":1},{\"n\xC3\xA9\":2},{\"n\xC3\xA8\":3},{\"ne\":4}]", "\xEF\xBB\xBF{}", "[\"a\0b\", \0]"s,
      // Documents with error lines.
      "", "   ", "x", "\xC3\xA9[1]", R"({"a":tru})", "{\"\xC3\xA9\":tru \xC3\xA9, \"b\":2}", R"({"a":nul})",
      "[fals \xF0\x9F\x98\x80]", "[nul\xC3\xA9]", R"({"a":1,"a":2})", "{\"\xC3\xA9\":1, \"\xC3\xA9\":2}",
      "{\"x \xC3\xA9\":1, \"x\xC3\xA9\":2}", R"({"a" x:1})", "{\"\xC3\xA9\" \xC3\xA9:1}", R"([1e99999])",
      R"([99999999999])", R"({"a":-})", "[\xC3\xA9]", "[1,2", "{\"a\":", "{\"a\"", "{\"a\":\"\xC3\xA9", "[\"\\u12",
      // Bytes that are not UTF-8, wherever they lie.
      "[\"\xFF\"]", "[\"\xC3\"]", "{\"\xC0\xAF\":1}", "[\"\xED\xA0\x80\"]", "{\"\xED\xA0\x80\":\"\xED\xB0\x80\"}",
      "[\"\xF4\x90\x80\x80\"]", "[1 /* \xFE */, 2]", "{a\x80:1}", "[\"\xE2\x82\"]",
  };
  for (const std::string& text : cases) ExpectSameAsUtf16(text, text);
}

// Every prefix of a document, many of them cut inside a character, an
// escape or a comment.
TEST(JsonUtf8, ReadsEveryCutOffDocumentAsTheDecodedText) {
  const std::string document =
      "{\"\xC3\xA9t\xC3\xA9\": [1, -2.5e3, \"\\u00e9\\n\xF0\x9F\x98\x80\"], /* \xE2\x82\xAC */ "
      "b\xC3\xBC: {'x': true, \"y\": null}, \"z\": false}";
  for (size_t length = 0; length <= document.size(); ++length) {
    ExpectSameAsUtf16(document.substr(0, length), "first " + std::to_string(length) + " bytes");
  }
}

// An array's failure line quotes a fixed count of code units, which may end
// inside a four-byte character's pair; error positions count pairs as two.
TEST(JsonUtf8, QuotesAndPositionsCountUtf16CodeUnits) {
  for (size_t before = 15; before <= 22; ++before) {
    const std::string run = std::string(before, 'x') + "\xF0\x9F\x98\x80y\xC3\xA9z";
    ExpectSameAsUtf16("[1, {\"a\":1,\"a\":2} " + run + "]", "failure, " + std::to_string(before));
    ExpectSameAsUtf16("[\"" + run + "\", tru " + run + "]", "word, " + std::to_string(before));
  }
}

TEST(JsonUtf8, NestsAsDeepAsTheDecodedText) {
  for (const size_t depth : {999u, 1000u, 1001u, 1200u}) {
    ExpectSameAsUtf16(Repeat("{\"\xC3\xA9\":", depth - 1) + "[]" + Repeat("}", depth - 1), std::to_string(depth));
  }
}

// Non-ASCII names, repeated, in pieces, or alike in length, start, middle
// and end, each in an object of its own, so that only their interning tells
// them apart (the reader's own tests read ASCII names of every kind both ways).
TEST(JsonUtf8, TellsNamesApartAsTheDecodedText) {
  std::string alike = "[", repeated = "{";
  for (char x = 'A'; x <= 'J'; ++x) {
    for (char y = 'A'; y <= 'J'; ++y) alike += "{\"ab\xC3\xA9" + std::string{x} + "_efgh" + y + "_ijkl\":1},";
  }
  for (int i = 0; i < 100; ++i) repeated += "\"\xD0\xBA" + std::to_string(1000 + i) + "_" + std::to_string(i % 7) + "_end\":1,";
  ExpectSameAsUtf16(alike + "{}]", "names alike in the sampled places");
  ExpectSameAsUtf16(repeated + "\"\xD0\xBA" "1042_0_end\":7}", "a repeated name");
  ExpectSameAsUtf16("[{na me\xC3\xA9:1, name\xC3\xA9:2}, {\"\xC3\xA9\":1}, {\"\xC2\xA9\":2}, "
                    "{\"x\xC3\xA9\":3}, {\"x\xC2\xA9\":4}]", "short names");
}

// Every document of the JSONTestSuite parsing corpus, valid or not (bytes
// that are not UTF-8 read as U+FFFD).
TEST(JsonCorpus, EveryDocumentIsReadAsTheDecodedText) {
  size_t documents = 0;
  const std::filesystem::path corpus = COMSVC_TEST_DATA_DIR "/JSONTestSuite/test_parsing";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::string bytes = testing::ReadBytes(entry.path()), name = entry.path().filename().string();
    const auto [root, errors] = ExpectSameAsUtf16(bytes, name);
    const std::u16string text = Utf8ToUtf16(bytes);
    const size_t first = text.find_first_not_of(u" \t\r\n");
    if (first == std::u16string::npos || std::u16string_view(u"[{/*()").find(text[first]) == std::u16string::npos) {
      EXPECT_EQ(errors, u"Invalid JSON") << name;
    }
    // A valid object or array reads without error unless the dictionary
    // refuses a duplicate key or a number lies beyond 32-bit integers.
    const bool refused = name.find("number") != std::string::npos || name.find("duplicated_key") != std::string::npos;
    EXPECT_TRUE(!name.starts_with("y_") || root.IsEmpty() || refused || errors.empty()) << name << EncodeUtf8(errors);
    ++documents;
  }
  EXPECT_GT(documents, 300u);
}

}  // namespace
}  // namespace comsvc::JSON
