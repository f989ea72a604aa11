#pragma once
// Internal to platform/: the text and path code's access to a canvas's path state, and the
// one routine that puts a run of text on a canvas (or into its open path).

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace vx {

class FontInstance;

struct CanvasTextAccess {
  static bool InPath(const TCanvas &c) { return c.in_path_; }
  static void SetInPath(TCanvas &c, bool on) { c.in_path_ = on; }
  static std::vector<std::uint8_t> &PathMask(TCanvas &c) { return c.path_mask_; }
};

// Where text goes: painted on the canvas, or recorded into the open path's mask. `limit`
// narrows it further (DrawText's rectangle); null for none.
class TextTarget {
 public:
  TextTarget(TCanvas &canvas, const TRect *limit);
  // Paints (or records) coverage w x h (one byte per pixel: non-zero = ink, or the share of
  // the pixel 0..255 when Smooth) at (x, y).
  void Coverage(int x, int y, const std::uint8_t *coverage, int w, int h, int pitch,
                TColor color);
  void Span(long long x0, long long x1, long long y, TColor color);
  // A filled quadrilateral origin + a*u + b*v for a, b in [0, 1), by pixel centres.
  void Parallelogram(double ox, double oy, double ux, double uy, double vx, double vy,
                     TColor color);
  bool Recording() const { return recording_; }
  // A true-colour target: glyphs are anti-aliased, coverage is 0..255.
  bool Smooth() const { return smooth_; }
  const TRect &Limit() const { return limit_; }

 private:
  TCanvas &canvas_;
  TRect limit_;
  bool recording_;
  bool smooth_;
  int mask_width_ = 0;
};

// Draws one line of code points with its top-left cell corner at (x, y), rotated by the font's
// escapement about that corner. Fills the cell first when `opaque`. Returns the advance width.
int DrawTextRun(TextTarget &target, const FontInstance &font, int x, int y,
                std::u32string_view text, TColor color, bool underline, bool strikeout,
                bool opaque, TColor background);

}  // namespace vx
