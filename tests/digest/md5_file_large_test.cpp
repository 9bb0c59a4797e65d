// The longest message the class can digest, 268435455 bytes, and one byte
// more, as files and fed through MD5Update.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "digest/md5_digest.h"
#include "support/openssl_md5.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

constexpr int64_t kLongestMessage = 268435455;
constexpr int32_t kPiece = 32767;

// A sparse file of `size` bytes: zeros, then a recognisable tail that ends in
// a partial record.
std::string WriteSparseFile(const testing::TempDir& dir, const std::string& name, int64_t size) {
  const std::string path = (dir.Path() / name).string();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_GE(fd, 0);
  const std::string tail = "the last bytes of a very long file";
  EXPECT_EQ(::ftruncate(fd, size), 0);
  EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), size - static_cast<int64_t>(tail.size())),
            static_cast<ssize_t>(tail.size()));
  ::close(fd);
  return path;
}

TEST(Md5FileLargeTest, LongestFileIsDigestedAndOneByteMoreGivesEmptyText) {
  testing::TempDir dir;
  MD5 md5;
  const std::string longest = WriteSparseFile(dir, "longest.bin", kLongestMessage);
  EXPECT_EQ(EncodeUtf8(md5.Md5_File_Calc(Utf8ToUtf16(longest))), testing::OpenSslMd5OfFile(longest));
  ::unlink(longest.c_str());

  const std::string too_long = WriteSparseFile(dir, "too-long.bin", kLongestMessage + 1);
  EXPECT_EQ(md5.Md5_File_Calc(Utf8ToUtf16(too_long)), u"");
}

// Feeds `total` zero bytes in pieces of at most 32767.
void FeedZeros(MD5& md5, int64_t total) {
  const std::string zeros(kPiece, '\0');
  md5.MD5Init();
  for (int64_t fed = 0; fed < total; fed += kPiece) {
    const auto piece = static_cast<int32_t>(std::min<int64_t>(kPiece, total - fed));
    md5.MD5Update(piece, ByteArrayRef(zeros));
  }
}

TEST(Md5FileLargeTest, FinalRaisesOverflowFrom268435456Bytes) {
  MD5 md5;
  FeedZeros(md5, kLongestMessage);
  md5.MD5Final();
  testing::OpenSslMd5 peer;
  const std::string zeros(1 << 20, '\0');
  for (int64_t fed = 0; fed < kLongestMessage; fed += zeros.size()) {
    peer.Update(std::string_view(zeros).substr(0, std::min<int64_t>(zeros.size(), kLongestMessage - fed)));
  }
  EXPECT_EQ(EncodeUtf8(md5.GetValues()), peer.UpperHex());

  FeedZeros(md5, kLongestMessage + 1);
  try {
    md5.MD5Final();
    ADD_FAILURE() << "MD5Final accepted 268435456 bytes";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number(), 6);
  }
}

}  // namespace
}  // namespace comsvc
