#include "text/string_builder.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <functional>

#include "core/runtime_error.h"

namespace comsvc {
namespace {

int32_t RaisedNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

cStringBuilder BuilderWith(std::u16string_view text, int32_t chunk = 8192) {
  cStringBuilder b;
  b.ChunkSize(chunk);
  b.Append(text);
  return b;
}

TEST(StringBuilder, GrowsByWholeChunksOfTheStepInForce) {
  const std::tuple<int32_t, std::vector<size_t>, int32_t> cases[] = {
      {8192, {}, 0}, {8192, {3}, 8192}, {8192, {20000}, 24576}, {10, {25}, 30}, {10, {10}, 10}, {10, {10, 1}, 20}};
  for (const auto& [chunk, appends, capacity] : cases) {
    cStringBuilder b;
    b.ChunkSize(chunk);
    std::u16string expected;
    for (size_t n : appends) {
      b.Append(std::u16string(n, static_cast<char16_t>(u'a' + expected.size())));
      expected += std::u16string(n, static_cast<char16_t>(u'a' + expected.size()));
    }
    EXPECT_EQ(b.Capacity(), capacity);
    EXPECT_EQ(b.toString(), expected);
    EXPECT_EQ(b.Length(), static_cast<int32_t>(expected.size()));
  }
  cStringBuilder b = BuilderWith(u"12345", 10);
  b.ChunkSize(4);  // applies from the next growth on: 10 + 4
  b.AppendNL(u"abcdef");
  EXPECT_EQ(b.Capacity(), 14);
  EXPECT_EQ(b.toString(), u"12345abcdef\r\n");
}

TEST(StringBuilder, InsertAndRemoveCheckTheirBounds) {
  struct Case {
    bool insert;
    int32_t index, length;  // Remove's length; Insert inserts "XY"
    std::u16string result;
    int32_t error;
  };
  const Case cases[] = {
      {true, 0, 0, u"XYabcd", 0},  {true, 4, 0, u"abcdXY", 0}, {true, 5, 0, u"abcd", 9},
      {true, -1, 0, u"abcd", 9},   {true, 1073741824, 0, u"abcd", 6},
      {false, 1, 2, u"ad", 0},     {false, 4, 0, u"abcd", 0},  {false, 3, 2, u"abcd", 9},
      {false, 5, 0, u"abcd", 9},   {false, -1, 1, u"abcd", 9}, {false, 1, -1, u"abcd", 9},
      {false, 0, 1073741824, u"abcd", 6},
  };
  for (const Case& c : cases) {
    cStringBuilder b = BuilderWith(u"abcd");
    EXPECT_EQ(RaisedNumber([&] { c.insert ? b.InsertByVal(c.index, u"XY") : b.Remove(c.index, c.length); }), c.error)
        << c.insert << " " << c.index;
    EXPECT_EQ(b.toString(), c.result) << c.insert << " " << c.index;
  }
}

TEST(StringBuilder, FindReportsOccurrencesBeginningBeforeTheLastUnit) {
  const std::tuple<std::u16string, int32_t, int32_t, int32_t> cases[] = {
      {u"b", 0, 0, 2},  {u"c", 0, 0, 0},  {u"x", 0, 0, 0},  {u"a", 2, 0, 0},    {u"b", -5, 0, 2},
      {u"B", 0, 0, 0},  {u"AB", 0, 1, 1}, {u"", 2, 0, 2},   {u"", 3, 0, 0},     {u"bc  ", 0, 0, 2},
  };
  for (const auto& [what, start, compare, position] : cases) {
    EXPECT_EQ(BuilderWith(u"abc").Find(what, start, compare), position) << start << " " << what.size();
  }
  EXPECT_EQ(BuilderWith(u"x\u00C9\u0416yz").Find(u"\u00E9\u0436", 0, 1), 2);
  EXPECT_EQ(BuilderWith(u"abc", 2).Find(u"bc "), 2);  // the storage is "abc "
  EXPECT_EQ(BuilderWith(u"abc", 2).Find(u"bc  "), 0);
  EXPECT_EQ(RaisedNumber([] { BuilderWith(u"abc").Find(u"a", 1, 2); }), 5);
}

TEST(StringBuilder, TheSpareRoomKeepsWhatStoodThere) {
  cStringBuilder removed = BuilderWith(u"abcdef");
  removed.Remove(2, 2);  // storage "abefef"
  EXPECT_EQ(removed.toString(), u"abef");
  EXPECT_EQ(removed.Find(u"efef "), 3);

  cStringBuilder replaced;
  replaced.TheString(u"abcdefgh");
  replaced.TheString(u"abcd");
  replaced.Insert(1, u"XY");  // storage "aXYbcdgh"
  EXPECT_EQ(replaced.Find(u"cdgh"), 5);
  replaced.Append(u"!");  // over the stale units, not after them
  EXPECT_EQ(replaced.toString(), u"aXYbcd!");
  EXPECT_EQ(replaced.Find(u"d!h"), 6);
}

TEST(StringBuilder, ShrinksOnlyByClearAnEmptyTheStringOrHeapMinimize) {
  cStringBuilder b;
  b.TheString(std::u16string(20000, u'x'));
  b.TheString(u"0123456789");
  EXPECT_EQ(b.Capacity(), 24576);
  b.HeapMinimize();
  EXPECT_EQ(b.Capacity(), 8192);
  EXPECT_EQ(b.toString(), u"0123456789");

  cStringBuilder cut = BuilderWith(u"abcdefghij", 4);  // capacity 12
  cut.TheString(u"ab");
  cut.HeapMinimize();  // 12 -> 4: storage "abcd"
  EXPECT_EQ(cut.Capacity(), 4);
  cut.Append(u"xyz");  // grows with spaces where "fgh" stood
  EXPECT_EQ(cut.Find(u"yz   "), 4);

  for (bool clear : {true, false}) {
    cStringBuilder emptied = BuilderWith(u"abc", 100);
    clear ? emptied.Clear() : emptied.TheString(u"");
    EXPECT_EQ(emptied.Capacity(), 0);
    EXPECT_EQ(emptied.ChunkSize(), 100);
    EXPECT_EQ(emptied.Find(u"a"), 0);
  }
}

TEST(StringBuilder, CountsLeavingThirtyTwoBitsRaiseAndChangeNothing) {
  for (const auto& [chunk, error] : {std::pair{1073741823, 0}, {1073741824, 6}, {0, 5}, {-1, 5}, {-1073741825, 6}}) {
    cStringBuilder b;
    b.ChunkSize(7);
    EXPECT_EQ(RaisedNumber([&] { b.ChunkSize(chunk); }), error) << chunk;
    EXPECT_EQ(b.ChunkSize(), error == 0 ? chunk : 7) << chunk;
  }
  // A text of 2^30 code units, as address space that is never read.
  const size_t units = size_t{1} << 30;
  void* huge = mmap(nullptr, units * 2, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(huge, MAP_FAILED);
  const std::u16string_view text(static_cast<const char16_t*>(huge), units);
  cStringBuilder b = BuilderWith(u"a");
  EXPECT_EQ(RaisedNumber([&] { b.Append(text); }), 6);
  EXPECT_EQ(RaisedNumber([&] { b.Append(text.substr(1)); }), 6);  // 2 + 2^31 - 2 bytes
  EXPECT_EQ(RaisedNumber([&] { b.TheString(text); }), 6);
  cStringBuilder big = BuilderWith(u"a", 1073741000);  // the content fits, the next chunk does not
  EXPECT_EQ(RaisedNumber([&] { big.Append(text.substr(0, 1073741000)); }), 6);
  EXPECT_EQ(b.toString() + big.toString(), u"aa");
  EXPECT_EQ(big.Capacity(), 1073741000);
  munmap(huge, units * 2);
}

}  // namespace
}  // namespace comsvc
