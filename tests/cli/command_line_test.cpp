// What every subcommand shares: option forms, usage errors, unreadable
// inputs, unwritable output, a reason for every failure, and memory running
// out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <comsvc/version.h>
#include "support/loopback_peer.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

using Args = std::vector<std::string>;

// Status, standard output and standard error, to compare in one go.
std::tuple<int, std::string, std::string> Outcome(const ProcessResult& r) { return {r.status, r.out, r.err}; }

TEST(CommandLine, OptionsTakeBothFormsAndGlobalOptionsStandAnywhere) {
  const std::string zhong = "\xE4\xB8\xAD";  // 中, D6 D0 in code page 936
  const std::pair<Args, std::string> accepted[] = {
      {{"--codepage=936", "url", "encode", zhong}, "%D6%D0\n"},
      {{"url", "encode", zhong, "--codepage", "936"}, "%D6%D0\n"},
      {{"url", "--codepage=936", "encode", zhong}, "%D6%D0\n"},
      {{"url", "encode", "--", "--codepage=936"}, "%2D%2Dcodepage%3D936\n"},
  };
  for (const auto& [args, out] : accepted) EXPECT_EQ(Outcome(RunComsvc(args)), std::tuple(0, out, "")) << args.front();
}

TEST(CommandLine, UsageErrorsSayWhatIsWrongAndShowTheUsageOnStandardError) {
  // The arguments and the start of standard error after "comsvc: ".
  const std::pair<Args, std::string> refused[] = {
      {{"--codepage", "936abc", "url", "encode", "x"}, "--codepage takes 874, 932, 936, 949, 950 or 1250 to 1258"},
      {{"url", "encode", "x", "--codepage= 936"},
       "--codepage takes 874, 932, 936, 949, 950 or 1250 to 1258, not ' 936'\nusage: comsvc url"},
      {{"--decimal-separator", "\xF0\x9F\x98\x80", "url", "encode", "x"},
       "--decimal-separator takes one character from U+0001 to U+FFFF"},
      {{"json", "--typed=yes", "-"}, "option --typed takes no value\nusage: comsvc json"},
      {{"md5", "--no-such"}, "unknown option --no-such\nusage: comsvc md5"},
      {{"md5", "a", "b"}, "too many arguments\nusage: comsvc md5"},
      {{"md5", "--server"}, "option --server needs a value\nusage: comsvc md5"},
      {{"--json", "url"}, "--json is not a global option\nusage: comsvc [GLOBAL OPTIONS]"},
      {{}, "no subcommand given\nusage: comsvc [GLOBAL OPTIONS]"},
      {{"post", "--max-reply=0", "http://server/", "a=1"}, "--max-reply takes a number of bytes from 1 to"},
      {{"post", "--max-reply=1073741825", "http://server/", "a=1"},
       "--max-reply takes a number of bytes from 1 to 1073741824, not '1073741825'"},
      {{"post", "--timeout", "1000000000", "http://server/", "a=1"},
       "--timeout takes a number of seconds from 0.001 to 86400, not '1000000000'"},
      {{"md5", "--server", "64", "abc"}, "--server takes 32 or 16, not '64'\nusage: comsvc md5"},
      {{"notice", "x", "--then", "86400001", "y"}, "--then takes a number of milliseconds from 0 to 86400000"},
      {{"ini", "read", "--name", "a", "--path", "x.ini", "S", "k"}, ""},
      {{"notice", "text", "--then", "soon", "x"}, ""}, {{"lint"}, ""},
  };
  for (const auto& [args, err] : refused) {
    const ProcessResult r = RunComsvc(args, "[]", {"DISPLAY="});
    EXPECT_EQ(Outcome(r), std::tuple(2, "", r.err)) << ::testing::PrintToString(args);
    EXPECT_TRUE(r.err.starts_with("comsvc: " + err)) << ::testing::PrintToString(args) << ": " << r.err;
  }
  // The variables that stand in for --codepage and --decimal-separator are held to their rules.
  const std::pair<std::string, std::string> variables[] = {
      {"COMSVC_CODEPAGE=99999", "COMSVC_CODEPAGE takes 874, 932, 936, 949, 950 or 1250 to 1258, not '99999'\n"},
      {"COMSVC_DECIMAL=xyz", "COMSVC_DECIMAL takes one character from U+0001 to U+FFFF, not 'xyz'\n"},
      {"COMSVC_DECIMAL=\xC3", "COMSVC_DECIMAL: invalid UTF-8 at byte offset 0\n"},
  };
  for (const auto& [variable, err] : variables) {
    EXPECT_EQ(Outcome(RunComsvc({"url", "encode", "\xC3\xA9"}, "", {variable})), std::tuple(2, "", "comsvc: " + err));
  }
}

TEST(CommandLine, HelpListsTheVersionOptionsAndTheVersionPrints) {
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"--codepage=936", "--quiet", "--help"}}) {
    const ProcessResult help = RunComsvc(args);
    EXPECT_EQ(help.status, 0) << args.back();
    for (const char* option : {"--version, -V", "--quiet", "--codepage=1252"}) {
      EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
  }
  for (const char* flag : {"--version", "-V"}) EXPECT_EQ(RunComsvc({flag}).out, "comsvc " COMSVC_VERSION "\n") << flag;
}

TEST(CommandLine, UnreadableInputsNameTheFileAndTheSystemsReason) {
  TempDir dir;
  const std::string folder = dir.Path().string(), missing = (dir.Path() / "missing.json").string();
  const std::string script = dir.Write("script.json", "[\"x\"]").string();
  const std::string locked = dir.Write("locked.json", "[]").string();
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  struct Case { Args args; std::string path, reason; };
  std::vector<Case> cases = {
      {{"json", folder}, folder, "Is a directory"}, {{"eval", script, folder}, folder, "Is a directory"},
      {{"md5", "--text-file", folder}, folder, "Is a directory"},
      {{"--answers", folder, "eval", script}, folder, "Is a directory"},
      {{"json", missing}, missing, "No such file or directory"},
      {{"--dialog-log", missing + "/log", "eval", script}, missing + "/log", "No such file or directory"},
      {{"lint", missing}, missing, "No such file or directory"},
  };
  if (::geteuid() != 0) cases.push_back({{"json", "--typed", locked}, locked, "Permission denied"});
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(RunComsvc(c.args)), std::tuple(2, "", "comsvc: " + c.path + ": " + c.reason + "\n"))
        << c.args.front();
  }
}

// Nothing waits on a FIFO or reads a device for ever: a named input that is
// not a regular file is refused, an INI file or user-dirs.dirs that is not
// one reads as a missing one (the default, nothing written; the folder's
// fallback), and an input past 1 GiB is error 7 before it is read.
TEST(CommandLine, InputsThatAreNotRegularFilesOrTooLargeEndAtOnce) {
  TempDir dir;
  const std::string fifo = (dir.Path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = dir.Write("big.ini", "").string();
  std::filesystem::resize_file(big, (uintmax_t{1} << 30) + 1);  // sparse
  for (const auto& [config, target] : {std::pair{"zero", "/dev/zero"}, std::pair{"fifo-config", fifo.c_str()}}) {
    std::filesystem::create_directory(dir.Path() / config);
    std::filesystem::create_symlink(target, dir.Path() / config / "user-dirs.dirs");
  }
  const std::string home = "HOME=" + dir.Path().string();
  const std::string documents = "PersonalFolderPath: " + dir.Path().string() + "/Documents\n";
  struct Case { Args args, env; int status; std::string out_start, err; };  // out_start: the whole output when empty
  const Case cases[] = {
      {{"json", fifo}, {}, 2, "", "comsvc: " + fifo + ": not a regular file\n"},
      {{"md5", "--text-file", "/dev/zero"}, {}, 2, "", "comsvc: /dev/zero: not a regular file\n"},
      {{"json", big}, {}, 1, "", "comsvc: " + big + ": more than 1073741824 bytes\nerror 7: Out of memory\n"},
      {{"ini", "read", "--path", "/dev/zero", "S", "K", "d"}, {}, 0, "d\n", ""},
      {{"ini", "read", "--path", fifo, "S", "K", "d"}, {}, 0, "d\n", ""},
      {{"ini", "read", "--path", big, "S", "K", "d"}, {}, 1, "", "error 7: Out of memory\n"},
      {{"folders"}, {home, "XDG_CONFIG_HOME=" + (dir.Path() / "zero").string()}, 0, documents, ""},
      {{"folders"}, {home, "XDG_CONFIG_HOME=" + (dir.Path() / "fifo-config").string()}, 0, documents, ""},
  };
  for (const Case& c : cases) {
    // A hang ends after 30 s with status 124.
    Args argv = {"/usr/bin/timeout", "30", COMSVC_BINARY};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const ProcessResult r = RunProcess(argv, "", c.env);
    const std::string out = r.out.substr(0, c.out_start.empty() ? std::string::npos : c.out_start.size());
    EXPECT_EQ(std::tuple(r.status, out, r.err), std::tuple(c.status, c.out_start, c.err))
        << ::testing::PrintToString(c.args) << ::testing::PrintToString(c.env);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(std::filesystem::file_size(big), (uintmax_t{1} << 30) + 1);
}

TEST(CommandLine, EveryFailureSaysWhyOnStandardError) {
  TempDir dir;
  const std::string missing = (dir.Path() / "missing").string();
  const std::string big = dir.Write("big.bin", "").string();
  std::filesystem::resize_file(big, 268435456);  // sparse: one byte past the limit
  const std::string text = dir.Write("text.json", "hello").string();
  const std::string lone_lead = dir.Write("lone.json", "[\"a\x81\x20" "b\"]").string();
  const std::string c1_filler = dir.Write("c1.json", "[\"\x81\"]").string();
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/form";
  struct Case { Args args; int status; std::string err; };  // the whole of standard error
  const Case cases[] = {
      {{"md5", "--file", missing}, 1, "comsvc: " + missing + ": No such file or directory\n"},
      {{"md5", "--file", dir.Path().string()}, 1, "comsvc: " + dir.Path().string() + ": not a regular file\n"},
      {{"md5", "--file", big}, 1,
       "comsvc: " + big + ": 268435456 bytes, more than the 268435455 that can be digested\n"},
      {{"--codepage", "932", "json", "--typed", "--encoding", "ansi", lone_lead}, 2,
       "comsvc: " + lone_lead + ": invalid code page 932 text at byte offset 3\n"},
      {{"--codepage", "1252", "eval", "--encoding", "ansi", c1_filler}, 2,
       "comsvc: " + c1_filler + ": invalid code page 1252 text at byte offset 2\n"},
      {{"--dialogs", "script", "post", "--silent", closed, "a=1"}, 1,
       "comsvc: socket error 10061: Connection is forcefully rejected\n"},
      {{"--dialogs", "script", "post", closed, "a=1"}, 1, "comsvc: box \"ERROR\": Connection is forcefully rejected\n"},
      {{"--dialogs", "script", "request", "http://server/f", "a=1&&b=2"}, 1,
       "comsvc: box \"ERROR\": Invalid Form: item 2 is empty\n"},
      {{"--dialogs", "script", "eval", text}, 0, "comsvc: box \"Parser Error\": Invalid JSON\n"},
      {{"--dialogs", "script", "eval", text, "--quiet"}, 0, ""},
      {{"--dialogs", "script", "--dialog-log", "/dev/null", "eval", text}, 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(RunComsvc(c.args)), std::tuple(c.status, "", c.err)) << c.args[c.args.size() - 2];
  }
}

// Runs comsvc through the shell, `setup` (a shell command) first.
ProcessResult RunComsvcAfter(const std::string& setup, const Args& args) {
  Args argv = {"/bin/sh", "-c", setup + "; exec \"$0\" \"$@\"", COMSVC_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

TEST(CommandLine, OutputThatCannotBeWrittenIsAnIoError) {
  TempDir dir;
  const std::string document = dir.Write("a.json", "[1]").string();
  for (const Args& args : {Args{"json", document}, Args{"md5", "abc"}, Args{"url", "parse", "http://h/p"}}) {
    EXPECT_EQ(Outcome(RunComsvcAfter("exec >/dev/full", args)),
              std::tuple(2, "", "comsvc: cannot write the output: No space left on device\n")) << args.front();
  }
}

// A server that answers every request with `body_bytes` bytes after a status line.
LoopbackPeer ReplyingPeer(size_t body_bytes) {
  return LoopbackPeer([body_bytes](LoopbackPeer& peer, int& fd) {
    peer.ReadRequest(fd);
    SendAll(fd, "HTTP/1.0 200 OK\r\n\r\n" + std::string(body_bytes, 'x'));
  });
}

TEST(PostCommand, KeepsAtMostMaxReplyBytesAndSaysSo) {
  const LoopbackPeer peer = ReplyingPeer(5000);
  const std::string url = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/form";
  struct Case { std::string max_reply; int status; size_t kept; std::string err; };  // kept: bytes of the reply
  const Case cases[] = {
      {"1000", 1, 1000, "comsvc: the reply was cut at 1000 bytes (--max-reply)\n"},
      {"5019", 0, 5019, ""},  // the status line, the blank line, the body
      {"5018", 1, 5018, "comsvc: the reply was cut at 5018 bytes (--max-reply)\n"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = RunComsvc({"post", "--max-reply", c.max_reply, url, "a=1"});
    EXPECT_EQ(std::tuple(r.status, r.out.size(), r.err), std::tuple(c.status, c.kept, c.err)) << c.max_reply;
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// The address sanitizer reserves far more address space than any limit
// that would make these inputs run out of memory.
TEST(OutOfMemory, EndsTheCommandWithErrorSevenUnderAMemoryLimit) {
  if (kSanitized) GTEST_SKIP() << "address space limits do not apply under the address sanitizer";
  TempDir dir;
  std::string doubling = "[{\"set\": {\"name\": \"v\", \"value\": \"ab\"}}";
  const std::string get = "{\"get\": {\"name\": \"v\"}}";
  for (int i = 0; i < 40; ++i) doubling += ", {\"set\": {\"name\": \"v\", \"value\": [" + get + ", " + get + "]}}";
  const std::string script = dir.Write("doubling.json", doubling + "]").string();
  const std::string limit = "ulimit -v 600000; exec </dev/zero";
  for (const Args& args : {Args{"json", "-"}, Args{"eval", script}}) {
    const ProcessResult r = RunComsvcAfter(limit, args);
    EXPECT_EQ(std::tuple(r.status, r.out), std::tuple(1, "")) << args.back();
    EXPECT_TRUE(r.err.ends_with("error 7: Out of memory\n")) << args.back() << ": " << r.err;
  }
  // A reply far larger than the default bound is cut at 64 MiB, within the limit.
  const LoopbackPeer peer = ReplyingPeer(100 << 20);
  const std::string url = "http://127.0.0.1:" + std::to_string(peer.Port()) + "/form";
  // A generous time-out: on a busy machine 64 MiB can take longer than the default 30 s.
  const ProcessResult posted = RunComsvcAfter(limit, {"post", "--timeout", "300", url, "a=1"});
  EXPECT_EQ(std::tuple(posted.status, posted.out.size(), posted.err),
            std::tuple(1, size_t{64} << 20, "comsvc: the reply was cut at 67108864 bytes (--max-reply)\n"));
}

}  // namespace
}  // namespace comsvc::testing
