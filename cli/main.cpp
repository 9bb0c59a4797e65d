// comsvc: every service of the library on the command line.
#include <iostream>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "core/runtime_error.h"
#include "platform/console.h"

namespace comsvc::cli {
namespace {

constexpr Subcommand kSubcommands[] = {
    {"json", "read forgiving JSON text and print it as standard JSON", RunJson},
    {"eval", "run scripts written in JSON and print their output", RunEval},
    {"ini", "read or write a value of an INI file", RunIni},
    {"folders", "print the documents, application-data and system folders", RunFolders},
    {"notice", "show the notice window that closes itself after two seconds", RunNotice},
    {"md5", "print the MD5 digest of a text or a file", RunMd5},
    {"url", "split a URL into its parts, or percent-encode a form value", RunUrl},
    {"request", "print the HTTP/1.0 POST request composed for a form", RunRequest},
    {"post", "post a form to an HTTP server and print the reply", RunPost},
};

constexpr const char* kGlobalHelp =
    "usage: comsvc [GLOBAL OPTIONS] SUBCOMMAND [ARGUMENTS]\n"
    "\n"
    "Global options (before the subcommand):\n"
    "  --codepage N            the ANSI code page (874, 932, 936, 949, 950, 1250-1258);\n"
    "                          default: $COMSVC_CODEPAGE, else from the locale's language\n"
    "  --decimal-separator C   the locale's decimal separator; default: $COMSVC_DECIMAL,\n"
    "                          else the C library's LC_NUMERIC\n"
    "  --dialogs tty|gui|script  who answers message and input boxes; default: gui with a\n"
    "                          display and zenity, else tty on a terminal, else script\n"
    "  --answers FILE          JSON array of input-box answers (string, or null to\n"
    "                          cancel); implies --dialogs script\n"
    "  --dialog-log FILE       one JSON line per box shown ('-' for stderr)\n"
    "\n"
    "Exit status: 0 success, 1 the operation reported a failure, 2 usage or I/O error.\n"
    "'comsvc SUBCOMMAND --help' describes each subcommand.\n"
    "\n"
    "Subcommands:\n";

void PrintGlobalHelp() {
  std::string text = kGlobalHelp;
  for (const Subcommand& s : kSubcommands) {
    std::string name = s.name;
    text += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') + s.summary + "\n";
  }
  PrintUtf8(text);
}

int Run(std::vector<std::string> args) {
  if (args.empty() || args.front() == "--help" || args.front() == "-h") {
    PrintGlobalHelp();
    return args.empty() ? kExitUsage : kExitOk;
  }
  if (args.front() == "--version") {
    PrintUtf8("comsvc " COMSVC_VERSION "\n");
    return kExitOk;
  }
  Context context = ApplyGlobalOptions(args);
  if (args.empty()) throw CommandLineError("no subcommand given (see comsvc --help)");
  const std::string name = args.front();
  args.erase(args.begin());
  for (const Subcommand& s : kSubcommands) {
    if (name == s.name) return s.run(context, args);
  }
  throw CommandLineError("unknown subcommand '" + name + "' (see comsvc --help)");
}

}  // namespace
}  // namespace comsvc::cli

int main(int argc, char** argv) {
  using namespace comsvc::cli;
  std::ios::sync_with_stdio(false);
  comsvc::platform::UseUtf8StandardStreams();
  int status = kExitOk;
  try {
    status = Run(comsvc::platform::ProgramArguments(argc, argv));
  } catch (const CommandLineError& e) {
    std::cout.flush();
    std::cerr << "comsvc: " << e.what() << "\n";
    status = kExitUsage;
  } catch (const comsvc::RuntimeError& e) {
    std::cout.flush();
    std::cerr << e.what() << "\n";
    status = kExitFailure;
  }
  std::cout.flush();
  return status;
}
