#include <comsvc/value.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <comsvc/utf8.h>
#include "core/document_arena.h"
#include "core/nodes.h"
#include "core/tree_builder.h"
#include "support/runtime_errors.h"

namespace comsvc {
namespace {

std::u16string Key(int i) { return Utf8ToUtf16("k" + std::to_string(i)); }

int ErrorOf(const std::function<void()>& f) { return testing::RaisedError(f); }

// Sizes on both sides of the point where the dictionary starts hashing.
// Keys are exact and case-sensitive, the empty key one like any other.
TEST(Dictionary, KeepsOrderFindsEveryKeyAndRefusesDuplicates) {
  for (const int n : {1, 7, 8, 9, 33, 1000}) {
    SCOPED_TRACE(n);
    const Ref<Dictionary> d = MakeRef<Dictionary>();
    for (int i = n - 1; i >= 0; --i) d->Add(Key(i), Value(int32_t{i}));
    d->Add(Text(), Value());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(d->Members()[static_cast<size_t>(i)].first, Key(n - 1 - i));
      EXPECT_TRUE(d->Exists(Key(i)) && d->Find(Key(i))->AsLong() == i);
    }
    EXPECT_FALSE(d->Exists(u"K0") || !d->Item(u"missing").IsEmpty());
    EXPECT_EQ(ErrorOf([&] { d->Add(Key(n / 2), Value(Null{})); }) + ErrorOf([&] { d->Add(u"", Value()); }), 2 * 457);
    EXPECT_EQ(d->Count(), n + 1);  // the failed adds left it as it was
    EXPECT_EQ(d->Find(Key(n / 2))->AsLong(), n / 2);
  }
}

TEST(Collection, IsOneBased) {
  const Ref<Collection> c = MakeRef<Collection>();
  c->Add(Value(u"first"));
  c->Add(Value(true));
  EXPECT_TRUE(c->Item(1).AsString() == u"first" && c->Item(2).AsBoolean());
  EXPECT_EQ(ErrorOf([&] { c->Item(0); }), 9);
  EXPECT_EQ(ErrorOf([&] { c->Item(3); }), 9);
}

// Each kind keeps what it was given, and reading it as another kind raises
// error 13 rather than reinterpreting it.
TEST(Value, KeepsItsKindAndRefusesAnyOther) {
  const Value values[] = {Value(), Value(Null{}), Value(true), Value(int16_t{-2}), Value(int32_t{-70000}),
                          Value(-0.5), Value(u"text"), Value(MakeRef<Dictionary>()), Value(MakeRef<Collection>())};
  const std::pair<ValueKind, std::function<void(const Value&)>> reads[] = {
      {ValueKind::kBoolean, &Value::AsBoolean}, {ValueKind::kInteger, &Value::AsInteger},
      {ValueKind::kLong, &Value::AsLong}, {ValueKind::kDouble, &Value::AsDouble}, {ValueKind::kString, &Value::AsString},
      {ValueKind::kObject, &Value::AsObject}, {ValueKind::kArray, &Value::AsArray}};
  for (const Value& v : values) {
    for (const auto& [kind, read] : reads) EXPECT_EQ(ErrorOf([&] { read(v); }), kind == v.Kind() ? 0 : 13) << int(v.Kind());
  }
  EXPECT_TRUE(values[2].AsBoolean() && values[3].AsInteger() == -2 && values[4].AsLong() == -70000);
  EXPECT_TRUE(values[5].AsDouble() == -0.5 && values[6].AsString() == u"text");
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
  for (size_t i = 0; i < 5000; ++i) {
    ASSERT_EQ(copies[2 * i].AsString(), u"arena " + Key(int(i)));
    ASSERT_EQ(copies[2 * i + 1].AsArray()->Item(1).AsLong(), int(i));
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
  ASSERT_EQ(made->Count(), static_cast<int32_t>(texts.size() * 5));
  for (int32_t i = 1; i <= made->Count(); ++i) {
    const std::u16string& text = texts[static_cast<size_t>((i - 1) / 5)];
    SCOPED_TRACE(::testing::Message() << "length " << text.size() << ", way " << (i - 1) % 5);
    const Value& original = made->Item(i);
    Value copy = original, moved = std::move(copy), assigned(int32_t{5}), replaced = MakeRef<Collection>();
    assigned = moved;
    replaced = std::move(assigned);
    for (const Value* v : std::initializer_list<const Value*>{&original, &moved, &replaced}) {
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
          std::construct_at(&item);  // its bytes went to the node
        }
        SealTree(root);
        const_cast<Value&>(root.AsArray()->Item(1)) = Value(MakeRef<Dictionary>());
      },
      "changed without its document hearing of it");
}

TEST(RuntimeError, CarriesThePlatformNumbersAndTexts) {
  const std::pair<ErrorNumber, const char*> cases[] = {
      {ErrorNumber::kOutOfMemory, "error 7: Out of memory"}, {ErrorNumber::kOverflow, "error 6: Overflow"},
      {ErrorNumber::kSubscriptOutOfRange, "error 9: Subscript out of range"},
      {ErrorNumber::kTypeMismatch, "error 13: Type mismatch"},
      {ErrorNumber::kOutOfStackSpace, "error 28: Out of stack space"},
      {ErrorNumber::kInvalidUseOfNull, "error 94: Invalid use of Null"},
      {ErrorNumber::kObjectRequired, "error 424: Object required"},
      {ErrorNumber::kDuplicateKey, "error 457: This key is already associated with an element of this collection"},
  };
  for (const auto& [number, line] : cases) {
    EXPECT_STREQ(RuntimeError(number).what(), line);
    EXPECT_EQ(RuntimeError(number).Number(), static_cast<int32_t>(number));
  }
}

// Nodes still alive when their thread's kept chunks are freed (a thread-local
// holder made before the first document is destroyed after them) free their
// document on their own. Windows builds keep no chunks per thread, and
// their emulated thread-local storage may free `held` before its destructor
// runs, so there the test would only try the toolchain.
TEST(DocumentArena, DocumentsOutlivingTheirThreadsCacheStillFree) {
#ifdef _WIN32
  GTEST_SKIP() << "no chunks are kept per thread here";
#endif
  std::thread([] {
    thread_local std::vector<Ref<Collection>> held;
    held.clear();
    TreeBuilder tree;
    for (int i = 0; i < 100; ++i) held.push_back(tree.MakeCollection({}));
  }).join();
}

// text: what decodes before any error.
struct DecodeCase { const char* name; std::string bytes; std::u16string text; std::optional<size_t> error_offset; };

TEST(Utf8, DecodesValidTextAndStopsAtTheFirstInvalidByte) {
  const DecodeCase cases[] = {
      {"empty", "", u"", std::nullopt}, {"ascii", "abc", u"abc", std::nullopt},
      {"two bytes", "\xC3\xA9", u"\u00E9", std::nullopt}, {"three bytes", "\xE4\xB8\xAD", u"\u4E2D", std::nullopt},
      {"four bytes become a pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00", std::nullopt},
      {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF", std::nullopt},
      {"lone continuation", "a\x80", u"a", 1}, {"overlong slash", "a\xC0\xAF", u"a", 1},
      {"overlong three bytes", "\xE0\x80\xAF", u"", 0}, {"encoded surrogate", "ok\xED\xA0\x80", u"ok", 2},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"", 0}, {"truncated at the end", "ab\xE4\xB8", u"ab", 2},
      {"latin-1 byte", "caf\xE9", u"caf", 3},
  };
  for (const auto& c : cases) {
    Utf8Result r = DecodeUtf8(c.bytes);
    EXPECT_EQ(r.text, c.text) << c.name;
    EXPECT_EQ(r.error_offset, c.error_offset) << c.name;
    EXPECT_EQ(FirstInvalidUtf8(c.bytes), c.error_offset) << c.name;
    // After a long run of ASCII, which is passed over in blocks of every size.
    const std::string ascii(85, 'x');
    const auto shifted = c.error_offset ? std::optional<size_t>(*c.error_offset + ascii.size()) : std::nullopt;
    EXPECT_EQ(FirstInvalidUtf8(ascii + c.bytes), shifted) << c.name;
    EXPECT_EQ(DecodeUtf8(ascii + c.bytes).text, std::u16string(ascii.size(), u'x') + c.text) << c.name;
  }
}

TEST(Utf8, EncodesPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(EncodeUtf8(u"\u00E9\u4E2D\xD83D\xDE00"), "\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(EncodeUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(EncodeUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
}

TEST(Utf8, LenientDecodingReplacesEachBadByte) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b\xC3"), u"a\uFFFD" u"b\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("0123456789\xC3\xA9" "0123456789\x80\xF0\x9F\x98\x80"),
            u"0123456789\u00E9" u"0123456789\uFFFD\xD83D\xDE00");
  std::u16string appended = u"kept ";
  AppendUtf8ToUtf16(appended, "\xC3\xA9\xFF");
  EXPECT_EQ(appended, u"kept \u00E9\uFFFD");
}

}  // namespace
}  // namespace comsvc
