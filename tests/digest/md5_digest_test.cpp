#include "digest/md5_digest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "platform/code_page.h"
#include "support/openssl_md5.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::OpenSslMd5Hex;

constexpr char16_t kAbc[] = u"900150983CD24FB0D6963F7D28E17F72";

int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

class Md5DigestTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::CodePage::SetCurrent(1252)); }
  MD5 md5_;
};

TEST_F(Md5DigestTest, RegistersReadAsSignedDecimal) {
  EXPECT_EQ(md5_.GetValues(), u"00000000000000000000000000000000");
  md5_.MD5Init();
  EXPECT_EQ(md5_.RegisterA() + u" " + md5_.RegisterB() + u" " + md5_.RegisterC() + u" " + md5_.RegisterD(),
            u"1732584193 -271733879 -1732584194 271733878");
  EXPECT_EQ(md5_.GetValues(), u"0123456789ABCDEFFEDCBA9876543210");
  const std::string digest = EncodeUtf8(md5_.Md5_String_Calc(u"abc"));
  const std::u16string registers[] = {md5_.RegisterA(), md5_.RegisterB(), md5_.RegisterC(), md5_.RegisterD()};
  for (int r = 0; r < 4; ++r) EXPECT_EQ(EncodeUtf8(registers[r]), testing::RegisterDecimal(digest, r));
}

TEST_F(Md5DigestTest, TextIsDigestedAsItsAnsiBytes) {
  struct Case {
    int code_page;
    std::u16string text;
    std::string bytes;
  };
  const Case cases[] = {
      {1252, u"\u20AC", "\x80"}, {1252, u"\u4E2D", "?"},        {1252, u"\U0001F600", "??"},
      {936, u"\u4E2D", "\xD6\xD0"}, {936, u"a\u00E9b", "a\xA8\xA6" "b"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(platform::CodePage::SetCurrent(c.code_page));
    EXPECT_EQ(EncodeUtf8(md5_.Md5_String_Calc(c.text)), OpenSslMd5Hex(c.bytes)) << c.code_page;
  }
  ASSERT_TRUE(platform::CodePage::SetCurrent(1252));
  EXPECT_EQ(md5_.Md5_String_Calc(u"\u00E9"), u"3406877694691DDD1DFB0ACA54681407");
}

TEST_F(Md5DigestTest, LengthLimitsOfStringCalcAndUpdate) {
  EXPECT_EQ(EncodeUtf8(md5_.Md5_String_Calc(std::u16string(32767, u'x'))), OpenSslMd5Hex(std::string(32767, 'x')));
  EXPECT_EQ(ErrorOf([&] { md5_.Md5_String_Calc(std::u16string(32768, u'x')); }), 6);
  ASSERT_TRUE(platform::CodePage::SetCurrent(936));  // the limit counts bytes, not characters
  EXPECT_EQ(ErrorOf([&] { md5_.Md5_String_Calc(std::u16string(16384, u'\u4E2D')); }), 6);

  const std::vector<uint8_t> bytes(32768, 'q');
  md5_.MD5Init();
  EXPECT_EQ(ErrorOf([&] { md5_.MD5Update(32768, bytes); }), 6);
  md5_.MD5Init();
  EXPECT_EQ(ErrorOf([&] { md5_.MD5Update(32767, bytes); }), 0);
}

TEST_F(Md5DigestTest, UpdateReadsFromIndexZeroWhateverTheLowerBound) {
  const std::vector<uint8_t> elements = {'x', 'y', 'a', 'b', 'c'};
  struct Case {
    int32_t lower_bound, length;
    int error;
  };
  const Case cases[] = {{-2, 3, 0}, {-2, 4, 9}, {0, 5, 0}, {0, 6, 9}, {1, 1, 9}, {1, 0, 0}};
  for (const Case& c : cases) {
    md5_.MD5Init();
    EXPECT_EQ(ErrorOf([&] { md5_.MD5Update(c.length, ByteArrayRef(elements, c.lower_bound)); }), c.error)
        << c.lower_bound << " " << c.length;
  }
  md5_.MD5Init();
  md5_.MD5Update(3, ByteArrayRef(elements, -2));  // elements 0..2 are "abc"
  md5_.MD5Final();
  EXPECT_EQ(md5_.GetValues(), kAbc);
}

TEST_F(Md5DigestTest, NegativeLengthsAndByteCountOverflow) {
  md5_.MD5Init();
  md5_.MD5Update(3, ByteArrayRef("xyz"));
  md5_.MD5Update(-3, ByteArrayRef("ignored"));  // lowers the count, feeds nothing
  md5_.MD5Update(3, ByteArrayRef("abc"));
  md5_.MD5Final();
  EXPECT_EQ(md5_.GetValues(), kAbc);

  md5_.MD5Init();
  md5_.MD5Update(-1, ByteArrayRef(""));  // pending bytes would sit below BlockBuffer(0)
  EXPECT_EQ(ErrorOf([&] { md5_.MD5Update(1, ByteArrayRef("a")); }), 9);
  md5_.MD5Init();
  md5_.MD5Update(INT32_MIN, ByteArrayRef(""));
  EXPECT_EQ(ErrorOf([&] { md5_.MD5Update(-1, ByteArrayRef("")); }), 6);
  md5_.MD5Init();
  md5_.MD5Update(-64, ByteArrayRef(""));  // a negative bit count cannot be a word
  EXPECT_EQ(ErrorOf([&] { md5_.MD5Final(); }), 6);
}

TEST_F(Md5DigestTest, LongLeftRotateWritesBackBothArguments) {
  struct Case {
    int32_t value, bits, result, bits_after;
  };
  const Case cases[] = {
      {INT32_MIN, 1, 1, 1},          {INT32_MIN, 33, 1, 1},          {0x12345678, 4, 0x23456781, 4},
      {1, 31, INT32_MIN, 31},        {-2, 1, -3, 1},                 {0x12345678, 32, 0x12345678, 0},
      {0x12345678, -3, 0x12345678, -3}, {0x12345678, -35, 0x12345678, -3},
  };
  for (const Case& c : cases) {
    int32_t value = c.value, bits = c.bits;
    EXPECT_EQ(md5_.LongLeftRotate(value, bits), c.result) << c.value << " by " << c.bits;
    EXPECT_EQ(value, c.result);
    EXPECT_EQ(bits, c.bits_after);
  }
}

TEST_F(Md5DigestTest, FilesAroundBlockAndBufferBoundaries) {
  testing::TempDir dir;
  for (size_t size : {0, 1, 55, 56, 63, 64, 65, 262143, 262145, 1000000}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 8));
    const auto path = dir.Write("r\xC3\xA9sum\xC3\xA9 \xE4\xB8\xAD.bin", bytes);  // a UTF-8 name
    EXPECT_EQ(EncodeUtf8(md5_.Md5_File_Calc(path.u16string())), OpenSslMd5Hex(bytes)) << size;
  }
}

TEST_F(Md5DigestTest, UndigestibleFilesGiveEmptyTextAndCreateNothing) {
  testing::TempDir dir;
  const auto fifo = dir.Path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::u16string paths[] = {
      (dir.Path() / "missing.bin").u16string(),
      (dir.Path() / "no-folder" / "x.bin").u16string(),
      dir.Path().u16string(),
      fifo.u16string(),  // no writer: opening must not wait for one
      u"",
      dir.Write("nul.bin", "abc").u16string() + u'\0' + u"x",
  };
  for (const std::u16string& path : paths) EXPECT_EQ(md5_.Md5_File_Calc(path), u"") << EncodeUtf8(path);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "no-folder"));
}

// Runs `check` without the right to read other users' files: in a child
// process that gives up root when the tests run as root.
bool RunUnprivileged(const std::function<bool()>& check) {
  if (::geteuid() != 0) return check();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(Md5DigestTest, UnreadableFileGivesEmptyText) {
  testing::TempDir dir;
  const auto path = dir.Write("secret.bin", "abc");
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
  std::filesystem::permissions(path, std::filesystem::perms::none);
  EXPECT_TRUE(RunUnprivileged([&] {
    MD5 md5;
    return md5.Md5_File_Calc(path.u16string()).empty() && md5.Md5_String_Calc(u"a").size() == 32;
  }));
}

}  // namespace
}  // namespace comsvc
