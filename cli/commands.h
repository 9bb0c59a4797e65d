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

// The subcommands, each defined in its own file.
extern const Subcommand kJsonCommand;
extern const Subcommand kEvalCommand;
extern const Subcommand kLintCommand;
extern const Subcommand kIniCommand;
extern const Subcommand kFoldersCommand;
extern const Subcommand kNoticeCommand;
extern const Subcommand kMd5Command;
extern const Subcommand kUrlCommand;
extern const Subcommand kRequestCommand;
extern const Subcommand kPostCommand;

}  // namespace comsvc::cli
