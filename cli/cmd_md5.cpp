// comsvc md5 [--file PATH | --server 32|16 | --registers] [--encoding E]
//            [TEXT | --text-file FILE]: the two MD5 digests.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include <comsvc/value.h>
#include <comsvc/md5_digest.h>
#include <comsvc/md5_function.h>

namespace comsvc::cli {

namespace {

constexpr const char* kMd5Help =
    "usage: comsvc md5 [--file PATH | --server 32|16 | --registers] [--encoding E]\n"
    "                  [TEXT | - | --text-file FILE]\n"
    "\n"
    "Prints the MD5 digest of TEXT (or of the text of FILE, or of standard input\n"
    "when TEXT is '-' or missing) taken as bytes of the ANSI code page, as 32\n"
    "uppercase hexadecimal digits (Md5_String_Calc of the MD5 class).\n"
    "\n"
    "  --file PATH       the digest of the file's bytes instead (Md5_File_Calc);\n"
    "                    empty output and exit status 1 when it cannot be digested\n"
    "                    (missing, not a regular file, unreadable, or longer than\n"
    "                    268435455 bytes), the reason on stderr\n"
    "  --server 32|16    the function module's MD5 instead, in lowercase: all 32\n"
    "                    digits, or the middle 16\n"
    "  --registers       after the digest, the lines 'RegisterA: N' ... 'RegisterD: N'\n"
    "  --encoding E      encoding of --text-file and standard input: utf-8\n"
    "                    (default), utf-16le or ansi\n"
    "\n"
    "A text of more than 32767 ANSI bytes fails with error 6 (exit status 1).\n";

// The longest file the class digests.
constexpr uintmax_t kMaxDigestedFileBytes = 268435455;

// The text to digest: TEXT, the contents of --text-file, or standard input.
std::u16string MessageText(const Arguments& arguments) {
  const Encoding encoding = ParseEncoding(arguments.Get("encoding"));
  const std::optional<std::string> text_file = arguments.Get("text-file");
  arguments.RequirePositionals(0, text_file ? 0 : 1);
  if (text_file) return ReadTextFile(*text_file, encoding);
  const std::vector<std::string>& positionals = arguments.Positionals();
  if (positionals.empty() || positionals.front() == "-") return ReadTextFile("-", encoding);
  return ArgumentText(positionals.front());
}

// Why Md5_File_Calc gave no digest for `path`.
std::string WhyNotDigested(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) return path + ": " + error.message();
  if (!std::filesystem::is_regular_file(status)) return path + ": not a regular file";
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (!error && size > kMaxDigestedFileBytes) {
    return path + ": " + std::to_string(size) + " bytes, more than the " + std::to_string(kMaxDigestedFileBytes) +
           " that can be digested";
  }
  return path + ": cannot be read";
}

int DigestFile(const Arguments& arguments) {
  arguments.RequirePositionals(0, 0);
  if (arguments.Has("text-file")) throw UsageError("--file and --text-file exclude each other");
  const std::string path = *arguments.Get("file");
  MD5 md5;
  const std::u16string digest = md5.Md5_File_Calc(ArgumentText(path));
  if (digest.empty()) {
    PrintError("comsvc: " + WhyNotDigested(path) + "\n");
    return kExitFailure;
  }
  Print(digest + u"\n");
  return kExitOk;
}

int DigestWithFunction(const Arguments& arguments) {
  const std::string form = *arguments.Get("server");
  if (form != "32" && form != "16") throw UsageError("--server takes 32 or 16, not '" + form + "'");
  // The value goes to the module as text; its comparison with 32 reads
  // numeric text as a number.
  const Value stype(ArgumentText(form));
  Print(std::u16string(MD5ForServer::MD5(Value(MessageText(arguments)), stype).AsString()) + u"\n");
  return kExitOk;
}

int DigestWithClass(const Arguments& arguments) {
  MD5 md5;
  std::u16string out = md5.Md5_String_Calc(MessageText(arguments)) + u"\n";
  if (arguments.Has("registers")) {
    out += u"RegisterA: " + md5.RegisterA() + u"\n";
    out += u"RegisterB: " + md5.RegisterB() + u"\n";
    out += u"RegisterC: " + md5.RegisterC() + u"\n";
    out += u"RegisterD: " + md5.RegisterD() + u"\n";
  }
  Print(out);
  return kExitOk;
}

int RunMd5(Context&, const Arguments& arguments) {
  const int modes = arguments.Has("file") + arguments.Has("server") + arguments.Has("registers");
  if (modes > 1) throw UsageError("--file, --server and --registers exclude each other");
  if (arguments.Has("file")) return DigestFile(arguments);
  if (arguments.Has("server")) return DigestWithFunction(arguments);
  return DigestWithClass(arguments);
}

}  // namespace

const Subcommand kMd5Command = {
    "md5", "print the MD5 digest of a text or a file",
    kMd5Help, {{"file", 1}, {"server", 1}, {"registers"}, {"encoding", 1}, {"text-file", 1}}, RunMd5};

}  // namespace comsvc::cli
