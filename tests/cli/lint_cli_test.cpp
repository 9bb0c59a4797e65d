// comsvc lint and comsvc eval --trace, run as a user runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace comsvc::testing {
namespace {

const std::string kExamples = std::string(COMSVC_SOURCE_DIR) + "/examples/";

TEST(LintCli, TheExampleScriptsLintClean) {
  std::vector<std::string> args{"lint"};
  for (const char* script : {"greeting", "menu", "order_form", "report_setup", "report"}) {
    args.push_back(kExamples + script + ".json");
  }
  const ProcessResult r = RunComsvc(args);
  EXPECT_EQ(r.out + r.err + std::to_string(r.status), "0");
}

TEST(LintCli, PrintsEachFindingAndExitsByTheWorstSeverity) {
  TempDir dir;
  const std::string warns = dir.Write("warns.json", "[\n  {\"alrt\": \"x\"}]").string();
  const std::string fails = dir.Write("fails.json", "['a', 1]").string();
  ProcessResult r = RunComsvc({"lint", warns});
  EXPECT_EQ(r.out + std::to_string(r.status),
            warns +
                ":2:4: warning: \"alrt\" is no command: it writes the directive <%ALRT(...)%>; "
                "did you mean \"alert\"? [misspelt-command]\n0");
  r = RunComsvc({"lint", "--json", warns, fails});
  ASSERT_EQ(r.status, 1) << r.err;
  std::istringstream lines(r.out);
  std::vector<std::string> summary;
  for (std::string line; std::getline(lines, line);) {
    const auto finding = nlohmann::json::parse(line);
    summary.push_back(finding["file"].get<std::string>() + ":" + finding["line"].dump() + ":" +
                      finding["column"].dump() + " " + finding["severity"].get<std::string>() + " " +
                      finding["rule"].get<std::string>());
  }
  EXPECT_EQ(summary,
            (std::vector<std::string>{warns + ":2:4 warning misspelt-command", fails + ":1:7 error script-shape"}));
  EXPECT_EQ(RunComsvc({"lint", (dir.Path() / "missing.json").string()}).status, 2);
  EXPECT_EQ(RunComsvc({"lint"}).status, 2);
}

// Each event that is not a step, as "event detail", and where it stands.
std::vector<std::string> Happenings(const std::string& trace) {
  std::istringstream lines(trace);
  std::vector<std::string> happenings;
  for (std::string line; std::getline(lines, line);) {
    const auto event = nlohmann::json::parse(line);
    const std::string kind = event["event"];
    if (kind == "step") continue;
    const std::string detail = kind == "box" ? event["prompt"] : event["name"];
    happenings.push_back(kind + " " + detail + " " + event["line"].dump() + ":" + event["column"].dump());
  }
  return happenings;
}

TEST(EvalTrace, NamesEveryBoxSetGetAndDirectiveOfTheOrderFormInOrder) {
  TempDir dir;
  const std::string trace_file = (dir.Path() / "trace.jsonl").string();
  const auto eval = [](std::vector<std::string> options) {
    options.insert(options.begin(), {"--quiet", "--answers", kExamples + "order_form.answers.json", "eval"});
    options.push_back(kExamples + "order_form.json");
    return RunComsvc(options);
  };
  const ProcessResult plain = eval({});
  const ProcessResult traced = eval({"--trace"});
  const ProcessResult to_file = eval({"--trace-file", trace_file});
  EXPECT_EQ(traced.out, plain.out);
  EXPECT_EQ(to_file.out + to_file.err, plain.out);
  EXPECT_EQ(ReadBytes(trace_file), traced.err);
  EXPECT_EQ(Happenings(traced.err),
            (std::vector<std::string>{"box Customer name: 5:22", "set customer 4:4", "get customer 7:16",
                                      "directive FIELD 11:8", "get customer 11:51",
                                      "box Ship to the customer? (yes/no) 13:20", "directive DELIVERY 16:18"}));
}

}  // namespace
}  // namespace comsvc::testing
