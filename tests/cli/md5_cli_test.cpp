#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace comsvc::testing {
namespace {

TEST(Md5CliTest, DigestsAndExitStatuses) {
  TempDir dir;
  const std::string abc_file = dir.Write("abc.txt", "abc").string();
  const std::string utf16_file = dir.Write("utf16.txt", std::string("\xFF\xFE\xE9\x00", 4)).string();
  const std::string missing = (dir.Path() / "missing").string();
  const std::string abc = "900150983CD24FB0D6963F7D28E17F72\n";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {{"md5", "abc"}, "", 0, abc},
      {{"md5", "--text-file", "-"}, "abc", 0, abc},
      {{"--codepage", "1252", "md5", "--encoding", "utf-16le", "--text-file", utf16_file}, "", 0,
       "3406877694691DDD1DFB0ACA54681407\n"},  // the byte E9
      {{"md5", "--file", abc_file}, "", 0, abc},
      {{"md5", "--file", missing}, "", 1, ""},
      {{"md5", "--server", "16", "abc"}, "", 0, "3cd24fb0d6963f7d\n"},
      {{"md5", "--registers", "abc"}, "", 0,
       abc + "RegisterA: -1739587184\nRegisterB: -1336946116\nRegisterC: 2101319382\nRegisterD: 1920983336\n"},
      {{"md5"}, "", 2, ""},
      {{"md5", "--server", "32", "--registers", "abc"}, "", 2, ""},
  };
  for (const Case& c : cases) {
    const ProcessResult result = RunComsvc(c.args, c.input);
    EXPECT_EQ(result.status, c.status) << c.args.back() << ": " << result.err;
    EXPECT_EQ(result.out, c.out) << c.args.back();
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  const ProcessResult overflow = RunComsvc({"md5", std::string(32768, 'x')});
  EXPECT_EQ(overflow.status, 1);
  EXPECT_EQ(overflow.err, "error 6: Overflow\n");
}

}  // namespace
}  // namespace comsvc::testing
