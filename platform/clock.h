#pragma once
// Time sources. The message loop and everything that asks "what time is it" go through a
// Clock, so that tests drive time by hand.

#include <chrono>
#include <cstdint>
#include <memory>

namespace vx {

using TDateTime = double;  // days since 1899-12-30 00:00, fraction = time of day

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic milliseconds (arbitrary origin).
  virtual std::int64_t NowMs() const = 0;
  // The local wall-clock date-time.
  virtual TDateTime LocalNow() const = 0;
  // Whether time only moves through Advance (the message loop then never blocks).
  virtual bool IsManual() const { return false; }
};

class RealClock : public Clock {
 public:
  std::int64_t NowMs() const override;
  TDateTime LocalNow() const override;
};

// Starts at a given local date-time (default 2000-01-01 00:00:00) and monotonic 0; moves only
// through Advance. Use MessageLoop::Advance to move it and fire the timers on the way.
class ManualClock : public Clock {
 public:
  explicit ManualClock(TDateTime start_local = 36526.0) : start_local_(start_local) {}
  std::int64_t NowMs() const override { return now_ms_; }
  TDateTime LocalNow() const override { return start_local_ + now_ms_ / 86400000.0; }
  bool IsManual() const override { return true; }
  void Advance(std::int64_t ms) { now_ms_ += ms; }
  void SetLocal(TDateTime local) { start_local_ = local - now_ms_ / 86400000.0; }

 private:
  TDateTime start_local_;
  std::int64_t now_ms_ = 0;
};

}  // namespace vx
