// Text paths: recorded glyphs as a clip (the gradient-inside-the-glyphs drawing) and as a fill.
#include <gtest/gtest.h>

#include <set>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace vx {
namespace {

constexpr TColor kBack = RGB(0, 0, 128);

void Make24(TBitmap &b, int w, int h, TColor fill) {
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(w, h);
  b.Canvas().Brush.Color = fill;
  b.Canvas().Brush.Style = TBrushStyle::bsSolid;
  b.Canvas().FillRect({0, 0, w, h});
}

void SetFont(TCanvas &c) {
  c.Font.Name = "宋体";
  c.Font.SetSize(20);
  c.Font.Style = fsBold;
  c.Font.Color = clWhite;
}

// Pixels whose colour differs from `back`.
std::vector<std::uint8_t> Changed(TBitmap &b, TColor back) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(b.Width()) * b.Height());
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) out[y * b.Width() + x] = b.GetPixel(x, y) != back;
  return out;
}

const std::u16string kText = u"渐变 Ag";
const TRect kRect{4, 4, 196, 56};

// The glyph pixels of kText drawn plainly: the reference the path must reproduce.
std::vector<std::uint8_t> GlyphPixels() {
  TBitmap ref;
  Make24(ref, 200, 60, kBack);
  TCanvas &c = ref.Canvas();
  SetFont(c);
  c.SetBkMode(TRANSPARENT);
  TRect r = kRect;
  c.DrawText(kText, r, DT_WORDBREAK | DT_VCENTER);
  return Changed(ref, kBack);
}

TEST(TextPath, GradientBlittedThroughTheClipColoursOnlyGlyphPixels) {
  TBitmap gradient;
  Make24(gradient, 200, 60, clBlack);
  for (int x = 0; x < 200; ++x)
    for (int y = 0; y < 60; ++y) gradient.SetPixel(x, y, RGB(255 - x, 40 + y, x));

  TBitmap b;
  Make24(b, 200, 60, kBack);
  TCanvas &c = b.Canvas();
  SetFont(c);
  c.SetBkMode(TRANSPARENT);
  c.BeginPath();
  TRect r = kRect;
  c.DrawText(kText, r, DT_WORDBREAK | DT_VCENTER);
  c.EndPath();
  // Nothing is drawn while the path records.
  EXPECT_EQ(Changed(b, kBack), std::vector<std::uint8_t>(200 * 60, 0));
  ASSERT_TRUE(c.SelectClipPath(RGN_COPY));
  BitBlt(c.Handle(), 0, 0, 200, 60, gradient.Canvas().Handle(), 0, 0, SRCCOPY);
  c.StrokeAndFillPath();  // the clip consumed the path: no mark
  c.SelectClipRgn(nullptr);

  const auto glyphs = GlyphPixels();
  ASSERT_GT(std::count(glyphs.begin(), glyphs.end(), 1), 100);
  EXPECT_EQ(Changed(b, kBack), glyphs);
  // Inside the glyphs the gradient shows, not one flat colour.
  std::set<TColor> colours;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x)
      if (glyphs[y * 200 + x]) {
        EXPECT_EQ(b.GetPixel(x, y), gradient.GetPixel(x, y));
        colours.insert(b.GetPixel(x, y));
      }
  EXPECT_GT(colours.size(), 20u);

  // The clip is gone: a fill covers everything again.
  c.Brush.Color = clRed;
  c.FillRect({0, 0, 200, 60});
  EXPECT_EQ(b.GetPixel(0, 0), clRed);
  EXPECT_EQ(b.GetPixel(199, 59), clRed);
}

TEST(TextPath, StrokeAndFillPaintsTheGlyphsWithBrushAndPen) {
  TBitmap b;
  Make24(b, 200, 60, kBack);
  TCanvas &c = b.Canvas();
  SetFont(c);
  c.SetBkMode(OPAQUE);  // the background is not part of a path
  c.BeginPath();
  TRect r = kRect;
  c.DrawText(kText, r, DT_WORDBREAK | DT_VCENTER);
  c.EndPath();
  c.Brush.Color = clYellow;
  c.Pen.Color = clRed;
  c.StrokeAndFillPath();
  const auto glyphs = GlyphPixels();
  const auto changed = Changed(b, kBack);
  EXPECT_EQ(changed, glyphs);
  int yellow = 0, red = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x) {
      yellow += b.GetPixel(x, y) == clYellow;
      red += b.GetPixel(x, y) == clRed;
    }
  EXPECT_GT(red, 50);     // the outline
  EXPECT_GT(yellow, 10);  // the inside of bold strokes
  // The path is consumed.
  EXPECT_FALSE(c.SelectClipPath(RGN_COPY));
}

TEST(TextPath, SelectClipPathNeedsAClosedPath) {
  TBitmap b;
  Make24(b, 50, 20, kBack);
  TCanvas &c = b.Canvas();
  EXPECT_FALSE(c.SelectClipPath(RGN_COPY));
  c.BeginPath();
  EXPECT_FALSE(c.SelectClipPath(RGN_COPY));  // still open
  c.EndPath();
  EXPECT_TRUE(c.SelectClipPath(RGN_COPY));   // an empty path clips everything away
  c.Brush.Color = clRed;
  c.FillRect({0, 0, 50, 20});
  EXPECT_EQ(Changed(b, kBack), std::vector<std::uint8_t>(50 * 20, 0));
  c.SelectClipRgn(nullptr);
  c.FillRect({0, 0, 50, 20});
  EXPECT_EQ(b.GetPixel(10, 10), clRed);
}

TEST(TextPath, AndModeKeepsTheClipRectangle) {
  TBitmap b;
  Make24(b, 200, 60, kBack);
  TCanvas &c = b.Canvas();
  SetFont(c);
  c.SetBkMode(TRANSPARENT);
  c.BeginPath();
  TRect r = kRect;
  c.DrawText(kText, r, DT_WORDBREAK | DT_VCENTER);
  c.EndPath();
  c.SetClipRect({0, 0, 40, 60});
  ASSERT_TRUE(c.SelectClipPath(RGN_AND));
  c.Brush.Color = clRed;
  c.FillRect({0, 0, 200, 60});
  const auto glyphs = GlyphPixels();
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 200; ++x)
      EXPECT_EQ(b.GetPixel(x, y) == clRed, x < 40 && glyphs[y * 200 + x] != 0) << x << "," << y;
}

}  // namespace
}  // namespace vx
