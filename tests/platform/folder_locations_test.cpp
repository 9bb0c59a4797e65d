#include "platform/folder_locations.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/utf8.h"
#include "platform/code_page.h"
#include "support/scoped_env.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

class FolderLocations : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::CodePage::SetCurrent(936)); }
  void TearDown() override { platform::CodePage::SetCurrent(1252); }

  std::string Home() const { return home_.Path().string(); }
  void WriteUserDirs(const std::filesystem::path& config, const std::string& content) {
    std::filesystem::create_directories(config);
    std::ofstream(config / "user-dirs.dirs", std::ios::binary) << content;
  }

  TempDir home_;
  ScopedEnv home_env_{"HOME", home_.Path().string()};
  ScopedEnv config_env_{"XDG_CONFIG_HOME", std::nullopt};
};

struct UserDirsCase {
  const char* name;
  const char* content;   // nullptr: no file
  const char* expected;  // "~" stands for $HOME
};

const UserDirsCase kUserDirs[] = {
    {"no file", nullptr, "~/Documents"},
    {"no documents line", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "~/Documents"},
    {"relative to home", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", "~/Papers"},
    {"localised name", "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n", "~/\xE6\x96\x87\xE6\xA1\xA3"},
    {"moved elsewhere", "XDG_DOCUMENTS_DIR=\"/mnt/other drive/Docs\"\n", "/mnt/other drive/Docs"},
    {"blanks around", "  XDG_DOCUMENTS_DIR =\t\"/srv/docs\"  \n", "/srv/docs"},
    {"escapes", "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\\\"\n", "~/My \"Docs\\"},
    {"first valid line wins",
     "# XDG_DOCUMENTS_DIR=\"/commented\"\nXDG_DOCUMENTS_DIR=relative\nXDG_DOCUMENTS_DIR=\"$HOME\"\n"
     "XDG_DOCUMENTS_DIRS=\"/other\"\nXDG_DOCUMENTS_DIR=\"/first\"\nXDG_DOCUMENTS_DIR=\"/second\"\n",
     "/first"},
};

TEST_F(FolderLocations, DocumentsFollowTheUserDirsFile) {
  for (const UserDirsCase& c : kUserDirs) {
    SCOPED_TRACE(c.name);
    std::filesystem::path config = home_.Path() / ".config";
    std::filesystem::remove_all(config);
    if (c.content) WriteUserDirs(config, c.content);
    std::string expected = c.expected;
    if (expected[0] == '~') expected = Home() + expected.substr(1);
    EXPECT_EQ(PersonalFolderPath(), Utf8ToUtf16(expected));
  }
}

TEST_F(FolderLocations, ConfigHomeLocatesTheUserDirsFileAndTheAppData) {
  TempDir config;
  WriteUserDirs(config.Path(), "XDG_DOCUMENTS_DIR=\"/from/config/home\"\n");
  WriteUserDirs(home_.Path() / ".config", "XDG_DOCUMENTS_DIR=\"/from/home\"\n");
  {
    ScopedEnv absolute("XDG_CONFIG_HOME", config.Path().string());
    EXPECT_EQ(PersonalFolderPath(), u"/from/config/home");
    EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(config.Path().string()));
  }
  {
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(PersonalFolderPath(), u"/from/home");
    EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(Home() + "/.config"));
  }
  EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(Home() + "/.config"));
}

TEST_F(FolderLocations, PathsPassThroughTheCodePage) {
  WriteUserDirs(home_.Path() / ".config", "XDG_DOCUMENTS_DIR=\"/data/\xE6\x96\x87\xE6\xA1\xA3 caf\xC3\xA9\"\n");
  EXPECT_EQ(PersonalFolderPath(), u"/data/\u6587\u6863 caf\u00E9");
  ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
  EXPECT_EQ(PersonalFolderPath(), u"/data/?? caf\u00E9");
}

TEST_F(FolderLocations, PathsLongerThanTheBufferGiveEmptyText) {
  // 259 code-page bytes fit with the NUL; 260 do not. A Chinese character
  // takes two bytes.
  const std::string fits = "/" + std::string(258, 'a');
  const std::string too_long = "/" + std::string(259, 'a');
  const std::string wide_fits = "/" + std::string(256, 'a') + "\xE6\x96\x87";  // 259 bytes in code page 936
  for (const auto& [path, expected] :
       {std::pair{fits, Utf8ToUtf16(fits)}, std::pair{too_long, std::u16string()},
        std::pair{wide_fits, Utf8ToUtf16(wide_fits)}, std::pair{wide_fits + "b", std::u16string()}}) {
    ScopedEnv config("XDG_CONFIG_HOME", path);
    EXPECT_EQ(AppDataFolderPath(), expected) << path.size();
  }
}

TEST_F(FolderLocations, SystemDirectoryHoldsTheLoadedCLibrary) {
  std::u16string folder = SystemDirectoryPath();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), u'/');
  std::filesystem::path path(EncodeUtf8(folder));
  EXPECT_TRUE(path.is_absolute());
  // The C library mapped into this process lives in that folder.
  std::ifstream maps("/proc/self/maps");
  std::string line;
  bool found = false;
  while (std::getline(maps, line)) {
    size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::filesystem::path mapped = std::filesystem::canonical(line.substr(slash));
    if (mapped.filename().string().rfind("libc.so", 0) == 0 || mapped.filename().string().rfind("libc-", 0) == 0) {
      found = mapped.parent_path() == path;
      break;
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace comsvc
