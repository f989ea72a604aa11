#pragma once
// The keyed copy: picture components are copied onto the frame with one colour left out, so
// that their background does not cover what lies beneath. The platform always has the keyed
// copy, so it is called directly; the opaque fallback stays for a platform where a keyed copy
// is impossible, and can be switched on to see (and test) what such a platform shows.

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/color.h"

namespace vx {

// Whether the keyed copy is available (process-wide; true unless switched off).
bool HasTransparentBlt();
void SetHasTransparentBlt(bool available);

// Copies the source rectangle onto the destination rectangle, stretching it, with source
// pixels of `transparent` left out. Without the keyed copy: an opaque copy of the
// destination's size from (sx, sy); the source size and the transparent colour are unused.
void TransparentCopy(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw,
                     int sh, TColor transparent);

// The whole bitmap onto (x, y, w, h) of `dest`, keyed on the bitmap's transparent colour
// (the colour of its bottom-left pixel unless one was set).
void DrawBitmapTransparent(TBitmap &bitmap, HDC dest, int x, int y, int w, int h);

// The keyed copy of one bitmap that is drawn again and again unchanged (a shown picture,
// every cycle): the mapping of its pixels to the target's palette and the mask of its keyed
// pixels are made once per change of the bitmap, so that each draw only copies indices.
// Draws exactly what DrawBitmapTransparent draws at the bitmap's own size; it falls back to
// it where the shortcut does not apply (a target that is not 8-bit, a clipped target, no
// keyed copy).
class TKeyedCopyCache {
 public:
  void Draw(TBitmap &source, TBitmap &dest, int x, int y);
  // How often the mapping was made (for tests and benchmarks).
  std::uint64_t Rebuilds() const { return rebuilds_; }

 private:
  bool Fresh(const TBitmap &source, const TBitmap &dest) const;
  void Rebuild(TBitmap &source, const TBitmap &dest);

  const TBitmap *source_ = nullptr;
  std::uint64_t change_ = 0;
  int width_ = 0, height_ = 0;
  TPixelFormat format_ = TPixelFormat::pf24bit;
  TColor key_ = 0;
  TPalette source_palette_{};
  TPalette dest_palette_{};
  std::vector<std::uint8_t> indices_;  // width x height target indices
  // The drawn (not keyed) pixels as runs per row: row r's runs are
  // runs_[row_runs_[r] .. row_runs_[r + 1]), each [start, start + length) in source columns.
  struct Run {
    int start;
    int length;
  };
  std::vector<Run> runs_;
  std::vector<std::uint32_t> row_runs_;
  std::uint64_t rebuilds_ = 0;
};

}  // namespace vx
