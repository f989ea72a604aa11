// The message loop's wait on Linux: poll on the sources' descriptors, with a timerfd that a
// host's own poll loop can watch.
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>

#include "platform/message_loop_impl.h"

namespace vx {

struct MessageLoop::Impl::Os {
  int timer_fd = -1;  // made on the first EventFd()
  ~Os() {
    if (timer_fd >= 0) close(timer_fd);
  }
};

MessageLoop &MessageLoop::Current() {
  thread_local MessageLoop loop;
  return loop;
}

MessageLoop::Impl::Impl() : os(std::make_unique<Os>()) {}
MessageLoop::Impl::~Impl() = default;

// Keeps the timerfd's expiry on the earliest due time (real clock only).
void MessageLoop::Impl::Rearm() {
  if (os->timer_fd < 0) return;
  itimerspec due_at{};
  if (!queue.empty() && !clock->IsManual()) {
    std::int64_t due = std::max<std::int64_t>(queue.begin()->due, 0);
    due_at.it_value.tv_sec = due / 1000;
    due_at.it_value.tv_nsec = (due % 1000) * 1000000;
    if (due_at.it_value.tv_sec == 0 && due_at.it_value.tv_nsec == 0) due_at.it_value.tv_nsec = 1;
  }
  timerfd_settime(os->timer_fd, TFD_TIMER_ABSTIME, &due_at, nullptr);
}

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
  if (!input_waiting)
    now = m.WaitForInput(*clock, now, max_wait_ms, [&](std::uint32_t ms) {
      if (poll(fds.data(), fds.size(), static_cast<int>(ms)) <= 0) return false;
      m.Pump();
      return true;
    });
  if (m.os->timer_fd >= 0) {
    std::uint64_t expirations;
    [[maybe_unused]] auto n = read(m.os->timer_fd, &expirations, sizeof expirations);
  }
  return m.FireDue(now);
}

int MessageLoop::EventFd() {
  Impl &m = *impl_;
  if (m.os->timer_fd < 0) {
    m.os->timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    m.Rearm();
  }
  return m.os->timer_fd;
}

}  // namespace vx
