#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/openssl_md5.h"
#include "support/test_support.h"

namespace comsvc::testing {
namespace {

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int status;
  std::string out;
};

class Md5CliTest : public ::testing::Test {
 protected:
  TempDir dir_;
  const std::string abc_file_ = dir_.Write("abc.txt", "abc").string();
  const std::string utf16_file_ = dir_.Write("utf16.txt", std::string("\xFF\xFE\xE9\x00", 4)).string();
};

TEST_F(Md5CliTest, DigestsAndExitStatuses) {
  const std::string abc = "900150983CD24FB0D6963F7D28E17F72\n";
  const Case cases[] = {
      {"text", {"md5", "abc"}, "", 0, abc},
      {"ANSI bytes", {"--codepage", "1252", "md5", "\xC3\xA9"}, "", 0, "3406877694691DDD1DFB0ACA54681407\n"},
      {"text file from stdin", {"md5", "--text-file", "-"}, "abc", 0, abc},
      {"UTF-16 text file", {"--codepage", "1252", "md5", "--encoding", "utf-16le", "--text-file", utf16_file_}, "", 0,
       "3406877694691DDD1DFB0ACA54681407\n"},
      {"file", {"md5", "--file", abc_file_}, "", 0, abc},
      {"missing file", {"md5", "--file", (dir_.Path() / "missing").string()}, "", 1, ""},
      {"server 32", {"md5", "--server", "32", "abc"}, "", 0, "900150983cd24fb0d6963f7d28e17f72\n"},
      {"server 16", {"md5", "--server", "16", "abc"}, "", 0, "3cd24fb0d6963f7d\n"},
      {"server numeric text", {"md5", "--server", "32.0", "abc"}, "", 0, "900150983cd24fb0d6963f7d28e17f72\n"},
      {"server double-byte character", {"--codepage", "936", "md5", "--server", "32", "\xE4\xB8\xAD"}, "", 0,
       "6cba308f8d5f2b49971dbb43879a078c\n"},
      {"no text", {"md5"}, "", 2, ""},
      {"two modes", {"md5", "--server", "32", "--registers", "abc"}, "", 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult result = RunComsvc(c.args, c.input);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "missing"));
}

TEST_F(Md5CliTest, OverflowIsReportedAsARuntimeError) {
  const ProcessResult result = RunComsvc({"md5", std::string(32768, 'x')});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error 6: Overflow\n");
}

TEST_F(Md5CliTest, RegistersFollowTheDigest) {
  const std::string digest = OpenSslMd5Hex("message digest");
  const ProcessResult result = RunComsvc({"md5", "--registers", "message digest"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, digest + "\n" + "RegisterA: " + RegisterDecimal(digest, 0) + "\n" +
                            "RegisterB: " + RegisterDecimal(digest, 1) + "\n" + "RegisterC: " +
                            RegisterDecimal(digest, 2) + "\n" + "RegisterD: " + RegisterDecimal(digest, 3) + "\n");
}

}  // namespace
}  // namespace comsvc::testing
