#pragma once
// Internal to the platform layer: exact nearest-palette search with a lookup table.
// Every 24-bit colour has one byte in a table of 16 MiB, filled a cell (4 x 4 x 4 colours)
// at a time the first time a colour of the cell is asked for; a bit per cell says whether it
// is filled. The table is kept in pages of 4 KiB (16 x 16 x 16 colours), allocated as a cell
// of theirs is first filled: only the pages in use take memory, and a 32-bit host whose
// address space is fragmented (or, under Wine, small) never needs 16 MiB in one piece.
// The layout keeps neighbouring colours together, so that a picture's smooth areas stay in a
// few cache lines: the top 12 bits of an index are the high nibbles of R, G, B (the page),
// the next 6 the cell inside the page, the low 6 the colour inside the cell (one cache line).
//
// A cell is filled by searching only its candidates: the palette entries whose smallest
// distance to the cell is not larger than the smallest largest-distance of any entry (found
// through the 8 x 8 x 8 parent cell's own candidates), in index order, so every answer is
// exactly that of a full search (smallest squared RGB distance, lowest index on ties, exact
// match first).

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/bitmap.h"

namespace vx {

class PaletteMap {
 public:
  explicit PaletteMap(const TPalette &palette);

  std::uint8_t Nearest(int r, int g, int b) const {
    const std::uint32_t at = kSpread[0][r & 0xFF] | kSpread[1][g & 0xFF] | kSpread[2][b & 0xFF];
    const std::uint32_t cell = at >> kCellShift;
    if (!((filled_[cell >> 6] >> (cell & 63)) & 1)) [[unlikely]] Fill(cell);
    return pages_[at >> kPageShift][at & kPageMask];
  }
  // A row of n pixels of `bytes` (3 or 4) bytes each, B G R first, to indices.
  template <int bytes>
  void MapRow(const std::uint8_t *src, std::uint8_t *dst, std::size_t n) const {
    // Local copies: stores through dst could alias the members as far as the compiler knows.
    const std::unique_ptr<std::uint8_t[]> *pages = pages_.data();
    const std::uint64_t *filled = filled_.data();
    for (std::size_t i = 0; i < n; ++i, src += bytes) {
      const std::uint32_t at = kSpread[0][src[2]] | kSpread[1][src[1]] | kSpread[2][src[0]];
      const std::uint32_t cell = at >> kCellShift;
      if (!((filled[cell >> 6] >> (cell & 63)) & 1)) [[unlikely]] {
        Fill(cell);
        filled = filled_.data();
      }
      dst[i] = pages[at >> kPageShift][at & kPageMask];
    }
  }
  // Packed B | G << 8 | R << 16 (the byte order of a 24/32-bit pixel) to an index.
  std::uint8_t NearestPacked(std::uint32_t bgr) const {
    return Nearest(static_cast<int>((bgr >> 16) & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                   static_cast<int>(bgr & 0xFF));
  }

 private:
  static constexpr int kCellShift = 6;  // 64 colours a cell
  static constexpr std::size_t kCells = std::size_t{1} << 18;
  static constexpr int kPageShift = 12;  // 4096 colours a page
  static constexpr std::uint32_t kPageMask = (1u << kPageShift) - 1;
  static constexpr std::size_t kPages = std::size_t{1} << (24 - kPageShift);
  static constexpr std::uint32_t kFullSearch = 0x3F;  // parent list count: every entry
  static constexpr int kMaxCandidates = 62;

  // Table index bits of each channel value: R, G, B in turn.
  static constexpr std::array<std::array<std::uint32_t, 256>, 3> kSpread = [] {
    std::array<std::array<std::uint32_t, 256>, 3> t{};
    for (std::uint32_t c = 0; c < 3; ++c) {
      const std::uint32_t lane = 2 - c;  // R is the most significant of each group
      for (std::uint32_t v = 0; v < 256; ++v)
        t[c][v] = ((v >> 4) << (12 + 4 * lane)) | (((v >> 2) & 3) << (6 + 2 * lane)) |
                  ((v & 3) << (2 * lane));
    }
    return t;
  }();

  void Fill(std::uint32_t cell) const;
  int Candidates(const std::uint8_t *from, std::size_t count, int r0, int g0, int b0, int side,
                 std::uint8_t *out) const;
  std::uint8_t SearchIn(const std::uint8_t *list, std::size_t n, int r, int g, int b) const;

  // Distinct colours in index order; a later duplicate can never win a tie.
  std::vector<std::uint8_t> distinct_;
  int r_[256], g_[256], b_[256];
  mutable std::vector<std::uint64_t> filled_;   // a bit per cell
  mutable std::vector<std::uint32_t> parents_;  // candidate lists of the 8 x 8 x 8 cells
  mutable std::vector<std::uint8_t> pool_;
  mutable std::vector<std::unique_ptr<std::uint8_t[]>> pages_;  // null until a cell is filled
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
