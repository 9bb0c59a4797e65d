// comsvc ini, folders and notice, run as a user runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/scoped_env.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::ReadBytes;
using testing::RunComsvc;
using testing::ScopedEnv;
using testing::TempDir;

TEST(IniCommand, WriteThenReadByPath) {
  TempDir dir;
  const std::string path = (dir.Path() / "app.ini").string();
  auto written = RunComsvc({"ini", "write", "--path", path, "Window", "Width", "640"});
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(written.out, "1\n");
  auto read = RunComsvc({"ini", "read", "--path", path, "window", "WIDTH", "800"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, "640\n");
  EXPECT_EQ(ReadBytes(path), "[Window]\r\nWidth=640\r\n");
}

TEST(IniCommand, NameIsBesideTheProgram) {
  const std::string name = "comsvc_cli_test_" + std::to_string(::getpid());
  const std::filesystem::path file = std::filesystem::path(COMSVC_BINARY).parent_path() / (name + ".ini");
  auto written = RunComsvc({"ini", "write", "--name", name, "S", "k", "v"});
  EXPECT_EQ(written.status, 0);
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=v\r\n");
  std::filesystem::remove(file);
}

TEST(IniCommand, RefusedWriteExitsWithOne) {
  TempDir dir;
  auto nowhere = RunComsvc({"ini", "write", "--path", (dir.Path() / "none" / "x.ini").string(), "S", "k", "v"});
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_EQ(nowhere.out, "0\n");
  auto two_lines = RunComsvc({"ini", "write", "--path", (dir.Path() / "x.ini").string(), "S", "k", "a\nb"});
  EXPECT_EQ(two_lines.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "x.ini"));
}

TEST(IniCommand, TextCrossesInTheChosenCodePage) {
  TempDir dir;
  const std::string path = (dir.Path() / "zh.ini").string();
  // 设置 / 名字 / 中文 in GBK.
  EXPECT_EQ(RunComsvc({"--codepage", "936", "ini", "write", "--path", path, "\xE8\xAE\xBE\xE7\xBD\xAE",
                       "\xE5\x90\x8D\xE5\xAD\x97", "\xE4\xB8\xAD\xE6\x96\x87"})
                .status,
            0);
  EXPECT_EQ(ReadBytes(path), "[\xC9\xE8\xD6\xC3]\r\n\xC3\xFB\xD7\xD6=\xD6\xD0\xCE\xC4\r\n");
  auto read = RunComsvc(
      {"--codepage", "936", "ini", "read", "--path", path, "\xE8\xAE\xBE\xE7\xBD\xAE", "\xE5\x90\x8D\xE5\xAD\x97"});
  EXPECT_EQ(read.out, "\xE4\xB8\xAD\xE6\x96\x87\n");
  auto latin = RunComsvc({"--codepage", "1252", "ini", "write", "--path", path, "S", "k", "\xE4\xB8\xAD\xC3\xA9"});
  EXPECT_EQ(latin.status, 0);
  EXPECT_NE(ReadBytes(path).find("[S]\r\nk=?\xE9\r\n"), std::string::npos);
}

TEST(IniCommand, UsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"ini", "read", "S"},
           {"ini", "erase", "S", "k"},
           {"ini", "read", "--name", "a", "--path", "/tmp/b.ini", "S", "k"},
           {"ini", "write", "S", "k", "v", "extra"},
       }) {
    EXPECT_EQ(RunComsvc(args).status, 2) << args[1];
  }
}

TEST(FoldersCommand, PrintsTheThreeFolders) {
  TempDir home;
  std::filesystem::create_directories(home.Path() / "cfg");
  home.Write("cfg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n");
  ScopedEnv home_env("HOME", home.Path().string());
  ScopedEnv config_env("XDG_CONFIG_HOME", (home.Path() / "cfg").string());
  const std::string documents = home.Path().string() + "/\xE6\x96\x87\xE6\xA1\xA3";
  const std::string config = (home.Path() / "cfg").string();

  auto lines = RunComsvc({"--codepage", "936", "folders"});
  EXPECT_EQ(lines.status, 0);
  const std::string expected_start =
      "PersonalFolderPath: " + documents + "\nAppDataFolderPath: " + config + "\nSystemDirectoryPath: /";
  EXPECT_EQ(lines.out.substr(0, expected_start.size()), expected_start);

  auto json = RunComsvc({"--codepage", "936", "folders", "--json"});
  EXPECT_EQ(json.status, 0);
  const std::string json_start = "{\"PersonalFolderPath\":\"" + documents + "\",\"AppDataFolderPath\":\"" + config +
                                 "\",\"SystemDirectoryPath\":\"/";
  EXPECT_EQ(json.out.substr(0, json_start.size()), json_start);

  // In a code page without Chinese the documents folder reads with "?".
  auto latin = RunComsvc({"--codepage", "1252", "folders"});
  EXPECT_NE(latin.out.find("PersonalFolderPath: " + home.Path().string() + "/??\n"), std::string::npos);
}

TEST(NoticeCommand, ReturnsWhenTheWindowUnloadsItself) {
  ScopedEnv headless("DISPLAY", "");
  const auto start = std::chrono::steady_clock::now();
  auto run = RunComsvc({"notice", "Saved", "--then", "1000", "Still here", "--then", "5000", "too late"});
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(run.status, 0);
  EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
  EXPECT_LT(elapsed, std::chrono::milliseconds(3500));
}

TEST(NoticeCommand, UsageErrors) {
  ScopedEnv headless("DISPLAY", "");
  EXPECT_EQ(RunComsvc({"notice"}).status, 2);
  EXPECT_EQ(RunComsvc({"notice", "text", "--then", "soon", "x"}).status, 2);
  EXPECT_EQ(RunComsvc({"notice", "text", "--then", "100"}).status, 2);
}

}  // namespace
}  // namespace comsvc
