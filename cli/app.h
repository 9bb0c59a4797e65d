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

namespace comsvc::cli {

enum ExitStatus : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// A usage or I/O error of the command line itself: printed as
// "comsvc: MESSAGE", exit status 2.
class CommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One option a subcommand accepts: "--name" followed by `values` arguments.
struct OptionSpec {
  std::string name;
  int values = 0;
};

// A subcommand's arguments, split into options and positional arguments.
// "--" ends the options; "-" is positional. "--help" is always accepted.
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

  // Positional count check; throws CommandLineError with the usage text.
  void RequirePositionals(size_t min, size_t max, std::string_view usage) const;

 private:
  std::vector<std::pair<std::string, std::vector<std::string>>> options_;
  std::vector<std::string> positionals_;
  bool help_ = false;
};

// Prints `help` when "--help" was given; the subcommand then returns kExitOk.
bool PrintedHelp(const Arguments& arguments, std::string_view help);

enum class Encoding { kUtf8, kUtf16Le, kAnsi };

// "utf-8" (default), "utf-16le", "ansi"; anything else is a CommandLineError.
Encoding ParseEncoding(const std::optional<std::string>& name);

// Reads a whole file ("-" is standard input) and decodes it; a leading
// byte-order mark of the encoding is removed. Invalid bytes are a
// CommandLineError naming the byte offset.
std::u16string ReadTextFile(const std::string& path, Encoding encoding);
// Reads a whole file's bytes; a CommandLineError when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Decodes a command-line argument (UTF-8); invalid bytes are a
// CommandLineError naming the byte offset.
std::u16string ArgumentText(const std::string& arg);

// Writes text to standard output as UTF-8 (a lone surrogate becomes U+FFFD).
void Print(std::u16string_view text);
void PrintUtf8(std::string_view text);
void PrintError(std::string_view text);  // to standard error, as is

// Records every box shown, writes it to the dialog log when one was asked
// for, and passes it on to the service that answers it.
class RecordingDialogs : public platform::DialogService {
 public:
  RecordingDialogs(std::shared_ptr<platform::DialogService> inner, std::FILE* log);
  void ShowMessageBox(const std::u16string& text, const std::u16string& title, platform::BoxIcon icon) override;
  std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                             const std::u16string& default_text) override;
  const std::vector<platform::DialogRecord>& Records() const { return records_; }

 private:
  void Record(platform::DialogRecord record);

  std::shared_ptr<platform::DialogService> inner_;
  std::FILE* log_;
  std::vector<platform::DialogRecord> records_;
};

// What a subcommand gets besides its arguments.
struct Context {
  RecordingDialogs* dialogs = nullptr;
};

// Applies the global options that stand before the subcommand (removing
// them from `args`) and installs the dialog service; returns the context.
Context ApplyGlobalOptions(std::vector<std::string>& args);

}  // namespace comsvc::cli
