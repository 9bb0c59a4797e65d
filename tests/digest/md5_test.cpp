// Both MD5 forms, the class and the function module, on their own rules and
// against RFC 1321's suite and an independent MD5 (OpenSSL's, or the
// system's own on Windows).
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>

#include <comsvc/utf8.h>
#include <comsvc/md5_digest.h>
#include <comsvc/md5_function.h>
#include <comsvc/code_page.h>
#include "digest/md5_shifts.h"
#include "support/reference_md5.h"
#include "support/runtime_errors.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::RaisedError;
using testing::ReferenceMd5Hex;

std::string ModuleDigest(const Value& message, const Value& stype = Value(32)) {
  return EncodeUtf8(MD5ForServer::MD5(message, stype).AsString());
}

class Md5Test : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::CodePage::SetCurrent(1252)); }
  // The class's digest of `bytes`, then the module's 32 and 16 digits in
  // uppercase; one character per byte in code page 1252.
  std::string BothForms(const std::string& bytes) {
    const Value text(platform::CodePage::Current().FromBytes(bytes));
    std::string digests = EncodeUtf8(md5_.Md5_String_Calc(std::u16string(text.AsString())));
    for (int32_t stype : {32, 16}) digests += " " + ModuleDigest(text, stype);
    for (char& c : digests) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digests;
  }
  static std::string BothFormsExpected(const std::string& hex) { return hex + " " + hex + " " + hex.substr(8, 16); }

  MD5 md5_;
};

TEST_F(Md5Test, AgreesWithRfc1321SuiteAndAReference) {
  const std::pair<std::string, std::string> suite[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"}, {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"}, {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& [message, digest] : suite) EXPECT_EQ(BothForms(message), BothFormsExpected(digest)) << message;

  // Every length up to 300 bytes, through both forms and through MD5Update in
  // random pieces.
  std::mt19937 random(1321);
  for (size_t length = 0; length <= 300; ++length) {
    std::string bytes(length, '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    const std::string expected = ReferenceMd5Hex(bytes);
    EXPECT_EQ(BothForms(bytes), BothFormsExpected(expected)) << length;
    md5_.MD5Init();
    for (size_t fed = 0, piece; fed < length; fed += piece) {
      piece = std::min<size_t>(random() % 150, length - fed);
      md5_.MD5Update(static_cast<int32_t>(piece), ByteArrayRef(std::string_view(bytes).substr(fed, piece)));
    }
    md5_.MD5Final();
    EXPECT_EQ(EncodeUtf8(md5_.GetValues()), expected) << length;
  }
}

TEST_F(Md5Test, RegistersReadAsSignedDecimal) {
  EXPECT_EQ(md5_.GetValues(), u"00000000000000000000000000000000");
  md5_.MD5Init();
  EXPECT_EQ(md5_.GetValues(), u"0123456789ABCDEFFEDCBA9876543210");
  md5_.Md5_String_Calc(u"abc");  // the digest's words, least significant byte first
  EXPECT_EQ(md5_.RegisterA() + u" " + md5_.RegisterB() + u" " + md5_.RegisterC() + u" " + md5_.RegisterD(),
            u"-1739587184 -1336946116 2101319382 1920983336");
}

// The class digests a text's ANSI bytes. The module gives each character one
// byte position holding its signed 16-bit ANSI code: a double-byte
// character's sign bits spill over into the positions above it.
TEST_F(Md5Test, TextUnderADoubleByteCodePage) {
  ASSERT_TRUE(platform::CodePage::SetCurrent(936));
  EXPECT_EQ(EncodeUtf8(md5_.Md5_String_Calc(u"a\u4E2D\U0001F600")), ReferenceMd5Hex("a\xD6\xD0??"));
  EXPECT_EQ(RaisedError([&] { md5_.Md5_String_Calc(std::u16string(16384, u'\u4E2D')); }), 6);  // 32768 bytes
  EXPECT_EQ(ModuleDigest(Value(u"\u4E2D")), "6cba308f8d5f2b49971dbb43879a078c");
}

// The module's message is one position per character holding its signed
// code, OR-ed into the position's word: the bytes built here by that rule,
// digested by the reference, give the module's digest. Whole words only, so that
// the padding byte lands in a word no sign bits reach.
TEST_F(Md5Test, ModuleDigestsSignedCodesAcrossBlocks) {
  const std::u16string alphabet = u"a~\u00E9\u20AC\u4E2D\u00FF\U0001F600\u0101";  // lone surrogates too
  std::mt19937 random(5);
  for (int number : {1252, 936, 950}) {
    ASSERT_TRUE(platform::CodePage::SetCurrent(number));
    const platform::CodePage& page = platform::CodePage::Current();
    for (size_t length = 0; length <= 260; length += 4) {
      std::u16string text(length, u'\0');
      std::string bytes(length, '\0');
      for (size_t i = 0; i < length; ++i) {
        // Mostly ASCII, as most texts are, so that runs of it occur too.
        text[i] = random() % 3 ? static_cast<char16_t>(u'0' + random() % 70) : alphabet[random() % alphabet.size()];
        const auto spread = static_cast<uint32_t>(int32_t{page.CharCode(text[i])}) << (8 * (i % 4));
        for (size_t k = i % 4; k < 4; ++k) bytes[i / 4 * 4 + k] |= static_cast<char>(spread >> (8 * k));
      }
      std::string expected = ReferenceMd5Hex(bytes);
      std::transform(expected.begin(), expected.end(), expected.begin(), ::tolower);
      ASSERT_EQ(ModuleDigest(Value(text)), expected) << number << " " << length;
    }
  }
}

// From MD5Init to MD5Final over five bytes: past either end of the array,
// then a negative bit count.
TEST_F(Md5Test, ErrorsOfUpdateAndFinal) {
  struct Case { int32_t lower_bound; std::vector<int32_t> lengths; int32_t error; };  // lengths: of the MD5Update calls
  const std::vector<uint8_t> elements(5, 'q');
  const Case cases[] = {{-2, {4}, 9}, {0, {-1, 1}, 9}, {0, {-64}, 6}};
  for (const Case& c : cases) {
    md5_.MD5Init();
    EXPECT_EQ(RaisedError([&] {
      for (int32_t length : c.lengths) md5_.MD5Update(length, ByteArrayRef(elements, c.lower_bound));
      md5_.MD5Final();
    }), c.error) << c.lengths[0];
  }
}

TEST_F(Md5Test, LongLeftRotateWritesBackBothArguments) {
  struct Case { int32_t value, bits, result, bits_written_back; };
  const Case cases[] = {
      {INT32_MIN, 33, 1, 1}, {0x12345678, 4, 0x23456781, 4}, {-2, 1, -3, 1},
      {0x12345678, 32, 0x12345678, 0}, {0x12345678, -35, 0x12345678, -3},
  };
  for (Case c : cases) {
    const int32_t result = md5_.LongLeftRotate(c.value, c.bits);
    EXPECT_EQ(std::tuple(result, c.value, c.bits), std::tuple(c.result, c.result, c.bits_written_back)) << c.result;
  }
}

// Numbers and numeric texts compare with 32 as numbers; anything else never
// equals it and selects the 16 middle digits.
TEST_F(Md5Test, ModuleDigestLengthAndErrors) {
  for (const Value& all : {Value(32.0), Value(u" 32 "), Value(u"&H20")}) {
    EXPECT_EQ(ModuleDigest(Value(u"abc"), all), "900150983cd24fb0d6963f7d28e17f72");
  }
  for (const Value& middle : {Value(32.5), Value(Null{}), Value(u"x32")}) {
    EXPECT_EQ(ModuleDigest(Value(u"abc"), middle), "3cd24fb0d6963f7d");
  }
  EXPECT_EQ(RaisedError([] { ModuleDigest(Value(Null{})); }), 94);
  EXPECT_EQ(RaisedError([] { ModuleDigest(Value(MakeRef<Dictionary>())); }), 13);
  EXPECT_EQ(RaisedError([] { MD5ForServer::internal::ShiftLeft(1, 32); }), 6);
  EXPECT_EQ(RaisedError([] { MD5ForServer::internal::ShiftRight(1, -1); }), 6);
}

TEST_F(Md5Test, FilesAroundBlockAndBufferBoundaries) {
  testing::TempDir dir;
  for (size_t size : {0, 1, 63, 64, 65, 1000000}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 8));
    const auto path = dir.Write("r\xC3\xA9sum\xC3\xA9 \xE4\xB8\xAD.bin", bytes);  // a UTF-8 name
    EXPECT_EQ(EncodeUtf8(md5_.Md5_File_Calc(path.u16string())), ReferenceMd5Hex(bytes)) << size;
  }
}

#ifdef _WIN32
// Runs `check` while `file` cannot be read: another handle holds it open
// without sharing it.
bool WhileUnreadable(const std::filesystem::path& file, const std::function<bool()>& check) {
  HANDLE holder = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (holder == INVALID_HANDLE_VALUE) return false;
  const bool result = check();
  CloseHandle(holder);
  return result;
}
#else
// Runs `check` while `file` cannot be read: its permissions are taken away,
// and the check runs in a child process that gives up root when the tests
// run as root.
bool WhileUnreadable(const std::filesystem::path& file, const std::function<bool()>& check) {
  std::filesystem::permissions(file.parent_path(),
                               std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
  std::filesystem::permissions(file, std::filesystem::perms::none);
  if (::geteuid() != 0) return check();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && check() ? 0 : 1);
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

TEST_F(Md5Test, UndigestibleFilesGiveEmptyTextAndCreateNothing) {
  testing::TempDir dir;
  for (const auto& p : {dir.Path() / "missing.bin", dir.Path()}) EXPECT_EQ(md5_.Md5_File_Calc(p.u16string()), u"");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing.bin"));
  const auto readable = dir.Write("readable.bin", "abc"), secret = dir.Write("secret.bin", "abc");
  EXPECT_TRUE(WhileUnreadable(secret, [&] {
    MD5 md5;
    return md5.Md5_File_Calc(readable.u16string()) == u"900150983CD24FB0D6963F7D28E17F72" &&
           md5.Md5_File_Calc(secret.u16string()).empty();
  }));
}

}  // namespace
}  // namespace comsvc
