#include <comsvc/string_builder.h>

#include <gtest/gtest.h>

#include "support/runtime_errors.h"

namespace comsvc {
namespace {

using testing::RaisedError;

cStringBuilder BuilderWith(std::u16string_view text, int32_t chunk = 8192) {
  cStringBuilder b;
  b.ChunkSize(chunk);
  b.Append(text);
  return b;
}

TEST(StringBuilder, GrowsByWholeChunksOfTheStepInForce) {
  const std::tuple<int32_t, size_t, int32_t> cases[] = {{8192, 0, 0}, {8192, 3, 8192}, {10, 25, 30}, {10, 10, 10}};
  for (const auto& [chunk, length, capacity] : cases) {
    EXPECT_EQ(BuilderWith(std::u16string(length, u'a'), chunk).Capacity(), capacity) << length;
  }
  cStringBuilder b = BuilderWith(u"12345", 10);
  b.ChunkSize(4);  // applies from the next growth on: 10 + 4
  EXPECT_EQ(RaisedError([&] { b.ChunkSize(0); }), 5);  // a step that could never reach a target
  EXPECT_EQ(RaisedError([&] { b.ChunkSize(1073741824); }), 6);  // 2^31 bytes
  b.AppendNL(u"abcdef");
  EXPECT_EQ(b.Capacity(), 14);
  EXPECT_EQ(b.toString(), u"12345abcdef\r\n");
}

TEST(StringBuilder, InsertAndRemoveCheckTheirBounds) {
  // InsertByVal(index, "XY"), or Remove(index, length).
  struct Edit { enum { kInsert, kRemove } operation; int32_t index, length; std::u16string result; int32_t error; };
  const Edit edits[] = {
      {Edit::kInsert, 4, 0, u"abcdXY", 0}, {Edit::kInsert, 5, 0, u"abcd", 9},  {Edit::kInsert, -1, 0, u"abcd", 9},
      {Edit::kInsert, 1073741824, 0, u"abcd", 6}, {Edit::kRemove, 1, 2, u"ad", 0}, {Edit::kRemove, 3, 2, u"abcd", 9},
      {Edit::kRemove, 1, -1, u"abcd", 9}, {Edit::kRemove, 0, 1073741824, u"abcd", 6},
  };
  for (const Edit& e : edits) {
    const bool insert = e.operation == Edit::kInsert;
    SCOPED_TRACE(::testing::Message() << (insert ? "insert at " : "remove at ") << e.index);
    cStringBuilder b = BuilderWith(u"abcd");
    EXPECT_EQ(RaisedError([&] { insert ? b.InsertByVal(e.index, u"XY") : b.Remove(e.index, e.length); }), e.error);
    EXPECT_EQ(b.toString(), e.result);
  }
}

TEST(StringBuilder, FindLooksAtTheWholeStorage) {
  struct Search { std::u16string what; int32_t start, compare, position; };  // compare 1: ignoring case
  const Search searches[] = {
      {u"b", 0, 0, 2}, {u"a", 2, 0, 0}, {u"b", -5, 0, 2}, {u"B", 0, 0, 0}, {u"AB", 0, 1, 1}, {u"", 3, 0, 0},
  };
  for (const Search& s : searches) {
    EXPECT_EQ(BuilderWith(u"abc").Find(s.what, s.start, s.compare), s.position) << s.start << " " << s.what.size();
  }
  EXPECT_EQ(BuilderWith(u"x\u00C9\u0416yz").Find(u"\u00E9\u0436", 0, 1), 2);
  EXPECT_EQ(BuilderWith(u"abc", 4).Find(u"bc "), 2);  // grown room holds spaces
  EXPECT_EQ(RaisedError([] { BuilderWith(u"abc").Find(u"a", 1, 2); }), 5);

  cStringBuilder removed = BuilderWith(u"abcdef");
  removed.Remove(2, 2);  // storage "abefef"
  EXPECT_EQ(removed.Find(u"efef "), 3);
  cStringBuilder replaced;
  replaced.TheString(u"abcdefgh");
  replaced.TheString(u"abcd");
  replaced.Insert(1, u"XY");  // storage "aXYbcdgh"
  replaced.Append(u"!");      // over the stale units, not after them
  EXPECT_EQ(replaced.toString(), u"aXYbcd!");
  EXPECT_EQ(replaced.Find(u"d!h"), 6);
  // Taking the content leaves the stale units behind and the builder empty.
  EXPECT_EQ(replaced.TakeString(), u"aXYbcd!");
  EXPECT_EQ(replaced.Length(), 0);
  EXPECT_EQ(replaced.Find(u"h"), 0);
}

TEST(StringBuilder, ShrinksOnlyByHeapMinimizeOrAnEmptyText) {
  cStringBuilder cut = BuilderWith(u"abcdefghij", 4);  // capacity 12
  cut.TheString(u"ab");
  EXPECT_EQ(cut.Capacity(), 12);
  cut.HeapMinimize();  // 12 -> 4: storage "abcd"
  EXPECT_EQ(cut.Capacity(), 4);
  cut.Append(u"xyz");  // grows with spaces where "fgh" stood
  EXPECT_EQ(cut.Find(u"yz   "), 4);
  cut.TheString(u"");
  EXPECT_EQ(cut.Capacity(), 0);
}

}  // namespace
}  // namespace comsvc
