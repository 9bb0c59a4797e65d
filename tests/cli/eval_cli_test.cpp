// comsvc eval, run as a user runs it, with scripted boxes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace comsvc::testing {
namespace {

const std::string kExamples = std::string(COMSVC_SOURCE_DIR) + "/examples/";

// Runs `comsvc eval` with scripted boxes answered from the file `answers`
// (when given) and the dialog log on stderr.
ProcessResult Eval(const std::vector<std::string>& eval_args, const std::string& answers = "") {
  std::vector<std::string> args = {"--dialogs", "script", "--dialog-log", "-"};
  if (!answers.empty()) args.insert(args.end(), {"--answers", answers});
  args.push_back("eval");
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
  TempDir dir;
  const ProcessResult cancelled = Eval({kExamples + "greeting.json"}, dir.Write("cancel.json", "[null]").string());
  EXPECT_EQ(cancelled.out, "Hello, stranger!\n");
  EXPECT_NE(cancelled.err.find("\"title\":\"Greeting\",\"default\":\"\",\"answer\":null}\n"), std::string::npos);
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
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("[\"\xE9t\xE9\"]")) utf16 += {c, '\0'};
  // The arguments, then the output, the error output and the exit status.
  const std::tuple<std::vector<std::string>, std::string, std::string, int> cases[] = {
      {{set, get}, "one|\xC3\xA9", "", 0},
      {{get, fails, alert}, "|", "error 94: Invalid use of Null\n", 1},  // and no box from the third file
      {{file("text.json", "hello")}, "",
       "{\"box\":\"message\",\"text\":\"Invalid JSON\",\"title\":\"Parser Error\",\"icon\":\"exclamation\"}\n", 0},
      {{"--exec", command, numbers}, "x<%NOTE(y)%>12.5true", "", 0},
      {{command}, "", "error 13: Type mismatch\n", 1},  // an object has no elements by position
      {{"--encoding", "utf-16le", file("u16.json", utf16)}, "\xC3\xA9t\xC3\xA9", "", 0},
      {{file("bom.json", "\xEF\xBB\xBF[\"\xC3\xA9t\xC3\xA9\"]")}, "\xC3\xA9t\xC3\xA9", "", 0},
  };
  for (const auto& [args, out, err, status] : cases) {
    const ProcessResult result = Eval(args);
    EXPECT_EQ(result.out, out) << args.back();
    EXPECT_EQ(result.err, err) << args.back();
    EXPECT_EQ(result.status, status) << args.back();
  }
  // Usage errors and unreadable files: status 2 before anything runs.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"--bogus", alert}, {"--encoding", "latin-1", alert}, {alert, (dir.Path() / "missing.json").string()},
           {alert, file("bad.json", "[\"\xFF\"]")}}) {
    const ProcessResult result = Eval(args);
    EXPECT_EQ(result.out + std::to_string(result.status), "2");
    EXPECT_EQ(result.err.find("\"box\""), std::string::npos) << result.err;
  }
  EXPECT_NE(Eval({file("bad.json", "[\"\xFF\"]")}).err.find("byte offset 2"), std::string::npos);
  EXPECT_EQ(RunComsvc({"eval", "--help"}).out.rfind("usage: comsvc eval", 0), 0u);
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
