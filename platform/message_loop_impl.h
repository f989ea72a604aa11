#pragma once
// The message loop's state, shared by the loop's common code (platform/timer.cpp) and the
// system's wake-up and wait (platform/posix/timer_posix.cpp, platform/win32/timer_win32.cpp).
// Internal to platform/.

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/timer.h"

namespace vx {

struct MessageLoop::SourceTable {
  struct Entry {
    int fd;
    std::function<void()> pump;
  };
  std::map<std::uint64_t, Entry> entries;
  std::uint64_t next_id = 0;
};

struct MessageLoop::Impl {
  struct Key {
    std::int64_t due;
    std::uint64_t id;
    TTimer *timer;
    bool operator<(const Key &o) const { return due != o.due ? due < o.due : id < o.id; }
  };

  std::shared_ptr<Clock> clock = std::make_shared<RealClock>();
  std::set<Key> queue;                 // enabled timers by next due time
  std::unordered_set<TTimer *> timers;  // every live timer of the thread, for detaching
  std::uint64_t next_id = 0;
  std::shared_ptr<SourceTable> sources = std::make_shared<SourceTable>();
  int dispatch_depth = 0;
  std::vector<std::function<void()>> at_thread_end;  // MessageLoop::AtThreadEnd
  std::function<void(const std::string &)> on_handler_error;

  // Holds dispatch_depth raised while events run, also when one of them throws.
  class Dispatching {
   public:
    explicit Dispatching(Impl &m) : m_(m) { ++m_.dispatch_depth; }
    ~Dispatching() { --m_.dispatch_depth; }
    Dispatching(const Dispatching &) = delete;
    Dispatching &operator=(const Dispatching &) = delete;

   private:
    Impl &m_;
  };

  // Runs one timer handler or source pump. What it throws ends there and goes to the loop's
  // error sink: an exception must not skip the loop's bookkeeping and re-arm, nor unwind
  // through the system's dispatch (on Windows, the host's own DispatchMessageW).
  void RunHandler(const std::function<void()> &handler) noexcept {
    try {
      handler();
    } catch (const std::exception &e) {
      ReportHandlerError(e.what());
    } catch (...) {
      ReportHandlerError("unknown error");
    }
  }
  void ReportHandlerError(const char *what) noexcept {
    try {
      if (on_handler_error) on_handler_error(what);
    } catch (...) {
      // The sink could not take it (out of memory): the loop goes on regardless.
    }
  }

  // The system's side: what wakes the thread when the earliest timer is due (a timerfd on
  // Linux, a USER timer on a hidden window on Windows). Defined per system.
  struct Os;
  std::unique_ptr<Os> os;
  Impl();
  ~Impl();

  void Unqueue(TTimer *t) {
    if (!t->queued_) return;
    queue.erase(Key{t->due_, t->id_, t});
    t->queued_ = false;
  }
  void Queue(TTimer *t, std::int64_t due) {
    t->due_ = due;
    t->queued_ = true;
    queue.insert(Key{due, t->id_, t});
  }
  // Stops the timer and, when it should run, starts a fresh countdown from now.
  void Restart(TTimer *t) {
    Unqueue(t);
    if (t->enabled_ && t->interval_ > 0) Queue(t, clock->NowMs() + t->interval_);
    if (dispatch_depth == 0) Rearm();
  }

  // Keeps the system's wake-up on the earliest due time (real clock only). Per system.
  void Rearm();

  // Fires the earliest timer if it is due at `now`. The next event counts from `fire_at`.
  // Nothing of the timer is touched after its handler ran: the handler may have destroyed it.
  bool FireOne(std::int64_t now, std::int64_t fire_at) {
    if (queue.empty() || queue.begin()->due > now) return false;
    TTimer *t = queue.begin()->timer;
    queue.erase(queue.begin());
    t->queued_ = false;
    Queue(t, fire_at + t->interval_);
    std::function<void()> handler = t->OnTimer;  // the handler may destroy the timer
    if (handler) RunHandler(handler);
    return true;
  }

  // Fires every timer due at `now`, once each however many intervals passed (no burst after
  // a stall), then rearms. Returns how many ran.
  std::uint32_t FireDue(std::int64_t now) {
    std::uint32_t count = 0;
    {
      Dispatching dispatching(*this);
      while (FireOne(now, now)) ++count;
    }
    Rearm();
    return count;
  }

  // Waits for the system's input while no timer is due, until the earliest timer is due or
  // `max_wait_ms` passed (real clock only). `wait_for(ms)` waits up to ms for input and says
  // whether some came and was handled, which ends the wait. Returns the time after it.
  template <typename WaitFor>
  std::int64_t WaitForInput(const Clock &clock, std::int64_t now, std::uint32_t max_wait_ms,
                            WaitFor wait_for) {
    if (clock.IsManual() || max_wait_ms == 0 || (!queue.empty() && queue.begin()->due <= now))
      return now;
    const std::int64_t deadline = now + max_wait_ms;
    while (now < deadline) {
      std::int64_t wait = deadline - now;
      if (!queue.empty()) wait = std::min(wait, queue.begin()->due - now);
      if (wait <= 0) break;
      const bool input = wait_for(static_cast<std::uint32_t>(std::min<std::int64_t>(wait, 1 << 30)));
      now = clock.NowMs();
      if (input) break;
    }
    return now;
  }

  void Pump() {
    std::shared_ptr<SourceTable> table = sources;
    std::vector<std::uint64_t> ids;
    for (auto &[id, s] : table->entries) ids.push_back(id);
    for (std::uint64_t id : ids) {
      auto it = table->entries.find(id);  // an earlier pump may have removed it
      if (it == table->entries.end()) continue;
      std::function<void()> pump = it->second.pump;  // the pump may remove its own source
      if (pump) RunHandler(pump);
    }
  }
};

}  // namespace vx
