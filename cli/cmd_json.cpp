// comsvc json [--typed] [--pretty] [--encoding E] [FILE|-]: reads the text
// with ReadJson and prints the root as standard JSON (or in the typed form)
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

std::string TypedReport(const Value& root, const std::u16string& errors) {
  std::string line = "{\"root\":";
  line += root.IsEmpty() ? "null" : TypedJson(root);
  line += ",\"errors\":";
  AppendJsonString(line, errors);
  line += "}\n";
  return line;
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

  const Value root = JSON::ReadJson(ReadTextFile(path, encoding));
  const std::u16string errors = JSON::ReaderErrors();

  if (arguments.Has("typed")) {
    PrintUtf8(TypedReport(root, errors));
  } else {
    if (!root.IsEmpty()) PrintUtf8(StandardJson(root, arguments.Has("pretty")) + "\n");
    PrintErrorText(errors);
  }
  return errors.empty() && !root.IsEmpty() ? kExitOk : kExitFailure;
}

}  // namespace

const Subcommand kJsonCommand = {
    "json", "read forgiving JSON text and print it as standard JSON",
    kJsonHelp, {{"typed"}, {"pretty"}, {"encoding", 1}}, RunJson};

}  // namespace comsvc::cli
