#include "aatext/aafont.h"

#include <gtest/gtest.h>

#include <set>

namespace vx {
namespace {

// A 24-bit picture filled with one colour.
void Prepare(TBitmap &bmp, int w, int h, TColor fill) {
  bmp.SetPixelFormat(TPixelFormat::pf24bit);
  bmp.SetSize(w, h);
  bmp.Canvas().Brush.Color = fill;
  bmp.Canvas().Brush.Style = TBrushStyle::bsSolid;
  bmp.Canvas().FillRect(Rect(0, 0, w, h));
}

void FillMask(TAAMask &m, int w, int h, std::uint8_t v) {
  m.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.ScanLine(y)[x] = v;
}

// Bounding box of the pixels of exactly one colour.
TRect InkBox(const TBitmap &bmp, TColor color) {
  TRect r{bmp.Width(), bmp.Height(), 0, 0};
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x)
      if (bmp.GetPixel(x, y) == color) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

bool SamePixels(const TBitmap &a, const TBitmap &b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
  return true;
}

void UseFont(TCanvas &c, int points, TColor color) {
  c.Font.Name = "Arial";
  c.Font.SetSize(points);
  c.Font.Style = fsBold;
  c.Font.Color = color;
}

// --- Blending ---

class Blend : public ::testing::Test {
 protected:
  Blend() : font_(&target_.Canvas()) { Prepare(target_, 12, 8, clWhite); }
  TBitmap target_;
  TAAFont font_;
  TAAMask mask_;
};

TEST_F(Blend, FullCoverageAtAlpha100ReplacesThePixel) {
  FillMask(mask_, 3, 2, 255);
  target_.Canvas().Brush.Style = TBrushStyle::bsClear;
  font_.Blend().BlendColor(4, 3, clRed, 100, mask_);  // f = 256: 255 x 256 = 0xFF00
  EXPECT_EQ(target_.GetPixel(4, 3), clRed);
  EXPECT_EQ(target_.GetPixel(6, 4), clRed);
  EXPECT_EQ(target_.GetPixel(7, 4), clWhite);
  EXPECT_EQ(target_.GetPixel(4, 5), clWhite);
  EXPECT_EQ(target_.GetPixel(3, 3), clWhite);
}

TEST_F(Blend, PartialCoverageMovesTowardTheColourInSteps) {
  mask_.SetSize(4, 1);
  mask_.ScanLine(0)[0] = 1;    // d = 256: one step of 1/256
  mask_.ScanLine(0)[1] = 128;  // d = 0x8000: half
  mask_.ScanLine(0)[2] = 0;
  mask_.ScanLine(0)[3] = 254;
  target_.Canvas().Brush.Style = TBrushStyle::bsClear;
  font_.Blend().BlendColor(0, 0, clBlack, 100, mask_);
  EXPECT_EQ(target_.GetPixel(0, 0), RGB(254, 254, 254));
  EXPECT_EQ(target_.GetPixel(1, 0), RGB(127, 127, 127));
  EXPECT_EQ(target_.GetPixel(2, 0), clWhite);
  EXPECT_EQ(target_.GetPixel(3, 0), RGB(1, 1, 1));
}

TEST_F(Blend, AlphaZeroLeavesTheWorkBitmapAsPrepared) {
  FillMask(mask_, 4, 4, 255);
  target_.Canvas().Brush.Color = clBlue;
  target_.Canvas().Brush.Style = TBrushStyle::bsSolid;
  font_.Blend().BlendColor(1, 1, clRed, 0, mask_);
  // A solid brush: the area is the brush colour, with no trace of red.
  EXPECT_EQ(target_.GetPixel(1, 1), clBlue);
  EXPECT_EQ(target_.GetPixel(4, 4), clBlue);
  EXPECT_EQ(target_.GetPixel(5, 5), clWhite);
  EXPECT_EQ(target_.GetPixel(0, 0), clWhite);
}

TEST_F(Blend, AnEmptyMaskStillReplacesTheArea) {
  FillMask(mask_, 2, 2, 0);
  target_.Canvas().SetPixel(8, 6, clGreen);
  target_.Canvas().Brush.Style = TBrushStyle::bsClear;
  font_.Blend().BlendColor(8, 6, clRed, 100, mask_);
  EXPECT_EQ(target_.GetPixel(8, 6), clGreen);  // clear brush: canvas pixels kept
  target_.Canvas().Brush.Style = TBrushStyle::bsSolid;
  target_.Canvas().Brush.Color = clYellow;
  font_.Blend().BlendColor(8, 6, clRed, 100, mask_);
  EXPECT_EQ(target_.GetPixel(8, 6), clYellow);  // solid brush: brush colour
  EXPECT_EQ(target_.GetPixel(9, 7), clYellow);
}

TEST_F(Blend, ForegroundMustMatchTheMask) {
  FillMask(mask_, 3, 3, 255);
  TBitmap &fore = font_.Blend().ForeBmp();
  fore.SetPixelFormat(TPixelFormat::pf24bit);
  fore.SetSize(2, 3);
  try {
    font_.Blend().BlendForeground(0, 0, 100, mask_);
    FAIL();
  } catch (const EInvalidForeBmp &e) {
    EXPECT_STREQ(e.what(), "Invalid foreground bitmap!");
  }
  fore.SetSize(3, 3);
  fore.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_THROW(font_.Blend().BlendForeground(0, 0, 100, mask_), EInvalidForeBmp);
  fore.SetPixelFormat(TPixelFormat::pf24bit);
  fore.Canvas().Brush.Color = clLime;
  fore.Canvas().FillRect(Rect(0, 0, 3, 3));
  target_.Canvas().Brush.Style = TBrushStyle::bsClear;
  font_.Blend().BlendForeground(-1, -1, 100, mask_);  // partly off the canvas
  EXPECT_EQ(target_.GetPixel(0, 0), clLime);
  EXPECT_EQ(target_.GetPixel(1, 1), clLime);
  EXPECT_EQ(target_.GetPixel(2, 2), clWhite);
}

TEST(BlendWithoutCanvas, DoesNothing) {
  TAAFont font(nullptr);
  TAAMask mask;
  FillMask(mask, 2, 2, 255);
  font.Blend().BlendColor(0, 0, clRed, 100, mask);
  EXPECT_EQ(font.TextExtent(u"abc"), (TSize{0, 0}));
}

// --- Foregrounds ---

class Foreground : public ::testing::Test {
 protected:
  Foreground() : font_(&target_.Canvas()) { Prepare(target_, 4, 4, clWhite); }
  TColor ForePixel(int x, int y) { return font_.Blend().ForeBmp().GetPixel(x, y); }
  TBitmap target_;
  TAAFontEx font_;
};

TEST_F(Foreground, LeftToRightGradientSteps) {
  font_.Mask().SetSize(4, 2);
  font_.Effect().Gradual().SetStartColor(clWhite);
  font_.Effect().Gradual().SetEndColor(clBlack);
  font_.CreateGradual();
  // a + i * (b - a) div 4: 255, 192, 128, 64 (division truncates toward zero)
  EXPECT_EQ(ForePixel(0, 0), RGB(255, 255, 255));
  EXPECT_EQ(ForePixel(1, 0), RGB(192, 192, 192));
  EXPECT_EQ(ForePixel(2, 0), RGB(128, 128, 128));
  EXPECT_EQ(ForePixel(3, 1), RGB(64, 64, 64));
  font_.Effect().Gradual().SetStyle(gsRightToLeft);
  font_.CreateGradual();
  EXPECT_EQ(ForePixel(0, 0), clBlack);
  EXPECT_EQ(ForePixel(3, 0), RGB(191, 191, 191));
}

TEST_F(Foreground, CentreStylesAreSymmetric) {
  font_.Mask().SetSize(5, 3);
  font_.Effect().Gradual().SetStartColor(clRed);
  font_.Effect().Gradual().SetEndColor(clBlue);
  font_.Effect().Gradual().SetStyle(gsCenterToLR);
  font_.CreateGradual();
  EXPECT_EQ(ForePixel(0, 0), ForePixel(4, 0));
  EXPECT_EQ(ForePixel(1, 2), ForePixel(3, 2));
  EXPECT_EQ(ForePixel(0, 0), clBlue);  // the end colour at the edges
  EXPECT_NE(ForePixel(2, 0), clBlue);
  font_.Effect().Gradual().SetStyle(gsCenterToTB);
  font_.CreateGradual();
  EXPECT_EQ(ForePixel(0, 0), ForePixel(4, 2));
  EXPECT_EQ(ForePixel(0, 0), clBlue);
  EXPECT_EQ(ForePixel(0, 1), ForePixel(4, 1));
  font_.Effect().Gradual().SetStyle(gsTopToBottom);
  font_.CreateGradual();
  EXPECT_EQ(ForePixel(3, 0), clRed);
  EXPECT_EQ(ForePixel(0, 0), ForePixel(4, 0));
}

TEST_F(Foreground, NoiseStaysWithinItsStrengthAndClamps) {
  AARandomize(3);
  font_.Mask().SetSize(16, 16);
  target_.Canvas().Font.Color = RGB(250, 100, 2);
  font_.CreateNoiseBmp(20);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      TColor c = ForePixel(x, y);
      EXPECT_GE(GetRValue(c), 240);
      EXPECT_GE(GetGValue(c), 90);
      EXPECT_LE(GetGValue(c), 109);
      EXPECT_LE(GetBValue(c), 11);
    }
}

TEST_F(Foreground, TiledTextureRepeatsThePicture) {
  font_.Mask().SetSize(5, 3);
  TBitmap pic;
  Prepare(pic, 2, 2, clRed);
  pic.SetPixel(0, 0, clBlue);
  font_.Effect().Texture().SetPicture(pic);
  font_.CreateTexture();
  EXPECT_EQ(ForePixel(0, 0), clBlue);
  EXPECT_EQ(ForePixel(2, 2), clBlue);
  EXPECT_EQ(ForePixel(4, 0), clBlue);
  EXPECT_EQ(ForePixel(3, 1), clRed);
  font_.Effect().Texture().SetMode(tmCenter);
  target_.Canvas().Font.Color = clLime;
  font_.CreateTexture();
  EXPECT_EQ(ForePixel(0, 0), clLime);
  EXPECT_EQ(ForePixel(1, 0), clBlue);  // (5 - 2) div 2 = 1, (3 - 2) div 2 = 0
}

// --- Text ---

class SmoothText : public ::testing::Test {
 protected:
  SmoothText() : font_(&target_.Canvas()) {
    Prepare(target_, 200, 80, clWhite);
    UseFont(target_.Canvas(), 24, clBlack);
  }
  TBitmap target_;
  TAAFontEx font_;
};

TEST_F(SmoothText, QualityZeroGivesGreyEdgesQualityThreeOnlyInkAndAir) {
  TAAMask &m = font_.Mask();
  m.DrawMask(u"Ag");
  ASSERT_GT(m.Width(), 0);
  std::set<int> levels;
  for (int y = 0; y < m.Height(); ++y)
    for (int x = 0; x < m.Width(); ++x) levels.insert(m.Pixel(x, y));
  EXPECT_GT(levels.size(), 5u);
  EXPECT_TRUE(levels.count(255));
  font_.SetQuality(3);
  m.DrawMask(u"Ag");
  levels.clear();
  for (int y = 0; y < m.Height(); ++y)
    for (int x = 0; x < m.Width(); ++x) levels.insert(m.Pixel(x, y));
  EXPECT_EQ(levels, (std::set<int>{0, 255}));
  // Without supersampling the mask is the canvas's own extent.
  EXPECT_EQ(font_.TAAFont::TextExtent(u"Ag"), target_.Canvas().TextExtent(u"Ag"));
}

TEST_F(SmoothText, ExtentFollowsTheCanvasAndGrowsForItalics) {
  TSize plain = font_.TextExtent(u"Hello");
  TSize canvas = target_.Canvas().TextExtent(u"Hello");
  EXPECT_NEAR(plain.cx, canvas.cx, 3);
  EXPECT_NEAR(plain.cy, canvas.cy, 2);
  target_.Canvas().Font.Style |= fsItalic;
  TSize italic = font_.TextExtent(u"Hello");
  // width grows by round(width / 5 * 0.3)
  EXPECT_GE(italic.cx, plain.cx + 1);
  EXPECT_EQ(font_.TextWidth(u""), 0);
}

TEST_F(SmoothText, ShadowOffsetsGrowTheExtentAndPlaceTextAndShadow) {
  TSize plain = font_.TextExtent(u"HH");
  TAAShadow &s = font_.Effect().Shadow();
  s.SetEnabled(true);
  s.SetOffsetX(-3);
  s.SetOffsetY(2);
  s.SetBlur(0);
  s.SetAlpha(100);
  s.SetColor(clBlue);
  TSize shadowed = font_.TextExtent(u"HH");
  EXPECT_EQ(shadowed.cx, plain.cx + 3);
  EXPECT_EQ(shadowed.cy, plain.cy + 2);

  target_.Canvas().Font.Color = clRed;
  font_.TextOut(20, 10, u"HH");
  TRect text = InkBox(target_, clRed);
  TRect shadow = InkBox(target_, clBlue);
  ASSERT_FALSE(text.IsEmpty());
  ASSERT_FALSE(shadow.IsEmpty());
  EXPECT_EQ(text.Left - shadow.Left, 3);     // text 3 right of x, shadow at x
  EXPECT_EQ(shadow.Bottom - text.Bottom, 2);  // shadow 2 below
  EXPECT_GE(shadow.Left, 20);
  EXPECT_LT(shadow.Left, 24);
}

TEST_F(SmoothText, InvisibleShadowLeavesTheTextWhereThePlainTextWouldBe) {
  TBitmap expected;
  Prepare(expected, 200, 80, clWhite);
  UseFont(expected.Canvas(), 24, clBlack);
  TAAFontEx plain(&expected.Canvas());
  plain.TextOut(23, 10, u"Wx");

  TAAShadow &s = font_.Effect().Shadow();
  s.SetEnabled(true);
  s.SetOffsetX(-3);
  s.SetOffsetY(2);
  s.SetColor(clWhite);
  font_.TextOut(20, 10, u"Wx");
  EXPECT_TRUE(SamePixels(target_, expected));
}

TEST_F(SmoothText, TextOutKeepsFontAndBrushAndIgnoresEmptyText) {
  font_.Effect().SetAngle(30);
  font_.Effect().Shadow().SetEnabled(true);
  target_.Canvas().Brush.Color = clYellow;
  font_.TextOut(5, 5, u"");
  EXPECT_EQ(InkBox(target_, clBlack).IsEmpty(), true);
  EXPECT_EQ(target_.GetPixel(5, 5), clWhite);
  font_.TextOut(40, 20, u"Tilt");
  EXPECT_EQ(target_.Canvas().Font.Escapement, 0);
  EXPECT_EQ(target_.Canvas().Brush.Style, TBrushStyle::bsSolid);
  EXPECT_EQ(target_.Canvas().Brush.Color, clYellow);
  TAAFontEx none(nullptr);
  none.TextOut(0, 0, u"x");
  EXPECT_EQ(none.TextExtent(u"x"), (TSize{0, 0}));
}

TEST_F(SmoothText, RightAngleSwapsTheExtent) {
  TSize flat = font_.TextExtent(u"Wide text");
  font_.Effect().SetAngle(90);
  TSize up = font_.TextExtent(u"Wide text");
  EXPECT_NEAR(up.cx, flat.cy, 1);
  EXPECT_NEAR(up.cy, flat.cx, 1);
}

TEST_F(SmoothText, AlphaAndBlurSoftenTheInk) {
  font_.TextOut(10, 10, u"Ink");
  TRect full = InkBox(target_, clBlack);
  ASSERT_FALSE(full.IsEmpty());
  Prepare(target_, 200, 80, clWhite);
  font_.Effect().SetAlpha(50);
  font_.TextOut(10, 10, u"Ink");
  EXPECT_TRUE(InkBox(target_, clBlack).IsEmpty());  // nowhere fully black at half strength
  int darkest = 255;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 200; ++x) darkest = std::min(darkest, GetRValue(target_.GetPixel(x, y)));
  EXPECT_NEAR(darkest, 128, 2);
}

TEST_F(SmoothText, EffectsRunOnTheMaskInOrder) {
  font_.Effect().SetOutline(true);
  font_.Effect().SetHorzMirror(true);
  font_.Effect().SetVertMirror(true);
  font_.Effect().SetBlur(40);
  font_.Effect().SetNoise(10);
  font_.Effect().Gradual().SetEnabled(true);
  font_.TextOut(10, 10, u"Fx");
  bool changed = false;
  for (int y = 0; y < 80 && !changed; ++y)
    for (int x = 0; x < 200; ++x)
      if (target_.GetPixel(x, y) != clWhite) changed = true;
  EXPECT_TRUE(changed);
}

}  // namespace
}  // namespace vx
