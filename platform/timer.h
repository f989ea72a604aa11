#pragma once
// Window-message style timers, delivered by the message loop of the thread that created them.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/clock.h"

namespace vx {

class MessageLoop;

// Periodic; after a stall it fires once, not once per missed interval. Enabling a running
// timer keeps its countdown; changing the interval of a running timer restarts it. OnTimer may
// disable or destroy this timer, other timers or their owner.
class TTimer {
 public:
  TTimer();  // bound to the calling thread's loop; Interval 1000 ms, enabled as in the framework
  ~TTimer();
  TTimer(const TTimer &) = delete;
  TTimer &operator=(const TTimer &) = delete;

  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  std::function<void()> OnTimer;

 private:
  friend class MessageLoop;
  void Update();
  MessageLoop *loop_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = true;
  std::uint64_t id_ = 0;
};

// One per thread. Delivers the thread's timer events.
class MessageLoop {
 public:
  static MessageLoop &Current();

  // Replaces the clock (call before creating timers, or they reschedule on the new clock).
  void SetClock(std::shared_ptr<Clock> clock);
  Clock &GetClock() const;
  std::shared_ptr<Clock> ClockPtr() const;

  // Runs the timer events due now, waiting at most max_wait_ms for the first one (never waits
  // on a manual clock). Returns how many ran.
  std::uint32_t ProcessMessages(std::uint32_t max_wait_ms);
  // With a manual clock: moves time by ms, firing each due timer at its own due time in
  // due-time order (stable for equal times). Returns how many ran.
  std::uint32_t Advance(std::int64_t ms);
  // A descriptor that is readable when a timer is due (real clock), for host poll loops.
  int EventFd();
  // Milliseconds until the next due timer, or -1 when none is enabled.
  std::int64_t NextDueIn() const;

  struct Impl;
  Impl &impl() { return *impl_; }

  MessageLoop();
  ~MessageLoop();
 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx
