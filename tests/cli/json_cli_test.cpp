// comsvc json, eval and lint, run as a user runs them (eval with scripted boxes),
// and the JSON they print.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/json_output.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

using Args = std::vector<std::string>;

// Standard output, standard error and the status, as one text.
std::string Everything(const ProcessResult& r) { return r.out + r.err + std::to_string(r.status); }

TEST(JsonDouble, ShortestRoundTripWithAFractionOrAnExponent) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.0"}, {-0.0, "-0.0"}, {1000.0, "1000.0"}, {2.5, "2.5"}, {-7.25, "-7.25"}, {0.1, "0.1"},
      {0.1 + 0.2, "0.30000000000000004"}, {1e-4, "0.0001"}, {1e-5, "1e-05"}, {1.5e-7, "1.5e-07"},
      {1e15, "1000000000000000.0"}, {9999999999999998.0, "9999999999999998.0"}, {1e16, "1e+16"},
      {1.7976931348623157e308, "1.7976931348623157e+308"}, {5e-324, "5e-324"}, {123.456, "123.456"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(cli::JsonDouble(value), text) << text;
}

TEST(JsonString, EscapesWhatJsonNeedsAndKeepsTheRestAsUtf8) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", "\"\""}, {u"a\"b\\c/", "\"a\\\"b\\\\c/\""}, {u"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
      {u"\x01\x1F\x7F", "\"\\u0001\\u001F\x7F\""}, {u"\u00E9\u4E2D", "\"\xC3\xA9\xE4\xB8\xAD\""},
      {u"\xD83D\xDE00", "\"\xF0\x9F\x98\x80\""}, {u"x\xD800y", "\"x\\uD800y\""}, {u"\xDC01", "\"\\uDC01\""},
  };
  for (const auto& [text, json] : cases) EXPECT_EQ(cli::JsonString(text), json);
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
    const ProcessResult r = RunComsvc({"json", "--typed", "-"}, input);
    EXPECT_EQ(std::tie(r.out, r.status), std::make_tuple(line + "\n", status)) << input;
  }
}

TEST(JsonCommand, PrintsStandardJsonAndTheErrorTextOnStandardError) {
  EXPECT_EQ(Everything(RunComsvc({"json"}, "// settings\n{name: 'x', list: [1, 2.0, null] /* end */}")),
            "{\"name\":\"x\",\"list\":[1,2.0,null]}\n0");
  EXPECT_EQ(Everything(RunComsvc({"json", "--pretty"}, "{list: [-7, 2.5, null], ok: true, empty: {}}")),
            "{\n  \"list\": [\n    -7,\n    2.5,\n    null\n  ],\n  \"ok\": true,\n  \"empty\": {}\n}\n0");
  EXPECT_EQ(Everything(RunComsvc({"json", "-"}, "{a:tru,b:2}")),
            "{\"a\":false,\"tru,b\":2}\nInvalid Boolean at position 4 : tru,b:2}\r\n1");
}

TEST(JsonCommand, FilesLoseTheirByteOrderMarkAndInvalidBytesExitWithStatusTwo) {
  TempDir dir;
  ProcessResult r = RunComsvc({"json", "--typed", dir.Write("bom8.json", "\xEF\xBB\xBF[\"\xC3\xA9\"]").string()});
  EXPECT_EQ(r.out, "{\"root\":[\"array\",[[\"string\",\"\xC3\xA9\"]]],\"errors\":\"\"}\n");
  // The offset counts from after a byte-order mark.
  for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
    r = RunComsvc({"json", dir.Write("bad.json", bom + "[\"ab\xC3(\"]").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("byte offset 4"), std::string::npos) << r.err;
  }
}

const std::string kExamples = std::string(COMSVC_SOURCE_DIR) + "/examples/";

// Runs `comsvc` with scripted boxes, the global `options`, then `eval` with `eval_args`.
ProcessResult Eval(Args options, const Args& eval_args) {
  options.insert(options.begin(), {"--dialogs", "script"});
  options.push_back("eval");
  options.insert(options.end(), eval_args.begin(), eval_args.end());
  return RunComsvc(options);
}

// Each example gives its expected output and lints clean.
TEST(EvalCli, ExamplesGiveTheirExpectedOutputAndLintClean) {
  // The scripts, run on one instance, and the name of their answers and expected output.
  const std::pair<Args, std::string> examples[] = {
      {{"greeting.json"}, "greeting"}, {{"menu.json"}, "menu"}, {{"order_form.json"}, "order_form"},
      {{"report_setup.json", "report.json"}, "report"},
  };
  for (auto [scripts, name] : examples) {
    for (std::string& script : scripts) script = kExamples + script;
    const ProcessResult result = Eval({"--quiet", "--answers", kExamples + name + ".answers.json"}, scripts);
    EXPECT_EQ(Everything(result), ReadBytes(kExamples + name + ".expected.txt") + "0") << name;
    scripts.insert(scripts.begin(), "lint");
    EXPECT_EQ(Everything(RunComsvc(scripts)), "0") << name;
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
  const std::tuple<Args, std::string, std::string, int> cases[] = {
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
  EXPECT_EQ(Everything(Eval({"--answers", answers}, {"--json", asks, fails, asks})),
            R"({"outputs":["Bo\n"],"error":{"number":424,"description":"Object required"},"dialogs":)"
            R"([{"box":"input","prompt":"P","title":"","default":"","answer":"Bo"}]})" "\n1");
}

// Each JSON line of `text` as the fields named, joined by spaces; a field
// whose value is not text as JSON.
std::vector<std::string> Fields(const std::string& text, const std::vector<const char*>& names) {
  std::istringstream lines(text);
  std::vector<std::string> summary;
  for (std::string line; std::getline(lines, line);) {
    auto object = nlohmann::json::parse(line);
    if (object.value("event", "") == "step") continue;
    std::string fields;
    for (const char* name : names) {
      const auto& field = object[name];
      fields += (fields.empty() ? "" : " ") + (field.is_string() ? field.get<std::string>() : field.dump());
    }
    summary.push_back(fields);
  }
  return summary;
}

TEST(LintCli, PrintsEachFindingAndExitsByTheWorstSeverity) {
  TempDir dir;
  const std::string warns = dir.Write("warns.json", "[\n  {\"alrt\": \"x\"}]").string();
  const std::string fails = dir.Write("fails.json", "['a', 1]").string();
  EXPECT_EQ(Everything(RunComsvc({"lint", warns})),
            warns + ":2:4: warning: \"alrt\" is no command: it writes the directive <%ALRT(...)%>; "
                    "did you mean \"alert\"? [misspelt-command]\n0");
  const ProcessResult r = RunComsvc({"lint", "--json", warns, fails});
  ASSERT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(Fields(r.out, {"file", "line", "column", "severity", "rule"}),
            (std::vector<std::string>{warns + " 2 4 warning misspelt-command", fails + " 1 7 error script-shape"}));
}

TEST(EvalTrace, NamesEveryBoxSetGetAndDirectiveOfTheOrderFormInOrder) {
  TempDir dir;
  const std::string trace_file = (dir.Path() / "trace.jsonl").string();
  const auto eval = [](Args options) {
    options.insert(options.begin(), {"--quiet", "--answers", kExamples + "order_form.answers.json", "eval"});
    options.push_back(kExamples + "order_form.json");
    return RunComsvc(options);
  };
  const ProcessResult plain = eval({}), traced = eval({"--trace"}), to_file = eval({"--trace-file", trace_file});
  EXPECT_EQ(traced.out, plain.out);
  EXPECT_EQ(to_file.out + to_file.err, plain.out);
  EXPECT_EQ(ReadBytes(trace_file), traced.err);
  // Each event that is not a step, with what it names and where it stands.
  EXPECT_EQ(Fields(traced.err, {"event", "prompt", "name", "line", "column"}),
            (std::vector<std::string>{"box Customer name: null 5 22", "set null customer 4 4",
                                      "get null customer 7 16", "directive null FIELD 11 8", "get null customer 11 51",
                                      "box Ship to the customer? (yes/no) null 13 20",
                                      "directive null DELIVERY 16 18"}));
}

}  // namespace
}  // namespace comsvc::testing
