// comsvc json and comsvc eval, run as a user runs them (eval with scripted boxes).
#include <gtest/gtest.h>

#include <string>
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
  EXPECT_EQ(Json({"--pretty"}, "{a:[1]}").out, "{\n  \"a\": [\n    1\n  ]\n}\n");
}

TEST(JsonCommand, FilesLoseTheirByteOrderMarkAndInvalidBytesExitWithStatusTwo) {
  TempDir dir;
  ProcessResult r = Json({"--typed", dir.Write("bom8.json", "\xEF\xBB\xBF[\"\xC3\xA9\"]").string()});
  EXPECT_EQ(r.out, "{\"root\":[\"array\",[[\"string\",\"\xC3\xA9\"]]],\"errors\":\"\"}\n");
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

const std::string kExamples = std::string(COMSVC_SOURCE_DIR) + "/examples/";

// Runs `comsvc eval` with scripted boxes (none answered) and the dialog log on stderr.
ProcessResult Eval(const std::vector<std::string>& eval_args) {
  std::vector<std::string> args = {"--dialogs", "script", "--dialog-log", "-", "eval"};
  args.insert(args.end(), eval_args.begin(), eval_args.end());
  return RunComsvc(args);
}

TEST(EvalCli, ExamplesGiveTheirExpectedOutput) {
  // The scripts, run on one instance, and the name of their answers and expected output.
  const std::pair<std::vector<std::string>, std::string> examples[] = {
      {{"greeting.json"}, "greeting"}, {{"menu.json"}, "menu"}, {{"order_form.json"}, "order_form"},
      {{"report_setup.json", "report.json"}, "report"},
  };
  for (const auto& [scripts, name] : examples) {
    std::vector<std::string> paths = {"--dialogs", "script", "--answers", kExamples + name + ".answers.json", "eval"};
    for (const auto& script : scripts) paths.push_back(kExamples + script);
    const ProcessResult result = RunComsvc(paths);
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
  const std::string command = file("command.json", "{\"return\": \"x\", \"note\": \"y\"}");
  const std::string numbers = file("numbers.json", "[1, 2.5, true]");
  // The arguments, then the output, the error output and the exit status.
  const std::tuple<std::vector<std::string>, std::string, std::string, int> cases[] = {
      {{set, get}, "one|\xC3\xA9", "", 0},
      {{get, fails, alert}, "|", "error 94: Invalid use of Null\n", 1},  // and no box from the third file
      {{file("text.json", "hello")}, "",
       "{\"box\":\"message\",\"text\":\"Invalid JSON\",\"title\":\"Parser Error\",\"icon\":\"exclamation\"}\n", 0},
      {{"--exec", command, numbers}, "x<%NOTE(y)%>12.5true", "", 0},
      {{command}, "", "error 13: Type mismatch\n", 1},  // an object has no elements by position
  };
  for (const auto& [args, out, err, status] : cases) {
    const ProcessResult result = Eval(args);
    EXPECT_EQ(result.out, out) << args.back();
    EXPECT_EQ(result.err, err) << args.back();
    EXPECT_EQ(result.status, status) << args.back();
  }
  // Usage errors and unreadable files: status 2 before anything runs.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"--bogus", alert}, {alert, (dir.Path() / "missing.json").string()},
           {alert, file("bad.json", "[\"\xFF\"]")}}) {
    const ProcessResult result = Eval(args);
    EXPECT_EQ(result.out + std::to_string(result.status), "2");
    EXPECT_EQ(result.err.find("\"box\""), std::string::npos) << result.err;
  }
  // The decimal separator of directive arguments comes from the environment.
  EXPECT_EQ(RunComsvc({"eval", file("arg.json", "[{\"x\": {\"a\": 1.5}}]")}, "", {"COMSVC_DECIMAL=,"}).out,
            "<%X(1,5)%>");
}

TEST(EvalCli, JsonReportsOutputsErrorAndBoxesOnOneLine) {
  TempDir dir;
  const std::string answers = dir.Write("answers.json", "[\"Bo\"]").string();
  const std::string asks = dir.Write("asks.json", "[{\"input\": {\"prompt\": \"P\"}}, \"\\n\"]").string();
  const std::string fails = dir.Write("fails.json", "[\"x\", {\"alert\": \"text\"}]").string();
  const std::string box = R"([{"box":"input","prompt":"P","title":"","default":"","answer":"Bo"}])";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{asks}, R"({"outputs":["Bo\n"],"error":null,"dialogs":)" + box + "}\n0"},
      {{asks, fails, asks},
       R"({"outputs":["Bo\n"],"error":{"number":424,"description":"Object required"},"dialogs":)" + box + "}\n1"},
  };
  for (const auto& [scripts, report] : cases) {
    std::vector<std::string> args = {"--dialogs", "script", "--answers", answers, "eval", "--json"};
    args.insert(args.end(), scripts.begin(), scripts.end());
    const ProcessResult result = RunComsvc(args);
    EXPECT_EQ(result.out + result.err + std::to_string(result.status), report);
  }
}

}  // namespace
}  // namespace comsvc::testing
