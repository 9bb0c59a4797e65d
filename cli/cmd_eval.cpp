// comsvc eval: runs scripts written in JSON, one file after another on one
// cJSONScript, so variables set by one file are seen by the next.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/script_trace.h"
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include <comsvc/json_script.h>

namespace comsvc::cli {
namespace {

constexpr const char* kEvalHelp =
    "usage: comsvc eval [--json] [--exec] [--encoding E] [--trace | --trace-file F] FILE...\n"
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
    "  --trace       write every event of the run as one JSON line on stderr:\n"
    "                each step, set, get, box, directive and failure, with its\n"
    "                file, its path in the script and its line and column there\n"
    "  --trace-file F  the same lines to file F instead; the output is unchanged\n"
    "\n"
    "Boxes are answered as the global options say (--dialogs, --answers).\n";

std::u16string RunOne(cJSONScript& script, const std::u16string& text, bool exec) {
  return exec ? script.ExecCommand(JSON::ReadJson(text)) : script.Eval(text);
}

struct CloseTrace {
  void operator()(std::FILE* file) const {
    if (file != stderr) std::fclose(file);
  }
};
using TraceFile = std::unique_ptr<std::FILE, CloseTrace>;

// Where --trace and --trace-file send their lines; none without them.
TraceFile OpenTrace(const Arguments& arguments) {
  const std::optional<std::string> path = arguments.Get("trace-file");
  if (!path) return TraceFile(arguments.Has("trace") ? stderr : nullptr);
  TraceFile trace(std::fopen(path->c_str(), "w"));
  if (!trace) throw CommandLineError(FileProblem(*path, errno));
  return trace;
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
  const TraceFile trace = OpenTrace(arguments);

  cJSONScript script;
  const auto run = [&](size_t i) {
    if (trace) script.Observe(TraceObserver(trace.get(), arguments.Positionals()[i], texts[i]));
    return RunOne(script, texts[i], exec);
  };
  if (!json) {
    for (size_t i = 0; i < texts.size(); ++i) Print(run(i));
    return kExitOk;
  }
  context.dialogs->StopEchoing();  // the report lists the boxes
  std::vector<std::u16string> outputs;
  std::optional<RuntimeError> error;
  try {
    for (size_t i = 0; i < texts.size(); ++i) outputs.push_back(run(i));
  } catch (const RuntimeError& e) {
    error = e;
  }
  PrintUtf8(JsonReport(outputs, error, context.dialogs->Records()));
  return error ? kExitFailure : kExitOk;
}

}  // namespace

const Subcommand kEvalCommand = {
    "eval", "run scripts written in JSON and print their output",
    kEvalHelp, {{"json"}, {"exec"}, {"encoding", 1}, {"trace"}, {"trace-file", 1}}, RunEval};

}  // namespace comsvc::cli
