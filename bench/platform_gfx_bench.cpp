// What the compositing cycle pays per frame for bitmap copies onto the 640 x 480 8-bit frame.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/pixels.h"

namespace {

using namespace vx;

// The frame's fixed palette: 10 + 236 + 10 entries, as the card's frame uses.
TPalette FramePalette() {
  TPalette p{};
  const int first[10][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {128, 128, 0},
                            {0, 0, 128},   {128, 0, 128}, {0, 128, 128},   {192, 192, 192},
                            {192, 220, 192}, {166, 202, 240}};
  const int last[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                           {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                           {0, 255, 255},   {255, 255, 255}};
  auto set = [&](int i, int r, int g, int b) {
    p[i] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b), 0};
  };
  for (int i = 0; i < 10; ++i) set(i, first[i][0], first[i][1], first[i][2]);
  for (int i = 10; i < 246; ++i) set(i, (i % 8) * 32, ((i / 8) % 8) * 32, (i / 64) * 64);
  for (int i = 0; i < 10; ++i) set(246 + i, last[i][0], last[i][1], last[i][2]);
  return p;
}

std::unique_ptr<TBitmap> Frame() {
  auto f = std::make_unique<TBitmap>();
  f->SetPixelFormat(TPixelFormat::pf8bit);
  f->SetPalette(FramePalette());
  f->SetSize(640, 480);
  return f;
}

// A photo-like 24-bit picture: smooth gradients with a little noise.
std::unique_ptr<TBitmap> Photo(int w, int h, bool noise_only) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(TPixelFormat::pf24bit);
  b->SetSize(w, h);
  std::mt19937 rng(42);
  std::uniform_int_distribution<int> n(-6, 6), any(0, 255);
  for (int y = 0; y < h; ++y) {
    std::uint8_t *row = b->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      if (noise_only) {
        row[3 * x] = static_cast<std::uint8_t>(any(rng));
        row[3 * x + 1] = static_cast<std::uint8_t>(any(rng));
        row[3 * x + 2] = static_cast<std::uint8_t>(any(rng));
      } else {
        row[3 * x] = clamp(x * 255 / w + n(rng));
        row[3 * x + 1] = clamp(y * 255 / h + n(rng));
        row[3 * x + 2] = clamp((x + y) * 255 / (w + h) + n(rng));
      }
    }
  }
  return b;
}

// Nearest-palette mapping of a 640 x 480 24-bit picture onto the 8-bit frame (warm cache).
void BM_MapPhoto24To8(benchmark::State &state) {
  auto frame = Frame();
  auto photo = Photo(640, 480, state.range(0) != 0);
  for (auto _ : state) {
    BitBlt(frame->Canvas().Handle(), 0, 0, 640, 480, photo->Canvas().Handle(), 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
  state.SetLabel(state.range(0) ? "random noise" : "photo-like");
}
BENCHMARK(BM_MapPhoto24To8)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same with the cache dropped every time (a new palette): the first frame's cost.
void BM_MapPhoto24To8Cold(benchmark::State &state) {
  auto frame = Frame();
  auto photo = Photo(640, 480, false);
  TPalette pal = FramePalette();
  int flip = 0;
  for (auto _ : state) {
    pal[255].peFlags = 0;
    pal[255].peRed = static_cast<std::uint8_t>(254 + (flip ^= 1));  // a different palette each time
    frame->SetPalette(pal);
    BitBlt(frame->Canvas().Handle(), 0, 0, 640, 480, photo->Canvas().Handle(), 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_MapPhoto24To8Cold)->Unit(benchmark::kMicrosecond);

// A 640 x 480 8-bit copy between bitmaps with the same palette (the cycle's plain copy).
// Argument 1: the 1:1 row and column mapping of unscaled copies; 0: the general mapping.
void BM_BitBlt8(benchmark::State &state) {
  auto frame = Frame();
  auto src = Frame();
  SetUnscaledBlitFastPath(state.range(0) != 0);
  for (auto _ : state) {
    BitBlt(frame->Canvas().Handle(), 0, 0, 640, 480, src->Canvas().Handle(), 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  SetUnscaledBlitFastPath(true);
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_BitBlt8)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A 320 x 240 8-bit picture keyed onto the frame, at its own size and stretched to 640 x 480.
void BM_TransparentBlt8(benchmark::State &state) {
  auto frame = Frame();
  auto pic = Frame();
  pic->SetSize(320, 240);
  std::mt19937 rng(7);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) pic->ScanLine(y)[x] = static_cast<std::uint8_t>(x < 100 ? 255 : rng());
  const int w = static_cast<int>(state.range(0)), h = w * 3 / 4;
  for (auto _ : state) {
    TransparentBlt(frame->Canvas().Handle(), 0, 0, w, h, pic->Canvas().Handle(), 0, 0, 320, 240,
                   static_cast<UINT>(pic->TransparentColor()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_TransparentBlt8)->Arg(320)->Arg(640)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {
// For scale: the same picture copied to 32 bits (no palette search, same row walk).
void BM_Convert24To32(benchmark::State &state) {
  vx::TBitmap dst;
  dst.SetPixelFormat(vx::TPixelFormat::pf32bit);
  dst.SetSize(640, 480);
  auto photo = Photo(640, 480, false);
  for (auto _ : state) {
    vx::BitBlt(dst.Canvas().Handle(), 0, 0, 640, 480, photo->Canvas().Handle(), 0, 0, vx::SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_Convert24To32)->Unit(benchmark::kMicrosecond);
}  // namespace
