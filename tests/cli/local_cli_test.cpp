// comsvc ini, folders and notice, run as a user runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::ReadBytes;
using testing::RunComsvc;
using testing::TempDir;

TEST(IniCommand, WritesAndReadsBesideTheProgramInTheChosenCodePage) {
  const std::string name = "comsvc_cli_test_" + std::to_string(::getpid());
  const std::filesystem::path beside = std::filesystem::path(COMSVC_BINARY).parent_path() / (name + ".ini");
  const std::string zhong_wen = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "write", "--name", name, "S", "k", zhong_wen}).out, "1\n");
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "read", "--name", name, "s", "K", "d"}).out, zhong_wen + "\n");
  EXPECT_EQ(ReadBytes(beside), "[S]\r\nk=\xD6\xD0\xCE\xC4\r\n");  // in GBK
  std::filesystem::remove(beside);
}

TEST(LocalCommands, FailuresAndUsageErrorsExitWithTheirStatus) {
  TempDir dir;
  auto failed = RunComsvc({"ini", "write", "--path", (dir.Path() / "none" / "x.ini").string(), "S", "k", "v"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "0\n");
  EXPECT_NE(failed.err, "");
  const std::vector<std::string> kUsageErrors[] = {{"ini", "read", "--name", "a", "--path", "x.ini", "S", "k"},
                                                   {"notice", "text", "--then", "soon", "x"}};
  for (const std::vector<std::string>& args : kUsageErrors) {
    EXPECT_EQ(RunComsvc(args, "", {"DISPLAY="}).status, 2) << args[0];
  }
}

TEST(FoldersCommand, PrintsTheThreeFolders) {
  TempDir home;
  home.Write("user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n");  // 文档
  const std::string config = home.Path().string();
  const std::string expected = "PersonalFolderPath: " + config + "/\xE6\x96\x87\xE6\xA1\xA3\nAppDataFolderPath: " +
                               config + "\nSystemDirectoryPath: /";
  auto run = RunComsvc({"--codepage", "936", "folders"}, "", {"HOME=" + config, "XDG_CONFIG_HOME=" + config});
  EXPECT_EQ(run.out.substr(0, expected.size()), expected);
}

TEST(NoticeCommand, ReturnsWhenTheWindowUnloadsItself) {
  const auto start = std::chrono::steady_clock::now();
  auto run = RunComsvc({"notice", "Saved", "--then", "1000", "Later", "--then", "60000", "too late"}, "", {"DISPLAY="});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.status, 0);
  // Never early; late on a busy machine, but not waiting for the last text.
  EXPECT_GE(elapsed, std::chrono::seconds(2));
  EXPECT_LT(elapsed, std::chrono::seconds(60));
}

}  // namespace
}  // namespace comsvc
