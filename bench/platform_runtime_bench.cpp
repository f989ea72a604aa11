// Dispatch cost of the message loop per timer event with 1,000 timers registered.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/codepage.h"
#include "platform/sysutils.h"
#include "platform/timer.h"

namespace {

// 1,000 timers of one second, started one millisecond apart: every millisecond one is due.
void BM_TimerDispatch_Staggered1000(benchmark::State &state) {
  auto clock = std::make_shared<vx::ManualClock>();
  vx::MessageLoop &loop = vx::MessageLoop::Current();
  loop.SetClock(clock);
  std::uint64_t fired = 0;
  std::vector<std::unique_ptr<vx::TTimer>> timers;
  for (int i = 0; i < 1000; ++i) {
    auto t = std::make_unique<vx::TTimer>();
    t->SetInterval(1000);
    t->OnTimer = [&fired] { ++fired; };
    timers.push_back(std::move(t));
    clock->Advance(1);
  }
  std::uint64_t events = 0;
  for (auto _ : state) events += loop.Advance(1);
  state.SetItemsProcessed(static_cast<std::int64_t>(events));
  state.counters["events"] = static_cast<double>(events);
  benchmark::DoNotOptimize(fired);
  timers.clear();
  loop.SetClock(nullptr);
}
BENCHMARK(BM_TimerDispatch_Staggered1000);

// 1,000 timers of 60 ms due together (the engine's cycle and many component timers).
void BM_TimerDispatch_Burst1000(benchmark::State &state) {
  auto clock = std::make_shared<vx::ManualClock>();
  vx::MessageLoop &loop = vx::MessageLoop::Current();
  loop.SetClock(clock);
  std::uint64_t fired = 0;
  std::vector<std::unique_ptr<vx::TTimer>> timers;
  for (int i = 0; i < 1000; ++i) {
    auto t = std::make_unique<vx::TTimer>();
    t->SetInterval(60);
    t->OnTimer = [&fired] { ++fired; };
    timers.push_back(std::move(t));
  }
  std::uint64_t events = 0;
  for (auto _ : state) events += loop.Advance(60);
  state.SetItemsProcessed(static_cast<std::int64_t>(events));
  benchmark::DoNotOptimize(fired);
  timers.clear();
  loop.SetClock(nullptr);
}
BENCHMARK(BM_TimerDispatch_Burst1000);

// A calendar name converted from code page 936, as the clock component does every second.
void BM_Gbk_ToUtf16(benchmark::State &state) {
  const std::string gbk = "\xC5\xA9\xC0\xFA\xC0\xB0\xD4\xC2\xB3\xF5\xB0\xCB";
  for (auto _ : state) benchmark::DoNotOptimize(vx::ToUtf16(gbk, vx::CP_GBK));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Gbk_ToUtf16);

void BM_FormatDateTime_DateAndTime(benchmark::State &state) {
  const vx::TDateTime t = vx::EncodeDateTime({2026, 12, 8, 14, 5, 9, 0});
  for (auto _ : state) benchmark::DoNotOptimize(vx::DateToStr(t) + " " + vx::TimeToStr(t));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatDateTime_DateAndTime);

}  // namespace
