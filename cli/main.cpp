// comsvc: every service of the library on the command line.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include <comsvc/runtime_error.h>
#include <comsvc/version.h>
#include "os/console.h"

namespace comsvc::cli {
namespace {

// In the order --help lists them. Pointers, so that the table does not
// depend on the order in which the files' objects are initialised.
const Subcommand* const kSubcommands[] = {
    &kJsonCommand,   &kEvalCommand, &kLintCommand, &kIniCommand,     &kFoldersCommand,
    &kNoticeCommand, &kMd5Command,  &kUrlCommand,  &kRequestCommand, &kPostCommand,
};

constexpr const char* kGlobalHelp =
    "usage: comsvc [GLOBAL OPTIONS] SUBCOMMAND [ARGUMENTS]\n"
    "       comsvc --help | --version\n"
    "\n"
    "Global options (before or after the subcommand):\n"
    "  --codepage N            the ANSI code page (874, 932, 936, 949, 950, 1250-1258);\n"
    "                          default: $COMSVC_CODEPAGE, else from the locale's language\n"
    "  --decimal-separator C   the locale's decimal separator, one character up to\n"
    "                          U+FFFF; default: $COMSVC_DECIMAL, else the C library's\n"
    "                          LC_NUMERIC\n"
    "  --dialogs tty|gui|script  who answers message and input boxes; default: gui with a\n"
    "                          display and zenity, else tty on a terminal, else script\n"
    "  --answers FILE          JSON array of input-box answers (string, or null to\n"
    "                          cancel); implies --dialogs script\n"
    "  --dialog-log FILE       one JSON line per box shown ('-' for stderr)\n"
    "  --quiet                 in script mode without --dialog-log, do not echo message\n"
    "                          boxes to stderr as 'comsvc: box \"TITLE\": TEXT'\n"
    "  --help, -h              print this help ('comsvc SUBCOMMAND --help' for one)\n"
    "  --version, -V           print the version\n"
    "An option's value may also be joined to it: --codepage=1252. A value from\n"
    "$COMSVC_CODEPAGE or $COMSVC_DECIMAL must be one the option would take.\n"
    "\n"
    "Exit status: 0 success, 1 the operation reported a failure (the reason on\n"
    "stderr; a runtime error as 'error N: DESCRIPTION'), 2 usage or I/O error.\n"
    "Input files are regular files ('-' reads standard input; a FIFO or a device\n"
    "is refused), read up to 1 GiB; a longer input is error 7, Out of memory.\n"
    "\n"
    "Subcommands:\n";

void PrintGlobalHelp() {
  std::string text = kGlobalHelp;
  for (const Subcommand* s : kSubcommands) {
    std::string name = s->name;
    text += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') + s->summary + "\n";
  }
  PrintUtf8(text);
}

const Subcommand& FindSubcommand(const std::string& name) {
  for (const Subcommand* s : kSubcommands) {
    if (name == s->name) return *s;
  }
  throw UsageError("unknown subcommand '" + name + "'\n" + UsageLines(kGlobalHelp));
}

// The position of the subcommand's name (or of a request for help or the
// version): the first argument that is neither a global option nor one of
// its values; args.size() when there is none.
size_t SubcommandIndex(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) != 0 || args[i] == "--help" || args[i] == "--version") return i;
    const size_t equals = args[i].find('=');
    const std::string name = args[i].substr(2, equals == std::string::npos ? equals : equals - 2);
    bool global = false;
    for (const OptionSpec& option : GlobalOptionSpecs()) {
      if (option.name == name) {
        global = true;
        if (equals == std::string::npos) i += static_cast<size_t>(option.values);
      }
    }
    if (!global) throw UsageError("--" + name + " is not a global option\n" + UsageLines(kGlobalHelp));
  }
  return args.size();
}

int RunSubcommand(const Subcommand& command, const std::vector<std::string>& args) {
  try {
    const Arguments arguments(args, command.options);
    if (arguments.HelpRequested()) {
      PrintUtf8(command.help);
      return kExitOk;
    }
    Context context = ApplyGlobalOptions(arguments);
    return command.run(context, arguments);
  } catch (const UsageError& e) {
    throw UsageError(e.what() + std::string("\n") + UsageLines(command.help));
  }
}

int Run(std::vector<std::string> args) {
  const size_t index = SubcommandIndex(args);
  if (index == args.size()) throw UsageError("no subcommand given\n" + UsageLines(kGlobalHelp));
  if (args[index] == "--help" || args[index] == "-h") {
    PrintGlobalHelp();
    return kExitOk;
  }
  if (args[index] == "--version" || args[index] == "-V") {
    PrintUtf8("comsvc " COMSVC_VERSION "\n");
    return kExitOk;
  }
  const Subcommand& command = FindSubcommand(args[index]);
  args.erase(args.begin() + static_cast<std::ptrdiff_t>(index));
  return RunSubcommand(command, args);
}

// The status once everything is written: a failed write of the output is an
// I/O error of its own.
int FlushOutput(int status) {
  errno = 0;
  std::cout.flush();
  if (std::cout) return status;
  const int error = errno;
  std::cerr << "comsvc: cannot write the output: " << (error != 0 ? std::strerror(error) : "write error") << "\n";
  return kExitUsage;
}

}  // namespace
}  // namespace comsvc::cli

int main(int argc, char** argv) {
  using namespace comsvc::cli;
  std::ios::sync_with_stdio(false);
  comsvc::os::UseUtf8StandardStreams();
  int status = kExitOk;
  try {
    status = Run(comsvc::os::ProgramArguments(argc, argv));
  } catch (const CommandLineError& e) {
    std::cout.flush();
    std::cerr << "comsvc: " << e.what() << "\n";
    status = kExitUsage;
  } catch (const comsvc::RuntimeError& e) {
    std::cout.flush();
    std::cerr << e.what() << "\n";
    status = kExitFailure;
  } catch (const std::exception& e) {
    // Memory ran out, or a text grew longer than a 32-bit process can hold.
    if (!dynamic_cast<const std::bad_alloc*>(&e) && !dynamic_cast<const std::length_error*>(&e)) throw;
    std::cout.flush();
    std::cerr << comsvc::RuntimeError(comsvc::ErrorNumber::kOutOfMemory).what() << "\n";
    status = kExitFailure;
  }
  return FlushOutput(status);
}
