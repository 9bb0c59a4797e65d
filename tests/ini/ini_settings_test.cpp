#include <comsvc/ini_settings.h>

#include <gtest/gtest.h>

#include <comsvc/utf8.h>
#include <comsvc/code_page.h>
#include "support/local_channels.h"
#include "support/test_support.h"

namespace comsvc::RWINI {
namespace {

using testing::ReadBytes;

std::u16string PathText(const std::filesystem::path& path) { return Utf8ToUtf16(path.string()); }

class IniSettings : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::CodePage::SetCurrent(1252)); }

  // Names the file for the next call by its full path.
  std::filesystem::path UsePath(const std::string& name) {
    SetIniPath(PathText(dir_.Path() / name));
    return dir_.Path() / name;
  }

  testing::TempDir dir_;
};

TEST_F(IniSettings, BareNameIsBesideTheModuleAndAFullPathServesOneCall) {
  // This test program holds the library, so its folder is the module's folder.
  const std::filesystem::path folder = testing::ProgramFolder();
  EXPECT_EQ(IniFilePath(u"settings"), PathText(folder / "settings.ini"));
  SetIniPath(u"/some/where/file.cfg");
  EXPECT_EQ(IniFilePath(IniName()), u"/some/where/file.cfg");
  EXPECT_FALSE(IniNameIsPath());
  EXPECT_EQ(IniFilePath(u"file"), PathText(folder / "file.ini"));
}

TEST_F(IniSettings, MissingOrEmptyValueReturnsTheDefaultAndStoresIt) {
  // The default goes to the file that was read, not to one beside the module.
  const std::filesystem::path created = UsePath("new.ini");
  EXPECT_EQ(IniRead(u"S", u"k", u"fallback"), u"fallback");
  EXPECT_EQ(ReadBytes(created), "[S]\r\nk=fallback\r\n");
  EXPECT_FALSE(IniNameIsPath());

  dir_.Write("old.ini", "[S]\r\nk=\r\nj=1\r\n");
  UsePath("old.ini");
  EXPECT_EQ(IniRead(u"S", u"k", u"filled"), u"filled");
  EXPECT_EQ(ReadBytes(dir_.Path() / "old.ini"), "[S]\r\nk=filled\r\nj=1\r\n");
}

// A file in a missing folder, and values with a line break, which Windows'
// profile functions would write raw (stray lines, bogus keys), on every system.
TEST_F(IniSettings, RefusedWritesGiveIntegerZeroAndLeaveTheFile) {
  dir_.Write("v.ini", "[S]\r\nk=1\r\n");
  const std::pair<const char*, std::u16string> cases[] = {
      {"missing folder/x.ini", u"v"}, {"v.ini", u"one\ntwo"}, {"v.ini", u"one\rtwo=2"}, {"v.ini", u"\r\n"}};
  for (const auto& [name, value] : cases) {
    UsePath(name);
    const Value result = IniWrite(u"S", u"k", value);
    EXPECT_EQ(std::pair(result.Kind(), result.AsInteger()), std::pair(ValueKind::kInteger, int16_t{0})) << name;
  }
  EXPECT_EQ(ReadBytes(dir_.Path() / "v.ini"), "[S]\r\nk=1\r\n");
}

TEST_F(IniSettings, EmptySectionOrKeyNamesGetTheSameAnswersOnEverySystem) {
  // Windows' ANSI profile functions fail hard on an empty name; every build
  // answers such a name from comsvc's own engine.
  dir_.Write("e.ini", "top=1\r\n[S]\r\nk=v\r\n=bare\r\n");
  struct Case { std::u16string section, key, answer; };
  const Case kReads[] = {{u"", u"top", u"1"}, {u"", u"", u"d"}, {u"S", u"", u"bare"}, {u"", u"k", u"d"}};
  for (const Case& c : kReads) {
    UsePath("e.ini");
    EXPECT_EQ(IniRead(c.section, c.key, u"d"), c.answer) << EncodeUtf8(c.section) << "/" << EncodeUtf8(c.key);
  }
  UsePath("e.ini");
  EXPECT_EQ(IniWrite(u"", u"new", u"x").AsInteger(), 1);
  UsePath("e.ini");
  EXPECT_EQ(IniWrite(u"S", u"", u"y").AsInteger(), 1);
  // Each default read was written back, to the section's keys.
  EXPECT_EQ(ReadBytes(dir_.Path() / "e.ini"), "top=1\r\n=d\r\nk=d\r\nnew=x\r\n[S]\r\nk=v\r\n=y\r\n");
}

}  // namespace
}  // namespace comsvc::RWINI
