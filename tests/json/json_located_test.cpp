#include <comsvc/json_located.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include <comsvc/json_reader.h>
#include <comsvc/utf8.h>

namespace comsvc::JSON {
namespace {

bool Same(const Value& a, const Value& b) {
  if (a.Kind() != b.Kind()) return false;
  switch (a.Kind()) {
    case ValueKind::kObject:
      return std::ranges::equal(a.AsObject()->Members(), b.AsObject()->Members(), [](const auto& x, const auto& y) {
        return x.first.View() == y.first.View() && Same(x.second, y.second);
      });
    case ValueKind::kArray: return std::ranges::equal(a.AsArray()->Items(), b.AsArray()->Items(), Same);
    case ValueKind::kString: return a.AsString() == b.AsString();
    case ValueKind::kBoolean: return a.AsBoolean() == b.AsBoolean();
    case ValueKind::kEmpty:
    case ValueKind::kNull: return true;
    default: return a.NumberValue() == b.NumberValue();
  }
}

// The reader's own tests read every case both ways; these are the cases
// where its bounds show: nesting past a thousand levels, and quotes of bad
// words past their budget.
TEST(LocatedDocument, ReadsAlikeWhereTheReadersBoundsShow) {
  std::u16string hostile = u"{";
  for (int i = 0; i < 20'000; ++i) hostile += u"k:nul,";
  for (const std::u16string& text : {std::u16string(1001, u'[') + std::u16string(1001, u']'), hostile}) {
    const Value read = ReadJson(text);
    const LocatedDocument located(text);
    EXPECT_TRUE(located.Errors() == ReaderErrors());
    EXPECT_TRUE(Same(located.Root(), read));
  }
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
  const std::tuple<std::u16string, std::vector<TextPosition>> cases[] = {
      {u"x", {At(1, 1)}},
      {u"{a:1,\n b:tru,\r\n c:1}", {At(2, 4)}},  // one line, though it quotes a line end
      {u"{\"a\":\n[1, {\"b\":\n  x}]}", {At(3, 3), At(2, 5), At(1, 2)}},
      {u"{a:1, a:2}", {At(1, 7)}},
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
  const std::pair<std::vector<PathStep>, std::u16string> cases[] = {
      {{PathStep::Item(3), PathStep::Member(u"switch"), PathStep::Member(u"items"), PathStep::Item(2),
        PathStep::Member(u"return")},
       u"[3].switch.items[2].return"},
      {{PathStep::Member(u"a"), PathStep::Member(u"b.c"), PathStep::Member(u""), PathStep::Member(u"\"[\\")},
       u"a[\"b.c\"][\"\"][\"\\\"[\\\\\"]"},
  };
  for (const auto& [path, text] : cases) EXPECT_EQ(EncodeUtf8(PathText(path)), EncodeUtf8(text));
}

}  // namespace
}  // namespace comsvc::JSON
