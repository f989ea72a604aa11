#include "platform/canvas.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

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

TEST(CanvasShapes, RectangleHasAPenBorderAndBrushFillWithExclusiveEdges) {
  auto bmp = MakeBitmap(10, 10, TPixelFormat::pf24bit, clWhite);
  TCanvas &c = bmp->Canvas();
  EXPECT_EQ(c.Pen.Color, clBlack);
  EXPECT_EQ(c.Pen.Width, 1);
  c.Brush.Color = clRed;
  c.Rectangle(2, 3, 7, 8);
  EXPECT_EQ(InkBox(*bmp, clBlack), Rect(2, 3, 7, 8));
  EXPECT_EQ(InkBox(*bmp, clRed), Rect(3, 4, 6, 7));
  EXPECT_EQ(CountColor(*bmp, clBlack), 16);
  EXPECT_EQ(CountColor(*bmp, clRed), 9);
  // A clear brush leaves the inside alone; swapped corners draw the same rectangle.
  c.Brush.Style = TBrushStyle::bsClear;
  c.Pen.Color = clBlue;
  c.Rectangle(7, 8, 2, 3);
  EXPECT_EQ(CountColor(*bmp, clBlue), 16);
  EXPECT_EQ(CountColor(*bmp, clRed), 9);
  // Without a pen the filled area loses its right column and bottom row.
  c.Pen.Style = TPenStyle::psClear;
  c.Brush.Style = TBrushStyle::bsSolid;
  c.Brush.Color = clLime;
  c.Rectangle(0, 0, 3, 3);
  EXPECT_EQ(InkBox(*bmp, clLime), Rect(0, 0, 2, 2));
  c.Rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // safe, clipped
  EXPECT_EQ(CountColor(*bmp, clLime), 100);
}

TEST(CanvasShapes, PanelOnEightBitUsesOnlyPenAndBrushIndices) {
  TPalette pal{};
  pal[0] = {0, 0, 0, 0};
  pal[1] = {0, 0, 200, 0};
  pal[2] = {255, 255, 255, 0};
  auto bmp = MakeBitmap(6, 4, TPixelFormat::pf8bit, clWhite, &pal);
  bmp->Canvas().Brush.Color = RGB(0, 0, 190);
  bmp->Canvas().Rectangle(0, 0, 6, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(bmp->ScanLine(y)[x], (x == 0 || y == 0 || x == 5 || y == 3) ? 0 : 1);
}

TEST(CanvasShapes, FrameRectUsesTheBrush) {
  auto bmp = MakeBitmap(6, 6, TPixelFormat::pf32bit, clWhite);
  bmp->Canvas().Brush.Color = clNavy;
  bmp->Canvas().FrameRect(Rect(1, 1, 5, 4));
  EXPECT_EQ(InkBox(*bmp, clNavy), Rect(1, 1, 5, 4));
  EXPECT_EQ(CountColor(*bmp, clNavy), 10);
}

TEST(CanvasShapes, FocusRectIsDottedAndUndoesItself) {
  auto bmp = MakeBitmap(9, 7, TPixelFormat::pf24bit, clWhite);
  TBitmap before;
  before.Assign(*bmp);
  bmp->Canvas().DrawFocusRect(Rect(1, 1, 8, 6));
  // The outline has 2 * 7 + 2 * 3 = 20 pixels; every other one (x + y even) is inverted.
  EXPECT_EQ(CountColor(*bmp, clBlack), 10);
  EXPECT_EQ(bmp->GetPixel(1, 1), clBlack);
  EXPECT_EQ(bmp->GetPixel(2, 1), clWhite);
  EXPECT_EQ(bmp->GetPixel(4, 4), clWhite);  // inside untouched
  bmp->Canvas().DrawFocusRect(Rect(1, 1, 8, 6));
  EXPECT_EQ(CountColor(*bmp, clWhite), 63);
}

TEST(CanvasLines, LineToLeavesOutTheEndPoint) {
  auto bmp = MakeBitmap(10, 10, TPixelFormat::pf24bit, clWhite);
  TCanvas &c = bmp->Canvas();
  c.MoveTo(1, 1);
  c.LineTo(6, 1);
  EXPECT_EQ(InkBox(*bmp, clBlack), Rect(1, 1, 6, 2));
  EXPECT_EQ(c.PenPos, (TPoint{6, 1}));
  c.LineTo(6, 6);
  EXPECT_EQ(CountColor(*bmp, clBlack), 10);
  EXPECT_EQ(bmp->GetPixel(6, 6), clWhite);
  c.MoveTo(0, 9);
  c.LineTo(9, 0);  // diagonal: one pixel per column
  EXPECT_EQ(bmp->GetPixel(0, 9), clBlack);
  EXPECT_EQ(bmp->GetPixel(8, 1), clBlack);
  EXPECT_EQ(bmp->GetPixel(9, 0), clWhite);
  c.MoveTo(3, 3);
  c.LineTo(3, 3);  // empty
  EXPECT_EQ(bmp->GetPixel(3, 3), clWhite);
}

// Clipping must not move a line's pixels: a line drawn on a small bitmap far off its centre
// gives exactly the pixels of the same line on a big bitmap, cut to the small one.
TEST(CanvasLines, ClippedLinesKeepTheirPixels) {
  std::mt19937 rng(21);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 300; ++round) {
    auto big = MakeBitmap(200, 200, TPixelFormat::pf8bit, clBlack);
    auto small = MakeBitmap(20, 15, TPixelFormat::pf8bit, clBlack);
    TPalette pal{};
    pal[1] = {255, 255, 255, 0};
    big->SetPalette(pal);
    small->SetPalette(pal);
    const int x0 = rnd(-90, 110), y0 = rnd(-90, 110), x1 = rnd(-90, 110), y1 = rnd(-90, 110);
    big->Canvas().Pen.Color = clWhite;
    small->Canvas().Pen.Color = clWhite;
    if (round % 3 == 0) small->Canvas().SetClipRect(Rect(rnd(0, 10), rnd(0, 10), rnd(5, 20), rnd(5, 15)));
    big->Canvas().MoveTo(x0 + 90, y0 + 90);
    big->Canvas().LineTo(x1 + 90, y1 + 90);
    small->Canvas().MoveTo(x0, y0);
    small->Canvas().LineTo(x1, y1);
    const TRect clip = small->Canvas().ClipRect();
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < 20; ++x)
        ASSERT_EQ(small->ScanLine(y)[x], clip.Contains(x, y) ? big->ScanLine(y + 90)[x + 90] : 0)
            << "round " << round << " line " << x0 << "," << y0 << " -> " << x1 << "," << y1;
  }
}

TEST(CanvasLines, HugeLinesAreClippedWithoutWalkingThemWhole) {
  auto bmp = MakeBitmap(50, 50, TPixelFormat::pf24bit, clWhite);
  TCanvas &c = bmp->Canvas();
  c.MoveTo(INT_MIN, INT_MIN);
  c.LineTo(INT_MAX, INT_MAX);  // passes through the bitmap's diagonal
  EXPECT_EQ(CountColor(*bmp, clBlack), 50);
  c.MoveTo(INT_MIN, 10);
  c.LineTo(INT_MAX, 10);
  EXPECT_EQ(InkBox(*bmp, clBlack), Rect(0, 0, 50, 50));
  EXPECT_EQ(CountColor(*bmp, clBlack), 99);
  c.Pen.Style = TPenStyle::psClear;
  c.LineTo(0, 0);
  EXPECT_EQ(CountColor(*bmp, clBlack), 99);
}

TEST(CanvasBkMode, DefaultsToOpaqueAndRejectsUnknownModes) {
  TBitmap bmp;
  EXPECT_EQ(bmp.Canvas().BkMode(), OPAQUE);
  EXPECT_EQ(SetBkMode(bmp.Canvas().Handle(), TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(bmp.Canvas().Handle(), 7), 0);
  EXPECT_EQ(bmp.Canvas().BkMode(), TRANSPARENT);
  EXPECT_EQ(SetBkMode(nullptr, OPAQUE), 0);
}

// Filling whole unpadded 8-bit rows is one block; any rectangle and clip fills exactly the
// pixels inside both, as a pixel-by-pixel fill does.
TEST(CanvasFill, FillRectOnEightBitRowsMatchesAPixelByPixelFill) {
  std::mt19937 rng(5);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 300; ++round) {
    const int w = 4 * rnd(1, 12) - (round % 3 == 0 ? rnd(0, 3) : 0), h = rnd(1, 40);
    auto bmp = MakeBitmap(w, h, TPixelFormat::pf8bit, clBlack);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bmp->ScanLine(y)[x] = static_cast<std::uint8_t>(rnd(0, 255));
    std::vector<std::uint8_t> expect;
    for (int y = 0; y < h; ++y) expect.insert(expect.end(), bmp->ScanLine(y), bmp->ScanLine(y) + w);
    TRect clip = Rect(0, 0, w, h);
    if (rnd(0, 1)) {
      clip = Rect(rnd(-5, w), rnd(-5, h), rnd(0, w + 5), rnd(0, h + 5));
      bmp->Canvas().SetClipRect(clip);
    }
    const TRect r = rnd(0, 1) ? Rect(rnd(-10, 5), rnd(-10, 5), rnd(w - 5, w + 10), rnd(h - 5, h + 10))
                              : Rect(rnd(-5, w), rnd(-5, h), rnd(-5, w + 5), rnd(-5, h + 5));
    bmp->Canvas().Brush.Color = clWhite;
    bmp->Canvas().FillRect(r);
    const std::uint8_t ink = bmp->NearestIndex(clWhite);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (r.Contains(x, y) && clip.Contains(x, y)) expect[static_cast<std::size_t>(y * w + x)] = ink;
    for (int y = 0; y < h; ++y)
      ASSERT_EQ(0, std::memcmp(bmp->ScanLine(y), &expect[static_cast<std::size_t>(y * w)], w))
          << "round " << round << " row " << y;
  }
}

}  // namespace
}  // namespace vx
