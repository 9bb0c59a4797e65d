// comsvc json, run as a user runs it.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace comsvc::testing {
namespace {

ProcessResult Json(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "json");
  return RunComsvc(args, input);
}

TEST(JsonCommand, TypedFormNamesEveryKind) {
  const std::tuple<std::string, std::string, int> cases[] = {
      {R"({"a":[1,2.5,"x",true,null],"b":{}})",
       R"({"root":["object",[["a",["array",[["int",1],["double",2.5],["string","x"],["bool",true],["null"]]]],)"
       R"(["b",["object",[]]]]],"errors":""})", 0},
      {"[1e3, -0.0, false]", R"({"root":["array",[["double",1000.0],["double",-0.0],["bool",false]]],"errors":""})", 0},
      {"x", R"({"root":null,"errors":"Invalid JSON"})", 1},
      {"[1,x]", R"({"root":["array",[["int",1]]],"errors":"Type mismatch: x]\r\n"})", 1},
      {R"({"a":1)", R"({"root":["object",[["a",["empty"]],["",["empty"]]]],"errors":)"
                    R"("This key is already associated with an element of this collection: \r\n"})", 1},
      {"['\\u00e9\\uD800']", "{\"root\":[\"array\",[[\"string\",\"\xC3\xA9\\uD800\"]]],\"errors\":\"\"}", 0},
  };
  for (const auto& [input, line, status] : cases) {
    const ProcessResult r = Json({"--typed", "-"}, input);
    EXPECT_EQ(r.out, line + "\n") << input;
    EXPECT_EQ(r.status, status) << input;
  }
}

TEST(JsonCommand, PrintsStandardJsonAndTheErrorTextOnStandardError) {
  ProcessResult good = Json({}, "// settings\n{name: 'x', list: [1, 2.0, null] /* end */}");
  EXPECT_EQ(good.out + good.err, "{\"name\":\"x\",\"list\":[1,2.0,null]}\n");
  EXPECT_EQ(good.status, 0);
  ProcessResult bad = Json({"-"}, "{a:tru,b:2}");
  EXPECT_EQ(bad.out + bad.err, "{\"a\":false,\"tru,b\":2}\nInvalid Boolean at position 4 : tru,b:2}\r\n");
  EXPECT_EQ(bad.status, 1);
  ProcessResult none = Json({}, "nothing");
  EXPECT_EQ(none.out + none.err + std::to_string(none.status), "Invalid JSON\n1");
  EXPECT_EQ(Json({"--pretty"}, "{a:[1]}").out, "{\n  \"a\": [\n    1\n  ]\n}\n");
}

TEST(JsonCommand, FilesLoseTheirByteOrderMarkAndInvalidBytesExitWithStatusTwo) {
  TempDir dir;
  ProcessResult r = Json({"--typed", dir.Write("bom8.json", "\xEF\xBB\xBF[\"\xC3\xA9\"]").string()});
  EXPECT_EQ(r.out, "{\"root\":[\"array\",[[\"string\",\"\xC3\xA9\"]]],\"errors\":\"\"}\n");
  // A second mark is text, which the reader does not take for filler.
  r = Json({dir.Write("twice.json", "\xEF\xBB\xBF\xEF\xBB\xBF[1]").string()});
  EXPECT_EQ(r.err + std::to_string(r.status), "Invalid JSON\n1");

  r = Json({dir.Write("bad.json", "[\"ab\xC3(\"]").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("byte offset 4"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  for (const auto& args : std::vector<std::vector<std::string>>{
           {(dir.Path() / "missing.json").string()}, {"--encoding", "latin-9"}, {"--no-such-option"}, {"a", "b"}}) {
    EXPECT_EQ(Json(args).status, 2) << args[0];
  }
  EXPECT_EQ(Json({"--help"}).status, 0);
}

}  // namespace
}  // namespace comsvc::testing
