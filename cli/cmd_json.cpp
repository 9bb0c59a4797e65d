// comsvc json [--typed] [--pretty] [--encoding E] [FILE|-]: reads the text
// with JSON::Read and prints the root as standard JSON (or in the typed form)
// and the reader's error text on standard error.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>

namespace comsvc::cli {

namespace {

constexpr const char* kJsonHelp =
    "usage: comsvc json [--typed] [--pretty] [--encoding E] [FILE|-]\n"
    "\n"
    "Reads forgiving JSON text (comments, single quotes, bare member names,\n"
    "parentheses as filler, missing commas) from FILE or standard input and\n"
    "prints the root as standard JSON; the reader's error text goes to stderr.\n"
    "\n"
    "  --typed        print one line {\"root\":T,\"errors\":\"...\"}, T the typed form:\n"
    "                 [\"empty\"] [\"null\"] [\"bool\",B] [\"int\",N] [\"double\",N]\n"
    "                 [\"string\",S] [\"object\",[[K,T],...]] [\"array\",[T,...]]\n"
    "  --pretty       indent the standard JSON by two spaces\n"
    "  --encoding E   utf-8 (default), utf-16le or ansi\n"
    "\n"
    "Exit status: 0 when there is a root and no error text, else 1.\n";

void PrintTypedReport(const Value& root, const std::u16string& errors) {
  const OutputSink print = [](std::string_view chunk) { PrintUtf8(chunk); };
  PrintUtf8("{\"root\":");
  if (root.IsEmpty()) {
    PrintUtf8("null");
  } else {
    WriteTypedJson(root, print);
  }
  std::string rest = ",\"errors\":";
  AppendJsonString(rest, errors);
  PrintUtf8(rest + "}\n");
}

// The error text as it is, ended by a line end when it has none.
void PrintErrorText(const std::u16string& errors) {
  if (errors.empty()) return;
  std::string text = EncodeUtf8(errors);
  if (text.back() != '\n') text += '\n';
  PrintError(text);
}

int RunJson(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(0, 1);
  const Encoding encoding = ParseEncoding(arguments.Get("encoding"));
  const std::string path = arguments.Positionals().empty() ? "-" : arguments.Positionals().front();

  // UTF-8, the usual case, is read as it is, without a UTF-16 copy.
  const auto [root, errors] = encoding == Encoding::kUtf8 ? JSON::Read(std::string_view(ReadUtf8File(path)))
                                                          : JSON::Read(ReadTextFile(path, encoding));

  if (arguments.Has("typed")) {
    PrintTypedReport(root, errors);
  } else {
    if (!root.IsEmpty()) {
      WriteStandardJson(root, arguments.Has("pretty"), [](std::string_view chunk) { PrintUtf8(chunk); });
      PrintUtf8("\n");
    }
    PrintErrorText(errors);
  }
  return errors.empty() && !root.IsEmpty() ? kExitOk : kExitFailure;
}

}  // namespace

const Subcommand kJsonCommand = {
    "json", "read forgiving JSON text and print it as standard JSON",
    kJsonHelp, {{"typed"}, {"pretty"}, {"encoding", 1}}, RunJson};

}  // namespace comsvc::cli
