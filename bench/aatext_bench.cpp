// What a user of the calendar control pays for: one full paint of a 600 x 420 month, with
// plain and with smooth text, and one smooth text with a shadow.

#include <benchmark/benchmark.h>

#include "aatext/aafont.h"
#include "lunar/calendar.h"
#include "platform/sysutils.h"

namespace {

void PaintCalendar(benchmark::State &state, bool smooth, bool shadow) {
  vx::TYnrCalendar cal;
  cal.SetDate(vx::EncodeDate(2008, 8, 8));
  cal.SetBounds(600, 420);
  cal.SetSmoothText(smooth);
  cal.SetShadowFont(shadow);
  cal.CreateWnd();
  vx::TBitmap bmp;
  bmp.SetPixelFormat(vx::TPixelFormat::pf24bit);
  bmp.SetSize(600, 420);
  cal.Paint(bmp.Canvas());  // lays out once, as the window's creation does
  for (auto _ : state) {
    cal.Paint(bmp.Canvas());
    benchmark::DoNotOptimize(bmp.ScanLine(0));
  }
  state.SetLabel("full paint of 600x420");
}

void BM_CalendarPaintPlain(benchmark::State &state) { PaintCalendar(state, false, false); }
void BM_CalendarPaintSmooth(benchmark::State &state) { PaintCalendar(state, true, false); }
void BM_CalendarPaintSmoothShadow(benchmark::State &state) { PaintCalendar(state, true, true); }

void BM_SmoothTextOutWithShadow(benchmark::State &state) {
  vx::TBitmap bmp;
  bmp.SetPixelFormat(vx::TPixelFormat::pf24bit);
  bmp.SetSize(400, 80);
  bmp.Canvas().Font.Name = "宋体";
  bmp.Canvas().Font.SetSize(24);
  vx::TAAFontEx aa(&bmp.Canvas());
  aa.Effect().Shadow().SetEnabled(true);
  for (auto _ : state) aa.TextOut(5, 5, u"2008年8月 平滑文字");
  state.SetLabel("one 24 pt text, 4x4 samples");
}

BENCHMARK(BM_CalendarPaintPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalendarPaintSmooth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalendarPaintSmoothShadow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothTextOutWithShadow)->Unit(benchmark::kMicrosecond);

}  // namespace
