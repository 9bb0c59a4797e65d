// comsvc folders [--json]: the documents, roaming application-data and
// system folders.
#include <string>
#include <utility>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include <comsvc/utf8.h>
#include <comsvc/folder_locations.h>

namespace comsvc::cli {
namespace {

constexpr const char* kFoldersHelp =
    "usage: comsvc folders [--json]\n"
    "\n"
    "Prints PersonalFolderPath, AppDataFolderPath and SystemDirectoryPath, one per\n"
    "line as 'Name: path', or with --json as one object with those three names.\n"
    "Exit status 1 when a folder could not be found (its path is empty).\n";

int RunFolders(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(0, 0);
  const std::vector<std::pair<const char*, std::u16string>> folders = {
      {"PersonalFolderPath", PersonalFolderPath()},
      {"AppDataFolderPath", AppDataFolderPath()},
      {"SystemDirectoryPath", SystemDirectoryPath()},
  };
  bool all_found = true;
  std::string json = "{";
  for (const auto& [name, path] : folders) {
    if (path.empty()) PrintError("comsvc: " + std::string(name) + ": the folder was not found\n");
    all_found = all_found && !path.empty();
    if (json.size() > 1) json += ",";
    json += "\"" + std::string(name) + "\":" + JsonString(path);
    if (!arguments.Has("json")) Print(Utf8ToUtf16(name) + u": " + path + u"\n");
  }
  if (arguments.Has("json")) PrintUtf8(json + "}\n");
  return all_found ? kExitOk : kExitFailure;
}

}  // namespace

const Subcommand kFoldersCommand = {
    "folders", "print the documents, application-data and system folders",
    kFoldersHelp, {{"json"}}, RunFolders};

}  // namespace comsvc::cli
