#pragma once
// Internal to the platform layer: exact nearest-palette search with a lookup cache.
// The RGB cube is cut into 32 x 32 x 32 cells of 8 x 8 x 8 colours. For each cell (built the
// first time a colour falls in it) we keep the palette entries that can be nearest to some
// colour of the cell: those whose smallest distance to the cell is not larger than the
// smallest largest-distance of any entry. A cell with one candidate answers at once; a cell
// with a few searches only those, in index order, so the result is exactly that of a full
// search (smallest squared RGB distance, lowest index on ties, exact match first).

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/bitmap.h"

namespace vx {

class PaletteMap {
 public:
  explicit PaletteMap(const TPalette &palette);

  std::uint8_t Nearest(int r, int g, int b) const {
    const std::uint32_t key = (static_cast<std::uint32_t>(r >> 3) << 10) |
                              (static_cast<std::uint32_t>(g >> 3) << 5) |
                              static_cast<std::uint32_t>(b >> 3);
    std::uint32_t cell = cells_[key];
    if (cell == 0) cell = BuildCell(key);
    if ((cell >> 24) == 1) return static_cast<std::uint8_t>(cell);
    return Search(cell, r, g, b);
  }
  // Packed B | G << 8 | R << 16 (the byte order of a 24/32-bit pixel) to an index.
  std::uint8_t NearestPacked(std::uint32_t bgr) const {
    return Nearest(static_cast<int>((bgr >> 16) & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                   static_cast<int>(bgr & 0xFF));
  }

 private:
  static constexpr std::uint32_t kFullSearch = 0xFF;  // cell tag: search every distinct entry
  static constexpr int kMaxCandidates = 64;

  std::uint32_t BuildCell(std::uint32_t key) const;
  std::uint8_t Search(std::uint32_t cell, int r, int g, int b) const;

  // Distinct colours in index order; a later duplicate can never win a tie.
  std::vector<std::uint8_t> distinct_;
  int r_[256], g_[256], b_[256];
  mutable std::vector<std::uint32_t> cells_;  // 0 = not built; else count << 24 | offset/index
  mutable std::vector<std::uint8_t> pool_;
};

// One map per distinct palette and thread, shared by every bitmap that holds that palette.
std::shared_ptr<const PaletteMap> SharedPaletteMap(const TPalette &palette);

// The plain per-pixel search the map must agree with (tests use it as the reference).
std::uint8_t NearestIndexReference(const TPalette &palette, int r, int g, int b);

}  // namespace vx

namespace vx {
// What a TBitmap keeps for its palette: the shared map, made on first use.
struct PaletteCache {
  std::shared_ptr<const PaletteMap> map;
};
}  // namespace vx
