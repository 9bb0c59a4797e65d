#include <comsvc/json_reader.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <thread>

#include <comsvc/json_located.h>
#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include "json/json_number.h"
#include "json/json_reader_core.h"
#include "json/wide_integer.h"
#include "picture.h"
#include "support/runtime_errors.h"

namespace comsvc::JSON {
namespace {

// A raised failure's line: its description, ": " and the context.
std::u16string Line(ErrorNumber number, std::u16string_view context) {
  return Utf8ToUtf16(ErrorDescription(number)) + u": " + std::u16string(context) + u"\r\n";
}
constexpr auto kMismatch = ErrorNumber::kTypeMismatch, kOverflow = ErrorNumber::kOverflow,
               kDuplicate = ErrorNumber::kDuplicateKey, kPastTheEnd = ErrorNumber::kSubscriptOutOfRange;

// Reads `text` as UTF-16, as UTF-8 and located, expects the three alike, and gives the first.
ReadResult ReadAllWays(const std::u16string& text) {
  ReadResult read = Read(text);
  const ReadResult utf8 = Read(std::string_view(EncodeUtf8(text)));
  const LocatedDocument located(text);
  const std::string shown = EncodeUtf8(text.substr(0, 200));
  EXPECT_TRUE(Picture(utf8.root) == Picture(read.root) && utf8.errors == read.errors) << "UTF-8: " << shown;
  EXPECT_TRUE(Picture(located.Root()) == Picture(read.root) && located.Errors() == read.errors) << "located: " << shown;
  return read;
}

struct ReadCase { std::u16string text; std::string root /* its picture */; std::u16string errors; };

void ExpectReads(const std::vector<ReadCase>& cases) {
  for (const auto& [text, root, errors] : cases) {
    const ReadResult read = ReadAllWays(text);
    EXPECT_EQ(RootPicture(read.root), root) << EncodeUtf8(text);
    EXPECT_EQ(EncodeUtf8(read.errors), EncodeUtf8(errors)) << EncodeUtf8(text);
  }
}

TEST(ReadJson, FillerAndMembers) {
  ExpectReads({
      {u" \t\r\n", "none", u"Invalid JSON"}, {u"\uFEFF[1]", "none", u"Invalid JSON"},
      {u"{} ]]", "{}", u""}, {u"( [(1)(2)] )", "[i:1,i:2]", u""},
      {u"//x\r{\"a\": 1}", "{a=i:1}", u""}, {u"/**/[1 // one\n, 2 /* two */]", "[i:1,i:2]", u""},
      // A lone "/" or "*" is a blank; blanks do not end a comment mark.
      {u"/ / x\n[1]", "[i:1]", u""}, {u"** x */[1]", "[i:1]", u""},
      // A single "/" in a line comment ends it at the next character.
      {u"// a / b\n[1]", "none", u"Invalid JSON"},
      // A "*" in a block comment makes the "*/" after it open a block again.
      {u"/* a * b */ [1]", "none", u"Invalid JSON"}, {u"/* a * b */ */ [1]", "[i:1]", u""},
      // Members and their names
      {u"{a: 'x', 'b': \"y\"}", "{a='x',b='y'}", u""}, {u"{\"first name\": 1}", "{firstname=i:1}", u""},
      {u"{\"a:b\": 1, \"c\td\r\n\":2}", "{ab=i:1,cd=i:2}", u""}, {u"{\"A\":1,\"a\":2}", "{A=i:1,a=i:2}", u""},
      {u"{\"a\" \"b\":1}", "{a='b',=i:1}", u"Invalid Key at position 6 : a\r\n"},
      // The double quote opened inside single quotes keeps the colon in the name.
      {u"{'a\"b':1}", "{ab1}=empty,=empty}", Line(kDuplicate, u"")},
      // Invalid words are reported and the object goes on.
      {u"{a:tru,b:2}", "{a=false,tru,b=i:2}", u"Invalid Boolean at position 4 : tru,b:2}\r\n"},
      {u"{a:nul,b:1}", "{a=empty,nul,b=i:1}", u"Invalid null value at position 4 : nul,b:1}\r\n"},
  });
}

TEST(ReadJson, StringsAndNumbers) {
  ExpectReads({
      {u"[\"\\u0041\\n\", \"a\\qb\", \"it's\", 'say \"hi\"']", "['A\n','aqb','it's','say \"hi\"']", u""},
      {u"[\"\\\"\\\\\\/\\'\\b\\f\\r\\t\"]", "['\"\\/'\b\f\r\t']", u""},
      {u"[\"\\u00e9\\u00C9\\uD83D\\uDE00\"]", "['\u00E9\u00C9\U0001F600']", u""},
      // Blanks among the four are passed over, reading stops at any other
      // character, and the four are passed over regardless.
      {u"[\"\\u 41 x\", \"\\u4g12\", \"\\uzzzzab\"]", std::string("['Ax','\x04','\0ab']", 16), u""},
      {u"[\"\\u12\"]", "['\x12']", Line(kPastTheEnd, u"")},
      {u"{a:\"\\u12\"}", "{a='\x12',=empty}", Line(kDuplicate, u"")},
      // Numbers
      {u"[1, 2.5, 1e3, -7, +4, 1-]", "[i:1,d:2.5,d:1000,i:-7,i:4,i:-1]", u""},
      {u"[-2147483648, 007, .5, 5., 1E2, 4.9e-325]", "[i:-2147483648,i:7,d:0.5,d:5,d:100,d:0]", u""},
      {u"[1\"x\"2]", "[i:1,'x',i:2]", u""}, {u"[2147483648]", "[]", Line(kOverflow, u"]")},
      {u"[1,]", "[i:1]", Line(kMismatch, u"]")}, {u"[0x10]", "[i:0]", Line(kMismatch, u"x10]")},
      // A number that runs to the end of the text is the empty value.
      {u"{\"a\":1", "{a=empty,=empty}", Line(kDuplicate, u"")}, {u"{\"a\":1 ", "{a=i:1,=empty}", Line(kDuplicate, u"")},
  });
}

// A random number text: a run of number characters, a long run of digits,
// or a number in the form documents use with up to 20 digits on each side
// of the point and an exponent.
std::u16string RandomNumberText(std::mt19937& random, int kind) {
  const auto run = [&](std::u16string_view from, int most) {
    std::u16string text;
    for (int n = 1 + static_cast<int>(random() % most); n > 0; --n) text += from[random() % from.size()];
    return text;
  };
  if (kind == 0) return run(u"+-0123456789.eE", 8);
  if (kind == 1) return run(u"0123456789", 20);
  const std::u16string text = (random() % 2 ? u"-" : u"") + run(u"0123456789", 20) + u"." + run(u"0123456789", 20);
  return random() % 3 ? text : text + (random() % 2 ? u"e-" : u"E") + run(u"0123456789", 3);
}

// A number reads as the platform reads it with "." as the decimal point,
// alone and inside a document.
TEST(NumberValue, ReadsAsThePlatformDoesWithAPoint) {
  std::mt19937 random(20261206);
  const auto& point = platform::Locale::kInvariant;
  for (int i = 0; i < 60000; ++i) {
    const std::u16string text = RandomNumberText(random, i % 3);
    const bool decimal = text.find_first_of(u".eE") != std::u16string::npos;
    const std::string expected = testing::ResultOrError(
        [&] { return decimal ? Value(platform::TextToDouble(text, point)) : Value(platform::TextToLong(text, point)); },
        Picture);
    EXPECT_EQ(testing::ResultOrError([&] { return NumberValue(text); }, Picture), expected) << EncodeUtf8(text);
    if (expected.starts_with("error")) continue;
    EXPECT_EQ(Picture(ReadJson(u"[" + text + u"]")), "[" + expected + "]") << EncodeUtf8(text);
  }
}

TEST(ReadJson, RaisedFailuresCascadeOneLinePerLevelAndArraysStop) {
  const std::u16string end = Line(kPastTheEnd, u"");
  ExpectReads({
      {u"{\"a\":{\"b\":x}}", "{a={}}", Line(kMismatch, u"b") + Line(kMismatch, u"a")},
      {u"[[1,x],2]", "[[i:1]]", Line(kMismatch, u"x],2]") + Line(kMismatch, u"x],2]")},
      {u"{a:[1,{b:2147483648}],c:1}", "{a=[i:1,{}]}",
       Line(kOverflow, u"b") + Line(kOverflow, u"}],c:1}") + Line(kOverflow, u"a")},
      {u"{\"a\":1,\"a\":{\"b\":x}}", "{a=i:1}", Line(kMismatch, u"b") + Line(kDuplicate, u"a")},
      // An array cut off by the end stops, with error 9, where it would read an
      // item past the end; an invalid word ends its array after one item.
      {u"[", "[]", end}, {u"[1", "[empty]", end}, {u"[1,", "[i:1]", end}, {u"[[", "[[]]", end + end},
      {u"{\"a\":[1 ", "{a=[i:1]}", end + Line(kPastTheEnd, u"a")}, {u"[1 /* ]", "[i:1]", end},
      {u"[1, nul, 2]", "[i:1,empty]", u"Invalid null value at position 5 : nul, 2]\r\n"},
      {u"[[fals], 1]", "[[false],false]", u"Invalid Boolean at position 3 : fals], 1]\r\n"
                                          u"Invalid Boolean at position 3 : fals], 1]\r\n"},
  });
}

// Objects of any size keep their members in order and stop at a repeated
// key, whether it comes early or late in a long object; names that differ
// only deep inside (alike in length, start, middle and end) stay apart.
TEST(ReadJson, ObjectsOfEverySizeRefuseARepeatedKey) {
  for (const bool look_alike : {false, true}) {
    const auto name = [&](int i) {
      const std::u16string digits = Utf8ToUtf16(std::to_string(1000 + i));
      return look_alike ? u"same" + digits + u"same" + digits + u"same" : u"k" + digits;
    };
    for (int members : {1, 9, 63, 64, 65, 100, 300}) {
      std::u16string text, picture;
      for (int i = 0; i < members; ++i) {
        text += u"," + name(i) + u":" + Utf8ToUtf16(std::to_string(i));
        picture += u"," + name(i) + u"=i:" + Utf8ToUtf16(std::to_string(i));
      }
      const std::string all = "{" + EncodeUtf8(picture.substr(1)) + "}";
      for (const std::u16string& repeated : {name(0), name(members - 1)}) {
        ExpectReads({{u"{" + text.substr(1) + u"}", all, u""},
                     {u"{" + text.substr(1) + u"," + repeated + u":-1, after:1}", all, Line(kDuplicate, repeated)}});
      }
    }
  }
}

// A tree as read goes whole with its root; once anything in it has changed
// or is referred to from elsewhere, through any of the ways to change one,
// what went into it or came out of it lives on its own terms: a node put in
// is let go of when the root goes, and what was taken out stays as it was
// (the sanitizer build also reports a use after free or a leak here, and
// checks that no change went unnoticed).
TEST(ReadJson, ATreeChangedAfterTheReadGivesBackWhatWentInAndKeepsWhatCameOut) {
  const auto document = [](char16_t letter) {
    std::u16string text = u"{a: 1, list: [1, 2], inner: {long: '" + std::u16string(40, letter) + u"'}, big: {";
    for (int i = 0; i < 40; ++i) text += u" k" + Utf8ToUtf16(std::to_string(i)) + u": 0";
    return text + u"}}";
  };
  const Ref<Collection> outside = MakeRef<Collection>();
  // Each change reaches its node without changing anything on the way.
  const auto m = [](const Value& root, std::u16string_view key) -> const Value& {
    return *std::as_const(*root.AsObject()).Find(key);
  };
  struct Change { const char* name; std::function<Value(const Value& root)> make; /* gives what it took out */ };
  const Change changes[] = {
      {"member added", [&](const Value& root) { root.AsObject()->Add(Text(u"new"), Value(outside)); return Value(); }},
      {"member added by view", [&](const Value& root) { root.AsObject()->Add(u"new", Value(outside)); return Value(); }},
      {"repeated member refused", [&](const Value& root) {
         EXPECT_THROW(m(root, u"inner").AsObject()->Add(u"long", Value(outside)), RuntimeError);
         return Value();
       }},
      {"item added", [&](const Value& root) { m(root, u"list").AsArray()->Add(Value(outside)); return Value(); }},
      {"member replaced", [&](const Value& root) { *root.AsObject()->Find(u"a") = Value(outside); return Value(); }},
      {"member moved out", [&](const Value& root) { return std::move(*m(root, u"inner").AsObject()->Find(u"long")); }},
      {"node shared", [&](const Value& root) { return m(root, u"inner"); }},
      {"root shared", [&](const Value& root) { return Value(root); }},
      {"index made", [&](const Value& root) { EXPECT_TRUE(m(root, u"big").AsObject()->Exists(u"k39")); return Value(); }},
      {"grown past its block and its index", [&](const Value& root) {
         for (int32_t i = 0; i < 30; ++i) m(root, u"big").AsObject()->Add(u"m" + Utf8ToUtf16(std::to_string(i)), Value(i));
         EXPECT_EQ(m(root, u"big").AsObject()->Item(u"m29").AsLong(), 29);
         return m(root, u"big");
       }},
  };
  for (const auto& [name, change] : changes) {
    Value kept = change(Read(document(u'a')).root);
    const std::string picture = Picture(kept);
    EXPECT_EQ(outside.use_count(), 1u) << name;
    // The next document may take the memory of the one that went.
    const Value next = Read(document(u'x')).root;
    EXPECT_EQ(Picture(kept), picture) << name;
  }
}

// Beyond a thousand levels, error 28 is raised at that level and cascades.
TEST(ReadJson, NestingIsBoundedAtAThousandLevels) {
  EXPECT_EQ(ReadAllWays(Repeat(u"[", 1000) + Repeat(u"]", 1000)).errors, u"");
  std::u16string lines;
  for (int i = 0; i < 1000; ++i) lines += Line(ErrorNumber::kOutOfStackSpace, u"[" + std::u16string(19, u']'));
  EXPECT_TRUE(ReadAllWays(Repeat(u"[", 1001) + Repeat(u"]", 1001)).errors == lines);
}

// {k0:t,k1:t,...}: each "t" is a bad word, and the next key starts at it;
// the last, "t}", is followed by the empty key twice, which ends the object.
std::u16string BadWords(int count) {
  std::u16string text;
  for (int i = 0; i < count; ++i) text += u",k" + Utf8ToUtf16(std::to_string(i)) + u":t";
  return u"{" + text.substr(1) + u"}";
}

// Each bad word's line quotes the whole rest of the text.
TEST(ReadJson, EveryBadWordQuotesTheWholeRestOfTheText) {
  for (const int words : {1, 150, 1000}) {
    const std::u16string text = BadWords(words);
    std::u16string lines;
    for (size_t at = text.find(u":t"); at != std::u16string::npos; at = text.find(u":t", at + 1)) {
      lines += u"Invalid Boolean at position " + Utf8ToUtf16(std::to_string(at + 2)) + u" : " + text.substr(at + 1);
      lines += u"\r\n";
    }
    EXPECT_TRUE(ReadAllWays(text).errors == lines + Line(kDuplicate, u"")) << words << " words";
  }
  ReadAllWays(u"{" + Repeat(u"k:nul,", 20'000));
}

// The error text stops at its limit: the read raises error 7, as when
// memory runs out, in UTF-16 and UTF-8 text alike, however deep the
// containers that would turn a failure into a line of their own.
TEST(ReadJson, ErrorTextPastItsLimitRaisesOutOfMemory) {
  const std::u16string text = u"[[" + BadWords(150) + u"]]";
  const std::u16string lines = Read(text).errors;
  EXPECT_TRUE(ReadBounded(text, lines.size()).errors == lines);
  EXPECT_EQ(testing::RaisedError([&] { ReadBounded(text, lines.size() - 1); }), 7);
  EXPECT_EQ(testing::RaisedError([&] { ReadBounded(EncodeUtf8(text), lines.size() - 1); }), 7);
}

// Readers on several threads at once, half of them on bad documents: each
// thread sees exactly the errors of its own last read, however the reads
// interleave, and the thread that started them keeps its own. Meanwhile
// they all search one tree, whose objects of every size find every member
// from the first search on (an object's index is made by the first search
// that needs one, on whichever thread).
TEST(ReaderErrors, BelongToTheCallingThreadWhileThreadsSearchOneTree) {
  const auto number = [](int i) { return Utf8ToUtf16(std::to_string(i)); };
  std::u16string shared;
  for (const int members : {5, 20, 100}) {
    shared += u",{";
    for (int i = 0; i < members; ++i) shared += (i > 0 ? u",k" : u"k") + number(i) + u":" + number(i);
    shared += u"}";
  }
  const Value tree = Read(u"[" + shared.substr(1) + u"]").root;
  ReadJson(u"[nul]");
  const std::u16string own = u"Invalid null value at position 2 : nul]\r\n";

  constexpr int kThreads = 8, kReads = 300;
  // The threads start together on a spin, not on std::latch, whose wait in
  // the Windows build's library once never woke under Wine.
  std::atomic<int> waiting(kThreads);
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const bool bad = t % 2 == 1;
      const std::u16string text = (bad ? u"{a:tru,b:" : u"{a:true,b:") + number(t) + u"}";
      const std::u16string expected = bad ? u"Invalid Boolean at position 4 : " + text.substr(3) + u"\r\n" : u"";
      const std::string root = "{a=" + std::string(bad ? "false,tru" : "true") + ",b=i:" + std::to_string(t) + "}";
      for (waiting.fetch_sub(1); waiting.load() > 0;) std::this_thread::yield();
      for (const Value& item : tree.AsArray()->Items()) {
        const Dictionary& object = *item.AsObject();
        for (int i = object.Count() - 1; i >= 0; --i) {
          const Value* found = object.Find(u"k" + number(i));
          if (found == nullptr || found->NumberValue() != i) failures[t] = "k" + std::to_string(i) + " not found";
        }
      }
      for (int i = 0; i < kReads && failures[t].empty(); ++i) {
        if (const std::string read = Picture(ReadJson(text)); read != root) failures[t] = "root " + read;
        if (ReaderErrors() != expected) failures[t] = "errors " + EncodeUtf8(ReaderErrors());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<std::string>(kThreads));
  EXPECT_EQ(ReaderErrors(), own);
}

TextPosition At(int32_t line, int32_t column) { return {line, column}; }

TEST(LocatedDocument, PointsAtValuesNamesAndErrorLines) {
  const std::u16string text = u"{\"a\": [1,\n  {b: 'x'}],\r\n 'c' :\r({d: 1})}";
  const LocatedDocument document(text);
  const auto key_and_value = [&](std::vector<PathStep> path) {
    const ValueLocation& where = document.Find(path);
    return std::pair(document.PositionOf(where.key), document.PositionOf(where.value));
  };
  const PathStep a = PathStep::Member(u"a");
  EXPECT_EQ(key_and_value({}), std::pair(At(1, 1), At(1, 1)));
  EXPECT_EQ(key_and_value({a}), std::pair(At(1, 2), At(1, 7)));
  EXPECT_EQ(key_and_value({a, PathStep::Item(1), PathStep::Member(u"b")}), std::pair(At(2, 4), At(2, 7)));
  EXPECT_EQ(key_and_value({PathStep::Member(u"c"), PathStep::Member(u"d")}), std::pair(At(4, 3), At(4, 6)));
  // A path into what the tree lacks stops at the deepest value it holds.
  EXPECT_EQ(key_and_value({a, PathStep::Item(5)}), key_and_value({a}));
  EXPECT_EQ(key_and_value({a, PathStep::Member(u"0")}), key_and_value({a}));

  // Each line at its cause: a text error where it says; a raised failure
  // at the value that raised it, then at each member or item on the way out.
  const std::pair<std::u16string, std::vector<TextPosition>> cases[] = {  // the text, its lines' positions
      {u"x", {At(1, 1)}},
      {u"{a:1,\n b:tru,\r\n c:1}", {At(2, 4)}},  // one line, though it quotes a line end
      {u"{\"a\":\n[1, {\"b\":\n  x}]}", {At(3, 3), At(2, 5), At(1, 2)}}, {u"{a:1, a:2}", {At(1, 7)}},
      {u"[\n[1,", {At(2, 4), At(2, 1)}},
  };
  for (const auto& [bad, lines] : cases) {
    const LocatedDocument located(bad);
    std::vector<TextPosition> positions;
    for (const auto& line : located.ErrorLines()) positions.push_back(located.PositionOf(line.offset));
    EXPECT_EQ(positions, lines) << EncodeUtf8(bad);
  }
}

TEST(PathText, WritesPlainNamesBareAndQuotesTheRest) {
  const auto m = PathStep::Member;
  EXPECT_EQ(PathText(std::vector{PathStep::Item(3), m(u"switch"), m(u"items"), PathStep::Item(2), m(u"return")}),
            u"[3].switch.items[2].return");
  EXPECT_EQ(EncodeUtf8(PathText(std::vector{m(u"a"), m(u"b.c"), m(u""), m(u"\"[\\")})),
            "a[\"b.c\"][\"\"][\"\\\"[\\\\\"]");
}

}  // namespace

namespace {

// Digits times a power of ten, over every power a double can need: a double
// the scaling settles is the platform's reading of the same text, and so is
// the fallback's answer where it settles none (an overflow, an underflow).
// Halfway cases round to even, and a carry can reach the next power of two.
TEST(NumberText, DigitsScaledByAnyPowerOfTenGiveTheNearestDouble) {
  std::vector<std::string> texts = {"9007199254740993.0", "9007199254740995.0", "1.9999999999999999",
                                    "2.2250738585072014e-308", "1.7976931348623157e308", "1.7976931348623159e308",
                                    "4.9e-324", "-65.613616999999977", "7.2057594037927933e16"};
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t digits = (random() >> (random() % 64)) % 10000000000000000000u;
    const int power = static_cast<int>(random() % 660) - 346;
    texts.push_back((random() % 2 ? "-" : "") + std::to_string(digits) + "e" + std::to_string(power));
  }
  int settled = 0;
  for (const std::string& text : texts) {
    const std::optional<Decimal> d = DecimalScanner<char>(text).Scan();
    ASSERT_TRUE(d) << text;
    const std::string expected = testing::ResultOrError(
        [&] { return Value(platform::TextToDouble(Utf8ToUtf16(text), platform::Locale::kInvariant)); }, Picture);
    if (const std::optional<double> nearest = NearestDouble(*d)) {
      ++settled;
      EXPECT_EQ(Picture(Value(*nearest)), expected) << text;
    }
    EXPECT_EQ(testing::ResultOrError([&] { return NumberValue(Utf8ToUtf16(text)); }, Picture), expected) << text;
  }
  EXPECT_GT(settled, 150000);
}

#if defined(__SIZEOF_INT128__)
// Where the compiler has 128-bit integers, they are an independent answer
// for the portable product.
TEST(WideInteger, PortableProductAgreesWithNativeIntegers) {
  std::mt19937_64 random(20261206);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t a = random() >> (random() % 64);
    const uint64_t b = random() >> (random() % 64);
    const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
    const wide::Uint128 expected{static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
    ASSERT_TRUE(wide::portable::Multiply(a, b) == expected && wide::Multiply(a, b) == expected) << a << " * " << b;
  }
}
#endif

}  // namespace
}  // namespace comsvc::JSON
