#include <comsvc/folder_locations.h>

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include "support/test_support.h"

namespace comsvc {
namespace {

// Each test runs with a fresh home folder holding an empty .config, no
// XDG_CONFIG_HOME and code page 936.
class FolderLocations : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(936));
    setenv("HOME", home_.Path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    std::filesystem::create_directory(home_.Path() / ".config");
  }

  testing::TempDir home_;
};

// The user-dirs.dirs content (nullptr: no file, so it must come first) and
// the documents folder it gives under $HOME.
const std::pair<const char*, const char*> kUserDirs[] = {
    {nullptr, "/Documents"}, {"  XDG_DOCUMENTS_DIR =\t\"$HOME/My \\\"Docs\\\\\"  \n", "/My \"Docs\\"},
    // The first valid line wins: not a comment, a relative path, nor another name.
    {"# XDG_DOCUMENTS_DIR=\"$HOME/commented\"\nXDG_DOCUMENTS_DIR=relative\nXDG_DOCUMENTS_DIRS=\"$HOME/other\"\n"
     "XDG_DOCUMENTS_DIR=\"$HOME/first\"\nXDG_DOCUMENTS_DIR=\"$HOME/second\"\n", "/first"},
};

TEST_F(FolderLocations, DocumentsFollowTheUserDirsFile) {
  for (const auto& [content, expected] : kUserDirs) {
    if (content) home_.Write(".config/user-dirs.dirs", content);
    EXPECT_EQ(PersonalFolderPath(), Utf8ToUtf16(home_.Path().string() + expected)) << (content ? content : "no file");
  }
}

TEST_F(FolderLocations, ConfigHomePassesThroughTheCodePageAndItsBufferUnlessRelative) {
  // 259 code-page bytes fit with the NUL, 260 do not; 文 takes two bytes.
  const std::string fits = "/" + std::string(256, 'a') + "\xE6\x96\x87";
  for (const std::string& path : {fits, fits + "b"}) {
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    EXPECT_EQ(AppDataFolderPath(), path == fits ? Utf8ToUtf16(path) : u"") << path.size();
  }
  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored, as the rules say
  EXPECT_EQ(AppDataFolderPath(), Utf8ToUtf16(home_.Path().string() + "/.config"));
  setenv("XDG_CONFIG_HOME", "/data/\xE6\x96\x87\xE6\xA1\xA3 caf\xC3\xA9", 1);
  ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
  EXPECT_EQ(AppDataFolderPath(), u"/data/?? caf\u00E9");
}

TEST_F(FolderLocations, SystemDirectoryHoldsTheLoadedCLibrary) {
  Dl_info libc{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &libc), 0);
  EXPECT_EQ(SystemDirectoryPath(), Utf8ToUtf16(std::filesystem::canonical(libc.dli_fname).parent_path().string()));
}

}  // namespace
}  // namespace comsvc
