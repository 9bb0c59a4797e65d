// comsvc eval: runs scripts written in JSON, one file after another on one
// cJSONScript, so variables set by one file are seen by the next.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include <comsvc/json_script.h>

namespace comsvc::cli {
namespace {

}  // namespace

namespace {

constexpr const char* kEvalHelp =
    "usage: comsvc eval [--json] [--exec] [--encoding E] FILE...\n"
    "\n"
    "Runs Eval on each file's text in order, all on one script instance (variables\n"
    "set by one file are seen by the next), and prints each output as it is.\n"
    "Stops at the first failure: 'error N: DESCRIPTION' on stderr, exit status 1.\n"
    "Text that is not a script shows the \"Parser Error\" box; its output is empty.\n"
    "\n"
    "  --exec        read each file with ReadJson and pass its root to ExecCommand\n"
    "  --json        print one line instead:\n"
    "                {\"outputs\":[...],\"error\":null|{\"number\":N,\"description\":...},\n"
    "                 \"dialogs\":[...]} (boxes as --dialog-log writes them)\n"
    "  --encoding E  utf-8 (default), utf-16le or ansi\n"
    "\n"
    "Boxes are answered as the global options say (--dialogs, --answers).\n";

std::u16string RunOne(cJSONScript& script, const std::u16string& text, bool exec) {
  return exec ? script.ExecCommand(JSON::ReadJson(text)) : script.Eval(text);
}

std::string JsonReport(const std::vector<std::u16string>& outputs, const std::optional<RuntimeError>& error,
                       const std::vector<platform::DialogRecord>& dialogs) {
  std::string line = "{\"outputs\":[";
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (i > 0) line += ',';
    AppendJsonString(line, outputs[i]);
  }
  line += "],\"error\":";
  if (error) {
    line += "{\"number\":" + std::to_string(error->Number()) + ",\"description\":";
    AppendJsonString(line, Utf8ToUtf16(error->Description()));
    line += '}';
  } else {
    line += "null";
  }
  line += ",\"dialogs\":[";
  for (size_t i = 0; i < dialogs.size(); ++i) {
    if (i > 0) line += ',';
    line += DialogRecordJson(dialogs[i]);
  }
  line += "]}\n";
  return line;
}

int RunEval(Context& context, const Arguments& arguments) {
  arguments.RequirePositionals(1, SIZE_MAX);
  const Encoding encoding = ParseEncoding(arguments.Get("encoding"));
  const bool exec = arguments.Has("exec");
  const bool json = arguments.Has("json");

  // Every file is read before the first script runs, so an unreadable file
  // stops the command before any box is shown.
  std::vector<std::u16string> texts;
  for (const std::string& path : arguments.Positionals()) texts.push_back(ReadTextFile(path, encoding));

  cJSONScript script;
  if (!json) {
    for (const std::u16string& text : texts) Print(RunOne(script, text, exec));
    return kExitOk;
  }
  context.dialogs->StopEchoing();  // the report lists the boxes
  std::vector<std::u16string> outputs;
  std::optional<RuntimeError> error;
  try {
    for (const std::u16string& text : texts) outputs.push_back(RunOne(script, text, exec));
  } catch (const RuntimeError& e) {
    error = e;
  }
  PrintUtf8(JsonReport(outputs, error, context.dialogs->Records()));
  return error ? kExitFailure : kExitOk;
}

}  // namespace

const Subcommand kEvalCommand = {
    "eval", "run scripts written in JSON and print their output",
    kEvalHelp, {{"json"}, {"exec"}, {"encoding", 1}}, RunEval};

}  // namespace comsvc::cli
