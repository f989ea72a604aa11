#pragma once
// Helpers for tests that build and inspect bitmaps.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "platform/bitmap.h"

namespace vx::testing {

// A bitmap of the given size and format, every pixel `fill` (through the palette for 8-bit).
std::unique_ptr<TBitmap> MakeBitmap(int width, int height, TPixelFormat format,
                                    TColor fill = clBlack, const TPalette *palette = nullptr);
// A palette of random colours (a few repeated, so that ties happen).
TPalette RandomPalette(std::mt19937 &rng);
// Fills every pixel with random bytes (8-bit: random indices).
void FillRandom(TBitmap &bitmap, std::mt19937 &rng);
// Number of pixels of colour `color` (0x00BBGGRR, palette resolved).
int CountColor(const TBitmap &bitmap, TColor color);
// Byte literals for malformed-input tests.
std::vector<std::byte> Bytes(std::initializer_list<int> values);
std::vector<std::byte> Bytes(std::span<const std::uint8_t> values);

}  // namespace vx::testing
