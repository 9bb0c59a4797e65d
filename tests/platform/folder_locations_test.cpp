#include "platform/folder_locations.h"

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/utf8.h"
#include "platform/code_page.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

// Each test runs with a fresh home folder, no XDG_CONFIG_HOME and code page 936.
class FolderLocations : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(936));
    setenv("HOME", Home().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
  }

  std::string Home() const { return home_.Path().string(); }
  void WriteUserDirs(const std::filesystem::path& config, const std::string& content) {
    std::filesystem::create_directories(config);
    std::ofstream(config / "user-dirs.dirs", std::ios::binary) << content;
  }

  testing::TempDir home_;
};

struct UserDirsCase {
  const char* name;
  const char* content;   // nullptr: no file
  const char* expected;  // "~" stands for $HOME
};

const UserDirsCase kUserDirs[] = {
    {"no file", nullptr, "~/Documents"},
    {"relative to home", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", "~/Papers"},
    {"localised name", "XDG_DOCUMENTS_DIR=\"$HOME/\xE6\x96\x87\xE6\xA1\xA3\"\n", "~/\xE6\x96\x87\xE6\xA1\xA3"},
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
    std::filesystem::remove_all(home_.Path() / ".config");
    if (c.content) WriteUserDirs(home_.Path() / ".config", c.content);
    const std::string expected = c.expected[0] == '~' ? Home() + (c.expected + 1) : c.expected;
    EXPECT_EQ(PersonalFolderPath(), Utf8ToUtf16(expected));
  }
}

TEST_F(FolderLocations, ConfigHomeLocatesTheUserDirsFileAndTheAppData) {
  testing::TempDir config;
  WriteUserDirs(config.Path(), "XDG_DOCUMENTS_DIR=\"/from/config/home\"\n");
  WriteUserDirs(home_.Path() / ".config", "XDG_DOCUMENTS_DIR=\"/from/home\"\n");
  EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(Home() + "/.config"));
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  EXPECT_EQ(PersonalFolderPath(), u"/from/config/home");
  EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(config.Path().string()));
  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored, as the rules say
  EXPECT_EQ(PersonalFolderPath(), u"/from/home");
  EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(Home() + "/.config"));
}

TEST_F(FolderLocations, PathsPassThroughTheCodePageAndItsBuffer) {
  WriteUserDirs(home_.Path() / ".config", "XDG_DOCUMENTS_DIR=\"/data/\xE6\x96\x87\xE6\xA1\xA3 caf\xC3\xA9\"\n");
  EXPECT_EQ(PersonalFolderPath(), u"/data/\u6587\u6863 caf\u00E9");
  ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
  EXPECT_EQ(PersonalFolderPath(), u"/data/?? caf\u00E9");
  ASSERT_TRUE(platform::CodePage::SetCurrent(936));
  // 259 code-page bytes fit with the NUL; 260 (the paths ending in "b") do
  // not. 文 takes two bytes.
  const std::string ascii = "/" + std::string(258, 'a');
  const std::string wide = "/" + std::string(256, 'a') + "\xE6\x96\x87";
  for (const std::string& path : {ascii, ascii + "b", wide, wide + "b"}) {
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    EXPECT_EQ(AppDataFolderPath(), path.back() == 'b' ? u"" : Utf8ToUtf16(path)) << path.size();
  }
}

TEST_F(FolderLocations, SystemDirectoryHoldsTheLoadedCLibrary) {
  Dl_info libc{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &libc), 0);
  EXPECT_EQ(SystemDirectoryPath(), Utf8ToUtf16(std::filesystem::canonical(libc.dli_fname).parent_path().string()));
}

}  // namespace
}  // namespace comsvc
