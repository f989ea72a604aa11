// What a host pays per call for the name lookup every engine operation starts with, and what
// one 60 ms cycle costs with a busy scene, next to the floor of clearing and copying a frame.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "drivers/virtualcard/virtualcard.h"
#include "engine/osd.h"
#include "imaging/osd_graphic.h"
#include "imaging/transparent.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/timer.h"

namespace {

// Find in a registry of 1,000 components; the name looked up was added first, so it sits at
// the back and the walk is the longest one.
void BM_Find1000Back(benchmark::State &state) {
  vx::TOSD osd;
  for (int i = 0; i < 1000; ++i) osd.AddComponent("component_" + std::to_string(i), vx::eosdPanel);
  const std::string name = "component_0";
  for (auto _ : state) benchmark::DoNotOptimize(osd.Registry().Find(name));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Find1000Back);

void BM_Find1000Missing(benchmark::State &state) {
  vx::TOSD osd;
  for (int i = 0; i < 1000; ++i) osd.AddComponent("component_" + std::to_string(i), vx::eosdPanel);
  const std::string name = "no_such_component";
  for (auto _ : state) benchmark::DoNotOptimize(osd.Registry().Find(name));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Find1000Missing);

// The picture of the busy scene drawn with its keyed copy cache (argument 1: the runs of
// drawn pixels, mapped once) next to the plain keyed copy (argument 0).
void BM_KeyedCopyPicture160x120(benchmark::State &state) {
  vx::TBitmap picture;
  picture.SetPixelFormat(vx::TPixelFormat::pf24bit);
  picture.SetSize(160, 120);
  picture.Canvas().Brush.Color = vx::clWhite;
  picture.Canvas().FillRect(vx::Rect(0, 0, 160, 120));
  picture.Canvas().Brush.Color = vx::clRed;
  picture.Canvas().FillRect(vx::Rect(20, 20, 140, 100));
  vx::TOSDGraphic frame;
  frame.SetSize(vx::kFrameWidth, vx::kFrameHeight);
  vx::TKeyedCopyCache cache;
  const bool cached = state.range(0) != 0;
  for (auto _ : state) {
    if (cached)
      cache.Draw(picture, frame, 460, 200);
    else
      vx::DrawBitmapTransparent(picture, frame.Canvas().Handle(), 460, 200, 160, 120);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_KeyedCopyPicture160x120)->Arg(1)->Arg(0);

// The floor: clearing one 640 x 480 frame and copying one frame stream's worth of bytes.
void BM_CycleFloorMemsetMemcpy(benchmark::State &state) {
  std::vector<std::uint8_t> frame(vx::kFrameWidth * vx::kFrameHeight);
  std::vector<std::uint8_t> stream(vx::kFrameStreamBytes, 1), card(vx::kFrameStreamBytes);
  for (auto _ : state) {
    std::memset(frame.data(), 250, frame.size());
    benchmark::ClobberMemory();
    std::memcpy(card.data(), stream.data(), stream.size());
    benchmark::DoNotOptimize(card.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CycleFloorMemsetMemcpy);

// One full cycle: clear, every visible component copied (panels, text, a keyed picture,
// scrolling text and a clock where those kinds exist), then with the software card (argument
// 1) the frame stream written into the card's buffer and pushed; the software card's own
// handling of the frame (it keeps two copies) is part of the figure. Argument 0: no card and
// no picture control, the composing alone.
// The busy scene: panels, a text, a scrolling text, a keyed picture and a clock, all shown.
// Returns how many kinds it holds.
int BuildBusyScene(vx::TOSD &osd) {
  int kinds = 0;
  osd.SetComponent_Color("root", vx::kKeyColor, 0);
  auto show = [&](const char *name, int kind, int x, int y, int w, int h, vx::TColor color) {
    if (!osd.AddComponent(name, kind)) return false;
    osd.SetComponent_Pos(name, x, y, w, h);
    osd.SetComponent_Color(name, color, 200);
    osd.SetComponent_Font(name, vx::Utf8ToUtf16("Arial"), vx::clWhite, 20);
    return true;
  };
  for (int i = 0; i < 6; ++i)
    show(("panel" + std::to_string(i)).c_str(), vx::eosdPanel, 20 + 100 * i, 20, 90, 60,
         0x203040 * (i + 1));
  show("banner", vx::eosdPanel, 0, 400, 640, 80, 0x402000);
  ++kinds;
  if (show("title", vx::eOSDText, 40, 120, 0, 0, vx::kKeyColor)) {
    osd.SetComponent_Text("title", vx::Utf8ToUtf16("VXOSD 屏幕显示 on-screen display"));
    osd.SetComponent_Time("title", 0);
    ++kinds;
  }
  if (show("ticker", vx::eOSDScrollText, 0, 420, 640, 40, vx::kKeyColor)) {
    osd.SetComponent_Text("ticker", vx::Utf8ToUtf16("News ticker scrolling along the bottom"));
    ++kinds;
  }
  if (osd.AddComponent("logo", vx::eOSDPicute)) {
    vx::TBitmap picture;
    picture.SetPixelFormat(vx::TPixelFormat::pf24bit);
    picture.SetSize(160, 120);
    picture.Canvas().Brush.Color = vx::clWhite;
    picture.Canvas().FillRect(vx::Rect(0, 0, 160, 120));
    picture.Canvas().Brush.Color = vx::clRed;
    picture.Canvas().FillRect(vx::Rect(20, 20, 140, 100));
    const auto path = std::filesystem::temp_directory_path() / "vxosd_bench_logo.bmp";
    picture.SaveToFile(path.string());
    osd.SetComponent_PicFile("logo", vx::Utf8ToUtf16(path.string()));
    osd.SetComponent_PicTime("logo", 0);
    osd.SetComponent_Pos("logo", 460, 200, 0, 0);
    ++kinds;
  }
  if (show("clock", vx::eOSDDateTime, 400, 120, 0, 0, 0)) ++kinds;
  for (int i = 0; i < osd.Registry().Count(); ++i)
    osd.SetComponent_Visible(osd.Registry().Items(i)->name, true, true);
  return kinds;
}

void BM_ComposeFrameBusyScene(benchmark::State &state) {
  const bool with_card = state.range(0) != 0;
  vx::MessageLoop::Current().SetClock(std::make_shared<vx::ManualClock>());
  if (with_card) VxVirtualCard_Install(nullptr);
  int kinds = 0;
  {
    vx::TOSD osd;
    kinds = BuildBusyScene(osd);
    osd.SetActive(true);
    for (auto _ : state) osd.ComposeFrame();
    if (osd.Registry().Count() == 0 || osd.CheckCard() != with_card)
      state.SkipWithError("scene not built");
  }
  if (with_card) VxVirtualCard_Uninstall();
  vx::MessageLoop::Current().SetClock(std::make_shared<vx::RealClock>());
  state.counters["kinds"] = kinds;
}
BENCHMARK(BM_ComposeFrameBusyScene)->Arg(1)->Arg(0);

// The same scene composed into a 1920 x 1080 true-colour frame (no card), next to its floor:
// clearing that frame (8 MiB of premultiplied pixels) and copying it once.
void BM_ComposeFrameBusySceneTrueColour1080p(benchmark::State &state) {
  vx::MessageLoop::Current().SetClock(std::make_shared<vx::ManualClock>());
  {
    vx::TOSD osd(vx::TOSDFrameFormat{true, 1920, 1080});
    state.counters["kinds"] = BuildBusyScene(osd);
    osd.SetActive(true);
    for (auto _ : state) osd.ComposeFrame();
  }
  vx::MessageLoop::Current().SetClock(std::make_shared<vx::RealClock>());
}
BENCHMARK(BM_ComposeFrameBusySceneTrueColour1080p)->Unit(benchmark::kMicrosecond);

void BM_CycleFloorTrueColour1080p(benchmark::State &state) {
  std::vector<std::uint8_t> frame(std::size_t{1920} * 1080 * 4), out(frame.size());
  for (auto _ : state) {
    std::memset(frame.data(), 0, frame.size());
    benchmark::ClobberMemory();
    std::memcpy(out.data(), frame.data(), frame.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CycleFloorTrueColour1080p)->Unit(benchmark::kMicrosecond);

}  // namespace
