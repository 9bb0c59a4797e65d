// comsvc's INI engine (the Linux build's) and the system's profile API, on one
// corpus: the values read and the files written must agree byte for byte,
// except where a row names a known quirk of wine's implementation.
#include <windows.h>
// The system names its own (non-private) profile function WriteProfileString.
#undef WriteProfileString

#include <gtest/gtest.h>

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

// Both must agree, unless `wine_quirk` names where wine's implementation differs.
void ExpectAgreement(const char* name, const char* wine_quirk, const std::string& ours, const std::string& system) {
  if (wine_quirk) {
    EXPECT_NE(ours, system) << name << ": the quirk (" << wine_quirk << ") is gone";
  } else {
    EXPECT_EQ(ours, system) << name;
  }
}

TEST(IniAgainstTheSystem, ValuesReadAgree) {
  // A read of `key`, with a default whose trailing blanks are dropped.
  struct Read { const char *name, *section, *key; std::string file = kMain; const char* wine_quirk = nullptr; };
  const Read cases[] = {
      {"plain", "Main", "Name"}, {"case-insensitive names", "MAIN", "name"}, {"empty value", "Main", "Empty"},
      {"blanks around", "Main", "Spaced"}, {"double quotes", "Main", "DQ"}, {"single quotes", "Main", "SQ"},
      {"padding inside quotes", "Main", "DQpad"}, {"unbalanced quote", "Main", "DQopen"},
      {"mixed quotes", "Main", "Mixed"}, {"commented key", "Main", "Commented"},
      {"commented line by its name", "Main", ";Commented", kMain, "answers a comment line by its text"},
      {"hash is text", "Main", "#Hash"}, {"no inline comments", "Main", "Inline"},
      {"first duplicate wins", "Main", "Dup"}, {"indented key", "Main", "Indented"},
      {"line without equals", "Main", "NoEquals"}, {"tabs trimmed", "Main", "Tab"},
      {"split at the first equals", "Main", "a"}, {"padded section name", "Padded Section", "k"},
      {"only the first section", "Main", "Second"}, {"missing key", "Main", "Missing"},
      {"missing section", "Nope", "Name"}, {"LF line ends", "S", "k", "[S]\nk=v\n"},
      {"CR line ends", "S", "k", "[S]\rk=v\r"}, {"UTF-8 BOM", "S", "k", "\xEF\xBB\xBF[S]\r\nk=v\r\n"},
      {"long value cut to the buffer", "S", "k", "[S]\r\nk=" + std::string(2500, 'x') + "\r\n"},
      {"key before any section", "", "k", "k=v\r\n[S]\r\n"},
  };
  testing::TempDir dir;
  for (const Read& c : cases) {
    const std::string path = dir.Write("read.ini", c.file).string();
    char system[2000] = {};
    const DWORD length = GetPrivateProfileStringA(c.section, c.key, "DEF  ", system, sizeof system, path.c_str());
    ExpectAgreement(c.name, c.wine_quirk, ReadProfileString(c.section, c.key, "DEF  ", 2000, path, CodePage(1252)),
                    std::string(system, length));
  }
}

TEST(IniAgainstTheSystem, FilesWrittenAgreeByteForByte) {
  // A write of `value` to `key` of `file` ("": no file, the write creates it).
  struct Write { const char* name; std::string file; const char *section, *key, *value, *wine_quirk = nullptr; };
  const Write cases[] = {
      {"new file", "", "S1", "a", "1"},
      {"new key after the last of its section", "[S]\r\nk=v\r\n[T]\r\nx=y\r\n", "S", "n", "new"},
      {"new section at the end", "[S]\r\nk=v\r\n", "T", "n", "new"},
      {"update keeps the key's spelling", "[S]\r\nKey=old\r\n", "s", "KEY", "new"},
      {"update of the first duplicate", "[S]\r\nd=1\r\nd=2\r\n", "S", "d", "3"},
      {"other lines kept", "[S]\r\n; note\r\nk=v\r\n", "S", "k", "w"},
      {"blank lines kept", "[S]\r\nk=v\r\n\r\n[T]\r\nx=y\r\n", "S", "k", "w", "rewrites the file without blank lines"},
      {"LF line ends kept", "[S]\nk=v\n", "S", "k", "w", "rewrites the file with CR LF"},
  };
  testing::TempDir dir;
  for (const Write& c : cases) {
    const auto ours = dir.Path() / "ours.ini", system = dir.Path() / "system.ini";
    std::filesystem::remove(ours), std::filesystem::remove(system);
    if (!c.file.empty()) dir.Write("ours.ini", c.file), dir.Write("system.ini", c.file);
    EXPECT_TRUE(WriteProfileString(c.section, c.key, c.value, ours.string(), CodePage(1252))) << c.name;
    EXPECT_TRUE(WritePrivateProfileStringA(c.section, c.key, c.value, system.string().c_str())) << c.name;
    ExpectAgreement(c.name, c.wine_quirk, testing::ReadBytes(ours), testing::ReadBytes(system));
  }
}

}  // namespace
}  // namespace comsvc::platform
