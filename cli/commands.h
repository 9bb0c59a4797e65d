// The subcommands: each lives in cli/cmd_NAME.cpp and is listed in main.cpp.
#pragma once

#include <string>
#include <vector>

#include "cli/app.h"

namespace comsvc::cli {

using Command = int (*)(Context& context, const std::vector<std::string>& args);

struct Subcommand {
  const char* name;
  const char* summary;
  Command run;
};

int RunJson(Context& context, const std::vector<std::string>& args);
int RunEval(Context& context, const std::vector<std::string>& args);
int RunIni(Context& context, const std::vector<std::string>& args);
int RunFolders(Context& context, const std::vector<std::string>& args);
int RunNotice(Context& context, const std::vector<std::string>& args);
int RunMd5(Context& context, const std::vector<std::string>& args);
int RunUrl(Context& context, const std::vector<std::string>& args);
int RunRequest(Context& context, const std::vector<std::string>& args);
int RunPost(Context& context, const std::vector<std::string>& args);

}  // namespace comsvc::cli
