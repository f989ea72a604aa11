// The message loop on Windows: TTimers on the loop's hidden window, fired by whoever pumps
// the thread's messages, the library's ProcessMessages or a host's own message loop. Real
// time: these tests wait for real USER timers, bounded by deadlines.
#include "platform/timer.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx {
namespace {

class Win32LoopTest : public ::testing::Test {
 protected:
  void SetUp() override { MessageLoop::Current().SetClock(nullptr); }
  void TearDown() override { MessageLoop::Current().SetClock(nullptr); }
  static ULONGLONG Now() { return GetTickCount64(); }
};

TEST_F(Win32LoopTest, ProcessMessagesWaitsForTheNextTimerAndThereIsNoDescriptor) {
  MessageLoop &loop = MessageLoop::Current();
  EXPECT_EQ(loop.EventFd(), -1);
  int fired = 0;
  TTimer t;
  t.SetInterval(30);
  t.OnTimer = [&] { ++fired; };
  const ULONGLONG start = Now();
  std::uint32_t ran = 0;
  while (ran == 0 && Now() - start < 5000) ran = loop.ProcessMessages(5000);  // blocks until due
  EXPECT_EQ(ran, 1u);
  EXPECT_EQ(fired, 1);
  EXPECT_GE(Now() - start, 25u);
  EXPECT_LT(Now() - start, 2000u);

  t.SetEnabled(false);
  const ULONGLONG idle = Now();
  EXPECT_EQ(loop.ProcessMessages(40), 0u);  // nothing due: returns after about the wait
  EXPECT_GE(Now() - idle, 30u);
  EXPECT_EQ(fired, 1);
}

// A host that never calls into the loop, only runs its own GetMessage/DispatchMessage loop,
// still drives the timers, in due order, as window-message timers are driven.
TEST_F(Win32LoopTest, AHostsOwnMessageLoopDrivesTheTimers) {
  std::vector<char> order;
  TTimer fast, slow;
  fast.SetInterval(20);
  slow.SetInterval(50);
  fast.OnTimer = [&] {
    order.push_back('f');
    if (order.size() >= 8) PostQuitMessage(0);
  };
  slow.OnTimer = [&] {
    order.push_back('s');
    slow.SetEnabled(false);  // a handler may stop its own timer
  };
  const ULONGLONG start = Now();
  MSG msg;
  bool quit = false;
  while (!quit && Now() - start < 5000) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_TIMEOUT) continue;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  ASSERT_TRUE(quit) << "the timers did not run from the host's loop";
  ASSERT_EQ(std::count(order.begin(), order.end(), 's'), 1);
  // 50 ms comes after the second 20 ms event and before the third.
  const auto s_at = std::find(order.begin(), order.end(), 's') - order.begin();
  EXPECT_GE(s_at, 2);
  EXPECT_LE(s_at, 3);
  EXPECT_GE(Now() - start, 120u);  // eight 20 ms events, on a clock of 16 ms ticks
}

// A handler that throws while the host's own DispatchMessageW runs it: nothing unwinds into
// the host's loop, the error is reported, and the timer fires again.
TEST_F(Win32LoopTest, AThrowingHandlerDoesNotLeaveTheHostsDispatch) {
  MessageLoop &loop = MessageLoop::Current();
  std::string error;
  loop.SetHandlerErrorSink([&](const std::string &m) { error = m; });
  int fired = 0;
  TTimer t;
  t.SetInterval(20);
  t.OnTimer = [&] {
    if (++fired >= 3) PostQuitMessage(0);
    throw std::runtime_error("redraw failed");
  };
  const ULONGLONG start = Now();
  MSG msg;
  bool quit = false, escaped = false;
  while (!quit && !escaped && Now() - start < 5000) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_TIMEOUT) continue;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        break;
      }
      try {
        DispatchMessageW(&msg);
      } catch (...) {
        escaped = true;
        break;
      }
    }
  }
  loop.SetHandlerErrorSink(nullptr);
  EXPECT_FALSE(escaped) << "an exception unwound through DispatchMessageW";
  EXPECT_TRUE(quit) << "the timer stopped after its handler threw";
  EXPECT_EQ(fired, 3);
  EXPECT_EQ(error, "redraw failed");
}

TEST_F(Win32LoopTest, TheManualClockIgnoresTheSystemTimerAndLeavesWmQuitToTheHost) {
  auto clock = std::make_shared<ManualClock>();
  MessageLoop &loop = MessageLoop::Current();
  loop.SetClock(clock);
  int fired = 0;
  TTimer t;
  t.SetInterval(10);
  t.OnTimer = [&] { ++fired; };
  // Real time passes; only Advance moves the manual clock.
  const ULONGLONG start = Now();
  while (Now() - start < 40) loop.ProcessMessages(0);
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(loop.Advance(35), 3u);
  EXPECT_EQ(fired, 3);

  PostQuitMessage(7);
  loop.ProcessMessages(0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(Win32LoopTest, EachThreadHasItsOwnWindowAndTimers) {
  int main_fired = 0, worker_fired = 0;
  TTimer mine;
  mine.SetInterval(20);
  mine.OnTimer = [&] { ++main_fired; };
  std::atomic<bool> done{false};
  std::thread worker([&] {
    TTimer t;
    t.SetInterval(20);
    t.OnTimer = [&] { ++worker_fired; };
    const ULONGLONG start = GetTickCount64();
    while (worker_fired < 2 && GetTickCount64() - start < 5000) MessageLoop::Current().ProcessMessages(100);
    done = true;
  });
  // The worker's timers never fire on this thread, nor this thread's on the worker.
  const ULONGLONG start = Now();
  while (!done && Now() - start < 5000) MessageLoop::Current().ProcessMessages(50);
  worker.join();
  EXPECT_EQ(worker_fired, 2);
  EXPECT_GE(main_fired, 1);
}

}  // namespace
}  // namespace vx
