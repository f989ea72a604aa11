// What a picture costs: one movie tick (a 25-part split movie at 40 ms), and one compositing
// cycle with a 320 x 240 24-bit picture visible (its keyed copy), against the plain keyed copy
// that maps every pixel every cycle.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "components/picture.h"
#include "engine/osd.h"
#include "imaging/transparent.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/timer.h"

namespace {

namespace fs = std::filesystem;

std::string TempBmp(const char *name, int w, int h) {
  const fs::path path =
      fs::temp_directory_path() / ("vxosd_bench_" + std::to_string(getpid()) + "_" + name);
  vx::TBitmap b;
  b.SetPixelFormat(vx::TPixelFormat::pf24bit);
  b.SetSize(w, h);
  // A photo-like gradient with a white border (the keyed colour) around it.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y,
                 x < 4 || y < 4 || x >= w - 4 || y >= h - 4
                     ? 0xFFFFFF
                     : static_cast<vx::TColor>((x * 255 / w) | ((y * 255 / h) << 8) |
                                               (((x + y) * 127 / (w + h)) << 16)));
  b.SaveToFile(path.string());
  return path.string();
}

// One tick of a looping 25-part split movie (each part 64 x 48).
void BM_PictureMovieTick(benchmark::State &state) {
  auto clock = std::make_shared<vx::ManualClock>();
  vx::MessageLoop::Current().SetClock(clock);
  const std::string file = TempBmp("movie25.bmp", 25 * 64, 48);
  {
    vx::TOSDPicute picture;
    picture.SetText(u"Movie");
    picture.textmode = 4;
    picture.SetmovieTime(40);
    picture.Loop = true;
    picture.SetPicMovie(file, 1, 25);
    picture.SetVisible(true);
    for (auto _ : state) vx::MessageLoop::Current().Advance(40);
    state.counters["decodes"] = static_cast<double>(picture.Cache().Decodes());
    state.SetLabel("per tick");
  }
  fs::remove(file);
  vx::MessageLoop::Current().SetClock(std::make_shared<vx::RealClock>());
}
BENCHMARK(BM_PictureMovieTick);

// One compositing cycle's work for a visible 320 x 240 24-bit picture: the frame cleared to
// the key colour, the picture's keyed copy, the frame stream written for the card.
void BM_CycleWith320x240Picture(benchmark::State &state) {
  const std::string file = TempBmp("pic320.bmp", 320, 240);
  {
    vx::TOSDPicute picture;
    picture.x = 100, picture.y = 80;
    picture.SethideTime(0);
    picture.SetPicFile(file);
    picture.SetVisible(true);
    vx::TOSDGraphic frame;
    frame.SetSize(vx::kFrameWidth, vx::kFrameHeight);
    std::vector<std::byte> stream(vx::kFrameStreamBytes);
    for (auto _ : state) {
      frame.Canvas().Brush.Color = vx::kKeyColor;
      frame.Canvas().FillRect(vx::Rect(0, 0, vx::kFrameWidth, vx::kFrameHeight));
      picture.DrawTo(frame);
      benchmark::DoNotOptimize(frame.SaveToFrameBytes(stream));
    }
    state.counters["mappings"] = static_cast<double>(picture.KeyedCopy().Rebuilds());
    state.SetLabel("per cycle");
  }
  fs::remove(file);
}
BENCHMARK(BM_CycleWith320x240Picture);

// The engine's whole cycle (no card: the frame goes to no output) with that picture visible,
// through the picture's row of the operation table.
void BM_EngineCycleWith320x240Picture(benchmark::State &state) {
  const std::string file = TempBmp("engine320.bmp", 320, 240);
  {
    vx::TOSD osd;
    osd.AddComponent("pic", vx::eOSDPicute);
    osd.SetComponent_Pos("pic", 100, 80, 320, 240);
    osd.SetComponent_PicTime("pic", 0);
    osd.SetComponent_PicFile("pic", vx::Utf8ToUtf16(file));
    osd.SetComponent_Visible("pic", true, true);
    for (auto _ : state) osd.ComposeFrame();
    state.SetLabel("per cycle");
  }
  fs::remove(file);
}
BENCHMARK(BM_EngineCycleWith320x240Picture);

// The same picture through the plain keyed copy, which maps every pixel every time.
void BM_PlainKeyedCopy320x240(benchmark::State &state) {
  const std::string file = TempBmp("plain320.bmp", 320, 240);
  vx::TBitmap picture;
  picture.LoadFromFile(file);
  vx::TBitmap frame;
  frame.SetPixelFormat(vx::TPixelFormat::pf8bit);
  frame.SetSize(640, 480);
  for (auto _ : state)
    vx::DrawBitmapTransparent(picture, frame.Canvas().Handle(), 100, 80, 320, 240);
  state.SetLabel("per copy");
  fs::remove(file);
}
BENCHMARK(BM_PlainKeyedCopy320x240);

}  // namespace
