#include "platform/ini_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/utf8.h"
#include "platform/code_page.h"
#include "support/test_support.h"

namespace comsvc::RWINI {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// This test program holds the library, so its folder is the module's folder.
std::filesystem::path ProgramFolder() { return std::filesystem::canonical("/proc/self/exe").parent_path(); }

std::u16string PathText(const std::filesystem::path& path) { return Utf8ToUtf16(path.string()); }

class IniSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
    IniNameIsPath = false;
  }
  void TearDown() override { IniNameIsPath = false; }

  // Names the file for the next call by its full path.
  void UsePath(const std::filesystem::path& path) {
    IniName = PathText(path);
    IniNameIsPath = true;
  }

  TempDir dir_;
};

TEST_F(IniSettings, BareNameIsBesideTheModule) {
  EXPECT_EQ(IniFilePath(u"settings"), PathText(ProgramFolder() / "settings.ini"));
}

TEST_F(IniSettings, FullPathIsUsedOnceAsItIs) {
  IniNameIsPath = true;
  EXPECT_EQ(IniFilePath(u"/some/where/file.cfg"), u"/some/where/file.cfg");
  EXPECT_FALSE(IniNameIsPath);
  EXPECT_EQ(IniFilePath(u"file"), PathText(ProgramFolder() / "file.ini"));
  // Reads and writes end with the flag cleared too.
  UsePath(dir_.Path() / "a.ini");
  IniWrite(u"S", u"k", u"v");
  EXPECT_FALSE(IniNameIsPath);
  UsePath(dir_.Path() / "a.ini");
  EXPECT_EQ(IniRead(u"S", u"k", u""), u"v");
  EXPECT_FALSE(IniNameIsPath);
}

TEST_F(IniSettings, MissingValueReturnsTheDefaultAndStoresIt) {
  const std::filesystem::path file = dir_.Path() / "new.ini";
  UsePath(file);
  EXPECT_EQ(IniRead(u"S", u"k", u"fallback"), u"fallback");
  EXPECT_EQ(ReadBytes(file), "[S]\r\nk=fallback\r\n");

  dir_.Write("empty.ini", "[S]\r\nk=\r\nj=1\r\n");
  UsePath(dir_.Path() / "empty.ini");
  EXPECT_EQ(IniRead(u"S", u"k", u"filled"), u"filled");
  EXPECT_EQ(ReadBytes(dir_.Path() / "empty.ini"), "[S]\r\nk=filled\r\nj=1\r\n");
}

TEST_F(IniSettings, ValuesComeBackUpTo1999Bytes) {
  const std::string fits(1999, 'a');
  const std::string too_long(2500, 'b');
  dir_.Write("long.ini", "[S]\r\nfits=" + fits + "\r\nlong=" + too_long + "\r\n");
  UsePath(dir_.Path() / "long.ini");
  EXPECT_EQ(IniRead(u"S", u"fits", u""), Utf8ToUtf16(fits));
  UsePath(dir_.Path() / "long.ini");
  EXPECT_EQ(IniRead(u"S", u"long", u""), Utf8ToUtf16(too_long.substr(0, 1999)));
}

TEST_F(IniSettings, RefusedWriteGivesZero) {
  UsePath(dir_.Path() / "missing folder" / "x.ini");
  Value result = IniWrite(u"S", u"k", u"v");
  ASSERT_EQ(result.Kind(), ValueKind::kInteger);
  EXPECT_EQ(result.AsInteger(), 0);
  UsePath(dir_.Path() / "x.ini");
  EXPECT_EQ(IniWrite(u"S", u"k", u"two\nlines").AsInteger(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "x.ini"));
}

}  // namespace
}  // namespace comsvc::RWINI
