// comsvc md5 [--file PATH | --server 32|16 | --registers] [--encoding E]
//            [TEXT | --text-file FILE]: the two MD5 digests.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "core/value.h"
#include "digest/md5_digest.h"
#include "digest/md5_function.h"

namespace comsvc::cli {

namespace {

constexpr const char* kMd5Usage =
    "comsvc md5 [--file PATH | --server 32|16 | --registers] [--encoding E] [TEXT | --text-file FILE]";

constexpr const char* kMd5Help =
    "usage: comsvc md5 [--file PATH | --server 32|16 | --registers] [--encoding E]\n"
    "                  [TEXT | --text-file FILE]\n"
    "\n"
    "Prints the MD5 digest of TEXT (or of the text of FILE, '-' for standard\n"
    "input) taken as bytes of the ANSI code page, as 32 uppercase hexadecimal\n"
    "digits (Md5_String_Calc of the MD5 class).\n"
    "\n"
    "  --file PATH       the digest of the file's bytes instead (Md5_File_Calc);\n"
    "                    empty output and exit status 1 when it cannot be digested\n"
    "  --server 32|16    the function module's MD5: 32 lowercase digits when the\n"
    "                    value equals 32, else the middle 16 digits\n"
    "  --registers       after the digest, the lines 'RegisterA: N' ... 'RegisterD: N'\n"
    "  --encoding E      encoding of --text-file: utf-8 (default), utf-16le or ansi\n"
    "\n"
    "A text of more than 32767 ANSI bytes fails with error 6 (exit status 1).\n";

// The text to digest: TEXT or the contents of --text-file, exactly one.
std::u16string MessageText(const Arguments& arguments) {
  const Encoding encoding = ParseEncoding(arguments.Get("encoding"));
  const std::optional<std::string> text_file = arguments.Get("text-file");
  arguments.RequirePositionals(text_file ? 0 : 1, text_file ? 0 : 1, kMd5Usage);
  if (text_file) return ReadTextFile(*text_file, encoding);
  return ArgumentText(arguments.Positionals().front());
}

int DigestFile(const Arguments& arguments) {
  arguments.RequirePositionals(0, 0, kMd5Usage);
  if (arguments.Has("text-file")) throw CommandLineError("usage: " + std::string(kMd5Usage));
  MD5 md5;
  const std::u16string digest = md5.Md5_File_Calc(ArgumentText(*arguments.Get("file")));
  if (digest.empty()) return kExitFailure;
  Print(digest + u"\n");
  return kExitOk;
}

int DigestWithFunction(const Arguments& arguments) {
  // The value goes to the module as text; its comparison with 32 reads
  // numeric text as a number.
  const Value stype(ArgumentText(*arguments.Get("server")));
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

}  // namespace

int RunMd5(Context&, const std::vector<std::string>& args) {
  Arguments arguments(args, {{"file", 1}, {"server", 1}, {"registers"}, {"encoding", 1}, {"text-file", 1}});
  if (PrintedHelp(arguments, kMd5Help)) return kExitOk;
  const int modes = arguments.Has("file") + arguments.Has("server") + arguments.Has("registers");
  if (modes > 1) throw CommandLineError("usage: " + std::string(kMd5Usage));
  if (arguments.Has("file")) return DigestFile(arguments);
  if (arguments.Has("server")) return DigestWithFunction(arguments);
  return DigestWithClass(arguments);
}

}  // namespace comsvc::cli
