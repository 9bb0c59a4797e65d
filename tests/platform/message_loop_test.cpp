#include "platform/message_loop.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace comsvc::platform {
namespace {

using namespace std::chrono_literals;

class Pipe {
 public:
  Pipe() {
    if (pipe(fds_) != 0) throw std::runtime_error("pipe");
  }
  ~Pipe() {
    close(fds_[0]);
    close(fds_[1]);
  }
  int Reader() const { return fds_[0]; }
  void Write(char c) { ASSERT_EQ(write(fds_[1], &c, 1), 1); }
  char Read() {
    char c = 0;
    EXPECT_EQ(read(fds_[0], &c, 1), 1);
    return c;
  }

 private:
  int fds_[2];
};

TEST(MessageLoop, PostedTasksRunInOrderAndTasksTheyPostWaitForTheNextTurn) {
  MessageLoop loop;
  std::string trace;
  loop.PostTask([&] {
    trace += "a";
    loop.PostTask([&] { trace += "c"; });
  });
  loop.PostTask([&] { trace += "b"; });
  EXPECT_TRUE(loop.RunOnce(0ms));
  EXPECT_EQ(trace, "ab");
  EXPECT_TRUE(loop.RunOnce(0ms));
  EXPECT_EQ(trace, "abc");
  EXPECT_FALSE(loop.RunOnce(0ms));
}

TEST(MessageLoop, RunUntilEndsWhenTheConditionHoldsTheDeadlinePassesOrNothingIsLeft) {
  MessageLoop loop;
  int ticks = 0;
  EXPECT_TRUE(loop.RunUntil([] { return true; }));  // already true: no turn needed
  EXPECT_FALSE(loop.RunUntil([] { return false; }));  // idle: nothing could change it

  auto timer = loop.StartTimer(5ms, [&] { ++ticks; });
  EXPECT_TRUE(loop.RunUntil([&] { return ticks == 3; }, MessageLoop::Clock::now() + 5s));
  EXPECT_EQ(ticks, 3);

  auto start = MessageLoop::Clock::now();
  EXPECT_FALSE(loop.RunFor(50ms));
  EXPECT_GE(MessageLoop::Clock::now() - start, 50ms);
  loop.StopTimer(timer);
  EXPECT_TRUE(loop.IsIdle());
}

TEST(MessageLoop, TimersFireInDueOrderOneShotsOnce) {
  MessageLoop loop;
  std::string trace;
  loop.StartOneShot(30ms, [&] { trace += "late "; });
  loop.StartOneShot(10ms, [&] { trace += "early "; });
  loop.StartOneShot(0ms, [&] { trace += "now "; });
  loop.RunFor(100ms);
  EXPECT_EQ(trace, "now early late ");
  EXPECT_TRUE(loop.IsIdle());
}

TEST(MessageLoop, WatchReportsReadableDataUntilRemoved) {
  MessageLoop loop;
  Pipe pipe;
  std::string received;
  auto watch = loop.WatchFd(pipe.Reader(), MessageLoop::kReadable, [&](unsigned ready) {
    EXPECT_TRUE(ready & MessageLoop::kReadable);
    received += pipe.Read();
  });
  EXPECT_FALSE(loop.RunOnce(10ms));  // nothing written yet
  pipe.Write('x');
  pipe.Write('y');
  EXPECT_TRUE(loop.RunUntil([&] { return received.size() == 2; }, MessageLoop::Clock::now() + 1s));
  EXPECT_EQ(received, "xy");

  loop.UnwatchFd(watch);
  pipe.Write('z');
  EXPECT_FALSE(loop.RunOnce(10ms));
  EXPECT_EQ(received, "xy");
}

TEST(MessageLoop, AWatchRemovedByAnEarlierHandlerOfTheSameTurnDoesNotRun) {
  MessageLoop loop;
  Pipe first;
  Pipe second;
  int calls = 0;
  MessageLoop::Id watch_a = 0;
  MessageLoop::Id watch_b = 0;
  watch_a = loop.WatchFd(first.Reader(), MessageLoop::kReadable, [&](unsigned) {
    ++calls;
    loop.UnwatchFd(watch_a);
    loop.UnwatchFd(watch_b);
  });
  watch_b = loop.WatchFd(second.Reader(), MessageLoop::kReadable, [&](unsigned) {
    ++calls;
    loop.UnwatchFd(watch_a);
    loop.UnwatchFd(watch_b);
  });
  first.Write('1');
  second.Write('2');
  loop.RunOnce(100ms);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(loop.IsIdle());
}

TEST(MessageLoop, AHandlerCanWaitInANestedRunWhileTheQueueKeepsBeingServed) {
  MessageLoop loop;
  std::vector<std::string> trace;
  bool box_closed = false;
  loop.PostTask([&] {
    trace.push_back("box opens");
    loop.StartOneShot(10ms, [&] {
      trace.push_back("timer during the box");
      box_closed = true;
    });
    loop.RunUntil([&] { return box_closed; });
    trace.push_back("box closed");
  });
  loop.PostTask([&] { trace.push_back("second task"); });
  loop.RunFor(100ms);
  // The second task was already queued: it runs in the nested wait.
  EXPECT_EQ(trace, (std::vector<std::string>{"box opens", "second task", "timer during the box", "box closed"}));
}

TEST(MessageLoop, ReadinessServedByANestedWaitIsNotReportedAgain) {
  MessageLoop loop;
  Pipe first;
  Pipe second;
  int second_calls = 0;
  int empty_reads = 0;
  loop.WatchFd(first.Reader(), MessageLoop::kReadable, [&](unsigned) {
    first.Read();
    loop.RunOnce(0ms);  // a nested wait, as a modal box does
  });
  loop.WatchFd(second.Reader(), MessageLoop::kReadable, [&](unsigned) {
    ++second_calls;
    char c;
    if (read(second.Reader(), &c, 1) != 1) ++empty_reads;
  });
  fcntl(second.Reader(), F_SETFL, O_NONBLOCK);
  first.Write('1');
  second.Write('2');
  loop.RunOnce(100ms);
  loop.RunOnce(10ms);
  EXPECT_EQ(second_calls, 1);
  EXPECT_EQ(empty_reads, 0);
}

TEST(MessageLoop, TasksBehindOneThatRaisesStayQueued) {
  MessageLoop loop;
  bool later_ran = false;
  loop.PostTask([] { throw std::runtime_error("raised to the waiting caller"); });
  loop.PostTask([&] { later_ran = true; });
  EXPECT_THROW(loop.RunOnce(0ms), std::runtime_error);
  EXPECT_FALSE(later_ran);
  loop.RunOnce(0ms);
  EXPECT_TRUE(later_ran);
}

TEST(MessageLoop, ASourceWithBufferedEventsIsDispatchedWithoutBlocking) {
  MessageLoop loop;
  int buffered = 2;
  int dispatched = 0;
  auto source = loop.AddSource([&] { return buffered > 0; },
                               [&] {
                                 --buffered;
                                 ++dispatched;
                               });
  auto timer = loop.StartTimer(1h, [] {});  // would block for an hour if the source were ignored
  auto start = MessageLoop::Clock::now();
  EXPECT_TRUE(loop.RunUntil([&] { return dispatched == 2; }, start + 5s));
  EXPECT_LT(MessageLoop::Clock::now() - start, 1s);
  loop.RemoveSource(source);
  loop.StopTimer(timer);
}

}  // namespace
}  // namespace comsvc::platform
