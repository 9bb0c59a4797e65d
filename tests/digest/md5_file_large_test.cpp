// The longest message the class can digest, 268435455 bytes, and one byte
// more, as files and fed through MD5Update.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "digest/md5_digest.h"
#include "support/openssl_md5.h"
#include "support/test_support.h"

namespace comsvc {
namespace {

constexpr int64_t kLongestMessage = 268435455;

TEST(Md5FileLargeTest, LongestMessageIsDigestedAndOneByteMoreIsRefused) {
  const std::string tail = "the last bytes of a very long file";  // ends in a partial record
  testing::TempDir dir;
  const auto path = dir.Path() / "long.bin";
  MD5 md5;
  for (int64_t size : {kLongestMessage, kLongestMessage + 1}) {
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, size - tail.size());  // zeros, sparse
    std::ofstream(path, std::ios::binary | std::ios::app) << tail;
    const std::string expected = size == kLongestMessage ? testing::OpenSslMd5Hex(tail, size - tail.size()) : "";
    EXPECT_EQ(EncodeUtf8(md5.Md5_File_Calc(path.u16string())), expected) << size;
  }

  const std::string zeros(32767, '\0');
  md5.MD5Init();
  for (int64_t left = kLongestMessage + 1; left > 0; left -= zeros.size()) {
    md5.MD5Update(static_cast<int32_t>(std::min<int64_t>(left, zeros.size())), ByteArrayRef(zeros));
  }
  EXPECT_THAT([&] { md5.MD5Final(); },
              ::testing::Throws<RuntimeError>(::testing::Property(&RuntimeError::Number, 6)));
}

}  // namespace
}  // namespace comsvc
