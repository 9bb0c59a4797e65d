#include <comsvc/value.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <comsvc/runtime_error.h>
#include "core/document_arena.h"

namespace comsvc {
namespace {

std::u16string Key(int i) {
  std::string s = "k" + std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

// Sizes on both sides of the point where the dictionary starts hashing.
class DictionarySizes : public ::testing::TestWithParam<int> {};

TEST_P(DictionarySizes, KeepsOrderFindsEveryKeyAndRefusesDuplicates) {
  const int n = GetParam();
  Dictionary d;
  for (int i = n - 1; i >= 0; --i) d.Add(Key(i), Value(int32_t{i}));
  ASSERT_EQ(d.Count(), n);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(d.Members()[static_cast<size_t>(i)].first, Key(n - 1 - i));
    ASSERT_TRUE(d.Exists(Key(i)));
    EXPECT_EQ(d.Find(Key(i))->AsLong(), i);
  }
  EXPECT_FALSE(d.Exists(u"missing"));
  EXPECT_TRUE(d.Item(u"missing").IsEmpty());
  EXPECT_EQ(ErrorOf([&] { d.Add(Key(n / 2), Value(Null{})); }), 457);
  EXPECT_EQ(d.Count(), n);  // the failed add left it as it was
  EXPECT_EQ(d.Find(Key(n / 2))->AsLong(), n / 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DictionarySizes, ::testing::Values(1, 7, 8, 9, 33, 1000));

TEST(Dictionary, KeysAreExactAndCaseSensitive) {
  Dictionary d;
  d.Add(u"A", Value(int32_t{1}));
  d.Add(u"a", Value(int32_t{2}));
  d.Add(u"", Value());
  EXPECT_EQ(d.Count(), 3);
  EXPECT_EQ(ErrorOf([&] { d.Add(u"", Value()); }), 457);
}

TEST(Collection, IsOneBased) {
  Collection c;
  c.Add(Value(u"first"));
  c.Add(Value(true));
  EXPECT_EQ(c.Item(1).AsString(), u"first");
  EXPECT_TRUE(c.Item(2).AsBoolean());
  EXPECT_EQ(ErrorOf([&] { c.Item(0); }), 9);
  EXPECT_EQ(ErrorOf([&] { c.Item(3); }), 9);
}

// Each kind keeps what it was given, and reading it as another kind raises
// error 13 rather than reinterpreting it.
TEST(Value, KeepsItsKindAndRefusesAnyOther) {
  const Value values[] = {Value(), Value(Null{}), Value(true), Value(int16_t{-2}), Value(int32_t{-70000}),
                          Value(-0.5), Value(u"text"), Value(MakeRef<Dictionary>()), Value(MakeRef<Collection>())};
  for (const Value& v : values) {
    SCOPED_TRACE(std::string(v.TypeName().begin(), v.TypeName().end()));
    const ValueKind kind = v.Kind();
    EXPECT_EQ(ErrorOf([&] { v.AsBoolean(); }), kind == ValueKind::kBoolean ? 0 : 13);
    EXPECT_EQ(ErrorOf([&] { v.AsInteger(); }), kind == ValueKind::kInteger ? 0 : 13);
    EXPECT_EQ(ErrorOf([&] { v.AsLong(); }), kind == ValueKind::kLong ? 0 : 13);
    EXPECT_EQ(ErrorOf([&] { v.AsDouble(); }), kind == ValueKind::kDouble ? 0 : 13);
    EXPECT_EQ(ErrorOf([&] { v.AsString(); }), kind == ValueKind::kString ? 0 : 13);
    EXPECT_EQ(ErrorOf([&] { v.AsObject(); }), kind == ValueKind::kObject ? 0 : 13);
    EXPECT_EQ(ErrorOf([&] { v.AsArray(); }), kind == ValueKind::kArray ? 0 : 13);
  }
  EXPECT_TRUE(values[2].AsBoolean());
  EXPECT_EQ(values[3].AsInteger(), -2);
  EXPECT_EQ(values[4].AsLong(), -70000);
  EXPECT_EQ(values[5].AsDouble(), -0.5);
  EXPECT_EQ(values[6].AsString(), u"text");
  // Copies share containers; moves leave the kind in place.
  Value copy = values[7];
  EXPECT_EQ(copy.AsObject(), values[7].AsObject());
  EXPECT_EQ(values[7].AsObject().use_count(), 2u);
  Value moved = std::move(copy);
  EXPECT_EQ(values[7].AsObject().use_count(), 2u);
  moved = values[6];
  EXPECT_EQ(values[7].AsObject().use_count(), 1u);
  EXPECT_EQ(moved.AsString(), u"text");
}

// A text stays readable for as long as any value holds it, whether it has a
// block of its own or lies in a document's arena whose own hold, and that of
// the reader's credit, went long ago; holders may go on any thread.
TEST(Text, LivesAsLongAsItsLastHolder) {
  std::vector<Value> texts;
  {
    ArenaHold arena = DocumentArena::Create();
    ArenaHoldCredit credit(*arena);
    // More than one batch of holds from the credit.
    for (int i = 0; i < 10000; ++i) texts.emplace_back(TextInArena(u"arena " + Key(i), credit));
  }
  for (int i = 0; i < 100; ++i) texts.emplace_back(u"own " + Key(i));
  texts.emplace_back(u"");
  std::vector<Value> copies(texts.begin(), texts.end());
  std::thread other([half = std::vector(texts.begin(), texts.begin() + 5050)]() mutable { half.clear(); });
  texts.clear();
  other.join();
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(copies[static_cast<size_t>(i)].AsString(), u"arena " + Key(i));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(copies[static_cast<size_t>(10000 + i)].AsString(), u"own " + Key(i));
  EXPECT_TRUE(copies.back().IsString());
  EXPECT_EQ(copies.back().AsString(), u"");
}

// Texts of every length around the longest a value keeps in itself, with
// the units that are easy to lose (NUL, surrogates, the top unit), made
// every way a text is made, come back exact after copies, moves, growth of
// the collection holding them and the end of the arena they were read into.
TEST(Value, KeepsTextsOfEveryLengthExact) {
  const std::u16string units = {u'a', u'\0', 0xD83D, 0xDE00, 0xFFFF, u'z', 0xDC00, u'0', u'\0', u'9', u'x'};
  std::vector<std::u16string> texts;
  for (size_t length = 0; length <= units.size(); ++length) texts.push_back(units.substr(0, length));

  Collection made;
  {
    ArenaHold arena = DocumentArena::Create();
    ArenaHoldCredit credit(*arena);
    for (const std::u16string& text : texts) {
      made.Add(Value(std::u16string_view(text)));
      made.Add(Value(text));
      made.Add(Value(Text(text)));
      made.Add(Value(TextInArena(text, credit)));
      made.Add(StringInArena(text, credit));
    }
  }
  constexpr int kWays = 5;
  ASSERT_EQ(made.Count(), static_cast<int32_t>(texts.size() * kWays));
  for (int32_t i = 1; i <= made.Count(); ++i) {
    const std::u16string& text = texts[static_cast<size_t>((i - 1) / kWays)];
    SCOPED_TRACE(testing::Message() << "length " << text.size() << ", way " << (i - 1) % kWays);
    const Value& original = made.Item(i);
    Value copy = original;
    Value moved = std::move(copy);
    Value assigned(int32_t{5});
    assigned = moved;
    Value replaced = MakeRef<Collection>();
    replaced = std::move(assigned);
    for (const Value* v : std::initializer_list<const Value*>{&original, &moved, &replaced}) {
      ASSERT_EQ(v->Kind(), ValueKind::kString);
      ASSERT_EQ(v->AsString(), text);
      EXPECT_EQ(ErrorOf([&] { v->AsLong(); }), 13);
    }
    // A value moved from is left empty, holding nothing of the text.
    EXPECT_TRUE(copy.IsEmpty() && assigned.IsEmpty());
  }
}

TEST(RuntimeError, CarriesThePlatformNumbersAndTexts) {
  const std::pair<ErrorNumber, const char*> cases[] = {
      {ErrorNumber::kOverflow, "error 6: Overflow"},
      {ErrorNumber::kSubscriptOutOfRange, "error 9: Subscript out of range"},
      {ErrorNumber::kTypeMismatch, "error 13: Type mismatch"},
      {ErrorNumber::kOutOfStackSpace, "error 28: Out of stack space"},
      {ErrorNumber::kInvalidUseOfNull, "error 94: Invalid use of Null"},
      {ErrorNumber::kObjectRequired, "error 424: Object required"},
      {ErrorNumber::kDuplicateKey, "error 457: This key is already associated with an element of this collection"},
  };
  for (const auto& [number, line] : cases) {
    RuntimeError e(number);
    EXPECT_STREQ(e.what(), line);
    EXPECT_EQ(e.Number(), static_cast<int32_t>(number));
  }
}

}  // namespace
}  // namespace comsvc
