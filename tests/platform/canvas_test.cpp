#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/bitmap.h"
#include "tests/support/bitmaps.h"

namespace vx {
namespace {

using testing::CountColor;
using testing::MakeBitmap;

// The pixels of colour c as a set of "x,y" strings would be overkill; a bounding box does.
TRect InkBox(const TBitmap &bmp, TColor c) {
  TRect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x)
      if (bmp.GetPixel(x, y) == c) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

TEST(CanvasClip, DefaultsToTheBitmapAndFollowsResizes) {
  TBitmap bmp;
  bmp.SetSize(10, 8);
  TCanvas &c = bmp.Canvas();
  EXPECT_EQ(c.ClipRect(), Rect(0, 0, 10, 8));
  c.SetClipRect(Rect(-5, 2, 6, 100));
  EXPECT_EQ(c.ClipRect(), Rect(0, 2, 6, 8));
  bmp.SetSize(4, 4);
  EXPECT_EQ(c.ClipRect(), Rect(0, 2, 4, 4));
  c.ResetClip();
  EXPECT_EQ(c.ClipRect(), Rect(0, 0, 4, 4));
  c.SetClipRect(Rect(20, 20, 30, 30));
  EXPECT_TRUE(c.ClipRect().IsEmpty());
  c.Brush.Color = clRed;
  c.FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(CountColor(bmp, clRed), 0);
}

TEST(CanvasFill, FillRectIsClippedAndExclusive) {
  for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TPalette pal{};
    pal[5] = {255, 0, 0, 0};
    auto bmp = MakeBitmap(20, 10, f, clBlack, &pal);
    TCanvas &c = bmp->Canvas();
    c.Brush.Color = clRed;
    c.FillRect(Rect(2, 3, 6, 5));
    EXPECT_EQ(InkBox(*bmp, clRed), Rect(2, 3, 6, 5));
    EXPECT_EQ(CountColor(*bmp, clRed), 8);
    c.FillRect(Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_EQ(CountColor(*bmp, clRed), 200);
    if (f == TPixelFormat::pf8bit) { EXPECT_EQ(bmp->ScanLine(0)[0], 5); }
    c.Brush.Color = clBlack;
    c.Brush.Style = TBrushStyle::bsClear;
    c.FillRect(Rect(0, 0, 20, 10));
    EXPECT_EQ(CountColor(*bmp, clRed), 200);
  }
}

TEST(CanvasFill, FillSpanAndCoverageRespectClipRectAndMask) {
  auto bmp = MakeBitmap(8, 4, TPixelFormat::pf24bit, clBlack);
  TCanvas &c = bmp->Canvas();
  c.SetClipRect(Rect(1, 0, 7, 4));
  c.FillSpan(-100, 100, 1, clLime);
  EXPECT_EQ(InkBox(*bmp, clLime), Rect(1, 1, 7, 2));
  c.FillSpan(0, 8, -1, clLime);
  c.FillSpan(0, 8, 4, clLime);
  c.FillSpan(INT_MIN, INT_MAX, INT_MAX, clLime);
  EXPECT_EQ(CountColor(*bmp, clLime), 6);

  // Coverage: a 3 x 2 stamp at (6, 2); its right column falls outside the clip.
  const std::uint8_t cov[] = {1, 0, 255, 9, 0, 0, 0, 7, 0, 0};
  c.PaintCoverage(6, 2, cov, 3, 2, 5, clRed);
  EXPECT_EQ(bmp->GetPixel(6, 2), clRed);
  EXPECT_EQ(bmp->GetPixel(7, 2), clBlack);
  EXPECT_EQ(bmp->GetPixel(7, 3), clBlack);
  EXPECT_EQ(CountColor(*bmp, clRed), 1);
  c.PaintCoverage(INT_MAX - 1, INT_MAX - 1, cov, 3, 2, 5, clRed);
  c.PaintCoverage(INT_MIN, 0, cov, 3, 2, 5, clRed);
  c.PaintCoverage(0, 0, nullptr, 3, 2, 5, clRed);
  c.PaintCoverage(0, 0, cov, 3, 2, 2, clRed);  // pitch shorter than a row
  EXPECT_EQ(CountColor(*bmp, clRed), 1);
}

}  // namespace
}  // namespace vx
