// comsvc ini, folders and notice, run as a user runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::ReadBytes;
using testing::RunComsvc;
using testing::TempDir;

const char kSettings[] = "\xE8\xAE\xBE\xE7\xBD\xAE", kName[] = "\xE5\x90\x8D\xE5\xAD\x97";  // 设置, 名字

TEST(IniCommand, WritesAndReadsInTheChosenCodePage) {
  TempDir dir;
  const std::string path = (dir.Path() / "app.ini").string();
  auto written = RunComsvc({"ini", "write", "--path", path, "Window", "Width", "640"});
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(written.out, "1\n");
  EXPECT_EQ(RunComsvc({"ini", "read", "--path", path, "window", "WIDTH", "800"}).out, "640\n");
  // 中文 goes to the file in GBK, and comes back.
  const std::string zhong_wen = "\xE4\xB8\xAD\xE6\x96\x87";
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "write", "--path", path, kSettings, kName, zhong_wen}).status, 0);
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "read", "--path", path, kSettings, kName}).out, zhong_wen + "\n");
  EXPECT_EQ(ReadBytes(path), "[Window]\r\nWidth=640\r\n[\xC9\xE8\xD6\xC3]\r\n\xC3\xFB\xD7\xD6=\xD6\xD0\xCE\xC4\r\n");

  const std::string name = "comsvc_cli_test_" + std::to_string(::getpid());
  const std::filesystem::path beside = std::filesystem::path(COMSVC_BINARY).parent_path() / (name + ".ini");
  EXPECT_EQ(RunComsvc({"ini", "write", "--name", name, "S", "k", "v"}).status, 0);
  EXPECT_EQ(ReadBytes(beside), "[S]\r\nk=v\r\n");
  std::filesystem::remove(beside);
}

TEST(LocalCommands, FailuresAndUsageErrorsExitWithTheirStatus) {
  TempDir dir;
  const std::string nowhere = (dir.Path() / "none" / "x.ini").string(), here = (dir.Path() / "x.ini").string();
  const std::pair<std::vector<std::string>, int> kRuns[] = {
      {{"ini", "write", "--path", nowhere, "S", "k", "v"}, 1},
      {{"ini", "write", "--path", here, "S", "k", "a\nb"}, 1},
      {{"ini", "read", "S"}, 2},
      {{"ini", "read", "--name", "a", "--path", here, "S", "k"}, 2},
      {{"notice", "text", "--then", "soon", "x"}, 2},
  };
  for (const auto& [args, status] : kRuns) {
    auto run = RunComsvc(args, "", {"DISPLAY="});
    EXPECT_EQ(run.status, status) << args[1] << " " << args.back();
    if (status == 1) {
      EXPECT_EQ(run.out, "0\n");
    }
  }
  EXPECT_FALSE(std::filesystem::exists(here));
}

TEST(FoldersCommand, PrintsTheThreeFolders) {
  TempDir home;
  home.Write("user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n");
  const std::string config = home.Path().string(), documents = config + "/\xE6\x96\x87\xE6\xA1\xA3";
  const std::vector<std::string> env{"HOME=" + config, "XDG_CONFIG_HOME=" + config};
  auto text = RunComsvc({"--codepage", "936", "folders"}, "", env);
  EXPECT_EQ(text.status, 0);
  const std::string expected =
      "PersonalFolderPath: " + documents + "\nAppDataFolderPath: " + config + "\nSystemDirectoryPath: /";
  EXPECT_EQ(text.out.substr(0, expected.size()), expected);
}

TEST(NoticeCommand, ReturnsWhenTheWindowUnloadsItself) {
  const auto start = std::chrono::steady_clock::now();
  auto run = RunComsvc({"notice", "Saved", "--then", "1000", "Still here", "--then", "5000", "too late"}, "",
                       {"DISPLAY="});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.status, 0);
  EXPECT_GE(elapsed, std::chrono::seconds(2));
  EXPECT_LT(elapsed, std::chrono::milliseconds(3500));
}

}  // namespace
}  // namespace comsvc
