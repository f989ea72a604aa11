#include "tests/support/bitmaps.h"

#include <cstring>

namespace vx::testing {

std::unique_ptr<TBitmap> MakeBitmap(int width, int height, TPixelFormat format, TColor fill,
                                    const TPalette *palette) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(format);
  if (palette) bmp->SetPalette(*palette);
  bmp->SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bmp->SetPixel(x, y, fill);
  return bmp;
}

TPalette RandomPalette(std::mt19937 &rng) {
  TPalette p{};
  std::uniform_int_distribution<int> byte(0, 255);
  for (auto &e : p) {
    e.peRed = static_cast<std::uint8_t>(byte(rng));
    e.peGreen = static_cast<std::uint8_t>(byte(rng));
    e.peBlue = static_cast<std::uint8_t>(byte(rng));
  }
  for (int i = 0; i < 8; ++i) p[static_cast<std::size_t>(byte(rng))] = p[static_cast<std::size_t>(byte(rng))];
  return p;
}

void FillRandom(TBitmap &bitmap, std::mt19937 &rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t *row = bitmap.ScanLine(y);
    for (int i = 0; i < bitmap.BytesPerScanLine(); ++i) row[i] = static_cast<std::uint8_t>(byte(rng));
  }
}

int CountColor(const TBitmap &bitmap, TColor color) {
  int n = 0;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) n += bitmap.GetPixel(x, y) == color;
  return n;
}

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  out.reserve(values.size());
  for (int v : values) out.push_back(static_cast<std::byte>(v));
  return out;
}

std::vector<std::byte> Bytes(std::span<const std::uint8_t> values) {
  std::vector<std::byte> out(values.size());
  std::memcpy(out.data(), values.data(), values.size());
  return out;
}

}  // namespace vx::testing
