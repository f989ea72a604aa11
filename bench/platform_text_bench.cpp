// Text on the platform canvas: measuring and drawing a 20-character CJK line at 24 points
// ("宋体", 32 px em) on an 8-bit 640 x 480 bitmap, with a cold and a warm glyph cache.

#include <benchmark/benchmark.h>

#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/font.h"

namespace {

using namespace vx;

const std::u16string kLine = u"春眠不觉晓处处闻啼鸟夜来风雨声花落知多少";

struct Frame {
  TBitmap bitmap;
  Frame() {
    std::vector<TPaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i)
      palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                    static_cast<std::uint8_t>(i / 2), 0};
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.SetPalette(palette);
    bitmap.SetSize(640, 480);
    TCanvas &c = bitmap.Canvas();
    c.Font.Name = "宋体";
    c.Font.SetSize(24);
    c.Font.Color = clWhite;
    c.SetBkMode(TRANSPARENT);
  }
};

void BM_MeasureCjkLine_Cold(benchmark::State &state) {
  Frame f;
  for (auto _ : state) {
    state.PauseTiming();
    ClearGlyphCache();
    state.ResumeTiming();
    TRect r{0, 0, 0, 0};
    benchmark::DoNotOptimize(f.bitmap.Canvas().DrawText(kLine, r, DT_CALCRECT | DT_VCENTER));
  }
  state.SetLabel("per line of 20 characters");
}
BENCHMARK(BM_MeasureCjkLine_Cold)->Unit(benchmark::kMicrosecond);

void BM_MeasureCjkLine_Warm(benchmark::State &state) {
  Frame f;
  for (auto _ : state) {
    TRect r{0, 0, 0, 0};
    benchmark::DoNotOptimize(f.bitmap.Canvas().DrawText(kLine, r, DT_CALCRECT | DT_VCENTER));
  }
  state.SetLabel("per line of 20 characters");
}
BENCHMARK(BM_MeasureCjkLine_Warm)->Unit(benchmark::kMicrosecond);

void BM_DrawCjkLine_Cold(benchmark::State &state) {
  Frame f;
  for (auto _ : state) {
    state.PauseTiming();
    ClearGlyphCache();
    state.ResumeTiming();
    TRect r{0, 100, 640, 140};
    f.bitmap.Canvas().DrawText(kLine, r, DT_SINGLELINE | DT_VCENTER);
  }
  state.SetLabel("per line of 20 characters");
}
BENCHMARK(BM_DrawCjkLine_Cold)->Unit(benchmark::kMicrosecond);

void BM_DrawCjkLine_Warm(benchmark::State &state) {
  Frame f;
  for (auto _ : state) {
    TRect r{0, 100, 640, 140};
    f.bitmap.Canvas().DrawText(kLine, r, DT_SINGLELINE | DT_VCENTER);
  }
  state.SetLabel("per line of 20 characters");
}
BENCHMARK(BM_DrawCjkLine_Warm)->Unit(benchmark::kMicrosecond);

void BM_TextOutCjkLine_Warm(benchmark::State &state) {
  Frame f;
  for (auto _ : state) f.bitmap.Canvas().TextOut(0, 100, kLine);
  state.SetLabel("per line of 20 characters");
}
BENCHMARK(BM_TextOutCjkLine_Warm)->Unit(benchmark::kMicrosecond);

}  // namespace
