// comsvc url, post, md5, ini, folders and notice, run as a user runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "support/loopback_peer.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

using Args = std::vector<std::string>;

// Runs comsvc with boxes answered by script and logged to standard error.
ProcessResult RunScripted(Args args) {
  args.insert(args.begin(), {"--dialogs", "script", "--dialog-log", "-"});
  return RunComsvc(args);
}

TEST(HttpCli, UrlParsePrintsExactlyWhatTheHelperGives) {
  const std::pair<Args, std::string> cases[] = {
      {{"url", "parse", "http://server:8080/app/form?x=1"},
       "Scheme: http\nHost: server\nPort: 8080\nPath: /app/form\nQuery: x=1\n"},
      {{"url", "parse", "--json", "server/a\"b?c"},
       "{\"Scheme\":\"\",\"Host\":\"server\",\"Port\":80,\"Path\":\"/a\\\"b\",\"Query\":\"c\"}\n"},
  };
  for (const auto& [args, out] : cases) EXPECT_EQ(RunComsvc(args).out, out) << args.back();
}

TEST(HttpCli, PostPrintsTheRepliesOrTheSocketError) {
  FormServer server;
  const ProcessResult plain = RunScripted({"post", server.Url(), "q=hi"});
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_TRUE(plain.out.starts_with("HTTP/1.1 200 OK\r\n")) << plain.out;
  EXPECT_NE(plain.out.find("\r\n\r\n{\"ok\":true,\"fields\":1,\"echo\":\"hi\"}"), std::string::npos) << plain.out;
  const std::string closed = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/form";
  const ProcessResult shown = RunScripted({"post", closed, "a=1"});
  EXPECT_EQ(std::tie(shown.status, shown.err),
            std::tuple(1, "{\"box\":\"message\",\"text\":\"Connection is forcefully rejected\",\"title\":\"ERROR\","
                          "\"icon\":\"exclamation\"}\n"));
  const ProcessResult silent = RunScripted({"post", "--json", "--silent", closed, "a=1"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(nlohmann::json::parse(silent.out)["socket_error"]["number"], 10061);
}

TEST(LocalCommands, PrintAndExitWithTheirStatus) {
  TempDir dir;
  const std::string abc = "900150983CD24FB0D6963F7D28E17F72\n";
  struct Case { Args args; std::string input; int status; std::string out; };
  const Case cases[] = {
      {{"md5", "abc"}, "", 0, abc}, {{"md5", "--text-file", "-"}, "abc", 0, abc},
      {{"md5", "--file", dir.Write("abc.txt", "abc").string()}, "", 0, abc},
      {{"md5", "--server", "16", "abc"}, "", 0, "3cd24fb0d6963f7d\n"}, {{"md5", std::string(32768, 'x')}, "", 1, ""},
      {{"md5"}, "abc", 0, abc}, {{"md5", "-"}, "abc", 0, abc},
      {{"ini", "write", "--path", (dir.Path() / "none" / "x.ini").string(), "S", "k", "v"}, "", 1, "0\n"},
      {{"--codepage", "932", "md5", "--encoding", "ansi", "-"}, "a\x82\xA0", 0, "E108F8C48684F6A604F0F1710BB9EE31\n"},
      {{"--codepage", "932", "md5", "--encoding", "ansi", "-"}, "a\x82", 2, ""},  // a lead byte at the end
  };
  for (const Case& c : cases) {
    const ProcessResult result = RunComsvc(c.args, c.input);
    EXPECT_EQ(std::tie(result.status, result.out), std::tie(c.status, c.out)) << c.args.back().substr(0, 40);
  }
}

TEST(IniCommand, WritesAndReadsBesideTheProgramInTheChosenCodePage) {
  const std::string name = "comsvc_cli_test_" + std::to_string(::getpid());
  const std::filesystem::path beside = std::filesystem::path(COMSVC_BINARY).parent_path() / (name + ".ini");
  const std::string zhong_wen = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "write", "--name", name, "S", "k", zhong_wen}).out, "1\n");
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "read", "--name", name, "s", "K", "d"}).out, zhong_wen + "\n");
  EXPECT_EQ(ReadBytes(beside), "[S]\r\nk=\xD6\xD0\xCE\xC4\r\n");  // in GBK
  std::filesystem::remove(beside);
}

TEST(FoldersCommand, PrintsTheThreeFolders) {
  TempDir home;
  home.Write("user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n");  // 文档
  const std::string config = home.Path().string();
  const std::string expected = "PersonalFolderPath: " + config + "/\xE6\x96\x87\xE6\xA1\xA3\nAppDataFolderPath: " +
                               config + "\nSystemDirectoryPath: /";
  const ProcessResult run =
      RunComsvc({"--codepage", "936", "folders"}, "", {"HOME=" + config, "XDG_CONFIG_HOME=" + config});
  EXPECT_TRUE(run.out.starts_with(expected)) << run.out;
}

// The window unloads itself two seconds after loading, and the command
// returns then, not a day later with its last text.
TEST(NoticeCommand, ReturnsWhenTheWindowUnloadsItself) {
  const Args args = {"notice", "Saved", "--then", "1000", "Later", "--then", "86400000", "too late"};
  EXPECT_EQ(RunComsvc(args, "", {"DISPLAY="}).status, 0);
}

}  // namespace
}  // namespace comsvc::testing
