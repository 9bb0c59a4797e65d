#include <comsvc/json_reader.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

#include <comsvc/json_located.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include "json/json_number.h"
#include "json/json_reader_core.h"
#include <comsvc/locale.h>

namespace comsvc::JSON {
namespace {

// A compact picture of a value: empty, null, true, i:N, d:N, 'text',
// {key=value,...}, [item,...]; "none" for no root.
std::string Picture(const Value& v) {
  char number[32];
  std::string out;
  switch (v.Kind()) {
    case ValueKind::kEmpty: return "empty";
    case ValueKind::kNull: return "null";
    case ValueKind::kBoolean: return v.AsBoolean() ? "true" : "false";
    case ValueKind::kLong: return "i:" + std::to_string(v.AsLong());
    case ValueKind::kDouble: return std::snprintf(number, sizeof number, "d:%.17g", v.AsDouble()), number;
    case ValueKind::kString: return "'" + EncodeUtf8(v.AsString()) + "'";
    case ValueKind::kObject:
      for (const auto& [key, value] : v.AsObject()->Members()) out += "," + EncodeUtf8(key) + "=" + Picture(value);
      return "{" + out.substr(out.empty() ? 0 : 1) + "}";
    case ValueKind::kArray:
      for (const Value& item : v.AsArray()->Items()) out += "," + Picture(item);
      return "[" + out.substr(out.empty() ? 0 : 1) + "]";
    default: return "?";
  }
}

// A raised failure's line: its description, ": " and the context.
std::u16string Line(ErrorNumber number, std::u16string_view context) {
  return Utf8ToUtf16(ErrorDescription(number)) + u": " + std::u16string(context) + u"\r\n";
}
constexpr auto kMismatch = ErrorNumber::kTypeMismatch, kOverflow = ErrorNumber::kOverflow,
               kDuplicate = ErrorNumber::kDuplicateKey, kPastTheEnd = ErrorNumber::kSubscriptOutOfRange;

struct ReadCase {
  std::u16string text;
  std::string root;  // its picture
  std::u16string errors;
};

// The located reading must read every case alike.
void ExpectReads(const std::vector<ReadCase>& cases) {
  for (const auto& [text, root, errors] : cases) {
    const ReadResult read = Read(text);
    EXPECT_EQ(read.root.IsEmpty() ? "none" : Picture(read.root), root) << EncodeUtf8(text);
    EXPECT_EQ(EncodeUtf8(read.errors), EncodeUtf8(errors)) << EncodeUtf8(text);
    const LocatedDocument located(text);
    EXPECT_EQ(located.Root().IsEmpty() ? "none" : Picture(located.Root()), root) << "located: " << EncodeUtf8(text);
    EXPECT_EQ(EncodeUtf8(located.Errors()), EncodeUtf8(errors)) << "located: " << EncodeUtf8(text);
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

// The picture of a number read (with all the digits a double needs), or the number of the error raised.
template <typename Read>
std::string Outcome(Read read) {
  try {
    return Picture(read());
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.Number());
  }
}

// A random number text: a run of number characters, a long run of digits,
// or a number in the form documents use with up to 20 digits on each side
// of the point and an exponent.
std::u16string RandomNumberText(std::mt19937& random, int kind) {
  const auto digits = [&](int most) {
    std::u16string run;
    for (int n = 1 + static_cast<int>(random() % most); n > 0; --n) run += static_cast<char16_t>(u'0' + random() % 10);
    return run;
  };
  std::u16string text;
  switch (kind) {
    case 0:
      for (int n = 1 + random() % 8; n > 0; --n) text += u"+-0123456789.eE"[random() % 15];
      return text;
    case 1: return digits(20);
    default:
      text = (random() % 2 ? u"-" : u"") + digits(20) + u"." + digits(20);
      if (random() % 3 == 0) text += (random() % 2 ? u"e-" : u"E") + digits(3);
      return text;
  }
}

// A number reads as the platform reads it with "." as the decimal point,
// alone and inside a document.
TEST(NumberValue, ReadsAsThePlatformDoesWithAPoint) {
  std::mt19937 random(20261206);
  const auto& point = platform::Locale::kInvariant;
  for (int i = 0; i < 60000; ++i) {
    const std::u16string text = RandomNumberText(random, i % 3);
    const bool decimal = text.find_first_of(u".eE") != std::u16string::npos;
    const std::string expected = Outcome([&] {
      return decimal ? Value(platform::TextToDouble(text, point)) : Value(platform::TextToLong(text, point));
    });
    EXPECT_EQ(Outcome([&] { return NumberValue(text); }), expected) << EncodeUtf8(text);
    if (expected.starts_with("error")) continue;
    const Value read = ReadJson(u"[" + text + u"]");
    ASSERT_TRUE(read.IsArray() && read.AsArray()->Count() == 1) << EncodeUtf8(text);
    EXPECT_EQ(Picture(read.AsArray()->Item(1)), expected) << EncodeUtf8(text);
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
  const auto short_name = [](int i) { return u"k" + Utf8ToUtf16(std::to_string(i)); };
  const auto look_alike = [](int i) {
    const std::u16string digits = Utf8ToUtf16(std::to_string(1000 + i));
    return u"same" + digits + u"same" + digits + u"same";
  };
  for (const auto& name : {std::function<std::u16string(int)>(short_name), std::function<std::u16string(int)>(look_alike)}) {
    for (int members : {1, 9, 63, 64, 65, 100, 300}) {
      std::u16string text, picture;
      for (int i = 0; i < members; ++i) {
        text += u"," + name(i) + u":" + Utf8ToUtf16(std::to_string(i));
        picture += u"," + name(i) + u"=i:" + Utf8ToUtf16(std::to_string(i));
      }
      const std::string all = "{" + EncodeUtf8(picture.substr(1)) + "}";
      for (const std::u16string& repeated : {name(0), name(members - 1)}) {
        ExpectReads({
            {u"{" + text.substr(1) + u"}", all, u""},
            {u"{" + text.substr(1) + u"," + repeated + u":-1, after:1}", all, Line(kDuplicate, repeated)},
        });
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
  const auto member = [](const Value& root, std::u16string_view key) -> const Value& {
    return *std::as_const(*root.AsObject()).Find(key);
  };
  struct Change {
    const char* name;
    std::function<Value(const Value& root)> make;  // gives what it took out
  };
  const Change changes[] = {
      {"member added", [&](const Value& root) { root.AsObject()->Add(Text(u"new"), Value(outside)); return Value(); }},
      {"member added by view", [&](const Value& root) { root.AsObject()->Add(u"new", Value(outside)); return Value(); }},
      {"repeated member refused", [&](const Value& root) {
         EXPECT_THROW(member(root, u"inner").AsObject()->Add(u"long", Value(outside)), RuntimeError);
         return Value();
       }},
      {"item added", [&](const Value& root) { member(root, u"list").AsArray()->Add(Value(outside)); return Value(); }},
      {"member replaced", [&](const Value& root) { *root.AsObject()->Find(u"a") = Value(outside); return Value(); }},
      {"member moved out", [&](const Value& root) { return std::move(*member(root, u"inner").AsObject()->Find(u"long")); }},
      {"node shared", [&](const Value& root) { return member(root, u"inner"); }},
      {"root shared", [&](const Value& root) { return Value(root); }},
      {"index made", [&](const Value& root) {
         EXPECT_TRUE(member(root, u"big").AsObject()->Exists(u"k39"));
         return Value();
       }},
      {"grown past its block and its index", [&](const Value& root) {
         const Value& big = member(root, u"big");
         for (int32_t i = 0; i < 30; ++i) big.AsObject()->Add(u"m" + Utf8ToUtf16(std::to_string(i)), Value(i));
         EXPECT_EQ(big.AsObject()->Item(u"m29").AsLong(), 29);
         return big;
       }},
  };
  for (const auto& [name, change] : changes) {
    Value kept;
    std::string picture;
    {
      const ReadResult read = Read(document(u'a'));
      ASSERT_EQ(read.errors, u"");
      kept = change(read.root);
      picture = Picture(kept);
    }
    EXPECT_EQ(outside.use_count(), 1u) << name;
    // The next document may take the memory of the one that went.
    const Value next = Read(document(u'x')).root;
    EXPECT_EQ(Picture(kept), picture) << name;
  }
}

// Beyond a thousand levels, error 28 is raised at that level and cascades.
TEST(ReadJson, NestingIsBoundedAtAThousandLevels) {
  ReadJson(std::u16string(1000, u'[') + std::u16string(1000, u']'));
  EXPECT_EQ(ReaderErrors(), u"");
  ReadJson(std::u16string(1001, u'[') + std::u16string(1001, u']'));
  std::u16string lines;
  for (int i = 0; i < 1000; ++i) lines += Line(ErrorNumber::kOutOfStackSpace, u"[" + std::u16string(19, u']'));
  EXPECT_EQ(ReaderErrors(), lines);
}

// {k0:t,k1:t,...}: each "t" is a bad word, and the next key starts at it;
// the last, "t}", is followed by the empty key twice, which ends the object.
std::u16string BadWords(int count) {
  std::u16string text;
  for (int i = 0; i < count; ++i) text += u",k" + Utf8ToUtf16(std::to_string(i)) + u":t";
  return u"{" + text.substr(1) + u"}";
}

// The lines of BadWords: each bad word's quotes the whole rest of the text.
std::u16string BadWordLines(const std::u16string& text) {
  std::u16string lines;
  for (size_t at = text.find(u":t"); at != std::u16string::npos; at = text.find(u":t", at + 1)) {
    lines += u"Invalid Boolean at position " + Utf8ToUtf16(std::to_string(at + 2)) + u" : " + text.substr(at + 1) + u"\r\n";
  }
  return lines + Line(kDuplicate, u"");
}

TEST(ReadJson, EveryBadWordQuotesTheWholeRestOfTheText) {
  for (const int words : {1, 150, 1000}) {
    const std::u16string text = BadWords(words);
    EXPECT_TRUE(Read(text).errors == BadWordLines(text)) << words << " words";
  }
}

// The error text stops at its limit: the read raises error 7, as when
// memory runs out, in UTF-16 and UTF-8 text alike, however deep the
// containers that would turn a failure into a line of their own.
TEST(ReadJson, ErrorTextPastItsLimitRaisesOutOfMemory) {
  const std::u16string text = u"[[" + BadWords(150) + u"]]";
  const std::u16string lines = Read(text).errors;
  EXPECT_TRUE(ReadBounded(text, lines.size()).errors == lines);
  EXPECT_EQ(Outcome([&] { return ReadBounded(text, lines.size() - 1).root; }), "error 7");
  EXPECT_EQ(Outcome([&] { return ReadBounded(EncodeUtf8(text), lines.size() - 1).root; }), "error 7");
}

// Lets threads start their work together: a spin on an atomic count, not
// std::latch, whose wait in the Windows build's library once never woke
// under Wine.
class StartGate {
 public:
  explicit StartGate(int count) : waiting_(count) {}
  void ArriveAndWait() {
    waiting_.fetch_sub(1);
    while (waiting_.load() > 0) std::this_thread::yield();
  }

 private:
  std::atomic<int> waiting_;
};

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
  const std::u16string own = ReaderErrors();
  ASSERT_EQ(own, u"Invalid null value at position 2 : nul]\r\n");

  constexpr int kThreads = 8, kReads = 300;
  StartGate start(kThreads);
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string id = number(t);
      const bool bad = t % 2 == 1;
      const std::u16string text = bad ? u"{a:tru,b:" + id + u"}" : u"{a:true,b:" + id + u"}";
      const std::u16string expected = bad ? u"Invalid Boolean at position 4 : tru,b:" + id + u"}\r\n" : u"";
      const std::string root = "{a=" + std::string(bad ? "false,tru" : "true") + ",b=i:" + std::to_string(t) + "}";
      start.ArriveAndWait();
      for (const Value& item : tree.AsArray()->Items()) {
        const Dictionary& object = *item.AsObject();
        for (int i = object.Count() - 1; i >= 0; --i) {
          const Value* found = object.Find(u"k" + number(i));
          if (found == nullptr || found->NumberValue() != i) failures[t] = "k" + std::to_string(i) + " not found";
        }
        if (object.Exists(u"K0") || object.Exists(u"k")) failures[t] = "a missing name found";
      }
      for (int i = 0; i < kReads && failures[t].empty(); ++i) {
        const Value read = ReadJson(text);
        if (Picture(read) != root) failures[t] = "root " + Picture(read);
        if (ReaderErrors() != expected) failures[t] = "errors " + EncodeUtf8(ReaderErrors());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
  EXPECT_EQ(ReaderErrors(), own);
}

}  // namespace
}  // namespace comsvc::JSON
