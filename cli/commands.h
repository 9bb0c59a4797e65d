// The subcommands: each lives in cli/cmd_NAME.cpp and is listed in main.cpp.
#pragma once

#include <string>
#include <vector>

#include "cli/app.h"

namespace comsvc::cli {

using Command = int (*)(Context& context, const Arguments& arguments);

// A subcommand: its help text opens with its usage lines and a blank line.
struct Subcommand {
  const char* name;
  const char* summary;
  const char* help;
  std::vector<OptionSpec> options;
  Command run;
};

// Each subcommand's help text and the function that runs it.
extern const char* const kJsonHelp;
int RunJson(Context& context, const Arguments& arguments);
extern const char* const kEvalHelp;
int RunEval(Context& context, const Arguments& arguments);
extern const char* const kIniHelp;
int RunIni(Context& context, const Arguments& arguments);
extern const char* const kFoldersHelp;
int RunFolders(Context& context, const Arguments& arguments);
extern const char* const kNoticeHelp;
int RunNotice(Context& context, const Arguments& arguments);
extern const char* const kMd5Help;
int RunMd5(Context& context, const Arguments& arguments);
extern const char* const kUrlHelp;
int RunUrl(Context& context, const Arguments& arguments);
extern const char* const kRequestHelp;
int RunRequest(Context& context, const Arguments& arguments);
extern const char* const kPostHelp;
int RunPost(Context& context, const Arguments& arguments);

}  // namespace comsvc::cli
