// The clock's once-a-second cost: rebuilding its text and redrawing its bitmap.
#include <benchmark/benchmark.h>

#include <memory>

#include "components/datetime.h"
#include "platform/canvas.h"
#include "platform/sysutils.h"
#include "platform/timer.h"

namespace {

void BM_ClockRedraw(benchmark::State &state) {
  auto clock = std::make_shared<vx::ManualClock>(vx::EncodeDateTime({2024, 2, 10, 9, 0, 0, 0}));
  vx::MessageLoop::Current().SetClock(clock);
  vx::TOSDDateTime dt;
  dt.Canvas().Font.Name = "宋体";
  dt.Canvas().Font.SetSize(16);
  dt.Canvas().Font.Color = vx::clWhite;
  dt.textmode = static_cast<int>(state.range(0));
  dt.SetVisible(true);
  for (auto _ : state) {
    clock->Advance(1000);  // the next second, without firing the timer
    dt.Redraw();
    benchmark::DoNotOptimize(dt.ScanLine(0));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("redraws, textmode " + std::to_string(state.range(0)));
}
BENCHMARK(BM_ClockRedraw)->Arg(3)->Arg(11)->Unit(benchmark::kMicrosecond);

void BM_ClockText(benchmark::State &state) {
  auto clock = std::make_shared<vx::ManualClock>(vx::EncodeDateTime({2024, 2, 10, 9, 0, 0, 0}));
  vx::MessageLoop::Current().SetClock(clock);
  vx::TOSDDateTime dt;
  for (auto _ : state) {
    clock->Advance(1000);
    benchmark::DoNotOptimize(dt.BuildText(11));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClockText)->Unit(benchmark::kMicrosecond);

}  // namespace
