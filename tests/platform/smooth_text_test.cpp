// Text on a true-colour bitmap: anti-aliased glyph coverage becomes alpha at the edges, the
// colour stays the font's, and a palette bitmap keeps its binary glyphs.
#include <gtest/gtest.h>

#include "platform/bitmap.h"
#include "platform/blend.h"
#include "platform/canvas.h"

namespace vx {
namespace {

struct Counts {
  int transparent = 0, partial = 0, opaque = 0;
  int off_colour = 0;  // inked pixels whose straight colour is not the font colour
};

Counts Count(TBitmap &b, TColor colour) {
  Counts n;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const std::uint8_t *p = b.ScanLine(y) + 4 * x;
      if (p[3] == 0) {
        ++n.transparent;
        continue;
      }
      (p[3] == 255 ? n.opaque : n.partial)++;
      // Straight colour of a low-alpha pixel is coarse: allow the rounding of alpha 255/a.
      const std::uint32_t c = blend::Unpremultiply(p);
      const int tolerance = 2 + 255 / p[3];
      for (int k = 0; k < 3; ++k)
        if (std::abs(static_cast<int>((c >> (8 * k)) & 0xFF) -
                     static_cast<int>((colour >> (8 * k)) & 0xFF)) > tolerance) {
          ++n.off_colour;
          break;
        }
    }
  return n;
}

TEST(SmoothText, GlyphEdgesCarryIntermediateAlphaInTheFontColour) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetSize(120, 60);  // zero: transparent
  TCanvas &c = b.Canvas();
  c.Font.Name = "Arial";
  c.Font.SetSize(28);
  c.Font.Color = 0x3080F0;
  c.Brush.Style = TBrushStyle::bsClear;
  c.SetBkMode(TRANSPARENT);
  c.TextOut(4, 4, u"Sø");
  const Counts n = Count(b, 0x3080F0);
  EXPECT_GT(n.opaque, 50);
  EXPECT_GT(n.partial, 30);  // the edges of curves are partial coverage
  EXPECT_EQ(n.off_colour, 0);
}

TEST(SmoothText, CjkTextIsSmoothToo) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetSize(80, 50);
  TCanvas &c = b.Canvas();
  c.Font.Name = "宋体";
  c.Font.SetSize(24);
  c.Font.Color = 0xFFFFFF;
  c.Brush.Style = TBrushStyle::bsClear;
  c.SetBkMode(TRANSPARENT);
  c.TextOut(2, 2, u"永");
  const Counts n = Count(b, 0xFFFFFF);
  EXPECT_GT(n.partial, 10);
  EXPECT_EQ(n.off_colour, 0);
}

TEST(SmoothText, APaletteBitmapKeepsBinaryGlyphs) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(120, 60);
  TCanvas &c = b.Canvas();
  c.Brush.Color = 0x00FF00;
  c.FillRect({0, 0, 120, 60});
  c.Font.Name = "Arial";
  c.Font.SetSize(28);
  c.Font.Color = 0xFFFFFF;
  c.SetBkMode(TRANSPARENT);
  c.TextOut(4, 4, u"Sø");
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor p = b.GetPixel(x, y);
      ASSERT_TRUE(p == 0x00FF00 || p == 0xFFFFFF) << x << "," << y;
    }
}

TEST(SmoothText, GradientTextIsSmoothThroughItsPath) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetSize(100, 50);
  TCanvas &c = b.Canvas();
  c.Font.Name = "Arial";
  c.Font.SetSize(28);
  c.SetBkMode(TRANSPARENT);
  c.BeginPath();
  c.TextOut(2, 2, u"Oo");
  c.EndPath();
  ASSERT_TRUE(c.SelectClipPath(RGN_COPY));
  for (int y = 0; y < 50; ++y) c.FillSpan(0, 100, y, 0x0000FF);
  c.SelectClipRgn(nullptr);
  const Counts n = Count(b, 0x0000FF);
  EXPECT_GT(n.partial, 20);
  EXPECT_GT(n.opaque, 20);
  EXPECT_EQ(n.off_colour, 0);
}

}  // namespace
}  // namespace vx
