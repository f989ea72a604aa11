#pragma once
// Builds Windows BMP files byte by byte for decoder tests and fuzz seeds: the caller gives
// the header fields and the raw pixel data as it stands in the file.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx::testing {

struct BmpSpec {
  int width = 1;
  int height = 1;           // negative: top-down
  int bpp = 24;
  std::uint32_t compression = 0;
  std::uint32_t header_size = 40;            // 12 (core), 40, 52, 56, 108 or 124
  std::vector<std::uint32_t> palette;        // 0x00RRGGBB per entry
  std::int64_t colors_used = -1;             // -1: palette.size() (0 for none)
  std::vector<std::uint32_t> masks;          // R, G, B[, A]: after a 40-byte header or inside a V2+ one
  std::vector<std::uint8_t> pixels;          // raw pixel data as stored
};

std::vector<std::byte> BuildBmp(const BmpSpec &layout);

// Row padding helper: pads each `row_bytes` row of `rows` to a multiple of 4 bytes.
std::vector<std::uint8_t> PadRows(const std::vector<std::uint8_t> &rows, int row_bytes);

void Poke32(std::vector<std::byte> &bytes, std::size_t at, std::uint32_t value);
void Poke16(std::vector<std::byte> &bytes, std::size_t at, std::uint16_t value);

}  // namespace vx::testing
