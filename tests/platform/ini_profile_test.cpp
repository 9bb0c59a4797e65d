#include "platform/ini_profile.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/test_support.h"

namespace comsvc::platform {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// Converts UTF-8 text with glibc's iconv, independently of the library.
std::string Iconv(const std::string& utf8, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  std::string out(utf8.size() * 4 + 8, '\0');
  char* in_ptr = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* out_ptr = out.data();
  size_t out_left = out.size();
  size_t done = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) throw std::runtime_error("iconv: " + utf8);
  out.resize(out.size() - out_left);
  return out;
}

// How a file is stored, and the code page the process runs under.
struct FileForm {
  const char* name;
  const char* bom;
  const char* iconv_name;  // encoding of the file's text
  int code_page;
  const char* code_page_iconv;
};

const FileForm kForms[] = {
    {"ansi1252", "", "CP1252", 1252, "CP1252"},
    {"ansi936", "", "GBK", 936, "GBK"},
    {"utf8bom", "\xEF\xBB\xBF", "UTF-8", 1252, "CP1252"},
    {"utf16le", "\xFF\xFE", "UTF-16LE", 936, "GBK"},
};

const char* const kLineEnds[] = {"\r\n", "\n", "\r"};

// The file every row reads, with "\n" standing for the line end under test.
const char kSample[] =
    "top=before any section\n"
    "\n"
    "[Sec]\n"
    "key=value\n"
    "Key=second\n"
    "  spaced  =  padded value  \n"
    "a=b=c\n"
    "empty=\n"
    "novalue\n"
    "#hash=ordinary\n"
    "semi=x;y\n"
    ";comment=1\n"
    "q1=\"  quoted  \"\n"
    "q2='single'\n"
    "q3=\"unbalanced\n"
    "q4=\"mixed'\n"
    "q5=\"\n"
    "caf\xC3\xA9=cr\xC3\xA8me\n"
    "[ Padded ] trailing\n"
    "k=padded section\n"
    "[sec]\n"
    "other=in the second section of that name\n"
    "[Other]\n"
    "k=1\t\n"
    "[Last]\n"
    "end=no line end";

struct ReadCase {
  const char* section;
  const char* key;
  const char* default_value;
  const char* expected;  // UTF-8
};

const ReadCase kReads[] = {
    {"", "top", "d", "before any section"},
    {"Sec", "key", "d", "value"},
    {"SEC", "KEY", "d", "value"},
    {" Sec\t", "  key ", "d", "value"},
    {"Sec", "spaced", "d", "padded value"},
    {"Sec", "a", "d", "b=c"},
    {"Sec", "empty", "d", ""},
    {"Sec", "novalue", "d", "d"},
    {"Sec", "#hash", "d", "ordinary"},
    {"Sec", "semi", "d", "x;y"},
    {"Sec", ";comment", "d", "d"},
    {"Sec", "q1", "d", "  quoted  "},
    {"Sec", "q2", "d", "single"},
    {"Sec", "q3", "d", "\"unbalanced"},
    {"Sec", "q4", "d", "\"mixed'"},
    {"Sec", "q5", "d", "\""},
    {"Sec", "CAF\xC3\xA9", "d", "cr\xC3\xA8me"},
    {"Padded", "k", "d", "padded section"},
    {"Sec", "other", "d", "d"},
    {"Other", "k", "d", "1"},
    {"Last", "end", "d", "no line end"},
    {"Missing", "k", "dflt  ", "dflt"},
    {"Other", "missing", " d\t ", " d\t"},
};

std::string WithLineEnds(const std::string& text, const std::string& line_end) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += line_end;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

TEST(IniProfileRead, AnswersInEveryLineEndAndEncoding) {
  TempDir dir;
  for (const FileForm& form : kForms) {
    CodePage code_page(form.code_page);
    for (const char* line_end : kLineEnds) {
      std::string file = form.bom + Iconv(WithLineEnds(kSample, line_end), form.iconv_name);
      std::string path = dir.Write("sample.ini", file).string();
      for (const ReadCase& c : kReads) {
        SCOPED_TRACE(std::string(form.name) + " line end " + std::to_string(line_end[0] + line_end[1]) + " [" +
                     c.section + "] " + c.key);
        std::string section = Iconv(c.section, form.code_page_iconv);
        std::string key = Iconv(c.key, form.code_page_iconv);
        EXPECT_EQ(ReadProfileString(section, key, c.default_value, 2000, path, code_page),
                  Iconv(c.expected, form.code_page_iconv));
      }
    }
  }
}

TEST(IniProfileRead, BufferTakesAtMostOneByteLessThanItsSize) {
  TempDir dir;
  CodePage code_page(1252);
  std::string path =
      dir.Write("long.ini", "[S]\r\nlong=" + std::string(2500, 'x') + "\r\nfit=" + std::string(1999, 'y') + "\r\n")
          .string();
  EXPECT_EQ(ReadProfileString("S", "long", "", 2000, path, code_page), std::string(1999, 'x'));
  EXPECT_EQ(ReadProfileString("S", "fit", "", 2000, path, code_page), std::string(1999, 'y'));
  EXPECT_EQ(ReadProfileString("S", "fit", "", 5, path, code_page), "yyyy");
  EXPECT_EQ(ReadProfileString("S", "fit", "", 1, path, code_page), "");
  EXPECT_EQ(ReadProfileString("S", "none", "default", 4, path, code_page), "def");
  EXPECT_EQ(ReadProfileString("S", "k", "x ", 9, (dir.Path() / "none.ini").string(), code_page), "x");
  EXPECT_EQ(ReadProfileString("S", "k", "x", 9, dir.Path().string(), code_page), "x");  // a folder
}

TEST(IniProfileRead, DoubleByteCharacterThatDoesNotFitIsLeftOut) {
  TempDir dir;
  CodePage code_page(936);
  std::string zhong = Iconv("\xE4\xB8\xAD", "GBK");  // 中
  std::string value;
  for (int i = 0; i < 1000; ++i) value += zhong;
  std::string path = dir.Write("wide.ini", "[S]\r\nv=" + value + "\r\n").string();
  std::string got = ReadProfileString("S", "v", "", 2000, path, code_page);
  EXPECT_EQ(got, value.substr(0, 1998));
}

TEST(IniProfileRead, UnicodeTextTheCodePageLacksReadsAsQuestionMarks) {
  TempDir dir;
  std::string path =
      dir.Write("u.ini", "\xFF\xFE" + Iconv("[S]\r\nv=\xE4\xB8\xAD\xE6\x96\x87!\r\n", "UTF-16LE")).string();
  EXPECT_EQ(ReadProfileString("S", "v", "", 2000, path, CodePage(1252)), "?\?!");
  EXPECT_EQ(ReadProfileString("S", "v", "", 2000, path, CodePage(936)), Iconv("\xE4\xB8\xAD\xE6\x96\x87!", "GBK"));
}

TEST(IniProfileRead, DoubleByteTrailBytesAreNotBrackets) {
  TempDir dir;
  CodePage code_page(936);
  // 0x81 0x5D is one character whose trail byte is "]": the first line is no
  // section header, so "k" belongs to the unnamed section.
  std::string path = dir.Write("gbk.ini", "[x\x81\x5D\r\nk=v\r\n[\x81\x5D]\r\nj=w\r\n").string();
  EXPECT_EQ(ReadProfileString("", "k", "d", 2000, path, code_page), "v");
  EXPECT_EQ(ReadProfileString("\x81\x5D", "j", "d", 2000, path, code_page), "w");
}

// Writes, then compares the whole file with what it must hold.
struct WriteCase {
  const char* name;
  const char* before;  // nullptr: no file
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

const WriteCase kWrites[] = {
    {"new file", nullptr, "S1", "a", "1", "[S1]\r\na=1\r\n"},
    {"second key", "[S1]\r\na=1\r\n", "S1", "b", "2", "[S1]\r\na=1\r\nb=2\r\n"},
    {"new section at the end", "[S1]\r\na=1\r\n", "S2", "c", "3", "[S1]\r\na=1\r\n[S2]\r\nc=3\r\n"},
    {"update keeps spelling and every other byte", "; note\n[Sec]\n  KEY = old value \n\nother=1\n", "sec", "key",
     "new", "; note\n[Sec]\n  KEY =new\n\nother=1\n"},
    {"new key after the last key of its section", "[A]\nx=1\n\n; c\n[B]\ny=2\n", "a", "z", "3",
     "[A]\nx=1\nz=3\r\n\n; c\n[B]\ny=2\n"},
    {"key into a section without keys", "[A]\n[B]\n", "A", "k", "v", "[A]\nk=v\r\n[B]\n"},
    {"last line without line end, new key", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\r\ny=2\r\n"},
    {"last line without line end, new section", "[A]\nx=1", "B", "y", "2", "[A]\nx=1\r\n[B]\r\ny=2\r\n"},
    {"header without line end", "[A]", "A", "y", "2", "[A]\r\ny=2\r\n"},
    {"CR line ends", "[A]\rx=1\r", "A", "x", "2", "[A]\rx=2\r"},
    {"key without equals gets a value", "[A]\nflag\n", "A", "flag", "on", "[A]\nflag=on\n"},
    {"only the first section of a name", "[A]\nx=1\n[a]\ny=2\n", "A", "y", "3", "[A]\nx=1\ny=3\r\n[a]\ny=2\n"},
    {"unnamed section goes first", "[A]\nx=1\n", "", "top", "1", "top=1\r\n[A]\nx=1\n"},
    {"empty value", "[A]\nx=1\n", "A", "x", "", "[A]\nx=\n"},
    {"same value leaves the file alone", "[A]\nx = 1 \n", "A", "x", "1", "[A]\nx = 1 \n"},
    {"request names are trimmed", "", " A ", " k ", "v", "[A]\r\nk=v\r\n"},
};

TEST(IniProfileWrite, FilesHoldExactlyTheExpectedBytes) {
  for (const WriteCase& c : kWrites) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::filesystem::path path = dir.Path() / "w.ini";
    if (c.before) dir.Write("w.ini", c.before);
    EXPECT_TRUE(WriteProfileString(c.section, c.key, c.value, path.string(), CodePage(1252)));
    EXPECT_EQ(ReadBytes(path), c.after);
  }
}

TEST(IniProfileWrite, UnicodeFilesKeepTheirMarkAndEncoding) {
  for (const FileForm& form : kForms) {
    SCOPED_TRACE(form.name);
    TempDir dir;
    CodePage code_page(form.code_page);
    auto encode = [&](const std::string& utf8) { return form.bom + Iconv(utf8, form.iconv_name); };
    std::string path = dir.Write("e.ini", encode("[S]\nold=caf\xC3\xA9\n[T]\n")).string();
    ASSERT_TRUE(WriteProfileString("S", Iconv("n\xC3\xA9", form.code_page_iconv),
                                   Iconv("cr\xC3\xA8me", form.code_page_iconv), path, code_page));
    ASSERT_TRUE(WriteProfileString("S", "old", "x", path, code_page));
    EXPECT_EQ(ReadBytes(path), encode("[S]\nold=x\nn\xC3\xA9=cr\xC3\xA8me\r\n[T]\n"));
  }
}

TEST(IniProfileWrite, ChineseNamesAndValuesInTheDoubleByteCodePage) {
  TempDir dir;
  CodePage code_page(936);
  std::string path = (dir.Path() / "zh.ini").string();
  std::string section = Iconv("\xE8\xAE\xBE\xE7\xBD\xAE", "GBK");  // 设置
  std::string key = Iconv("\xE5\x90\x8D\xE5\xAD\x97", "GBK");      // 名字
  std::string value = Iconv("\xE4\xB8\xAD\xE6\x96\x87", "GBK");    // 中文
  ASSERT_TRUE(WriteProfileString(section, key, value, path, code_page));
  EXPECT_EQ(ReadBytes(path), "[" + section + "]\r\n" + key + "=" + value + "\r\n");
  EXPECT_EQ(ReadProfileString(section, key, "", 2000, path, code_page), value);
}

TEST(IniProfileWrite, RefusedWritesChangeNothing) {
  TempDir dir;
  CodePage code_page(1252);
  const std::string before = "[A]\r\nx=1\r\n";
  std::string path = dir.Write("r.ini", before).string();
  for (const char* value : {"line\r\nbreak", "cr\ronly", "lf\nonly"}) {
    EXPECT_FALSE(WriteProfileString("A", "x", value, path, code_page)) << value;
    EXPECT_FALSE(WriteProfileString("A", "new", value, (dir.Path() / "new.ini").string(), code_page));
  }
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "new.ini"));

  std::filesystem::path nowhere = dir.Path() / "no such folder" / "x.ini";
  EXPECT_FALSE(WriteProfileString("A", "x", "1", nowhere.string(), code_page));
  EXPECT_FALSE(std::filesystem::exists(nowhere.parent_path()));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no stray files
}

TEST(IniProfileWrite, ReplacedFileKeepsItsPermissionsAndLinks) {
  TempDir dir;
  CodePage code_page(1252);
  std::filesystem::path real = dir.Write("real.ini", "[A]\r\nx=1\r\n");
  chmod(real.c_str(), 0640);
  std::filesystem::path link = dir.Path() / "link.ini";
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(WriteProfileString("A", "x", "2", link.string(), code_page));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(real), "[A]\r\nx=2\r\n");
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace comsvc::platform
