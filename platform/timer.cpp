#include "platform/timer.h"

#include <algorithm>
#include <map>
#include <poll.h>
#include <set>
#include <sys/timerfd.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>
#include <vector>

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
  int timer_fd = -1;
  int dispatch_depth = 0;

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

  // Keeps the timerfd's expiry on the earliest due time (real clock only).
  void Rearm() {
    if (timer_fd < 0) return;
    itimerspec due_at{};
    if (!queue.empty() && !clock->IsManual()) {
      std::int64_t due = std::max<std::int64_t>(queue.begin()->due, 0);
      due_at.it_value.tv_sec = due / 1000;
      due_at.it_value.tv_nsec = (due % 1000) * 1000000;
      if (due_at.it_value.tv_sec == 0 && due_at.it_value.tv_nsec == 0) due_at.it_value.tv_nsec = 1;
    }
    timerfd_settime(timer_fd, TFD_TIMER_ABSTIME, &due_at, nullptr);
  }

  // Fires the earliest timer if it is due at `now`. The next event counts from `fire_at`.
  // Nothing of the timer is touched after its handler ran: the handler may have destroyed it.
  bool FireOne(std::int64_t now, std::int64_t fire_at) {
    if (queue.empty() || queue.begin()->due > now) return false;
    TTimer *t = queue.begin()->timer;
    queue.erase(queue.begin());
    t->queued_ = false;
    Queue(t, fire_at + t->interval_);
    std::function<void()> handler = t->OnTimer;  // the handler may destroy the timer
    if (handler) handler();
    return true;
  }

  void Pump() {
    std::shared_ptr<SourceTable> table = sources;
    std::vector<std::uint64_t> ids;
    for (auto &[id, s] : table->entries) ids.push_back(id);
    for (std::uint64_t id : ids) {
      auto it = table->entries.find(id);  // an earlier pump may have removed it
      if (it == table->entries.end()) continue;
      std::function<void()> pump = it->second.pump;  // the pump may remove its own source
      if (pump) pump();
    }
  }
};

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {}

MessageLoop::~MessageLoop() {
  for (TTimer *t : impl_->timers) t->loop_ = nullptr, t->queued_ = false;
  if (impl_->timer_fd >= 0) close(impl_->timer_fd);
}

MessageLoop &MessageLoop::Current() {
  thread_local MessageLoop loop;
  return loop;
}

void MessageLoop::SetClock(std::shared_ptr<Clock> clock) {
  if (!clock) clock = std::make_shared<RealClock>();
  impl_->clock = std::move(clock);
  std::vector<TTimer *> queued;
  for (const auto &k : impl_->queue) queued.push_back(k.timer);
  for (TTimer *t : queued) impl_->Restart(t);
  impl_->Rearm();
}

Clock &MessageLoop::GetClock() const { return *impl_->clock; }
std::shared_ptr<Clock> MessageLoop::ClockPtr() const { return impl_->clock; }

std::uint32_t MessageLoop::ProcessMessages(std::uint32_t max_wait_ms) {
  Impl &m = *impl_;
  std::vector<pollfd> fds;
  auto collect = [&] {
    fds.clear();
    for (auto &[id, s] : m.sources->entries)
      if (s.fd >= 0) fds.push_back(pollfd{s.fd, POLLIN, 0});
  };
  collect();
  // Input already waiting counts as the first event: pump it and do not wait. The pump runs
  // regardless, for input a source has buffered on its side of the descriptor.
  const bool input_waiting = !fds.empty() && poll(fds.data(), fds.size(), 0) > 0;
  m.Pump();
  collect();  // a pump may have removed its source
  std::shared_ptr<Clock> clock = m.clock;  // a handler may replace the loop's clock
  std::int64_t now = clock->NowMs();
  if (!clock->IsManual() && max_wait_ms > 0 && !input_waiting &&
      (m.queue.empty() || m.queue.begin()->due > now)) {
    const std::int64_t deadline = now + max_wait_ms;
    while (now < deadline) {
      std::int64_t wait = deadline - now;
      if (!m.queue.empty()) wait = std::min(wait, m.queue.begin()->due - now);
      if (wait <= 0) break;
      int r = poll(fds.data(), fds.size(), static_cast<int>(std::min<std::int64_t>(wait, 1 << 30)));
      now = clock->NowMs();
      if (r > 0) {
        m.Pump();
        break;
      }
    }
  }
  if (m.timer_fd >= 0) {
    std::uint64_t expirations;
    [[maybe_unused]] auto n = read(m.timer_fd, &expirations, sizeof expirations);
  }
  // Each due timer fires once, however many intervals passed (no burst after a stall).
  std::uint32_t count = 0;
  ++m.dispatch_depth;
  while (m.FireOne(now, now)) ++count;
  --m.dispatch_depth;
  m.Rearm();
  return count;
}

std::uint32_t MessageLoop::Advance(std::int64_t ms) {
  Impl &m = *impl_;
  auto manual = std::dynamic_pointer_cast<ManualClock>(m.clock);
  if (!manual) return 0;
  m.Pump();
  const std::int64_t target = manual->NowMs() + std::max<std::int64_t>(ms, 0);
  std::uint32_t count = 0;
  ++m.dispatch_depth;
  for (;;) {
    if (m.clock != manual) break;  // a handler swapped the clock
    if (m.queue.empty() || m.queue.begin()->due > target) break;
    // Time stands at each event's own due time while its handler runs.
    const std::int64_t at = std::max(m.queue.begin()->due, manual->NowMs());
    manual->Advance(at - manual->NowMs());
    if (m.FireOne(at, at)) ++count;
  }
  --m.dispatch_depth;
  if (manual->NowMs() < target) manual->Advance(target - manual->NowMs());
  return count;
}

int MessageLoop::EventFd() {
  Impl &m = *impl_;
  if (m.timer_fd < 0) {
    m.timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m.Rearm();
  }
  return m.timer_fd;
}

std::int64_t MessageLoop::NextDueIn() const {
  if (impl_->queue.empty()) return -1;
  return std::max<std::int64_t>(impl_->queue.begin()->due - impl_->clock->NowMs(), 0);
}

MessageLoop::Source MessageLoop::AddSource(int fd, std::function<void()> pump) {
  SourceTable &table = *impl_->sources;
  Source source;
  source.id_ = ++table.next_id;
  source.table_ = impl_->sources;
  table.entries.emplace(source.id_, SourceTable::Entry{fd, std::move(pump)});
  return source;
}

MessageLoop::Source::Source(Source &&other) noexcept
    : table_(std::move(other.table_)), id_(std::exchange(other.id_, 0)) {}

MessageLoop::Source &MessageLoop::Source::operator=(Source &&other) noexcept {
  if (this != &other) {
    Reset();
    table_ = std::move(other.table_);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void MessageLoop::Source::Reset() {
  if (auto table = table_.lock()) table->entries.erase(id_);
  table_.reset();
  id_ = 0;
}

TTimer::TTimer() : loop_(&MessageLoop::Current()) {
  MessageLoop::Impl &m = loop_->impl();
  id_ = ++m.next_id;
  m.timers.insert(this);
  Update();
}

TTimer::~TTimer() {
  if (loop_ == nullptr) return;
  MessageLoop::Impl &m = loop_->impl();
  m.Unqueue(this);
  m.timers.erase(this);
  if (m.dispatch_depth == 0) m.Rearm();
}

void TTimer::SetInterval(std::uint32_t ms) {
  if (ms == interval_) return;  // the same interval keeps the countdown, as the framework does
  interval_ = ms;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;  // enabling a running timer keeps its countdown
  enabled_ = enabled;
  Update();
}

void TTimer::Update() {
  if (loop_ != nullptr) loop_->impl().Restart(this);
}

}  // namespace vx
