// Several processes writing one INI file at once, and writers killed midway.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/ini_profile.h"
#include "support/test_support.h"

namespace comsvc::platform {
namespace {

using testing::ReadBytes;
using testing::TempDir;

// Runs `work` in a child process; the child exits 0 when it returns true.
pid_t Spawn(const std::function<bool()>& work) {
  pid_t pid = fork();
  if (pid == 0) _exit(work() ? 0 : 1);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(IniConcurrency, TwoProcessesWritingDifferentKeysLoseNothing) {
  TempDir dir;
  const std::string path = (dir.Path() / "shared.ini").string();
  constexpr int kWrites = 1000;
  auto writer = [&](const std::string& prefix) {
    return Spawn([&, prefix] {
      CodePage code_page(1252);
      for (int i = 0; i < kWrites; ++i) {
        std::string section = i % 2 ? "Odd" : "Even";
        if (!WriteProfileString(section, prefix + std::to_string(i), std::to_string(i * 7), path, code_page)) {
          return false;
        }
      }
      return true;
    });
  };
  pid_t first = writer("a");
  pid_t second = writer("b");
  EXPECT_EQ(WaitFor(first), 0);
  EXPECT_EQ(WaitFor(second), 0);

  CodePage code_page(1252);
  int missing = 0;
  for (const char* prefix : {"a", "b"}) {
    for (int i = 0; i < kWrites; ++i) {
      std::string got = ReadProfileString(i % 2 ? "Odd" : "Even", prefix + std::to_string(i), "", 100, path, code_page);
      if (got != std::to_string(i * 7)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST(IniConcurrency, WriterKilledMidwayLeavesAWholeFile) {
  TempDir dir;
  const std::string path = (dir.Path() / "big.ini").string();
  // Large enough that writing it takes a while, so kills land mid-write.
  const std::string filler = "[Filler]\r\nf=" + std::string(4 << 20, 'f') + "\r\n";
  const std::string old_file = filler + "[S]\r\nk=old\r\n";
  const std::string new_file = filler + "[S]\r\nk=new\r\n";
  dir.Write("big.ini", old_file);

  std::mt19937 random(12345);
  for (int round = 0; round < 6; ++round) {
    pid_t child = Spawn([&]() -> bool {
      CodePage code_page(1252);
      for (int i = 0;; ++i) WriteProfileString("S", "k", i % 2 ? "old" : "new", path, code_page);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 60));
    kill(child, SIGKILL);
    WaitFor(child);
    std::string now = ReadBytes(path);
    EXPECT_TRUE(now == old_file || now == new_file) << "round " << round << ": " << now.size() << " bytes";
  }
  // The next writer is not hindered by what a killed one left behind.
  EXPECT_TRUE(WriteProfileString("S", "k", "after", path, CodePage(1252)));
  EXPECT_EQ(ReadBytes(path), filler + "[S]\r\nk=after\r\n");
}

}  // namespace
}  // namespace comsvc::platform
