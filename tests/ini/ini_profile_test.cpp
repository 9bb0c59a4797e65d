#include "ini/ini_profile.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

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

// How a file is stored (its byte-order mark and the encoding of its text),
// and the code page the process runs under.
struct FileForm { const char *bom, *encoding; int code_page; const char* code_page_encoding; };

const FileForm kForms[] = {
    {"", "CP1252", 1252, "CP1252"}, {"", "GBK", 936, "GBK"}, {"\xEF\xBB\xBF", "UTF-8", 1252, "CP1252"},
    {"\xFF\xFE", "UTF-16LE", 936, "GBK"},
};

// The file every row reads, with "\n" standing for the line end under test.
const char kSample[] =
    "[Sec]\nkey=value\nKey=second\n  spaced  =  padded = value  \n;comment=1\nq1=\"  quoted  \"\n"
    "caf\xC3\xA9=cr\xC3\xA8me\n[sec]\nother=in the second section of that name\n[Last]\nend=no line end";

struct ReadCase { const char *section, *key, *expected; };  // expected: UTF-8

const ReadCase kReads[] = {
    {" Sec\t", "  key ", "value"}, {"Sec", "spaced", "padded = value"}, {"Sec", ";comment", "d"},
    {"Sec", "q1", "  quoted  "}, {"Sec", "CAF\xC3\xA9", "cr\xC3\xA8me"}, {"Sec", "other", "d"},
    {"Last", "end", "no line end"},
};

TEST(IniProfile, ReadsAndWritesInEveryLineEndAndEncoding) {
  TempDir dir;
  for (const FileForm& form : kForms) {
    CodePage code_page(form.code_page);
    // Text as the process passes it, in its code page.
    auto ansi = [&](const char* utf8) { return Iconv(utf8, form.code_page_encoding); };
    for (const std::string line_end : {"\r\n", "\n", "\r"}) {
      std::string text = kSample;
      for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += line_end.size()) {
        text.replace(at, 1, line_end);
      }
      std::string path = dir.Write("sample.ini", form.bom + Iconv(text, form.encoding)).string();
      SCOPED_TRACE(std::string(form.encoding) + " line end " + std::to_string(line_end.back()));
      for (const ReadCase& c : kReads) {
        EXPECT_EQ(ReadProfileString(ansi(c.section), ansi(c.key), "d", 99, path, code_page), ansi(c.expected)) << c.key;
      }
      // A write changes the value and not one other byte.
      ASSERT_TRUE(WriteProfileString("Sec", "key", ansi("cr\xC3\xA8me"), path, code_page));
      text.replace(text.find("key=value"), 9, "key=cr\xC3\xA8me");
      EXPECT_EQ(ReadBytes(path), form.bom + Iconv(text, form.encoding));
    }
  }
}

TEST(IniProfileRead, BufferSizeAndDoubleByteCharacters) {
  TempDir dir;
  const CodePage gbk(936);
  // A missing file gives the default, without trailing blanks.
  EXPECT_EQ(ReadProfileString("S", "k", "x ", 9, (dir.Path() / "none.ini").string(), gbk), "x");
  // The buffer takes one byte less than its size, and a character that does
  // not fit whole is left out.
  const std::string zhong_wen = Iconv("\xE4\xB8\xAD\xE6\x96\x87", "GBK");  // 中文
  std::string path = dir.Write("wide.ini", "[S]\r\nv=" + zhong_wen + zhong_wen + "\r\n").string();
  EXPECT_EQ(ReadProfileString("S", "v", "", 7, path, gbk), zhong_wen + zhong_wen.substr(0, 2));
  // 0x81 0x5D is one character whose trail byte is "]": the first line is no
  // section header, so "k" belongs to the unnamed section.
  path = dir.Write("gbk.ini", "[x\x81\x5D\r\nk=v\r\n").string();
  EXPECT_EQ(ReadProfileString("", "k", "d", 2000, path, gbk), "v");
}

// Writes, then compares the whole file with what it must hold (before: nullptr
// when there is no file).
struct WriteCase { const char *before, *section, *key, *value, *after; bool written = true; };

const WriteCase kWrites[] = {
    {nullptr, "S1", "a", "1", "[S1]\r\na=1\r\n"},
    // The update keeps the key's spelling and every other byte.
    {"; note\n[Sec]\n  KEY = old value \n\nother=1\n", "sec", "key", "new", "; note\n[Sec]\n  KEY =new\n\nother=1\n"},
    // A new key goes after the last key of its section.
    {"[A]\nx=1\n\n; c\n[B]\ny=2\n", "a", "z", "3", "[A]\nx=1\nz=3\r\n\n; c\n[B]\ny=2\n"},
    {"[A]\nx=1", "A", "y", "2", "[A]\nx=1\r\ny=2\r\n"},
    // The unnamed section goes first.
    {"[A]\nx=1\n", "", "top", "1", "top=1\r\n[A]\nx=1\n"},
    // A line break in any argument would add lines, and with them sections
    // and keys, of the caller's making: refused, the file unchanged.
    {"[A]\r\nx=1\r\n", "A", "x", "line\nbreak", "[A]\r\nx=1\r\n", false},
    {"[A]\r\nx=1\r\n", "A", "x", "cr\ronly", "[A]\r\nx=1\r\n", false},
    {"[A]\r\nx=1\r\n", "A", "k\r\n[Evil]\r\nz", "v", "[A]\r\nx=1\r\n", false},
    {"[A]\r\nx=1\r\n", "A\r\n[Evil]", "k", "v", "[A]\r\nx=1\r\n", false},
    {"[A]\r\nx=1\r\n", "A", "k\n", "v", "[A]\r\nx=1\r\n", false},
    {"[A]\r\nx=1\r\n", "New\r", "k", "v", "[A]\r\nx=1\r\n", false},
};

TEST(IniProfileWrite, FilesHoldExactlyTheExpectedBytes) {
  for (const WriteCase& c : kWrites) {
    SCOPED_TRACE(::testing::Message() << (c.before ? c.before : "no file") << " " << c.section << "/" << c.key);
    TempDir dir;
    std::filesystem::path path = dir.Path() / "w.ini";
    if (c.before) dir.Write("w.ini", c.before);
    EXPECT_EQ(WriteProfileString(c.section, c.key, c.value, path.string(), CodePage(1252)), c.written);
    EXPECT_EQ(ReadBytes(path), c.after);
  }
}

// How the file written to is reached and protected. Every write must keep
// the file's links, owner and mode; a read-only file refuses the write.
// `path` is the name written to: the file, or a link to it; `other_owner`
// applies when the tests run as root; a `same_file` must be edited in place:
// it cannot be replaced.
struct FileSetup {
  const char *name, *path = "f.ini";
  enum class Link { kNone, kHard, kSymbolic } link = Link::kNone;
  mode_t file_mode = 0644, folder_mode = 0755;
  bool other_owner = false, written = true, same_file = false;
};

const FileSetup kSetups[] = {
    {.name = "plain file"}, {.name = "mode 0600", .file_mode = 0600},
    // Windows refuses by the read-only attribute whatever the caller's
    // rights, so this holds when the tests run as root too.
    {.name = "read-only file", .file_mode = 0444, .written = false},
    {.name = "read-only folder", .folder_mode = 0555, .same_file = true},
    {.name = "hard link", .path = "other name.ini", .link = FileSetup::Link::kHard, .same_file = true},
    {.name = "symbolic link", .path = "link.ini", .link = FileSetup::Link::kSymbolic},
    {.name = "owned by another user", .other_owner = true},
};

constexpr const char kBefore[] = "[S]\r\na=1\r\n";
constexpr const char kAfter[] = "[S]\r\na=2\r\n";

std::ptrdiff_t Entries(const std::filesystem::path& folder) {
  return std::distance(std::filesystem::directory_iterator(folder), {});
}

TEST(IniProfileWrite, FileKeepsItsLinksOwnerAndMode) {
  for (const FileSetup& setup : kSetups) {
    SCOPED_TRACE(setup.name);
    TempDir dir;
    const std::filesystem::path& folder = dir.Path();
    const std::filesystem::path file = dir.Write("f.ini", kBefore), path = folder / setup.path;
    if (setup.link == FileSetup::Link::kHard) std::filesystem::create_hard_link(file, path);
    if (setup.link == FileSetup::Link::kSymbolic) std::filesystem::create_symlink("f.ini", path);
    chmod(file.c_str(), setup.file_mode);
    if (setup.other_owner && geteuid() == 0 && chown(file.c_str(), 4321, 8765) != 0) ADD_FAILURE() << "chown";
    chmod(folder.c_str(), setup.folder_mode);
    // The file's mode, owner, links and (when it must stay the same file)
    // inode; the mode of the name written to (a link stays a link); the
    // folder's entries (no temporary file left behind).
    const auto identity = [&] {
      struct stat data {}, name {};
      EXPECT_EQ(stat(file.c_str(), &data) + lstat(path.c_str(), &name), 0);
      return std::tuple(data.st_mode, data.st_uid, data.st_gid, data.st_nlink, setup.same_file ? data.st_ino : 0,
                        name.st_mode, Entries(folder));
    };
    const auto before = identity();
    EXPECT_EQ(WriteProfileString("S", "a", "2", path.string(), CodePage(1252)), setup.written);
    EXPECT_EQ(ReadBytes(file), setup.written ? kAfter : kBefore);
    EXPECT_EQ(ReadBytes(path), setup.written ? kAfter : kBefore);
    EXPECT_EQ(identity(), before);
    chmod(folder.c_str(), 0755);  // lets the folder be removed
  }
}

// A dangling link gets its target created, and nothing is left behind.
TEST(IniProfileWrite, ThroughADanglingLink) {
  TempDir dir;
  std::filesystem::create_symlink("target.ini", dir.Path() / "link.ini");
  EXPECT_TRUE(WriteProfileString("S1", "a", "1", (dir.Path() / "link.ini").string(), CodePage(1252)));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path() / "link.ini"));
  EXPECT_EQ(ReadBytes(dir.Path() / "target.ini"), "[S1]\r\na=1\r\n");
  EXPECT_EQ(Entries(dir.Path()), 2);  // the link and its target
}

// Runs `write` for 0, 1, ... `count` - 1 in a child process, which stops at
// the first failed call.
pid_t Writer(int count, const std::function<bool(int)>& write) {
  const pid_t pid = fork();
  for (int i = 0; pid == 0 && i < count; ++i) if (!write(i)) _exit(1);
  if (pid == 0) _exit(0);
  return pid;
}

// Two processes write keys of their own, through one name of the file or
// through two hard links in two folders (no shared folder lock; the file is
// edited in place): every key arrives.
TEST(IniConcurrency, TwoWritersLoseNothingThroughOneNameOrTwoLinks) {
  constexpr int kWrites = 400;
  const CodePage code_page(1252);
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "two hard links" : "one name");
    TempDir dir;
    for (const char* folder : {"one", "two"}) std::filesystem::create_directory(dir.Path() / folder);
    const std::string first = dir.Write("one/shared.ini", "").string();
    const std::string second = linked ? (dir.Path() / "two" / "linked.ini").string() : first;
    if (linked) std::filesystem::create_hard_link(first, second);
    auto keys_through = [&](const char* prefix, const std::string& path) {
      return [&, prefix](int i) { return WriteProfileString("S", prefix + std::to_string(i), "1", path, code_page); };
    };
    const pid_t writers[] = {Writer(kWrites, keys_through("a", first)), Writer(kWrites, keys_through("b", second))};
    for (pid_t writer : writers) waitpid(writer, nullptr, 0);
    int missing = 0;
    for (int i = 0; i < kWrites * 2; ++i) {
      missing += ReadProfileString("S", "ab"[i % 2] + std::to_string(i / 2), "", 100, first, code_page) != "1";
    }
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(std::filesystem::hard_link_count(first), linked ? 2u : 1u);
  }
}

TEST(IniConcurrency, WriterKilledMidwayLeavesAWholeFile) {
  TempDir dir;
  const std::string path = (dir.Path() / "big.ini").string();
  // Large enough that writing it takes a while, so kills land mid-write.
  const std::string filler = "[Filler]\r\nf=" + std::string(4 << 20, 'f') + "\r\n";
  dir.Write("big.ini", filler + "[S]\r\nk=old\r\n");
  const CodePage code_page(1252);
  auto flip = [&](int i) { return WriteProfileString("S", "k", i % 2 ? "old" : "new", path, code_page); };
  for (int round = 0; round < 6; ++round) {
    const pid_t child = Writer(1 << 30, flip);
    usleep((20 + 13 * round) * 1000);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const std::string now = ReadBytes(path);
    EXPECT_TRUE(now == filler + "[S]\r\nk=old\r\n" || now == filler + "[S]\r\nk=new\r\n") << "round " << round;
  }
  // The next writer is not hindered by what a killed one left behind.
  EXPECT_TRUE(WriteProfileString("S", "k", "after", path, code_page));
  EXPECT_EQ(ReadBytes(path), filler + "[S]\r\nk=after\r\n");
}

}  // namespace
}  // namespace comsvc::platform
