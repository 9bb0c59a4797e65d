#include "platform/ini_profile.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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
  char* in = const_cast<char*>(utf8.data());
  char* at = out.data();
  size_t in_left = utf8.size(), out_left = out.size();
  const bool failed = iconv(cd, &in, &in_left, &at, &out_left) == static_cast<size_t>(-1);
  iconv_close(cd);
  if (failed) throw std::runtime_error("iconv: " + utf8);
  out.resize(out.size() - out_left);
  return out;
}

// How a file is stored, and the code page the process runs under.
struct FileForm {
  const char* bom;
  const char* encoding;  // of the file's text
  int code_page;
  const char* code_page_encoding;
};

const FileForm kForms[] = {
    {"", "CP1252", 1252, "CP1252"},
    {"", "GBK", 936, "GBK"},
    {"\xEF\xBB\xBF", "UTF-8", 1252, "CP1252"},
    {"\xFF\xFE", "UTF-16LE", 936, "GBK"},
};

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
    ";comment=1\n"
    "q1=\"  quoted  \"\n"
    "q2='single'\n"
    "q3=\"unbalanced\n"
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
    {" Sec\t", "  key ", "d", "value"},
    {"Sec", "spaced", "d", "padded value"},
    {"Sec", "a", "d", "b=c"},
    {"Sec", "empty", "d", ""},
    {"Sec", "novalue", "d", "d"},
    {"Sec", "#hash", "d", "ordinary"},
    {"Sec", ";comment", "d", "d"},
    {"Sec", "q1", "d", "  quoted  "},
    {"Sec", "q2", "d", "single"},
    {"Sec", "q3", "d", "\"unbalanced"},
    {"Sec", "CAF\xC3\xA9", "d", "cr\xC3\xA8me"},
    {"Padded", "k", "d", "padded section"},
    {"Sec", "other", "d", "d"},
    {"Other", "k", "d", "1"},
    {"Last", "end", "d", "no line end"},
    {"Missing", "k", "dflt  ", "dflt"},
    {"Other", "missing", " d\t ", " d\t"},
};

TEST(IniProfileRead, AnswersInEveryLineEndAndEncoding) {
  TempDir dir;
  for (const FileForm& form : kForms) {
    CodePage code_page(form.code_page);
    for (const std::string line_end : {"\r\n", "\n", "\r"}) {
      std::string text = kSample;
      for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += line_end.size()) {
        text.replace(at, 1, line_end);
      }
      std::string path = dir.Write("sample.ini", form.bom + Iconv(text, form.encoding)).string();
      for (const ReadCase& c : kReads) {
        SCOPED_TRACE(std::string(form.encoding) + " line end " + std::to_string(line_end.size()) + line_end[0] +
                     " [" + c.section + "] " + c.key);
        EXPECT_EQ(ReadProfileString(Iconv(c.section, form.code_page_encoding), Iconv(c.key, form.code_page_encoding),
                                    c.default_value, 2000, path, code_page),
                  Iconv(c.expected, form.code_page_encoding));
      }
    }
  }
}

TEST(IniProfileRead, BufferTakesAtMostOneByteLessThanItsSize) {
  TempDir dir;
  CodePage code_page(1252);
  std::string path = dir.Write("long.ini", "[S]\r\nlong=" + std::string(2500, 'x') + "\r\n").string();
  EXPECT_EQ(ReadProfileString("S", "long", "", 2000, path, code_page), std::string(1999, 'x'));
  EXPECT_EQ(ReadProfileString("S", "none", "default", 4, path, code_page), "def");
  EXPECT_EQ(ReadProfileString("S", "k", "x ", 9, (dir.Path() / "none.ini").string(), code_page), "x");
  EXPECT_EQ(ReadProfileString("S", "k", "x", 9, dir.Path().string(), code_page), "x");  // a folder
}

TEST(IniProfileRead, DoubleByteCharacters) {
  TempDir dir;
  const CodePage gbk(936);
  const std::string zhong_wen = Iconv("\xE4\xB8\xAD\xE6\x96\x87", "GBK");  // 中文
  // One that does not fit whole is left out.
  std::string path = dir.Write("wide.ini", "[S]\r\nv=" + zhong_wen + zhong_wen + "\r\n").string();
  EXPECT_EQ(ReadProfileString("S", "v", "", 7, path, gbk), zhong_wen + zhong_wen.substr(0, 2));
  // 0x81 0x5D is one character whose trail byte is "]": the first line is no
  // section header, so "k" belongs to the unnamed section.
  path = dir.Write("gbk.ini", "[x\x81\x5D\r\nk=v\r\n[\x81\x5D]\r\nj=w\r\n").string();
  EXPECT_EQ(ReadProfileString("", "k", "d", 2000, path, gbk), "v");
  EXPECT_EQ(ReadProfileString("\x81\x5D", "j", "d", 2000, path, gbk), "w");
  // Unicode text that the code page lacks reads as question marks.
  path = dir.Write("u.ini", "\xFF\xFE" + Iconv("[S]\r\nv=\xE4\xB8\xAD\xE6\x96\x87!\r\n", "UTF-16LE")).string();
  EXPECT_EQ(ReadProfileString("S", "v", "", 2000, path, CodePage(1252)), "?\?!");
  EXPECT_EQ(ReadProfileString("S", "v", "", 2000, path, gbk), zhong_wen + "!");
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
    {"new section at the end", "[S1]\r\na=1\r\n", "S2", "c", "3", "[S1]\r\na=1\r\n[S2]\r\nc=3\r\n"},
    {"update keeps spelling and every other byte", "; note\n[Sec]\n  KEY = old value \n\nother=1\n", "sec", "key",
     "new", "; note\n[Sec]\n  KEY =new\n\nother=1\n"},
    {"new key after the last key of its section", "[A]\nx=1\n\n; c\n[B]\ny=2\n", "a", "z", "3",
     "[A]\nx=1\nz=3\r\n\n; c\n[B]\ny=2\n"},
    {"key into a section without keys", "[A]\n[B]\n", "A", "k", "v", "[A]\nk=v\r\n[B]\n"},
    {"last line without line end, new key", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\r\ny=2\r\n"},
    {"CR line ends", "[A]\rx=1\r", "A", "x", "2", "[A]\rx=2\r"},
    {"key without equals gets a value", "[A]\nflag\n", "A", "flag", "on", "[A]\nflag=on\n"},
    {"only the first section of a name", "[A]\nx=1\n[a]\ny=2\n", "A", "y", "3", "[A]\nx=1\ny=3\r\n[a]\ny=2\n"},
    {"unnamed section goes first", "[A]\nx=1\n", "", "top", "1", "top=1\r\n[A]\nx=1\n"},
    {"same value leaves the file alone", "[A]\nx = 1 \n", "A", "x", "1", "[A]\nx = 1 \n"},
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

TEST(IniProfileWrite, FilesKeepTheirMarkAndEncoding) {
  for (const FileForm& form : kForms) {
    SCOPED_TRACE(form.encoding);
    TempDir dir;
    CodePage code_page(form.code_page);
    auto encode = [&](const std::string& utf8) { return form.bom + Iconv(utf8, form.encoding); };
    std::string path = dir.Write("e.ini", encode("[S]\nold=caf\xC3\xA9\n[T]\n")).string();
    ASSERT_TRUE(WriteProfileString("S", Iconv("n\xC3\xA9", form.code_page_encoding),
                                   Iconv("cr\xC3\xA8me", form.code_page_encoding), path, code_page));
    ASSERT_TRUE(WriteProfileString("S", "old", "x", path, code_page));
    EXPECT_EQ(ReadBytes(path), encode("[S]\nold=x\nn\xC3\xA9=cr\xC3\xA8me\r\n[T]\n"));
  }
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
  std::filesystem::path nowhere = dir.Path() / "no such folder" / "x.ini";
  EXPECT_FALSE(WriteProfileString("A", "x", "1", nowhere.string(), code_page));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no stray files or folders
}

// Several processes writing one file at once, and writers killed midway.

// Calls `write` for 0, 1, ... `count` - 1 in a child process, which exits 0
// when every call succeeded.
pid_t Writer(int count, const std::function<bool(int)>& write) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (int i = 0; i < count; ++i) {
      if (!write(i)) _exit(1);
    }
    _exit(0);
  }
  return pid;
}

int ExitStatus(pid_t pid) {
  int status = -1;
  waitpid(pid, &status, 0);
  return status;
}

TEST(IniConcurrency, TwoProcessesWritingDifferentKeysLoseNothing) {
  TempDir dir;
  const std::string path = (dir.Path() / "shared.ini").string();
  constexpr int kWrites = 1000;
  const CodePage code_page(1252);
  std::vector<pid_t> writers;
  for (const std::string prefix : {"a", "b"}) {
    writers.push_back(Writer(kWrites, [&](int i) {
      return WriteProfileString(i % 2 ? "Odd" : "Even", prefix + std::to_string(i), std::to_string(i * 7), path,
                                code_page);
    }));
  }
  for (pid_t writer : writers) EXPECT_EQ(ExitStatus(writer), 0);

  int missing = 0;
  for (const std::string prefix : {"a", "b"}) {
    for (int i = 0; i < kWrites; ++i) {
      missing += ReadProfileString(i % 2 ? "Odd" : "Even", prefix + std::to_string(i), "", 100, path, code_page) !=
                 std::to_string(i * 7);
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST(IniConcurrency, WriterKilledMidwayLeavesAWholeFile) {
  TempDir dir;
  const std::string path = (dir.Path() / "big.ini").string();
  // Large enough that writing it takes a while, so kills land mid-write.
  const std::string filler = "[Filler]\r\nf=" + std::string(4 << 20, 'f') + "\r\n";
  dir.Write("big.ini", filler + "[S]\r\nk=old\r\n");

  std::mt19937 random(12345);
  for (int round = 0; round < 6; ++round) {
    const pid_t child = Writer(INT_MAX, [&](int i) {
      WriteProfileString("S", "k", i % 2 ? "old" : "new", path, CodePage(1252));
      return true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 60));
    kill(child, SIGKILL);
    ExitStatus(child);
    const std::string now = ReadBytes(path);
    EXPECT_TRUE(now == filler + "[S]\r\nk=old\r\n" || now == filler + "[S]\r\nk=new\r\n")
        << "round " << round << ": " << now.size() << " bytes";
  }
  // The next writer is not hindered by what a killed one left behind.
  EXPECT_TRUE(WriteProfileString("S", "k", "after", path, CodePage(1252)));
  EXPECT_EQ(ReadBytes(path), filler + "[S]\r\nk=after\r\n");
}

}  // namespace
}  // namespace comsvc::platform
