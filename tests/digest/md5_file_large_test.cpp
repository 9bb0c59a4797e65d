// The longest file the class can digest, 268435455 bytes, and one byte more.
#include <gtest/gtest.h>

#include <fstream>

#include <comsvc/utf8.h>
#include <comsvc/md5_digest.h>
#include "support/reference_md5.h"
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
    const std::string expected = size == kLongestMessage ? testing::ReferenceMd5Hex(tail, size - tail.size()) : "";
    EXPECT_EQ(EncodeUtf8(md5.Md5_File_Calc(path.u16string())), expected) << size;
  }
}

}  // namespace
}  // namespace comsvc
