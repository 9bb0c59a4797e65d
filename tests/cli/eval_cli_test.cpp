#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace comsvc::testing {
namespace {

const std::string kExamples = std::string(COMSVC_SOURCE_DIR) + "/examples/";

// Runs `comsvc eval` with scripted boxes (answers from `answers`, when given)
// and the dialog log on stderr when `log` is set.
ProcessResult Eval(const std::vector<std::string>& eval_args, const std::string& answers = "",
                   bool log = false) {
  std::vector<std::string> args = {"--dialogs", "script"};
  if (!answers.empty()) args.insert(args.end(), {"--answers", answers});
  if (log) args.insert(args.end(), {"--dialog-log", "-"});
  args.push_back("eval");
  args.insert(args.end(), eval_args.begin(), eval_args.end());
  return RunComsvc(args);
}

TEST(EvalCli, ExamplesGiveTheirExpectedOutput) {
  const struct {
    std::vector<std::string> scripts;
    std::string name;  // NAME.answers.json and NAME.expected.txt
  } examples[] = {
      {{"greeting.json"}, "greeting"},
      {{"menu.json"}, "menu"},
      {{"order_form.json"}, "order_form"},
      {{"report_setup.json", "report.json"}, "report"},
  };
  for (const auto& example : examples) {
    SCOPED_TRACE(example.name);
    std::vector<std::string> paths;
    for (const auto& script : example.scripts) paths.push_back(kExamples + script);
    const ProcessResult result = Eval(paths, kExamples + example.name + ".answers.json");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, ReadBytes(kExamples + example.name + ".expected.txt"));
  }
}

TEST(EvalCli, GreetingShowsItsBoxesAndGreetsAStrangerOnCancel) {
  TempDir dir;
  const ProcessResult result = Eval({kExamples + "greeting.json"}, dir.Write("cancel.json", "[null]").string(), true);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Hello, stranger!\n");
  EXPECT_EQ(result.err,
            "{\"box\":\"input\",\"prompt\":\"What is your name?\",\"title\":\"Greeting\",\"default\":\"\","
            "\"answer\":null}\n"
            "{\"box\":\"message\",\"text\":\"Nice to meet you, stranger.\",\"title\":\"Greeting\","
            "\"icon\":\"information\"}\n");
}

TEST(EvalCli, FilesShareOneInstanceAndOutputsRunTogether) {
  TempDir dir;
  const ProcessResult result = Eval({dir.Write("a.json", "[\"one\", {\"set\": {\"name\": \"v\", \"value\": \"é\"}}]").string(),
                                     dir.Write("b.json", "[\"|\", {\"get\": {\"name\": \"v\"}}]").string()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "one|é");
}

TEST(EvalCli, StopsAtTheFirstFailure) {
  TempDir dir;
  const ProcessResult result = Eval({dir.Write("ok.json", "[\"first\"]").string(),
                                     dir.Write("bad.json", "[\"lost\", {\"return\": null}]").string(),
                                     dir.Write("never.json", "[{\"alert\": {\"message\": \"x\"}}]").string()},
                                    "", true);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "first");
  EXPECT_EQ(result.err, "error 94: Invalid use of Null\n");  // and no box from the third file
}

TEST(EvalCli, TextThatIsNotAScriptShowsTheParserErrorBox) {
  TempDir dir;
  const ProcessResult result = Eval({dir.Write("bad.json", "hello").string()}, "", true);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "{\"box\":\"message\",\"text\":\"Invalid JSON\",\"title\":\"Parser Error\",\"icon\":\"exclamation\"}\n");
}

TEST(EvalCli, JsonReportsOutputsErrorAndBoxes) {
  TempDir dir;
  const std::string answers = dir.Write("answers.json", "[\"Bo\"]").string();
  const std::string asks = dir.Write("asks.json", "[{\"input\": {\"prompt\": \"P\"}}, \"\\n\"]").string();
  const std::string fails = dir.Write("fails.json", "[\"x\", {\"alert\": \"text\"}]").string();

  ProcessResult result = Eval({"--json", asks}, answers);
  EXPECT_EQ(result.status, 0);
  nlohmann::json report = nlohmann::json::parse(result.out);
  EXPECT_EQ(report["outputs"], nlohmann::json::array({"Bo\n"}));
  EXPECT_TRUE(report["error"].is_null());
  EXPECT_EQ(report["dialogs"],
            nlohmann::json::parse(R"([{"box":"input","prompt":"P","title":"","default":"","answer":"Bo"}])"));

  result = Eval({"--json", asks, fails, asks}, answers);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "");
  report = nlohmann::json::parse(result.out);
  EXPECT_EQ(report["outputs"], nlohmann::json::array({"Bo\n"}));
  EXPECT_EQ(report["error"], nlohmann::json::parse(R"({"number":424,"description":"Object required"})"));
  EXPECT_EQ(report["dialogs"].size(), 1u);
}

TEST(EvalCli, ExecPassesTheRootToExecCommand) {
  TempDir dir;
  const std::string command = dir.Write("command.json", "{\"return\": \"x\", \"note\": \"y\"}").string();
  const std::string numbers = dir.Write("numbers.json", "[1, 2.5, true]").string();
  ProcessResult result = Eval({"--exec", command, numbers});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "x<%NOTE(y)%>12.5true");

  result = Eval({command});  // the same text as a script: an object has no elements by position
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error 13: Type mismatch\n");
}

TEST(EvalCli, ReadsTheChosenEncoding) {
  TempDir dir;
  const std::string script = "[\"\xc3\xa9t\xc3\xa9\"]";
  std::string utf16 = "\xff\xfe";
  for (char c : std::string("[\"\xe9t\xe9\"]")) utf16 += {c, '\0'};
  EXPECT_EQ(Eval({"--encoding", "utf-16le", dir.Write("u16.json", utf16).string()}).out, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(Eval({dir.Write("bom.json", "\xef\xbb\xbf" + script).string()}).out, "\xc3\xa9t\xc3\xa9");

  const ProcessResult bad = Eval({dir.Write("bad.json", "[\"\xff\"]").string()});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("byte offset 2"), std::string::npos) << bad.err;
}

TEST(EvalCli, UsageErrors) {
  TempDir dir;
  const std::string never = dir.Write("never.json", "[{\"alert\": {\"message\": \"x\"}}]").string();
  const struct {
    std::vector<std::string> args;
  } cases[] = {{{}}, {{"--bogus", never}}, {{"--encoding", "latin-1", never}}, {{never, (dir.Path() / "missing.json").string()}}};
  for (const auto& c : cases) {
    const ProcessResult result = Eval(c.args, "", true);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.find("\"box\""), std::string::npos) << result.err;  // nothing ran
    EXPECT_EQ(result.out, "");
  }
  const ProcessResult help = RunComsvc({"eval", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: comsvc eval"), std::string::npos);
}

}  // namespace
}  // namespace comsvc::testing
