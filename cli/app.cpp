#include "cli/app.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include <comsvc/code_page.h>
#include <comsvc/json_reader.h>
#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/utf8.h>
#include <comsvc/value.h>
#include "cli/json_output.h"
#include "os/console.h"
#include "os/error.h"
#include "os/files.h"

namespace comsvc::cli {

const std::vector<OptionSpec>& GlobalOptionSpecs() {
  static const std::vector<OptionSpec> specs = {
      {"codepage", 1}, {"decimal-separator", 1}, {"dialogs", 1}, {"answers", 1}, {"dialog-log", 1}, {"quiet", 0},
  };
  return specs;
}

namespace {

const OptionSpec* FindOption(std::string_view name, const std::vector<OptionSpec>& options) {
  for (const auto& list : {&options, &GlobalOptionSpecs()}) {
    for (const OptionSpec& option : *list) {
      if (option.name == name) return &option;
    }
  }
  return nullptr;
}

}  // namespace

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options) {
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
      positionals_.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--help") {
      help_ = true;
    } else {
      TakeOption(args, i, options);
    }
  }
}

void Arguments::TakeOption(const std::vector<std::string>& args, size_t& i, const std::vector<OptionSpec>& options) {
  const std::string& arg = args[i];
  const size_t equals = arg.find('=');
  const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
  const OptionSpec* option = FindOption(name, options);
  if (option == nullptr) throw UsageError("unknown option --" + name);
  std::vector<std::string> values;
  if (equals != std::string::npos) {
    if (option->values == 0) throw UsageError("option --" + name + " takes no value");
    values.push_back(arg.substr(equals + 1));
  }
  while (values.size() < static_cast<size_t>(option->values)) {
    if (++i >= args.size()) throw UsageError("option --" + name + " needs a value");
    values.push_back(args[i]);
  }
  options_.emplace_back(name, std::move(values));
}

bool Arguments::Has(std::string_view name) const {
  for (const auto& [n, v] : options_) {
    if (n == name) return true;
  }
  return false;
}

std::optional<std::string> Arguments::Get(std::string_view name) const {
  std::optional<std::string> found;
  for (const auto& [n, v] : options_) {
    if (n == name && !v.empty()) found = v.front();
  }
  return found;
}

std::vector<std::vector<std::string>> Arguments::Occurrences(std::string_view name) const {
  std::vector<std::vector<std::string>> found;
  for (const auto& [n, v] : options_) {
    if (n == name) found.push_back(v);
  }
  return found;
}

void Arguments::RequirePositionals(size_t min, size_t max) const {
  if (positionals_.size() < min) throw UsageError("missing arguments");
  if (positionals_.size() > max) throw UsageError("too many arguments");
}

std::string UsageLines(std::string_view help) {
  return std::string(help.substr(0, help.find("\n\n")));
}

Encoding ParseEncoding(const std::optional<std::string>& name) {
  if (!name || *name == "utf-8") return Encoding::kUtf8;
  if (*name == "utf-16le") return Encoding::kUtf16Le;
  if (*name == "ansi") return Encoding::kAnsi;
  throw UsageError("unknown encoding " + *name + " (utf-8, utf-16le or ansi)");
}

std::string FileProblem(const std::string& path, int error_number) {
  return path + ": " + std::strerror(error_number);
}

namespace {

// An input longer than any process here could hold stops the command as
// memory running out would.
[[noreturn]] void RaiseTooLarge(const std::string& what) {
  PrintError("comsvc: " + what + ": more than " + std::to_string(kMaxInputBytes) + " bytes\n");
  Raise(ErrorNumber::kOutOfMemory);
}

// Standard input is whatever stream the caller gives (a pipe, a terminal),
// read to its end, bounded by kMaxInputBytes.
std::string ReadStandardInput() {
  const std::string what = "standard input";
  std::string bytes;
  char chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
    if (bytes.size() + got > kMaxInputBytes) RaiseTooLarge(what);
    RaisingOutOfMemory([&] { bytes.append(chunk, got); });
  }
  if (std::ferror(stdin)) throw CommandLineError(FileProblem(what, errno));
  return bytes;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  if (path == "-") return ReadStandardInput();
  std::string bytes;
  const std::error_code error = RaisingOutOfMemory([&] { return os::ReadWholeFile(path, bytes, kMaxInputBytes); });
  if (error == os::Errc::kFileTooLarge) RaiseTooLarge(path);
  if (error) throw CommandLineError(path + ": " + error.message());
  return bytes;
}

namespace {

std::u16string DecodeUtf16Le(const std::string& path, std::string_view bytes) {
  if (bytes.size() % 2 != 0) {
    throw CommandLineError(path + ": odd number of bytes for UTF-16LE at byte offset " +
                           std::to_string(bytes.size() - 1));
  }
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

CommandLineError InvalidUtf8(const std::string& what, size_t offset) {
  return CommandLineError(what + ": invalid UTF-8 at byte offset " + std::to_string(offset));
}

std::u16string DecodeUtf8Strict(const std::string& what, std::string_view bytes) {
  Utf8Result decoded = DecodeUtf8(bytes);
  if (decoded.error_offset) throw InvalidUtf8(what, *decoded.error_offset);
  return std::move(decoded.text);
}

// Text that must be in the code page: what the page does not define stops
// the command, as invalid UTF-8 does.
std::u16string DecodeAnsiStrict(const std::string& path, std::string_view bytes) {
  const platform::CodePage& page = platform::CodePage::Current();
  if (const std::optional<size_t> bad = page.FirstUndefined(bytes)) {
    throw CommandLineError(path + ": invalid code page " + std::to_string(page.Number()) + " text at byte offset " +
                           std::to_string(*bad));
  }
  return page.FromBytes(bytes);
}

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::u16string ReadTextFile(const std::string& path, Encoding encoding) {
  std::string bytes = ReadFileBytes(path);
  std::string_view view(bytes);
  switch (encoding) {
    case Encoding::kUtf8:
      if (view.starts_with(kUtf8ByteOrderMark)) view.remove_prefix(kUtf8ByteOrderMark.size());
      return DecodeUtf8Strict(path, view);
    case Encoding::kUtf16Le:
      if (view.substr(0, 2) == "\xFF\xFE") view.remove_prefix(2);
      return DecodeUtf16Le(path, view);
    case Encoding::kAnsi:
      return DecodeAnsiStrict(path, view);
  }
  return {};
}

std::string ReadUtf8File(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  if (std::string_view(bytes).starts_with(kUtf8ByteOrderMark)) bytes.erase(0, kUtf8ByteOrderMark.size());
  if (const std::optional<size_t> bad = FirstInvalidUtf8(bytes)) throw InvalidUtf8(path, *bad);
  return bytes;
}

std::u16string ArgumentText(const std::string& arg) { return DecodeUtf8Strict("argument", arg); }

void Print(std::u16string_view text) { PrintUtf8(EncodeUtf8(text)); }

void PrintUtf8(std::string_view text) { std::cout.write(text.data(), static_cast<std::streamsize>(text.size())); }

void PrintError(std::string_view text) { std::cerr.write(text.data(), static_cast<std::streamsize>(text.size())); }

RecordingDialogs::RecordingDialogs(std::shared_ptr<platform::DialogService> inner, std::FILE* log, bool echo)
    : inner_(std::move(inner)), log_(log), echo_(echo) {}

void RecordingDialogs::Record(platform::DialogRecord record) {
  if (log_ != nullptr) {
    std::string line = DialogRecordJson(record) + "\n";
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fflush(log_);
  }
  records_.push_back(std::move(record));
}

namespace {

// A box's text on one line: each line end becomes a space, trailing ones go.
std::string OneLine(const std::u16string& text) {
  std::string line;
  for (char c : EncodeUtf8(text)) {
    if (c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

void RecordingDialogs::ShowMessageBox(const std::u16string& text, const std::u16string& title,
                                      platform::BoxIcon icon) {
  // Recorded before it is shown, so the log tells which box is waiting.
  platform::DialogRecord record;
  record.kind = platform::DialogRecord::Kind::kMessage;
  record.text = text;
  record.title = title;
  record.icon = icon;
  Record(std::move(record));
  if (echo_) PrintError("comsvc: box \"" + OneLine(title) + "\": " + OneLine(text) + "\n");
  inner_->ShowMessageBox(text, title, icon);
}

std::optional<std::u16string> RecordingDialogs::ShowInputBox(const std::u16string& prompt,
                                                             const std::u16string& title,
                                                             const std::u16string& default_text) {
  std::optional<std::u16string> answer = inner_->ShowInputBox(prompt, title, default_text);
  platform::DialogRecord record;
  record.kind = platform::DialogRecord::Kind::kInput;
  record.text = prompt;
  record.title = title;
  record.default_text = default_text;
  record.answer = answer;
  Record(std::move(record));
  return answer;
}

namespace {

struct GlobalOptions {
  std::optional<std::string> dialogs;
  std::optional<std::string> answers;
  std::optional<std::string> dialog_log;
  bool quiet = false;
};

// The answers file: a JSON array of strings (confirmed text) and nulls
// (cancel).
std::vector<std::optional<std::u16string>> ReadAnswers(const std::string& path) {
  const auto [root, errors] = JSON::Read(ReadTextFile(path, Encoding::kUtf8));
  const std::string bad = path + ": the answers must be a JSON array of strings and nulls";
  if (!root.IsArray() || !errors.empty()) throw CommandLineError(bad);
  std::vector<std::optional<std::u16string>> answers;
  for (const Value& item : root.AsArray()->Items()) {
    if (item.IsString()) {
      answers.emplace_back(item.AsString());
    } else if (item.IsNull()) {
      answers.emplace_back(std::nullopt);
    } else {
      throw CommandLineError(bad);
    }
  }
  return answers;
}

std::string DefaultDialogMode() {
  if (platform::MakeDesktopDialogs()) return "gui";
  if (os::StandardInputIsTerminal()) return "tty";
  return "script";
}

std::shared_ptr<platform::DialogService> MakeGuiDialogs() {
  std::shared_ptr<platform::DialogService> dialogs = platform::MakeDesktopDialogs();
  if (!dialogs) throw CommandLineError("--dialogs gui needs a display and zenity");
  return dialogs;
}

std::string DialogMode(const GlobalOptions& options) {
  return options.dialogs.value_or(options.answers ? "script" : DefaultDialogMode());
}

std::shared_ptr<platform::DialogService> MakeDialogs(const GlobalOptions& options) {
  const std::string mode = DialogMode(options);
  if (options.answers && mode != "script") throw UsageError("--answers goes with --dialogs script");
  if (mode == "script") {
    return std::make_shared<platform::ScriptedDialogs>(options.answers ? ReadAnswers(*options.answers)
                                                                       : std::vector<std::optional<std::u16string>>{});
  }
  if (mode == "tty") return std::make_shared<platform::TerminalDialogs>(0, 2);
  if (mode == "gui") return MakeGuiDialogs();
  throw UsageError("--dialogs takes tty, gui or script");
}

std::FILE* OpenDialogLog(const std::optional<std::string>& path) {
  if (!path) return nullptr;
  if (*path == "-") return stderr;
  std::FILE* log = std::fopen(path->c_str(), "w");
  if (log == nullptr) throw CommandLineError(FileProblem(*path, errno));
  return log;
}

// A process-wide setting: the option's value, else its environment
// variable's (an empty variable counts as unset), with the name to give when
// the value is refused.
struct Setting {
  std::string value;
  std::string source;  // "--codepage", or "COMSVC_CODEPAGE"
  bool from_option = false;
};

std::optional<Setting> FindSetting(const Arguments& arguments, const std::string& option, const char* variable) {
  if (std::optional<std::string> value = arguments.Get(option)) return Setting{*value, "--" + option, true};
  const char* value = std::getenv(variable);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return Setting{value, variable, false};
}

// An option is refused as a usage error; a variable by its name alone.
[[noreturn]] void Refuse(const Setting& setting, const std::string& expected) {
  const std::string message = setting.source + " takes " + expected + ", not '" + setting.value + "'";
  if (setting.from_option) throw UsageError(message);
  throw CommandLineError(message);
}

void ApplyCodePage(const std::optional<Setting>& setting) {
  if (!setting) return;
  const std::string& text = setting->value;
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  const bool whole = error == std::errc() && end == text.data() + text.size();
  if (!whole || !platform::CodePage::SetCurrent(number)) {
    Refuse(*setting, "874, 932, 936, 949, 950 or 1250 to 1258");
  }
}

void ApplyDecimalSeparator(const std::optional<Setting>& setting) {
  if (!setting) return;
  // The locale holds one UTF-16 code unit.
  const std::u16string separator = DecodeUtf8Strict(setting->source, setting->value);
  if (separator.size() != 1) Refuse(*setting, "one character from U+0001 to U+FFFF");
  platform::Locale::SetDecimalSeparator(separator[0]);
}

}  // namespace

Context ApplyGlobalOptions(const Arguments& arguments) {
  GlobalOptions options{
      .dialogs = arguments.Get("dialogs"),
      .answers = arguments.Get("answers"),
      .dialog_log = arguments.Get("dialog-log"),
      .quiet = arguments.Has("quiet"),
  };
  ApplyCodePage(FindSetting(arguments, "codepage", "COMSVC_CODEPAGE"));
  ApplyDecimalSeparator(FindSetting(arguments, "decimal-separator", "COMSVC_DECIMAL"));
  const bool echo = !options.quiet && !options.dialog_log && DialogMode(options) == "script";
  static std::shared_ptr<RecordingDialogs> recorder;
  recorder = std::make_shared<RecordingDialogs>(MakeDialogs(options), OpenDialogLog(options.dialog_log), echo);
  platform::SetDialogs(recorder);
  return Context{recorder.get()};
}

}  // namespace comsvc::cli
