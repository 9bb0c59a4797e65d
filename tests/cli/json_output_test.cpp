#include "cli/json_output.h"

#include <gtest/gtest.h>


namespace comsvc::cli {
namespace {

TEST(JsonDouble, ShortestRoundTripWithAFractionOrAnExponent) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.0"},          {-0.0, "-0.0"},           {1000.0, "1000.0"},
      {2.5, "2.5"},          {-7.25, "-7.25"},         {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"},              {1e-4, "0.0001"},
      {1e-5, "1e-05"},       {1.5e-7, "1.5e-07"},      {1e15, "1000000000000000.0"},
      {9999999999999998.0, "9999999999999998.0"},      {1e16, "1e+16"},
      {1.7976931348623157e308, "1.7976931348623157e+308"}, {5e-324, "5e-324"},
      {123.456, "123.456"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(JsonDouble(value), text) << text;
}

TEST(JsonString, EscapesWhatJsonNeedsAndKeepsTheRestAsUtf8) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", "\"\""},
      {u"a\"b\\c/", "\"a\\\"b\\\\c/\""},
      {u"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {u"\x01\x1F\x7F", "\"\\u0001\\u001F\x7F\""},
      {u"\u00E9\u4E2D", "\"\xC3\xA9\xE4\xB8\xAD\""},
      {u"\xD83D\xDE00", "\"\xF0\x9F\x98\x80\""},
      {u"x\xD800y", "\"x\\uD800y\""},
      {u"\xDC01", "\"\\uDC01\""},
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json);
}

Value SampleTree() {
  auto root = MakeRef<Dictionary>();
  auto list = MakeRef<Collection>();
  list->Add(Value(int32_t{-7}));
  list->Add(Value(2.5));
  list->Add(Value(Null{}));
  list->Add(Value());
  root->Add(u"list", Value(list));
  root->Add(u"ok", Value(true));
  root->Add(u"name", Value(u"x"));
  root->Add(u"empty", Value(MakeRef<Dictionary>()));
  return Value(root);
}

TEST(TypedJson, NamesEveryKindInMemberOrder) {
  EXPECT_EQ(TypedJson(SampleTree()),
            "[\"object\",[[\"list\",[\"array\",[[\"int\",-7],[\"double\",2.5],[\"null\"],[\"empty\"]]]],"
            "[\"ok\",[\"bool\",true]],[\"name\",[\"string\",\"x\"]],[\"empty\",[\"object\",[]]]]]");
}

TEST(StandardJson, CompactAndPretty) {
  EXPECT_EQ(StandardJson(SampleTree(), false),
            "{\"list\":[-7,2.5,null,null],\"ok\":true,\"name\":\"x\",\"empty\":{}}");
  EXPECT_EQ(StandardJson(SampleTree(), true),
            "{\n  \"list\": [\n    -7,\n    2.5,\n    null,\n    null\n  ],\n  \"ok\": true,\n"
            "  \"name\": \"x\",\n  \"empty\": {}\n}");
}

}  // namespace
}  // namespace comsvc::cli
