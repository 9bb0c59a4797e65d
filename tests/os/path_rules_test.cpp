#include "os/path_rules.h"

#include <gtest/gtest.h>

namespace comsvc::os {
namespace {

struct PathCase { const char* path; PathStyle style; const char *folder, *name; bool absolute; };

// Both styles on every host: the Windows rules take "\" and "/" alike and
// know drives and UNC names; POSIX takes "\" as an ordinary character.
TEST(PathRules, SplitAndJudgePathsByStyle) {
  constexpr PathStyle kPosix = PathStyle::kPosix, kWindows = PathStyle::kWindows;
  const PathCase cases[] = {
      {"settings.ini", kPosix, ".", "settings.ini", false}, {"/etc/comsvc.ini", kPosix, "/etc", "comsvc.ini", true},
      {"/comsvc.ini", kPosix, "/", "comsvc.ini", true}, {"dir/sub/file", kPosix, "dir/sub", "file", false},
      {"C:\\dir\\file", kPosix, ".", "C:\\dir\\file", false}, {"C:\\dir\\file", kWindows, "C:\\dir", "file", true},
      {"C:/dir/file", kWindows, "C:/dir", "file", true},
      {"c:\\mixed/slashes\\file", kWindows, "c:\\mixed/slashes", "file", true},
      {"\\\\server\\share\\file", kWindows, "\\\\server\\share", "file", true},
      {"\\rooted", kWindows, "\\", "rooted", false}, {"C:relative", kWindows, ".", "C:relative", false},
      {"settings.ini", kWindows, ".", "settings.ini", false},
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(std::tuple(FolderOf(std::string(c.path), c.style), NameOf(std::string(c.path), c.style),
                         IsAbsolute(std::string_view(c.path), c.style)),
              std::tuple(c.folder, c.name, c.absolute)) << c.path;
  }
}

TEST(PathRules, JoinPutsOneSeparatorOfTheStyle) {
  EXPECT_EQ(JoinPath<char>("/a", "b.ini", PathStyle::kPosix), "/a/b.ini");
  EXPECT_EQ(JoinPath<char>("/a/", "b.ini", PathStyle::kPosix), "/a/b.ini");
  EXPECT_EQ(JoinPath<char>("C:\\a", "b.ini", PathStyle::kWindows), "C:\\a\\b.ini");
  EXPECT_EQ(JoinPath<char>("C:/a/", "b.ini", PathStyle::kWindows), "C:/a/b.ini");
  EXPECT_EQ(JoinPath<char16_t>(u"C:\\a", u"b.ini", PathStyle::kWindows), u"C:\\a\\b.ini");
}

}  // namespace
}  // namespace comsvc::os
