#pragma once
// Window-message style timers, delivered by the message loop of the thread that created them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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
  MessageLoop *loop_;  // null once the thread's loop is gone (thread exit)
  std::uint32_t interval_ = 1000;
  bool enabled_ = true;
  std::uint64_t id_ = 0;      // creation order: equal due times fire in this order
  std::int64_t due_ = 0;      // clock ms of the next event, while queued
  bool queued_ = false;
};

// One per thread. Delivers the thread's timer events. Not locked: a loop and its timers are
// used from their own thread only. Events run in due-time order; equal due times run in the
// order the timers were created. A timer with interval 0 never fires.
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
  // A descriptor that is readable when a timer is due (real clock), for host poll loops. -1 on
  // Windows, where the thread's hidden window receives the timer's WM_TIMER and any message
  // loop of the thread (the host's GetMessage/DispatchMessage too) fires the due timers.
  int EventFd();
  // A timer handler or source pump that throws ends there: its message goes to this sink (if
  // any), and the other events, the loop's schedule and its wake-up go on as if it had
  // returned. No exception leaves ProcessMessages, Advance or the system's dispatch of the
  // loop's messages.
  void SetHandlerErrorSink(std::function<void(const std::string &)> sink);
  // Milliseconds until the next due timer, or -1 when none is enabled.
  std::int64_t NextDueIn() const;

  // Other event sources of the thread (a form's window connection): `pump` runs, without
  // blocking, on every ProcessMessages/Advance, and as soon as `fd` (if >= 0) becomes
  // readable while ProcessMessages waits. The source stays registered while the returned
  // handle lives; the handle may outlive the loop (it then does nothing). Use it on the
  // loop's thread only.
  struct SourceTable;
  class Source {
   public:
    Source() = default;
    ~Source() { Reset(); }
    Source(Source &&other) noexcept;
    Source &operator=(Source &&other) noexcept;
    void Reset();

   private:
    friend class MessageLoop;
    std::weak_ptr<SourceTable> table_;
    std::uint64_t id_ = 0;
  };
  [[nodiscard]] Source AddSource(int fd, std::function<void()> pump);

  // Work to run when the thread ends, on the thread itself, before its loop and timers go
  // (newest first): what a thread leaves running (a library it never freed) is released
  // there. Not run when the process exits from another thread's exit on Windows, where the
  // system has ended the other threads already.
  void AtThreadEnd(std::function<void()> work);

  struct Impl;
  Impl &impl() { return *impl_; }

  MessageLoop();
  ~MessageLoop();
 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace vx
