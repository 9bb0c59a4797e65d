#include "platform/message_loop.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace comsvc::platform {
namespace {

using namespace std::chrono_literals;

// Two pipes with one byte waiting in each: both read ends are ready.
struct ReadyPipes {
  int fds[2][2];
  ReadyPipes() {
    for (auto& p : fds) {
      EXPECT_EQ(pipe2(p, O_NONBLOCK), 0);
      EXPECT_EQ(write(p[1], "x", 1), 1);
    }
  }
  ~ReadyPipes() {
    for (auto& p : fds) {
      for (int fd : p) close(fd);
    }
  }
  // Whether a byte could be read from pipe `i`.
  bool Read(int i) {
    char c;
    return read(fds[i][0], &c, 1) == 1;
  }
};

TEST(MessageLoop, AWatchRemovedByAnEarlierHandlerOfTheSameTurnDoesNotRun) {
  MessageLoop loop;
  ReadyPipes pipes;
  int calls = 0;
  MessageLoop::Id watches[2];
  for (int i = 0; i < 2; ++i) {
    watches[i] = loop.WatchFd(pipes.fds[i][0], MessageLoop::kReadable, [&](unsigned) {
      ++calls;
      for (auto id : watches) loop.UnwatchFd(id);
    });
  }
  loop.RunOnce(100ms);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(loop.IsIdle());
}

TEST(MessageLoop, ANestedWaitServesTheQueueAndWhatItServedIsNotReportedAgain) {
  MessageLoop loop;
  ReadyPipes pipes;
  std::string trace;
  // The first handler waits in a nested run, as a modal box does.
  loop.WatchFd(pipes.fds[0][0], MessageLoop::kReadable, [&](unsigned) {
    pipes.Read(0);
    trace += "box opens ";
    loop.StartOneShot(10ms, [&] { trace += "timer "; });
    loop.RunUntil([&] { return trace.ends_with("timer "); });
    trace += "box closed ";
  });
  loop.WatchFd(pipes.fds[1][0], MessageLoop::kReadable, [&](unsigned) {
    trace += pipes.Read(1) ? "read " : "nothing to read ";
  });
  loop.RunFor(100ms);
  // Either watch may be served first; neither is served twice.
  EXPECT_THAT(trace, ::testing::AnyOf("box opens read timer box closed ", "read box opens timer box closed "));
}

}  // namespace
}  // namespace comsvc::platform
