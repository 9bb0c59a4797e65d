// comsvc json and comsvc eval, run as a user runs them (eval with scripted boxes).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

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
      {R"({"a":1)", R"({"root":["object",[["a",["empty"]],["",["empty"]]]],"errors":)"
                    R"("This key is already associated with an element of this collection: \r\n"})", 1},
      {"['\\u00e9\\uD800']", "{\"root\":[\"array\",[[\"string\",\"\xC3\xA9\\uD800\"]]],\"errors\":\"\"}", 0},
  };
  for (const auto& [input, line, status] : cases) {
    const ProcessResult r = Json({"--typed", "-"}, input);
    EXPECT_EQ(std::tie(r.out, r.status), std::make_tuple(line + "\n", status)) << input;
  }
}

TEST(JsonCommand, PrintsStandardJsonAndTheErrorTextOnStandardError) {
  ProcessResult good = Json({}, "// settings\n{name: 'x', list: [1, 2.0, null] /* end */}");
  EXPECT_EQ(good.out + good.err + std::to_string(good.status), "{\"name\":\"x\",\"list\":[1,2.0,null]}\n0");
  ProcessResult bad = Json({"-"}, "{a:tru,b:2}");
  EXPECT_EQ(bad.out + bad.err + std::to_string(bad.status),
            "{\"a\":false,\"tru,b\":2}\nInvalid Boolean at position 4 : tru,b:2}\r\n1");
}

TEST(JsonCommand, FilesLoseTheirByteOrderMarkAndInvalidBytesExitWithStatusTwo) {
  TempDir dir;
  ProcessResult r = Json({"--typed", dir.Write("bom8.json", "\xEF\xBB\xBF[\"\xC3\xA9\"]").string()});
  EXPECT_EQ(r.out, "{\"root\":[\"array\",[[\"string\",\"\xC3\xA9\"]]],\"errors\":\"\"}\n");
  r = Json({dir.Write("bad.json", "[\"ab\xC3(\"]").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("byte offset 4"), std::string::npos) << r.err;
  // The offset counts from after a byte-order mark.
  r = Json({dir.Write("bom-bad.json", "\xEF\xBB\xBF[\"ab\xC3(\"]").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("byte offset 4"), std::string::npos) << r.err;
  for (const std::string& arg : {(dir.Path() / "missing.json").string(), std::string("--no-such-option")}) {
    EXPECT_EQ(Json({arg}).status, 2) << arg;
  }
}

const std::string kExamples = std::string(COMSVC_SOURCE_DIR) + "/examples/";

// Runs `comsvc` with scripted boxes, the global `options`, then `eval` with `eval_args`.
ProcessResult Eval(std::vector<std::string> options, const std::vector<std::string>& eval_args) {
  options.insert(options.begin(), {"--dialogs", "script"});
  options.push_back("eval");
  options.insert(options.end(), eval_args.begin(), eval_args.end());
  return RunComsvc(options);
}

TEST(EvalCli, ExamplesGiveTheirExpectedOutput) {
  // The scripts, run on one instance, and the name of their answers and expected output.
  const std::pair<std::vector<std::string>, std::string> examples[] = {
      {{"greeting.json"}, "greeting"}, {{"menu.json"}, "menu"}, {{"order_form.json"}, "order_form"},
      {{"report_setup.json", "report.json"}, "report"},
  };
  for (auto [scripts, name] : examples) {
    for (std::string& script : scripts) script = kExamples + script;
    const ProcessResult result = Eval({"--quiet", "--answers", kExamples + name + ".answers.json"}, scripts);
    const std::string expected = ReadBytes(kExamples + name + ".expected.txt");
    EXPECT_EQ(result.out + result.err + std::to_string(result.status), expected + "0") << name;
  }
}

TEST(EvalCli, RunsTheFilesInOrderOnOneInstance) {
  TempDir dir;
  const auto file = [&](const std::string& name, const std::string& text) { return dir.Write(name, text).string(); };
  const std::string set = file("set.json", "[\"one\", {\"set\": {\"name\": \"v\", \"value\": \"\xC3\xA9\"}}]");
  const std::string get = file("get.json", "[\"|\", {\"get\": {\"name\": \"v\"}}]");
  const std::string fails = file("fails.json", "[\"lost\", {\"return\": null}]");
  const std::string alert = file("alert.json", "[{\"alert\": {\"message\": \"x\"}}]");
  // The arguments, then the output, the error output (the boxes' log) and the exit status.
  const std::tuple<std::vector<std::string>, std::string, std::string, int> cases[] = {
      {{set, get}, "one|\xC3\xA9", "", 0},
      {{get, fails, alert}, "|", "error 94: Invalid use of Null\n", 1},  // and no box from the third file
      {{file("text.json", "hello")}, "",
       "{\"box\":\"message\",\"text\":\"Invalid JSON\",\"title\":\"Parser Error\",\"icon\":\"exclamation\"}\n", 0},
      {{"--exec", file("command.json", "{\"return\": \"x\", \"note\": \"y\"}")}, "x<%NOTE(y)%>", "", 0},
      {{alert, file("bad.json", "[\"\xFF\"]")}, "", "", 2},  // invalid bytes: nothing runs
  };
  for (const auto& [args, out, err, status] : cases) {
    const ProcessResult result = Eval({"--dialog-log", "-"}, args);
    const bool box_logged = result.err.find("\"box\"") != std::string::npos;
    EXPECT_EQ(std::tie(result.out, result.status), std::tie(out, status)) << args.back();
    EXPECT_TRUE(status == 2 ? !box_logged : result.err == err) << args.back() << ": " << result.err;
  }
}

TEST(EvalCli, JsonReportsOutputsErrorAndBoxesOnOneLine) {
  TempDir dir;
  const std::string answers = dir.Write("answers.json", "[\"Bo\"]").string();
  const std::string asks = dir.Write("asks.json", "[{\"input\": {\"prompt\": \"P\"}}, \"\\n\"]").string();
  const std::string fails = dir.Write("fails.json", "[\"x\", {\"alert\": \"text\"}]").string();
  const ProcessResult result = Eval({"--answers", answers}, {"--json", asks, fails, asks});
  EXPECT_EQ(result.out + result.err + std::to_string(result.status),
            R"({"outputs":["Bo\n"],"error":{"number":424,"description":"Object required"},"dialogs":)"
            R"([{"box":"input","prompt":"P","title":"","default":"","answer":"Bo"}]})" "\n1");
}

}  // namespace
}  // namespace comsvc::testing
