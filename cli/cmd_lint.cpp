// comsvc lint: checks scripts written in JSON without running them.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_line.h"
#include <comsvc/json_script_lint.h>
#include <comsvc/utf8.h>

namespace comsvc::cli {
namespace {

constexpr const char* kLintHelp =
    "usage: comsvc lint [--json] [--encoding E] FILE...\n"
    "\n"
    "Checks scripts written in JSON without running them, the files together as\n"
    "'comsvc eval' runs them (a name that one file sets counts for all). Prints\n"
    "each finding as 'FILE:LINE:COLUMN: error|warning: TEXT [RULE]', lines and\n"
    "columns counted from 1 in UTF-16 code units. An error makes the run fail; a\n"
    "warning marks what runs but most likely does not mean what it says.\n"
    "Exit status 0 when nothing is an error, 1 when something is, 2 for usage or\n"
    "I/O errors.\n"
    "\n"
    "  --json        one JSON object per finding per line: {\"file\":...,\"line\":N,\n"
    "                \"column\":N,\"severity\":\"error\"|\"warning\",\"rule\":...,\"message\":...}\n"
    "  --encoding E  utf-8 (default), utf-16le or ansi\n"
    "\n"
    "Rules (comsvc(1) shows an example of each):\n"
    "  errors    parse-error script-shape step-value argument-kind switch-items\n"
    "            switch-case if-type get-name directive-argument nesting\n"
    "  warnings  misspelt-command unread-member if-never-holds text-comparison\n"
    "            unset-variable unreachable-case self-set\n";

std::string_view SeverityName(LintSeverity severity) { return severity == LintSeverity::kError ? "error" : "warning"; }

std::string FindingLine(const std::string& file, const LintFinding& finding) {
  return file + ":" + std::to_string(finding.position.line) + ":" + std::to_string(finding.position.column) + ": " +
         std::string(SeverityName(finding.severity)) + ": " + EncodeUtf8(finding.message) + " [" + finding.rule + "]\n";
}

std::string FindingJson(const std::string& file, const LintFinding& finding) {
  return JsonLine()
      .Text("file", Utf8ToUtf16(file))
      .Number("line", finding.position.line)
      .Number("column", finding.position.column)
      .Text("severity", Utf8ToUtf16(SeverityName(finding.severity)))
      .Text("rule", Utf8ToUtf16(finding.rule))
      .Text("message", finding.message)
      .Finish();
}

int RunLint(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(1, SIZE_MAX);
  const Encoding encoding = ParseEncoding(arguments.Get("encoding"));
  const std::vector<std::string>& files = arguments.Positionals();
  std::vector<std::u16string> texts;
  for (const std::string& file : files) texts.push_back(ReadTextFile(file, encoding));
  const std::vector<std::u16string_view> scripts(texts.begin(), texts.end());

  bool failed = false;
  for (const LintFinding& finding : LintScripts(scripts)) {
    const std::string& file = files[finding.script];
    PrintUtf8(arguments.Has("json") ? FindingJson(file, finding) : FindingLine(file, finding));
    failed = failed || finding.severity == LintSeverity::kError;
  }
  return failed ? kExitFailure : kExitOk;
}

}  // namespace

const Subcommand kLintCommand = {
    "lint", "check scripts written in JSON without running them", kLintHelp, {{"json"}, {"encoding", 1}}, RunLint};

}  // namespace comsvc::cli
