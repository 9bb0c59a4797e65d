// comsvc ini read|write [--name NAME | --path PATH] SECTION KEY
// [VALUE_OR_DEFAULT]: IniRead and IniWrite.
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include <comsvc/ini_settings.h>

namespace comsvc::cli {
namespace {

constexpr const char* kIniHelp =
    "usage: comsvc ini read|write [--name NAME | --path PATH] SECTION KEY [VALUE_OR_DEFAULT]\n"
    "\n"
    "read   prints IniRead's result: the stored value, or VALUE_OR_DEFAULT (default\n"
    "       empty), which is then also written to the file.\n"
    "write  stores VALUE_OR_DEFAULT (default empty) with IniWrite and prints its\n"
    "       result; exit status 1 when it is 0 (the write was refused).\n"
    "\n"
    "  --name NAME   the file NAME.ini beside the comsvc program (default: comsvc)\n"
    "  --path PATH   the file PATH; a relative PATH starts from the current folder\n"
    "\n"
    "Text crosses to the file in the ANSI code page (see --codepage).\n";

constexpr const char* kDefaultName = "comsvc";

// Windows' profile functions look for a file named without a folder in the
// Windows folder, not the current one: a relative path is made absolute
// first, so that every build means the same file.
std::u16string AbsolutePath(const std::u16string& path) {
  std::error_code error;
  const std::filesystem::path given(path);
  if (path.empty() || given.is_absolute()) return path;
  std::filesystem::path absolute = std::filesystem::absolute(given, error);
  return error ? path : absolute.u16string();
}

void NameTheFile(const Arguments& arguments) {
  std::optional<std::string> name = arguments.Get("name");
  std::optional<std::string> path = arguments.Get("path");
  if (name && path) throw UsageError("--name and --path exclude each other");
  if (path) {
    RWINI::SetIniPath(AbsolutePath(ArgumentText(*path)));
  } else {
    RWINI::SetIniName(ArgumentText(name.value_or(kDefaultName)));
  }
}

int RunIni(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(3, 4);
  const std::vector<std::string>& positionals = arguments.Positionals();
  const std::string& action = positionals[0];
  if (action != "read" && action != "write") throw UsageError("'" + action + "' is neither read nor write");
  const std::u16string section = ArgumentText(positionals[1]);
  const std::u16string key = ArgumentText(positionals[2]);
  const std::u16string text = positionals.size() > 3 ? ArgumentText(positionals[3]) : std::u16string();

  NameTheFile(arguments);
  if (action == "read") {
    Print(RWINI::IniRead(section, key, text) + u"\n");
    return kExitOk;
  }
  const int16_t result = RWINI::IniWrite(section, key, text).AsInteger();
  PrintUtf8(std::to_string(result) + "\n");
  if (result != 0) return kExitOk;
  PrintError("comsvc: the value was not written to the file\n");
  return kExitFailure;
}

}  // namespace

const Subcommand kIniCommand = {
    "ini", "read or write a value of an INI file",
    kIniHelp, {{"name", 1}, {"path", 1}}, RunIni};

}  // namespace comsvc::cli
