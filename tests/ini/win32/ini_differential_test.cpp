// comsvc's INI engine (the Linux build's) and the system's profile API, on one
// corpus: the values read and the files written must agree byte for byte,
// except where a row names a known quirk of wine's implementation.
#include <windows.h>
// The system names its own (non-private) profile function WriteProfileString.
#undef WriteProfileString

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <comsvc/code_page.h>
#include "ini/ini_profile.h"
#include "support/test_support.h"

namespace comsvc::platform {
namespace {

const std::string kMain =
    "[Main]\r\nName=Alpha\r\nEmpty=\r\n Spaced =   spaced value   \r\nDQ=\"double quoted\"\r\nSQ='single quoted'\r\n"
    "DQpad=  \"  padded in quotes  \"  \r\nDQopen=\"open only\r\nMixed=\"mixed'\r\n;Commented=yes\r\n#Hash=yes\r\n"
    "Inline=value ; not a comment?\r\nDup=first\r\nDup=second\r\n  Indented=yes\r\nNoEquals\r\nTab=\tx\t\r\n"
    "a=b=c\r\n[ Padded Section ]\r\nk=inpadded\r\n[Main]\r\nSecond=2\r\n";

// One row of the corpus: a read of `key` (with `text` as its default), or a
// write of `text` to it.
struct Case {
  const char* name;
  std::string file;  // for a write, "": no file, the write creates it
  const char* section;
  const char* key;
  const char* text;
  const char* wine_quirk;  // nullptr: both must agree
};

void ExpectAgreement(const Case& c, const std::string& ours, const std::string& system) {
  if (c.wine_quirk) {
    EXPECT_NE(ours, system) << c.name << ": the quirk (" << c.wine_quirk << ") is gone";
  } else {
    EXPECT_EQ(ours, system) << c.name;
  }
}

class Scratch : public ::testing::Test {
 protected:
  testing::TempDir dir_;
};

TEST_F(Scratch, ValuesReadAgreeWithTheSystem) {
  const Case cases[] = {
      {"plain", kMain, "Main", "Name", "DEF", nullptr},
      {"case-insensitive names", kMain, "MAIN", "name", "DEF", nullptr},
      {"empty value", kMain, "Main", "Empty", "DEF", nullptr},
      {"blanks around", kMain, "Main", "Spaced", "DEF", nullptr},
      {"double quotes", kMain, "Main", "DQ", "DEF", nullptr},
      {"single quotes", kMain, "Main", "SQ", "DEF", nullptr},
      {"padding inside quotes", kMain, "Main", "DQpad", "DEF", nullptr},
      {"unbalanced quote", kMain, "Main", "DQopen", "DEF", nullptr},
      {"mixed quotes", kMain, "Main", "Mixed", "DEF", nullptr},
      {"commented key", kMain, "Main", "Commented", "DEF", nullptr},
      {"commented line by its name", kMain, "Main", ";Commented", "DEF", "answers a comment line by its text"},
      {"hash is text", kMain, "Main", "#Hash", "DEF", nullptr},
      {"no inline comments", kMain, "Main", "Inline", "DEF", nullptr},
      {"first duplicate wins", kMain, "Main", "Dup", "DEF", nullptr},
      {"indented key", kMain, "Main", "Indented", "DEF", nullptr},
      {"line without equals", kMain, "Main", "NoEquals", "DEF", nullptr},
      {"tabs trimmed", kMain, "Main", "Tab", "DEF", nullptr},
      {"split at the first equals", kMain, "Main", "a", "DEF", nullptr},
      {"padded section name", kMain, "Padded Section", "k", "DEF", nullptr},
      {"only the first section", kMain, "Main", "Second", "DEF", nullptr},
      {"default loses trailing blanks", kMain, "Main", "Missing", "DEF  ", nullptr},
      {"missing section", kMain, "Nope", "Name", "DEF", nullptr},
      {"LF line ends", "[S]\nk=v\n", "S", "k", "DEF", nullptr},
      {"CR line ends", "[S]\rk=v\r", "S", "k", "DEF", nullptr},
      {"UTF-8 BOM", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "DEF", nullptr},
      {"long value cut to the buffer", "[S]\r\nk=" + std::string(2500, 'x') + "\r\n", "S", "k", "DEF", nullptr},
      {"key before any section", "k=v\r\n[S]\r\n", "", "k", "DEF", nullptr},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.Write("read.ini", c.file).string();
    char system[2000] = {};
    const DWORD length = GetPrivateProfileStringA(c.section, c.key, c.text, system, sizeof system, path.c_str());
    ExpectAgreement(c, ReadProfileString(c.section, c.key, c.text, 2000, path, CodePage(1252)),
                    std::string(system, length));
  }
}

TEST_F(Scratch, FilesWrittenAgreeWithTheSystemByteForByte) {
  const Case cases[] = {
      {"new file", "", "S1", "a", "1", nullptr},
      {"new key after the last of its section", "[S]\r\nk=v\r\n[T]\r\nx=y\r\n", "S", "n", "new", nullptr},
      {"new section at the end", "[S]\r\nk=v\r\n", "T", "n", "new", nullptr},
      {"update keeps the key's spelling", "[S]\r\nKey=old\r\n", "s", "KEY", "new", nullptr},
      {"update of the first duplicate", "[S]\r\nd=1\r\nd=2\r\n", "S", "d", "3", nullptr},
      {"other lines kept", "[S]\r\n; note\r\nk=v\r\n", "S", "k", "w", nullptr},
      {"blank lines kept", "[S]\r\nk=v\r\n\r\n[T]\r\nx=y\r\n", "S", "k", "w", "rewrites the file without blank lines"},
      {"LF line ends kept", "[S]\nk=v\n", "S", "k", "w", "rewrites the file with CR LF"},
  };
  for (const Case& c : cases) {
    const auto ours = dir_.Path() / "ours.ini", system = dir_.Path() / "system.ini";
    std::filesystem::remove(ours), std::filesystem::remove(system);
    if (!c.file.empty()) dir_.Write("ours.ini", c.file), dir_.Write("system.ini", c.file);
    EXPECT_TRUE(WriteProfileString(c.section, c.key, c.text, ours.string(), CodePage(1252))) << c.name;
    EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.text, system.string().c_str())) << c.name;
    ExpectAgreement(c, testing::ReadBytes(ours), testing::ReadBytes(system));
  }
}

}  // namespace
}  // namespace comsvc::platform
