#pragma once
// Internal to the platform layer: exact nearest-palette search with a lookup cache.
// The RGB cube is cut into 64 x 64 x 64 cells of 4 x 4 x 4 colours (candidates found through
// their 8 x 8 x 8 parent cells). For each cell (built the
// first time a colour falls in it) we find the palette entries that can be nearest to some
// colour of the cell: those whose smallest distance to the cell is not larger than the
// smallest largest-distance of any entry. A cell with one candidate answers at once. A cell
// with several gets a block of its 64 answers (unless one entry wins them all), found by searching only the candidates in
// index order, so every answer is exactly that of a full search (smallest squared RGB distance, lowest index on ties, exact match first). Blocks
// are capped in number; past the cap a cell searches its candidates every time.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/bitmap.h"

namespace vx {

class PaletteMap {
 public:
  static constexpr std::size_t kDefaultBlocks = (std::size_t{4} << 20) / 64;  // 4 MiB of answers
  // max_blocks: answer blocks kept beyond the 256 uniform ones (tests lower it).
  explicit PaletteMap(const TPalette &palette, std::size_t max_blocks = kDefaultBlocks);

  std::uint8_t Nearest(int r, int g, int b) const {
    const std::uint32_t key = (static_cast<std::uint32_t>(r >> kCellBits) << (2 * kKeyBits)) |
                              (static_cast<std::uint32_t>(g >> kCellBits) << kKeyBits) |
                              static_cast<std::uint32_t>(b >> kCellBits);
    std::uint32_t cell = cells_[key];
    if (!(cell & kBlock)) [[unlikely]] {
      if (cell == 0) cell = BuildCell(key);
      if (!(cell & kBlock)) return Search(cell, r, g, b);
    }
    // One path for every built cell (a cell won by one entry shares that entry's uniform
    // block), so the branch does not depend on the colour.
    return blocks_[(static_cast<std::size_t>(cell & 0xFFFFF) << (3 * kCellBits)) |
                   static_cast<std::size_t>(((r & kCellMask) << (2 * kCellBits)) |
                                            ((g & kCellMask) << kCellBits) | (b & kCellMask))];
  }
  // Packed B | G << 8 | R << 16 (the byte order of a 24/32-bit pixel) to an index.
  std::uint8_t NearestPacked(std::uint32_t bgr) const {
    return Nearest(static_cast<int>((bgr >> 16) & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                   static_cast<int>(bgr & 0xFF));
  }

 private:
  // Cell words: 0 = not built; kBlock | block number (blocks 0-255 are uniform: block i
  // answers i everywhere); otherwise a candidate list, count << 24 | offset into pool_
  // (count kFullSearch: every distinct entry), for cells past the block cap.
  static constexpr std::uint32_t kBlock = 0x40000000u;
  static constexpr std::uint32_t kFullSearch = 0x3F;
  static constexpr int kMaxCandidates = 62;
  static constexpr int kCellBits = 2;  // cells of 4 x 4 x 4 colours
  static constexpr int kCellSide = 1 << kCellBits;
  static constexpr int kCellMask = kCellSide - 1;
  static constexpr int kKeyBits = 8 - kCellBits;
  static constexpr int kCellSize = kCellSide * kCellSide * kCellSide;
  std::size_t max_blocks_;

  std::uint32_t BuildCell(std::uint32_t key) const;
  int Candidates(const std::uint8_t *from, std::size_t count, int r0, int g0, int b0, int side,
                 std::uint8_t *out) const;
  std::uint32_t StoreList(const std::uint8_t *cand, int n) const;
  void ListOf(std::uint32_t list, const std::uint8_t *&entries, std::size_t &n) const;
  std::uint8_t Search(std::uint32_t list, int r, int g, int b) const;
  std::uint8_t SearchIn(const std::uint8_t *list, std::size_t n, int r, int g, int b) const;

  // Distinct colours in index order; a later duplicate can never win a tie.
  std::vector<std::uint8_t> distinct_;
  int r_[256], g_[256], b_[256];
  mutable std::vector<std::uint32_t> cells_;
  mutable std::vector<std::uint32_t> parents_;  // candidate lists of the 8 x 8 x 8 cells
  mutable std::vector<std::uint8_t> pool_;
  mutable std::vector<std::uint8_t> blocks_;
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
