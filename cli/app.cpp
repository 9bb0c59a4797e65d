#include "cli/app.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/json_output.h"
#include "core/utf8.h"
#include "core/value.h"
#include "json/json_reader.h"
#include "platform/code_page.h"
#include "platform/console.h"
#include "platform/desktop_dialogs.h"
#include "platform/locale.h"

namespace comsvc::cli {

Arguments::Arguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& options) {
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-' || arg[1] != '-') {
      positionals_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg == "--help") {
      help_ = true;
      continue;
    }
    const std::string name = arg.substr(2);
    const OptionSpec* option = nullptr;
    for (const auto& o : options) {
      if (o.name == name) option = &o;
    }
    if (option == nullptr) throw CommandLineError("unknown option " + arg);
    std::vector<std::string> values;
    for (int v = 0; v < option->values; ++v) {
      if (++i >= args.size()) throw CommandLineError("option " + arg + " needs a value");
      values.push_back(args[i]);
    }
    options_.emplace_back(name, std::move(values));
  }
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

void Arguments::RequirePositionals(size_t min, size_t max, std::string_view usage) const {
  if (positionals_.size() < min || positionals_.size() > max) {
    throw CommandLineError("usage: " + std::string(usage));
  }
}

bool PrintedHelp(const Arguments& arguments, std::string_view help) {
  if (arguments.HelpRequested()) PrintUtf8(help);
  return arguments.HelpRequested();
}

Encoding ParseEncoding(const std::optional<std::string>& name) {
  if (!name || *name == "utf-8") return Encoding::kUtf8;
  if (*name == "utf-16le") return Encoding::kUtf16Le;
  if (*name == "ansi") return Encoding::kAnsi;
  throw CommandLineError("unknown encoding " + *name + " (utf-8, utf-16le or ansi)");
}

std::string ReadFileBytes(const std::string& path) {
  if (path == "-") {
    std::ostringstream buffer;
    buffer << std::cin.rdbuf();
    return std::move(buffer).str();
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) throw CommandLineError(path + ": cannot read the file");
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

std::u16string DecodeUtf8Strict(const std::string& what, std::string_view bytes) {
  Utf8Result decoded = DecodeUtf8(bytes);
  if (decoded.error_offset) {
    throw CommandLineError(what + ": invalid UTF-8 at byte offset " + std::to_string(*decoded.error_offset));
  }
  return std::move(decoded.text);
}

}  // namespace

std::u16string ReadTextFile(const std::string& path, Encoding encoding) {
  std::string bytes = ReadFileBytes(path);
  std::string_view view(bytes);
  switch (encoding) {
    case Encoding::kUtf8:
      if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
      return DecodeUtf8Strict(path, view);
    case Encoding::kUtf16Le:
      if (view.substr(0, 2) == "\xFF\xFE") view.remove_prefix(2);
      return DecodeUtf16Le(path, view);
    case Encoding::kAnsi:
      return platform::CodePage::Current().FromBytes(view);
  }
  return {};
}

std::u16string ArgumentText(const std::string& arg) { return DecodeUtf8Strict("argument", arg); }

void Print(std::u16string_view text) { PrintUtf8(EncodeUtf8(text)); }

void PrintUtf8(std::string_view text) { std::cout.write(text.data(), static_cast<std::streamsize>(text.size())); }

void PrintError(std::string_view text) { std::cerr.write(text.data(), static_cast<std::streamsize>(text.size())); }

RecordingDialogs::RecordingDialogs(std::shared_ptr<platform::DialogService> inner, std::FILE* log)
    : inner_(std::move(inner)), log_(log) {}

void RecordingDialogs::Record(platform::DialogRecord record) {
  if (log_ != nullptr) {
    std::string line = DialogRecordJson(record) + "\n";
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fflush(log_);
  }
  records_.push_back(std::move(record));
}

void RecordingDialogs::ShowMessageBox(const std::u16string& text, const std::u16string& title,
                                      platform::BoxIcon icon) {
  // Recorded before it is shown, so the log tells which box is waiting.
  platform::DialogRecord record;
  record.kind = platform::DialogRecord::Kind::kMessage;
  record.text = text;
  record.title = title;
  record.icon = icon;
  Record(std::move(record));
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
  std::optional<std::string> codepage;
  std::optional<std::string> decimal;
  std::optional<std::string> dialogs;
  std::optional<std::string> answers;
  std::optional<std::string> dialog_log;
};

// The answers file: a JSON array of strings (confirmed text) and nulls
// (cancel).
std::vector<std::optional<std::u16string>> ReadAnswers(const std::string& path) {
  Value root = JSON::ReadJson(ReadTextFile(path, Encoding::kUtf8));
  const std::string bad = path + ": the answers must be a JSON array of strings and nulls";
  if (!root.IsArray() || !JSON::ReaderErrors().empty()) throw CommandLineError(bad);
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
  if (platform::DesktopDialogsAvailable()) return "gui";
  if (platform::StandardInputIsTerminal()) return "tty";
  return "script";
}

std::shared_ptr<platform::DialogService> MakeGuiDialogs() {
  std::shared_ptr<platform::DialogService> dialogs = platform::MakeDesktopDialogs();
  if (!dialogs) throw CommandLineError("--dialogs gui needs a display and zenity");
  return dialogs;
}

std::shared_ptr<platform::DialogService> MakeDialogs(const GlobalOptions& options) {
  std::string mode = options.dialogs.value_or(options.answers ? "script" : DefaultDialogMode());
  if (options.answers && mode != "script") throw CommandLineError("--answers goes with --dialogs script");
  if (mode == "script") {
    return std::make_shared<platform::ScriptedDialogs>(options.answers ? ReadAnswers(*options.answers)
                                                                       : std::vector<std::optional<std::u16string>>{});
  }
  if (mode == "tty") return std::make_shared<platform::TerminalDialogs>(0, 2);
  if (mode == "gui") return MakeGuiDialogs();
  throw CommandLineError("--dialogs takes tty, gui or script");
}

std::FILE* OpenDialogLog(const std::optional<std::string>& path) {
  if (!path) return nullptr;
  if (*path == "-") return stderr;
  std::FILE* log = std::fopen(path->c_str(), "w");
  if (log == nullptr) throw CommandLineError(*path + ": cannot write the dialog log");
  return log;
}

void ApplyCodePage(const std::optional<std::string>& text) {
  if (!text) return;
  int number = 0;
  try {
    number = std::stoi(*text);
  } catch (const std::exception&) {
  }
  if (!platform::CodePage::SetCurrent(number)) {
    throw CommandLineError("unsupported code page " + *text + " (874, 932, 936, 949, 950, 1250-1258)");
  }
}

void ApplyDecimalSeparator(const std::optional<std::string>& text) {
  if (!text) return;
  std::u16string separator = ArgumentText(*text);
  if (separator.size() != 1) throw CommandLineError("--decimal-separator takes one character");
  platform::Locale::SetDecimalSeparator(separator[0]);
}

}  // namespace

Context ApplyGlobalOptions(std::vector<std::string>& args) {
  GlobalOptions options;
  const std::pair<const char*, std::optional<std::string>*> known[] = {
      {"--codepage", &options.codepage},   {"--decimal-separator", &options.decimal},
      {"--dialogs", &options.dialogs},     {"--answers", &options.answers},
      {"--dialog-log", &options.dialog_log},
  };
  size_t i = 0;
  for (; i < args.size(); ++i) {
    bool matched = false;
    for (const auto& [name, slot] : known) {
      if (args[i] == name) {
        if (i + 1 >= args.size()) throw CommandLineError(std::string("option ") + name + " needs a value");
        *slot = args[++i];
        matched = true;
      }
    }
    if (!matched) break;
  }
  args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i));
  ApplyCodePage(options.codepage);
  ApplyDecimalSeparator(options.decimal);
  static std::shared_ptr<RecordingDialogs> recorder;
  recorder = std::make_shared<RecordingDialogs>(MakeDialogs(options), OpenDialogLog(options.dialog_log));
  platform::SetDialogs(recorder);
  return Context{recorder.get()};
}

}  // namespace comsvc::cli
