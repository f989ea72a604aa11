#include "platform/timer.h"

#include <algorithm>
#include <utility>

#include "platform/message_loop_impl.h"

namespace vx {

MessageLoop::MessageLoop() : impl_(std::make_unique<Impl>()) {}

MessageLoop::~MessageLoop() {
  // What the thread left running goes first, while its timers and sources still work.
  while (!impl_->at_thread_end.empty()) {
    std::function<void()> work = std::move(impl_->at_thread_end.back());
    impl_->at_thread_end.pop_back();
    try {
      if (work) work();
    } catch (...) {
      // The thread is ending: nothing is left to report to.
    }
  }
  for (TTimer *t : impl_->timers) t->loop_ = nullptr, t->queued_ = false;
}

void MessageLoop::AtThreadEnd(std::function<void()> work) {
  impl_->at_thread_end.push_back(std::move(work));
}

void MessageLoop::SetClock(std::shared_ptr<Clock> clock) {
  if (!clock) clock = std::make_shared<RealClock>();
  impl_->clock = std::move(clock);
  std::vector<TTimer *> queued;
  for (const auto &k : impl_->queue) queued.push_back(k.timer);
  for (TTimer *t : queued) impl_->Restart(t);
  impl_->Rearm();
}

void MessageLoop::SetHandlerErrorSink(std::function<void(const std::string &)> sink) {
  impl_->on_handler_error = std::move(sink);
}

Clock &MessageLoop::GetClock() const { return *impl_->clock; }
std::shared_ptr<Clock> MessageLoop::ClockPtr() const { return impl_->clock; }

std::uint32_t MessageLoop::Advance(std::int64_t ms) {
  Impl &m = *impl_;
  auto manual = std::dynamic_pointer_cast<ManualClock>(m.clock);
  if (!manual) return 0;
  m.Pump();
  const std::int64_t target = manual->NowMs() + std::max<std::int64_t>(ms, 0);
  std::uint32_t count = 0;
  Impl::Dispatching dispatching(m);
  for (;;) {
    if (m.clock != manual) break;  // a handler swapped the clock
    if (m.queue.empty() || m.queue.begin()->due > target) break;
    // Time stands at each event's own due time while its handler runs.
    const std::int64_t at = std::max(m.queue.begin()->due, manual->NowMs());
    manual->Advance(at - manual->NowMs());
    if (m.FireOne(at, at)) ++count;
  }
  if (manual->NowMs() < target) manual->Advance(target - manual->NowMs());
  return count;
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
