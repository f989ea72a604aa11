#pragma once
// Drawing steps shared by the text and the scrolling text component: the layouts a text mode
// chooses, bitmap sizing with caps, the random colour pick and the gradient fill.

#include <array>
#include <string_view>

#include "platform/canvas.h"
#include "platform/color.h"
#include "platform/types.h"

namespace vx {

class TBitmap;

// How a text is measured and drawn: one line per line break, or "vertical" (as little per
// line as breaking in a one-pixel width allows: one CJK character per line).
struct TTextLayout {
  bool vertical = false;
  TRect measure_from{};     // (0, 0, 0, 0), or (0, 0, 1, 0) for vertical
  unsigned measure_flags = 0;
  unsigned draw_flags = 0;
};
TTextLayout HorizontalLayout(unsigned extra_flags = 0);
TTextLayout VerticalLayout(unsigned extra_flags = 0);

// Measures `text` with the canvas font: the rectangle DrawText computes from the layout's
// start rectangle, never with negative right or bottom. An empty text measures (0, 0, 0, 0).
TRect MeasureText(TCanvas &canvas, std::u16string_view text, const TTextLayout &layout);

// Sizes the bitmap to width x height, cut to at most max_side per side and max_pixels in all
// (the longer side gives way), so that a huge text shows its beginning instead of asking for
// an unbounded bitmap. Negative sizes count as 0. Height first, then width, as the card's
// components always resized.
void FitBitmapSize(TBitmap &bitmap, int width, int height, int max_side, long long max_pixels);

// Fills the whole bitmap with a colour.
void FillBitmap(TBitmap &bitmap, TColor color);

// One of the five colours, each equally likely, from a generator seeded with the message
// loop's clock right before the pick (so picks at the same millisecond agree).
TColor PickRandomColor(const std::array<TColor, 5> &colors);

// The colour ramp of a gradient of length `length`: entry i is c1 + ((c2 - c1) * i) / length
// per channel, truncated toward zero. Starts at c1 and stops one step short of c2.
std::vector<TColor> GradientRamp(TColor c1, TColor c2, int length);

// Draws `text` into `rect` as a two-colour gradient visible only inside the glyphs: the text
// becomes a path, the path the clip, and the ramp (horizontal: one colour per column over
// rect's width; vertical: one per row over its height) is painted through it. The canvas
// ends with no clip and a transparent background mode.
void DrawGradientText(TCanvas &canvas, std::u16string_view text, const TRect &rect,
                      unsigned draw_flags, bool vertical_ramp, TColor c1, TColor c2);

}  // namespace vx
