#include <comsvc/value.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <comsvc/runtime_error.h>
#include "core/nodes.h"
#include "core/tree_builder.h"

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

// Keys are exact and case-sensitive, the empty key one like any other.
TEST_P(DictionarySizes, KeepsOrderFindsEveryKeyAndRefusesDuplicates) {
  const int n = GetParam();
  const Ref<Dictionary> d = MakeRef<Dictionary>();
  for (int i = n - 1; i >= 0; --i) d->Add(Key(i), Value(int32_t{i}));
  d->Add(Text(), Value());
  ASSERT_EQ(d->Count(), n + 1);
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(d->Members()[static_cast<size_t>(i)].first, Key(n - 1 - i));
    ASSERT_TRUE(d->Exists(Key(i)));
    EXPECT_EQ(d->Find(Key(i))->AsLong(), i);
  }
  EXPECT_FALSE(d->Exists(u"K0"));
  EXPECT_TRUE(d->Item(u"missing").IsEmpty());
  EXPECT_EQ(ErrorOf([&] { d->Add(Key(n / 2), Value(Null{})); }), 457);
  EXPECT_EQ(ErrorOf([&] { d->Add(u"", Value()); }), 457);
  EXPECT_EQ(d->Count(), n + 1);  // the failed adds left it as it was
  EXPECT_EQ(d->Find(Key(n / 2))->AsLong(), n / 2);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DictionarySizes, ::testing::Values(1, 7, 8, 9, 33, 1000));

TEST(Collection, IsOneBased) {
  const Ref<Collection> c = MakeRef<Collection>();
  c->Add(Value(u"first"));
  c->Add(Value(true));
  EXPECT_EQ(c->Item(1).AsString(), u"first");
  EXPECT_TRUE(c->Item(2).AsBoolean());
  EXPECT_EQ(ErrorOf([&] { c->Item(0); }), 9);
  EXPECT_EQ(ErrorOf([&] { c->Item(3); }), 9);
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

// What a document's builder made lives as long as its last holder, though
// the builder went long ago, and holders may go on any thread (the
// sanitizer build reports a use after free, or a leak).
TEST(TreeBuilder, WhatItMadeLivesAsLongAsItsLastHolder) {
  std::vector<Value> made;
  {
    TreeBuilder tree;
    // More than one batch of the arena's holds.
    for (int i = 0; i < 5000; ++i) {
      made.push_back(tree.String(u"arena " + Key(i)));
      Value item(int32_t{i});
      made.push_back(tree.MakeCollection({&item, 1}));
    }
  }
  for (int i = 0; i < 100; ++i) made.emplace_back(u"own " + Key(i));
  const std::vector<Value> copies(made.begin(), made.end());
  std::thread other([half = std::vector(made.begin(), made.begin() + 5050)]() mutable { half.clear(); });
  made.clear();
  other.join();
  for (int i = 0; i < 5000; ++i) {
    ASSERT_EQ(copies[2 * static_cast<size_t>(i)].AsString(), u"arena " + Key(i));
    ASSERT_EQ(copies[2 * static_cast<size_t>(i) + 1].AsArray()->Item(1).AsLong(), i);
  }
  for (int i = 0; i < 100; ++i) ASSERT_EQ(copies[static_cast<size_t>(10000 + i)].AsString(), u"own " + Key(i));
}

// Texts of every length around the longest a value keeps in itself, with
// the units that are easy to lose (NUL, surrogates, the top unit), made
// every way a text is made, come back exact after copies, moves, growth of
// the collection holding them and the end of the arena they were read into.
TEST(Value, KeepsTextsOfEveryLengthExact) {
  const std::u16string units = {u'a', u'\0', 0xD83D, 0xDE00, 0xFFFF, u'z', 0xDC00, u'0', u'\0', u'9', u'x'};
  std::vector<std::u16string> texts;
  for (size_t length = 0; length <= units.size(); ++length) texts.push_back(units.substr(0, length));

  const Ref<Collection> made = MakeRef<Collection>();
  {
    TreeBuilder tree;
    for (const std::u16string& text : texts) {
      made->Add(Value(std::u16string_view(text)));
      made->Add(Value(text));
      made->Add(Value(Text(text)));
      made->Add(Value(tree.NewText(text)));
      made->Add(tree.String(text));
    }
  }
  constexpr int kWays = 5;
  ASSERT_EQ(made->Count(), static_cast<int32_t>(texts.size() * kWays));
  for (int32_t i = 1; i <= made->Count(); ++i) {
    const std::u16string& text = texts[static_cast<size_t>((i - 1) / kWays)];
    SCOPED_TRACE(testing::Message() << "length " << text.size() << ", way " << (i - 1) % kWays);
    const Value& original = made->Item(i);
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

// Texts count their characters in 31 bits: a longer one is memory that
// cannot be had, error 7 like any other.
TEST(Text, PastThirtyOneBitsIsOutOfMemory) {
  const char16_t unit = u'x';
  const std::u16string_view huge(&unit, size_t{INT32_MAX} + 1);
  TreeBuilder tree;
  const std::function<void()> makers[] = {[&] { Text{huge}; }, [&] { Value{huge}; }, [&] { tree.String(huge); }};
  for (const auto& make : makers) EXPECT_EQ(ErrorOf(make), 7);
}

// A tree as read is freed in one step. In the builds that check, a change
// that its document never heard of (here through a const_cast) is caught
// before the tree is freed as if it were as read.
TEST(ReadTree, AChangeItsDocumentDidNotHearOfIsCaught) {
  if (!kChecksReadTrees) GTEST_SKIP() << "this build does not check read trees";
  EXPECT_DEATH(
      {
        Value root;
        {
          TreeBuilder tree;
          Value item = tree.String(u"a text too long to lie in a value");
          root = tree.MakeCollection({&item, 1});
        }
        SealTree(root);
        const_cast<Value&>(root.AsArray()->Item(1)) = Value(MakeRef<Dictionary>());
      },
      "changed without its document hearing of it");
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
