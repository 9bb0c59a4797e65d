// Both digest forms on RFC 1321's test suite and against OpenSSL's MD5 on
// messages of every length up to a few blocks, and the class fed through
// MD5Update in random pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <random>
#include <string>

#include "core/utf8.h"
#include "digest/md5_digest.h"
#include "digest/md5_function.h"
#include "platform/code_page.h"
#include "support/openssl_md5.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

using testing::OpenSslMd5Hex;

std::string RandomBytes(std::mt19937& random, size_t size) {
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  return bytes;
}

std::string Lower(std::string hex) {
  std::transform(hex.begin(), hex.end(), hex.begin(), [](char c) { return c >= 'A' && c <= 'F' ? c + 32 : c; });
  return hex;
}

class Md5DifferentialTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::CodePage::SetCurrent(1252)); }
};

// RFC 1321's suite, then messages whose padding lands on either side of a
// block boundary.
TEST_F(Md5DifferentialTest, KnownDigestsThroughEveryRoute) {
  const std::pair<std::string, std::string> known[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
      {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
      {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
      {std::string(121, 'a'), "F6ACFCA2D47C87F2B14CA038234D3614"},
      {std::string(127, 'a'), "020406E1D05CDC2AA287641F7AE2CC39"},
  };
  testing::TempDir dir;
  MD5 md5;
  for (const auto& [message, digest] : known) {
    SCOPED_TRACE(message.size());
    const std::u16string text(message.begin(), message.end());
    EXPECT_EQ(EncodeUtf8(md5.Md5_String_Calc(text)), digest);
    EXPECT_EQ(EncodeUtf8(md5.Md5_File_Calc(dir.Write("known.bin", message).u16string())), digest);
    md5.MD5Init();
    for (char c : message) md5.MD5Update(1, ByteArrayRef(std::string_view(&c, 1)));
    md5.MD5Final();
    EXPECT_EQ(EncodeUtf8(md5.GetValues()), digest);
    EXPECT_EQ(EncodeUtf8(MD5ForServer::MD5(Value(text), Value(int32_t{32})).AsString()), Lower(digest));
    EXPECT_EQ(EncodeUtf8(MD5ForServer::MD5(Value(text), Value(int32_t{16})).AsString()),
              Lower(digest).substr(8, 16));
  }
}

TEST_F(Md5DifferentialTest, EveryLengthUpTo300Bytes) {
  std::mt19937 random(1321);
  const platform::CodePage& code_page = platform::CodePage::Current();
  MD5 md5;
  for (size_t length = 0; length <= 300; ++length) {
    SCOPED_TRACE(length);
    const std::string bytes = RandomBytes(random, length);
    const std::string expected = OpenSslMd5Hex(bytes);

    md5.MD5Init();
    md5.MD5Update(static_cast<int32_t>(length), ByteArrayRef(bytes));
    md5.MD5Final();
    EXPECT_EQ(EncodeUtf8(md5.GetValues()), expected);

    // Every byte is a character of its own in code page 1252.
    const std::u16string text = code_page.FromBytes(bytes);
    ASSERT_EQ(code_page.ToBytes(text), bytes);
    EXPECT_EQ(EncodeUtf8(md5.Md5_String_Calc(text)), expected);
    EXPECT_EQ(EncodeUtf8(MD5ForServer::MD5(Value(text), Value(int32_t{32})).AsString()), Lower(expected));
  }
}

TEST_F(Md5DifferentialTest, RandomSplitsReachEveryBufferedCount) {
  std::mt19937 random(64);
  std::bitset<64> buffered_counts_seen;
  MD5 md5;
  for (int round = 0; round < 200; ++round) {
    const std::string message = RandomBytes(random, random() % 3000);
    md5.MD5Init();
    size_t fed = 0;
    while (fed < message.size()) {
      const size_t piece = std::min<size_t>(random() % 150, message.size() - fed);
      md5.MD5Update(static_cast<int32_t>(piece), ByteArrayRef(std::string_view(message).substr(fed, piece)));
      fed += piece;
      buffered_counts_seen.set(fed % 64);
    }
    md5.MD5Final();
    ASSERT_EQ(EncodeUtf8(md5.GetValues()), OpenSslMd5Hex(message)) << "round " << round;
  }
  EXPECT_TRUE(buffered_counts_seen.all());
}

TEST_F(Md5DifferentialTest, LargePiecesUpToTheUpdateLimit) {
  std::mt19937 random(32767);
  const std::string message = RandomBytes(random, 400000);
  MD5 md5;
  md5.MD5Init();
  size_t fed = 0;
  while (fed < message.size()) {
    const size_t piece = std::min<size_t>(random() % 32768, message.size() - fed);
    md5.MD5Update(static_cast<int32_t>(piece), ByteArrayRef(std::string_view(message).substr(fed, piece)));
    fed += piece;
  }
  md5.MD5Final();
  EXPECT_EQ(EncodeUtf8(md5.GetValues()), OpenSslMd5Hex(message));
}

}  // namespace
}  // namespace comsvc
