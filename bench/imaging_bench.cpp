// What the frame graphic costs every 60 ms cycle: writing the 640 x 480 frame stream, next to
// a plain copy of the same 308,232 bytes (the floor), and the colour lookup the level record
// pays for every colour the host sets.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/osd_graphic.h"

namespace {

vx::TOSDGraphic &Frame() {
  static vx::TOSDGraphic frame;
  static const bool ready = [] {
    vx::TOSDGraphic &f = frame;
    f.SetSize(vx::kFrameWidth, vx::kFrameHeight);
    for (int y = 0; y < f.Height(); ++y)
      for (int x = 0; x < f.Width(); ++x) f.ScanLine(y)[x] = static_cast<std::uint8_t>(x ^ y);
    f.AddColorLevel("root", vx::kKeyColor, 0);
    for (int i = 0; i < 8; ++i) f.AddColorLevel(std::string(1, 'c').append(std::to_string(i)), i * 0x102030, 200);
    return true;
  }();
  (void)ready;
  return frame;
}

// The floor: copying one frame's worth of bytes.
void BM_PlainCopy308232(benchmark::State &state) {
  std::vector<std::byte> src(vx::kFrameStreamBytes, std::byte{250});
  std::vector<std::byte> dst(vx::kFrameStreamBytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(src.size()));
}
BENCHMARK(BM_PlainCopy308232);

// The frame stream into a reused memory stream, as the cycle writes it.
void BM_SaveToFrameStream640x480(benchmark::State &state) {
  vx::TOSDGraphic &frame = Frame();
  vx::TMemoryStream stream;
  stream.SetSize(vx::kFrameStreamBytes);
  for (auto _ : state) {
    stream.SetPosition(0);
    frame.SaveToFrameStream(stream);
    benchmark::DoNotOptimize(stream.Memory());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(vx::kFrameStreamBytes));
}
BENCHMARK(BM_SaveToFrameStream640x480);

// The frame stream straight into a buffer (the card's).
void BM_SaveToFrameBytes640x480(benchmark::State &state) {
  vx::TOSDGraphic &frame = Frame();
  std::vector<std::byte> out(vx::kFrameStreamBytes);
  for (auto _ : state) {
    frame.SaveToFrameBytes(out);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(vx::kFrameStreamBytes));
}
BENCHMARK(BM_SaveToFrameBytes640x480);

void BM_NearestPaletteIndex(benchmark::State &state) {
  std::uint32_t c = 0x123456;
  for (auto _ : state) {
    c = c * 1664525u + 1013904223u;  // a different colour each time
    benchmark::DoNotOptimize(vx::NearestPaletteIndex(static_cast<vx::TColor>(c & 0xFFFFFF)));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NearestPaletteIndex);

}  // namespace
