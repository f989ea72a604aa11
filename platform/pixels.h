#pragma once
// Internal to the platform layer: raw pixel surfaces and the one row-walking copy kernel that
// bitmaps (format conversion) and canvases (blits, keyed copies) share.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace vx {

class PaletteMap;

struct Surface {
  std::uint8_t *bits = nullptr;
  int stride = 0;
  int width = 0;
  int height = 0;
  int bytes = 3;  // bytes per pixel: 1, 3 or 4
  const TPalette *palette = nullptr;
  bool alpha = false;  // pfARGB32: premultiplied B, G, R, A
  std::uint8_t *Row(int y) const { return bits + static_cast<std::ptrdiff_t>(stride) * y; }
};

Surface SurfaceOf(TBitmap &bitmap);
inline int BytesPerPixel(TPixelFormat f) {
  return f == TPixelFormat::pf8bit ? 1 : f == TPixelFormat::pf24bit ? 3 : 4;
}
// Packed pixel value B | G << 8 | R << 16 of a colour 0x00BBGGRR.
inline std::uint32_t PackedOf(TColor rgb) {
  return static_cast<std::uint32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}
inline TColor ColorOfPacked(std::uint32_t p) {
  return static_cast<TColor>(((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16));
}

// A copy already clipped: destination columns x0.. x0+xs.size()-1 take source columns xs[i],
// destination rows y0.. take source rows ys[j]. Every index is inside its surface.
struct BlitPlan {
  int x0 = 0;
  int y0 = 0;
  std::vector<int> xs;
  std::vector<int> ys;
  bool keyed = false;
  std::uint32_t key = 0;                 // packed colour left out when keyed
  const TClipRegion *mask = nullptr;     // non-null when the clip carries a mask
};

// dst_map is needed when dst is 8-bit and the source is not 8-bit with the same palette.
void RunBlit(const Surface &dst, const PaletteMap *dst_map, const Surface &src,
             const BlitPlan &plan);

const PaletteMap &PaletteMapOf(const TBitmap &bitmap);

// Unscaled copies (source and destination extents equal, no mirroring) map their rows and
// columns without the general division; on by default. Off, every copy takes the general
// per-pixel mapping (for tests that compare the two).
void SetUnscaledBlitFastPath(bool on);

}  // namespace vx
