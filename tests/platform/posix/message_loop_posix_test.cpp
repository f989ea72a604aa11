// The message loop's Linux side: the timerfd a host can poll, and descriptor sources.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "platform/timer.h"

namespace vx {
namespace {

TEST(RealClockLoop, ProcessMessagesWaitsForTheNextTimerAndTheFdSignalsIt) {
  MessageLoop &loop = MessageLoop::Current();
  loop.SetClock(nullptr);
  int fd = loop.EventFd();
  ASSERT_GE(fd, 0);
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);  // nothing scheduled: not readable

  int fired = 0;
  TTimer t;
  t.SetInterval(20);
  t.OnTimer = [&] { ++fired; };
  // Readable once the timer is due (the wait is the test's only clock).
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(loop.ProcessMessages(0), 1u);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(poll(&p, 1, 0), 0);  // consumed and re-armed for the next event

  const auto start = std::chrono::steady_clock::now();
  std::uint32_t ran = 0;
  while (ran == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
    ran = loop.ProcessMessages(5000);  // blocks until the timer is due, not for 5 s
  EXPECT_EQ(ran, 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  t.SetEnabled(false);
  const auto idle = std::chrono::steady_clock::now();
  EXPECT_EQ(loop.ProcessMessages(30), 0u);  // nothing due: returns after at most the wait
  EXPECT_GE(std::chrono::steady_clock::now() - idle, std::chrono::milliseconds(29));
  EXPECT_EQ(loop.NextDueIn(), -1);
}

// A host polling the descriptor is woken again after a handler threw: the loop re-armed.
TEST(RealClockLoop, AfterAThrowingHandlerTheDescriptorSignalsTheNextEvent) {
  MessageLoop &loop = MessageLoop::Current();
  loop.SetClock(nullptr);
  std::string error;
  loop.SetHandlerErrorSink([&](const std::string &m) { error = m; });
  int fired = 0;
  TTimer t;
  t.SetInterval(20);
  t.OnTimer = [&] {
    ++fired;
    throw std::runtime_error("redraw failed");
  };
  pollfd p{loop.EventFd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(loop.ProcessMessages(0), 1u);
  EXPECT_EQ(error, "redraw failed");
  ASSERT_EQ(poll(&p, 1, 5000), 1) << "the loop was not re-armed after the exception";
  EXPECT_EQ(loop.ProcessMessages(0), 1u);
  EXPECT_EQ(fired, 2);
  // A source's pump that throws is reported the same way and stays registered.
  int pumped = 0;
  MessageLoop::Source source = loop.AddSource(-1, [&] {
    ++pumped;
    throw std::runtime_error("pump failed");
  });
  t.SetEnabled(false);
  loop.ProcessMessages(0);
  loop.ProcessMessages(0);
  EXPECT_EQ(pumped, 2);
  EXPECT_EQ(error, "pump failed");
  loop.SetHandlerErrorSink(nullptr);
}

TEST(RealClockLoop, SourcesArePumpedAndWakeTheWait) {
  MessageLoop &loop = MessageLoop::Current();
  loop.SetClock(nullptr);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int pumped = 0;
  MessageLoop::Source source = loop.AddSource(fds[0], [&] {
    char c;
    if (read(fds[0], &c, 1) == 1) ++pumped;
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  const auto start = std::chrono::steady_clock::now();
  loop.ProcessMessages(5000);
  EXPECT_EQ(pumped, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  source.Reset();
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  loop.ProcessMessages(0);
  EXPECT_EQ(pumped, 1);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace vx
