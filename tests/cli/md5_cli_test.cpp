#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace comsvc::testing {
namespace {

TEST(Md5CliTest, DigestsAndExitStatuses) {
  TempDir dir;
  const std::string abc_file = dir.Write("abc.txt", "abc").string();
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
      {{"md5", "--file", abc_file}, "", 0, abc},
      {{"md5", "--file", missing}, "", 1, ""},
      {{"md5", "--server", "16", "abc"}, "", 0, "3cd24fb0d6963f7d\n"},
      {{"md5", "--registers", "abc"}, "", 0,
       abc + "RegisterA: -1739587184\nRegisterB: -1336946116\nRegisterC: 2101319382\nRegisterD: 1920983336\n"},
      {{"md5", std::string(32768, 'x')}, "", 1, ""},  // error 6
      {{"md5"}, "abc", 0, abc},
      {{"md5", "-"}, "abc", 0, abc},
      {{"md5", "a", "b"}, "", 2, ""},
      {{"--codepage", "932", "md5", "--encoding", "ansi", "-"}, "a\x82\xA0", 0, "E108F8C48684F6A604F0F1710BB9EE31\n"},
      {{"--codepage", "932", "md5", "--encoding", "ansi", "-"}, "a\x82", 2, ""},  // a lead byte at the end
  };
  for (const Case& c : cases) {
    const ProcessResult result = RunComsvc(c.args, c.input);
    const std::string label = c.args.back().substr(0, 40);
    EXPECT_EQ(result.status, c.status) << label << ": " << result.err;
    EXPECT_EQ(result.out, c.out) << label;
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace comsvc::testing
