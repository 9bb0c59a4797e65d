// The machinery every subcommand shares: global options, argument parsing,
// reading text files in the chosen encoding, UTF-8 output, the dialog service
// and exit statuses.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <comsvc/dialogs.h>
#include "os/files.h"

namespace comsvc::cli {

enum ExitStatus : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// A usage or I/O error of the command line itself: printed as
// "comsvc: MESSAGE", exit status 2.
class CommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command line that does not follow its usage; the usage lines of the
// subcommand (or of comsvc) are printed after the message.
class UsageError : public CommandLineError {
 public:
  using CommandLineError::CommandLineError;
};

// One option a subcommand accepts: "--name" followed by `values` arguments,
// the first of which may also be given as "--name=value".
struct OptionSpec {
  std::string name;
  int values = 0;
};

// The options every subcommand accepts besides its own, before or after the
// subcommand's name.
const std::vector<OptionSpec>& GlobalOptionSpecs();

// A subcommand's arguments, split into options and positional arguments.
// "--" ends the options; "-" is positional. "--help" is always accepted, and
// so are the global options. Unknown options, missing values and values
// given to an option that takes none are UsageErrors.
class Arguments {
 public:
  Arguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options);

  bool Has(std::string_view name) const;
  // The value of a one-value option (the last one given).
  std::optional<std::string> Get(std::string_view name) const;
  // Every occurrence of an option, each with its values.
  std::vector<std::vector<std::string>> Occurrences(std::string_view name) const;
  const std::vector<std::string>& Positionals() const { return positionals_; }
  bool HelpRequested() const { return help_; }

  // Positional count check; a UsageError when the count is outside.
  void RequirePositionals(size_t min, size_t max) const;

 private:
  // Takes the option at args[i] (and its values), moving i past them.
  void TakeOption(const std::vector<std::string>& args, size_t& i, const std::vector<OptionSpec>& options);

  std::vector<std::pair<std::string, std::vector<std::string>>> options_;
  std::vector<std::string> positionals_;
  bool help_ = false;
};

// The lines of a help text up to its first blank line: its usage.
std::string UsageLines(std::string_view help);

enum class Encoding { kUtf8, kUtf16Le, kAnsi };

// "utf-8" (default), "utf-16le", "ansi"; anything else is a UsageError.
Encoding ParseEncoding(const std::optional<std::string>& name);

// Inputs hold at most this many bytes, as every whole file the library
// reads: more text than a 32-bit process could hold twice over. A longer
// input (standard input from /dev/zero, say) stops with error 7, "Out of
// memory", as it would there, instead of reading on for ever.
inline constexpr size_t kMaxInputBytes = os::kMaxWholeFileBytes;

// Reads a whole file ("-" is standard input) and decodes it; a leading
// byte-order mark of the encoding is removed. Bytes the encoding does not
// define (for "ansi", the code page's) are a CommandLineError naming the
// byte offset.
std::u16string ReadTextFile(const std::string& path, Encoding encoding);
// Reads a whole UTF-8 file ("-" is standard input) as it is, less a leading
// byte-order mark. Invalid bytes are a CommandLineError as for ReadTextFile.
std::string ReadUtf8File(const std::string& path);
// Reads the bytes of a whole regular file, or of standard input for "-"
// (any stream: a pipe, a terminal). A named file is opened without waiting:
// a FIFO, a socket or a device is refused at once. A file that cannot be
// read is a CommandLineError naming it and the reason; more than
// kMaxInputBytes raises error 7.
std::string ReadFileBytes(const std::string& path);

// "PATH: REASON", the reason being the system's text for `error_number`.
std::string FileProblem(const std::string& path, int error_number);

// Decodes a command-line argument (UTF-8); invalid bytes are a
// CommandLineError naming the byte offset.
std::u16string ArgumentText(const std::string& arg);

// Writes text to standard output as UTF-8 (a lone surrogate becomes U+FFFD).
void Print(std::u16string_view text);
void PrintUtf8(std::string_view text);
void PrintError(std::string_view text);  // to standard error, as is

// Records every box shown, writes it to the dialog log when one was asked
// for, and passes it on to the service that answers it. With `echo`, a
// message box is also written to standard error as one line
// `comsvc: box "TITLE": TEXT`, so that a box answered by script is not lost.
class RecordingDialogs : public platform::DialogService {
 public:
  RecordingDialogs(std::shared_ptr<platform::DialogService> inner, std::FILE* log, bool echo);
  void ShowMessageBox(const std::u16string& text, const std::u16string& title, platform::BoxIcon icon) override;
  std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                             const std::u16string& default_text) override;
  const std::vector<platform::DialogRecord>& Records() const { return records_; }
  // For a subcommand that reports the boxes in its own output.
  void StopEchoing() { echo_ = false; }

 private:
  void Record(platform::DialogRecord record);

  std::shared_ptr<platform::DialogService> inner_;
  std::FILE* log_;
  bool echo_;
  std::vector<platform::DialogRecord> records_;
};

// What a subcommand gets besides its arguments.
struct Context {
  RecordingDialogs* dialogs = nullptr;
};

// Applies the global options found among the arguments and installs the
// dialog service; returns the context.
Context ApplyGlobalOptions(const Arguments& arguments);

}  // namespace comsvc::cli
