#include "platform/timer.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vx {
namespace {

// Every test runs on a fresh manual clock; the log records "name@ms" per event.
class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = std::make_shared<ManualClock>();
    MessageLoop::Current().SetClock(clock_);
  }
  void TearDown() override { MessageLoop::Current().SetClock(nullptr); }

  std::unique_ptr<TTimer> Make(const std::string &name, std::uint32_t interval) {
    auto t = std::make_unique<TTimer>();
    t->SetInterval(interval);
    t->OnTimer = [this, name] { Log(name); };
    return t;
  }
  void Log(const std::string &name) { log_.push_back(name + "@" + std::to_string(clock_->NowMs())); }
  std::uint32_t Advance(std::int64_t ms) { return MessageLoop::Current().Advance(ms); }

  std::shared_ptr<ManualClock> clock_;
  std::vector<std::string> log_;
};

using Events = std::vector<std::string>;

TEST_F(TimerTest, FrameworkDefaultsAreEnabledWithOneSecond) {
  TTimer t;
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(t.Interval(), 1000u);
  int fired = 0;
  t.OnTimer = [&] { ++fired; };
  Advance(999);
  EXPECT_EQ(fired, 0);
  Advance(1);
  EXPECT_EQ(fired, 1);
}

TEST_F(TimerTest, AdvanceFiresEachEventAtItsOwnTimeInOrder) {
  auto a = Make("a", 40);
  auto b = Make("b", 60);
  EXPECT_EQ(Advance(120), 5u);
  // Equal due times run in creation order.
  EXPECT_EQ(log_, (Events{"a@40", "b@60", "a@80", "a@120", "b@120"}));
  EXPECT_EQ(clock_->NowMs(), 120);
}

TEST_F(TimerTest, AfterAStallATimerFiresOnceNotOncePerMissedInterval) {
  auto a = Make("a", 40);
  clock_->Advance(1000);  // time moves without the loop running
  EXPECT_EQ(MessageLoop::Current().ProcessMessages(0), 1u);
  EXPECT_EQ(log_, (Events{"a@1000"}));
  EXPECT_EQ(MessageLoop::Current().NextDueIn(), 40);
  Advance(40);
  EXPECT_EQ(log_, (Events{"a@1000", "a@1040"}));
}

TEST_F(TimerTest, EnablingARunningTimerKeepsItsCountdown) {
  auto a = Make("a", 100);
  Advance(60);
  a->SetEnabled(true);
  a->SetInterval(100);  // the same interval changes nothing either
  Advance(40);
  EXPECT_EQ(log_, (Events{"a@100"}));
}

TEST_F(TimerTest, DisablingAndEnablingStartsAFreshCountdown) {
  auto a = Make("a", 100);
  Advance(60);
  a->SetEnabled(false);
  Advance(100);
  EXPECT_TRUE(log_.empty());
  a->SetEnabled(true);
  Advance(99);
  EXPECT_TRUE(log_.empty());
  Advance(1);
  EXPECT_EQ(log_, (Events{"a@260"}));
}

TEST_F(TimerTest, ChangingTheIntervalOfARunningTimerRestartsIt) {
  auto a = Make("a", 100);
  Advance(60);
  a->SetInterval(50);
  Advance(100);
  EXPECT_EQ(log_, (Events{"a@110", "a@160"}));
  a->SetEnabled(false);
  a->SetInterval(10);  // a stopped timer stays stopped
  Advance(100);
  EXPECT_EQ(log_.size(), 2u);
}

TEST_F(TimerTest, IntervalZeroNeverFires) {
  auto a = Make("a", 0);
  Advance(10000);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(MessageLoop::Current().NextDueIn(), -1);
}

// A handler that throws ends there: the error goes to the loop's sink, the other timers of the
// same instant still run, and the throwing timer keeps its schedule.
TEST_F(TimerTest, AThrowingHandlerIsReportedAndTheTimersGoOn) {
  std::vector<std::string> errors;
  MessageLoop::Current().SetHandlerErrorSink([&](const std::string &m) { errors.push_back(m); });
  auto a = Make("a", 40);
  auto b = Make("b", 40);
  int throws = 0;
  a->OnTimer = [&] {
    Log("a");
    if (throws++ == 0) throw std::runtime_error("no memory for the redraw");
  };
  EXPECT_EQ(Advance(40), 2u);
  EXPECT_EQ(errors, (std::vector<std::string>{"no memory for the redraw"}));
  EXPECT_EQ(Advance(40), 2u);
  EXPECT_EQ(log_, (Events{"a@40", "b@40", "a@80", "b@80"}));
  EXPECT_EQ(MessageLoop::Current().NextDueIn(), 40);
  // Not an std::exception, and a sink that itself throws: the loop still goes on.
  a->OnTimer = [] { throw 7; };
  MessageLoop::Current().SetHandlerErrorSink([](const std::string &) { throw std::bad_alloc(); });
  EXPECT_EQ(Advance(40), 2u);
  MessageLoop::Current().SetHandlerErrorSink([&](const std::string &m) { errors.push_back(m); });
  EXPECT_EQ(Advance(40), 2u);
  EXPECT_EQ(errors.back(), "unknown error");
  // The loop is not left "inside a dispatch": destroying a timer outside one rearms as usual.
  a.reset();
  EXPECT_EQ(Advance(40), 1u);
  MessageLoop::Current().SetHandlerErrorSink(nullptr);
}

TEST_F(TimerTest, AHandlerMayDisableOrDestroyItsOwnTimer) {
  auto a = Make("a", 10);
  a->OnTimer = [&] {
    Log("a");
    a->SetEnabled(false);
  };
  std::unique_ptr<TTimer> b = Make("b", 10);
  b->OnTimer = [&] {
    Log("b");
    b.reset();  // destroys the timer (and this lambda's owner) while it runs
  };
  auto c = Make("c", 10);
  Advance(50);
  EXPECT_EQ(log_, (Events{"a@10", "b@10", "c@10", "c@20", "c@30", "c@40", "c@50"}));
}

TEST_F(TimerTest, AHandlerMayDestroyTheOwnerOfOtherDueTimers) {
  struct Owner {
    TTimer first, second;
  };
  std::unique_ptr<Owner> owner;
  auto killer = Make("killer", 30);  // created first: runs first of the three due at 30
  killer->OnTimer = [&] {
    Log("killer");
    owner.reset();
  };
  owner = std::make_unique<Owner>();
  for (TTimer *t : {&owner->first, &owner->second}) {
    t->SetInterval(30);
    t->OnTimer = [this] { Log("owned"); };
  }
  Advance(60);
  EXPECT_EQ(log_, (Events{"killer@30", "killer@60"}));
}

TEST_F(TimerTest, AHandlerMayDestroyOtherTimersDueAtTheSameTime) {
  std::unique_ptr<TTimer> later;
  auto first = Make("first", 20);
  later = Make("later", 20);
  first->OnTimer = [&] {
    Log("first");
    later.reset();
  };
  Advance(40);
  EXPECT_EQ(log_, (Events{"first@20", "first@40"}));
}

TEST_F(TimerTest, TimersCreatedInAHandlerCountFromTheHandlersTime) {
  std::unique_ptr<TTimer> child;
  auto parent = Make("parent", 25);
  parent->OnTimer = [&] {
    Log("parent");
    parent->SetEnabled(false);
    child = Make("child", 10);
  };
  Advance(50);
  EXPECT_EQ(log_, (Events{"parent@25", "child@35", "child@45"}));
}

TEST_F(TimerTest, ReplacingTheClockReschedulesRunningTimers) {
  auto a = Make("a", 100);
  Advance(90);
  auto other = std::make_shared<ManualClock>();
  other->Advance(5000);
  MessageLoop::Current().SetClock(other);
  clock_ = other;
  Advance(99);
  EXPECT_TRUE(log_.empty());
  Advance(1);
  EXPECT_EQ(log_, (Events{"a@5100"}));
}

TEST_F(TimerTest, ATimerFiresOnlyOnTheThreadThatCreatedIt) {
  auto mine = Make("main", 10);
  std::thread::id fired_on, worker_id;
  int worker_events = 0;
  std::thread worker([&] {
    worker_id = std::this_thread::get_id();
    MessageLoop::Current().SetClock(std::make_shared<ManualClock>());
    TTimer theirs;
    theirs.SetInterval(10);
    theirs.OnTimer = [&] {
      ++worker_events;
      fired_on = std::this_thread::get_id();
    };
    MessageLoop::Current().Advance(30);
  });
  worker.join();
  EXPECT_EQ(worker_events, 3);
  EXPECT_EQ(fired_on, worker_id);
  EXPECT_NE(fired_on, std::this_thread::get_id());
  Advance(30);
  EXPECT_EQ(log_, (Events{"main@10", "main@20", "main@30"}));
}

TEST_F(TimerTest, ATimerOutlivingItsThreadsLoopIsHarmless) {
  std::unique_ptr<TTimer> orphan;
  std::thread worker([&] {
    orphan = std::make_unique<TTimer>();
    orphan->SetInterval(5);
  });
  worker.join();  // the worker's loop is gone now
  orphan->SetEnabled(false);
  orphan->SetInterval(7);
  EXPECT_EQ(Advance(100), 0u);
  orphan.reset();
}

TEST(RealClockLoop, ASourceHandleMayOutliveItsThreadsLoop) {
  MessageLoop::Source source;
  int pumped = 0;
  std::thread worker([&] {
    source = MessageLoop::Current().AddSource(-1, [&] { ++pumped; });
    MessageLoop::Current().SetClock(std::make_shared<ManualClock>());
    MessageLoop::Current().Advance(1);  // pumps the source once
  });
  worker.join();
  EXPECT_EQ(pumped, 1);
  source.Reset();  // the worker's loop is gone: does nothing
  MessageLoop::Current().ProcessMessages(0);
  EXPECT_EQ(pumped, 1);
}

}  // namespace
}  // namespace vx
