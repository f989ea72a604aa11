// TCanvas text on real bitmaps with the installed faces (fonts-arphic-uming, fonts-liberation2).
#include <gtest/gtest.h>

#include <set>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/font.h"

namespace vx {
namespace {

constexpr std::uint8_t kKeyIndex = 0, kWhiteIndex = 1, kBlueIndex = 3;

// An 8-bit bitmap over a small palette (key green, white, red, blue, then greys), filled with
// the key colour.
void Make8(TBitmap &b, int w, int h) {
  std::vector<TPaletteEntry> pal = {{0, 255, 0, 0}, {255, 255, 255, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}};
  for (int i = 4; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    pal.push_back({v, v, static_cast<std::uint8_t>(v / 2), 0});
  }
  b.SetPixelFormat(TPixelFormat::pf8bit);
  b.SetPalette(pal);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::fill_n(b.ScanLine(y), w, kKeyIndex);
}

std::set<int> Indices(TBitmap &b) {
  std::set<int> s;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) s.insert(b.ScanLine(y)[x]);
  return s;
}

// Bounding box of pixels with palette index `index`; empty rect when there are none.
TRect BoxOf(TBitmap &b, int index) {
  TRect r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.ScanLine(y)[x] == index) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r.Left == INT32_MAX ? TRect{} : r;
}

int Count(TBitmap &b, int index) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.ScanLine(y)[x] == index;
  return n;
}

void SetFont(TCanvas &c, const char *face, int size, TFontStyles style = 0, int esc = 0) {
  c.Font.Name = face;
  c.Font.SetSize(size);
  c.Font.Style = style;
  c.Font.Escapement = esc;
  c.Font.Color = clWhite;
}

TEST(TextOut, EightBitCanvasHoldsOnlyBrushAndFontIndices) {
  for (TFontStyles style : {0u, unsigned(fsBold), unsigned(fsItalic), unsigned(fsBold | fsItalic | fsUnderline)}) {
    for (int esc : {0, 300, 900}) {
      TBitmap b;
      Make8(b, 260, 260);
      TCanvas &c = b.Canvas();
      SetFont(c, "宋体", 12, style, esc);
      c.Brush.Color = clBlue;
      c.SetBkMode(OPAQUE);
      c.TextOut(20, 150, u"Hello 你好, 视频 Wg");
      EXPECT_EQ(Indices(b), (std::set<int>{kKeyIndex, kWhiteIndex, kBlueIndex}))
          << "style " << style << " escapement " << esc;
    }
  }
}

TEST(TextOut, OpaqueCellIsTheTextExtentAtTheTopLeft) {
  TBitmap b;
  Make8(b, 300, 80);
  TCanvas &c = b.Canvas();
  SetFont(c, "Arial", 12);
  c.Brush.Color = clBlue;
  c.SetBkMode(OPAQUE);
  const TSize ext = c.TextExtent(u"Sample 文字");
  c.TextOut(7, 9, u"Sample 文字");
  TRect cell = BoxOf(b, kBlueIndex);
  TRect ink = BoxOf(b, kWhiteIndex);
  EXPECT_EQ(cell, Bounds(7, 9, ext.cx, ext.cy));
  EXPECT_FALSE(ink.IsEmpty());
  EXPECT_GE(ink.Left, cell.Left);
  EXPECT_LE(ink.Right, cell.Right);
  EXPECT_GE(ink.Top, cell.Top);
  EXPECT_LE(ink.Bottom, cell.Bottom);
  EXPECT_EQ(c.PenPos, (TPoint{7 + ext.cx, 9}));
}

TEST(TextOut, TransparentModeAndClearBrushLeaveTheBackground) {
  TBitmap b;
  Make8(b, 200, 40);
  TCanvas &c = b.Canvas();
  SetFont(c, "宋体", 12);
  c.Brush.Color = clBlue;
  c.SetBkMode(TRANSPARENT);
  c.TextOut(2, 2, u"透明 text");
  EXPECT_EQ(Count(b, kBlueIndex), 0);
  EXPECT_GT(Count(b, kWhiteIndex), 20);
  c.SetBkMode(OPAQUE);
  c.Brush.Style = TBrushStyle::bsClear;
  c.TextOut(2, 20, u"透明 text");
  EXPECT_EQ(Count(b, kBlueIndex), 0);
}

TEST(TextExtent, WidthIsTheAdvanceSumAndHeightAscentPlusDescent) {
  TBitmap b;
  Make8(b, 10, 10);
  TCanvas &c = b.Canvas();
  SetFont(c, "宋体", 24);
  const auto font = GetFontInstance(c.Font);
  EXPECT_EQ(c.TextExtent(u"中文"), (TSize{64, font->Metrics().Height()}));
  EXPECT_EQ(c.TextWidth(u"中A"), 32 + font->Width(U"A"));
  EXPECT_EQ(c.TextWidth(u""), 0);
  EXPECT_EQ(c.TextHeight(u""), font->Metrics().Height());
  // A rotated font measures along its baseline, as an upright one.
  const TSize upright = c.TextExtent(u"abc");
  c.Font.Escapement = 450;
  EXPECT_EQ(c.TextExtent(u"abc"), upright);
}

TEST(TextOut, UnknownFaceStillDrawsInk) {
  TBitmap b;
  Make8(b, 200, 40);
  TCanvas &c = b.Canvas();
  SetFont(c, "Definitely Not A Face", 12);
  c.SetBkMode(TRANSPARENT);
  c.TextOut(2, 2, u"Ink 墨");
  EXPECT_GT(Count(b, kWhiteIndex), 20);
}

TEST(TextOut, RotatedTextPutsInkAlongTheTurnedBaseline) {
  TBitmap b;
  Make8(b, 200, 200);
  TCanvas &c = b.Canvas();
  SetFont(c, "Arial", 16, 0, 900);  // a quarter turn counter-clockwise: reads upwards
  c.SetBkMode(TRANSPARENT);
  const TSize ext = c.TextExtent(u"HHHHHH");
  c.TextOut(50, 150, u"HHHHHH");
  const TRect ink = BoxOf(b, kWhiteIndex);
  ASSERT_FALSE(ink.IsEmpty());
  // The cell turns about its top-left corner: it spans x in [50, 50 + height), y in
  // (150 - width, 150].
  EXPECT_GE(ink.Left, 50);
  EXPECT_LE(ink.Right, 50 + ext.cy);
  EXPECT_GE(ink.Top, 150 - ext.cx - 1);
  EXPECT_LE(ink.Bottom, 151);
  EXPECT_GT(ink.Height(), 3 * ink.Width());

  // Upside down: the text runs leftwards above the reference point.
  Make8(b, 200, 200);
  c.Font.Escapement = 1800;
  c.TextOut(150, 100, u"HHHHHH");
  const TRect flipped = BoxOf(b, kWhiteIndex);
  EXPECT_LE(flipped.Right, 151);
  EXPECT_GE(flipped.Left, 150 - ext.cx - 1);
  EXPECT_LE(flipped.Bottom, 101);
  EXPECT_GE(flipped.Top, 100 - ext.cy);
}

TEST(TextOut, UnderlineAndStrikeOutSpanTheAdvance) {
  TBitmap b;
  Make8(b, 200, 60);
  TCanvas &c = b.Canvas();
  SetFont(c, "Arial", 16, fsUnderline);
  c.SetBkMode(TRANSPARENT);
  const TSize ext = c.TextExtent(u"a b c");
  c.TextOut(10, 10, u"a b c");
  // Some row below the baseline is covered over the whole advance width.
  const auto m = GetFontInstance(c.Font)->Metrics();
  const int row = 10 + m.ascent + m.underline_offset;
  for (int x = 10; x < 10 + ext.cx; ++x) EXPECT_EQ(b.ScanLine(row)[x], kWhiteIndex) << x;
  EXPECT_EQ(b.ScanLine(row)[10 + ext.cx], kKeyIndex);

  Make8(b, 200, 60);
  c.Font.Style = fsStrikeOut;
  c.TextOut(10, 10, u"a b c");
  const int strike = 10 + m.ascent - m.strikeout_offset;
  for (int x = 10; x < 10 + ext.cx; ++x) EXPECT_EQ(b.ScanLine(strike)[x], kWhiteIndex) << x;
}

TEST(TextOut, BadInputNeverCrashes) {
  TBitmap b;
  Make8(b, 50, 20);
  TCanvas &c = b.Canvas();
  SetFont(c, "宋体", 12);
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  c.TextOut(0, 0, lone);
  c.TextOut(INT32_MAX - 5, INT32_MIN + 5, u"far away");
  c.TextOut(-100000, 5, u"left");
  c.Font.SetHeight(INT32_MIN);
  c.TextOut(0, 0, u"huge");
  TBitmap empty;
  empty.Canvas().TextOut(0, 0, u"nowhere");
  TRect r{0, 0, 10, 10};
  EXPECT_GE(empty.Canvas().DrawText(u"nowhere", r, DT_WORDBREAK), 0);
  // The replacement character for a lone surrogate draws ink.
  Make8(b, 50, 20);
  SetFont(c, "Arial", 12);
  c.SetBkMode(TRANSPARENT);
  const char16_t only_lone[] = {0xDC00, 0};
  c.TextOut(0, 0, only_lone);
  EXPECT_GT(Count(b, kWhiteIndex), 0);
}

TEST(TextOut, GlyphsFarOutsideTheBitmapAreNotRendered) {
  TBitmap b;
  Make8(b, 100, 20);
  TCanvas &c = b.Canvas();
  SetFont(c, "宋体", 12);  // 16 px per character
  c.SetBkMode(TRANSPARENT);
  ClearGlyphCache();
  c.TextOut(-16 * 400, 2, std::u16string(500, u'中'));
  const GlyphCacheStats s = GetGlyphCacheStats();
  EXPECT_GT(Count(b, kWhiteIndex), 100);  // the visible part is drawn
  EXPECT_LT(s.hits + s.misses, 30u);      // of 500 glyphs only those near the bitmap
}

TEST(TextRect, FillsTheRectangleAndClipsTheText) {
  TBitmap b;
  Make8(b, 200, 60);
  TCanvas &c = b.Canvas();
  SetFont(c, "宋体", 16);
  c.Brush.Color = clBlue;
  const TRect r{10, 10, 40, 30};
  c.TextRect(r, 12, 12, u"一二三四五六");
  EXPECT_EQ(BoxOf(b, kBlueIndex), r);
  const TRect ink = BoxOf(b, kWhiteIndex);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_EQ(IntersectRect(ink, r), ink);
}

class DrawTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Make8(b_, 320, 240);
    SetFont(c(), "宋体", 12);
    c().SetBkMode(TRANSPARENT);
    lh_ = GetFontInstance(c().Font)->Metrics().Height();
  }
  TCanvas &c() { return b_.Canvas(); }
  TRect Calc(std::u16string_view text, TRect r, unsigned format) {
    c().DrawText(text, r, format | DT_CALCRECT);
    return r;
  }
  TBitmap b_;
  int lh_ = 0;
};

TEST_F(DrawTextTest, OnePixelEditControlStandsCjkTextVertically) {
  const std::u16string text = u"春眠不觉晓";
  TRect r{0, 0, 1, 0};
  const int h = c().DrawText(text, r, DT_EDITCONTROL | DT_WORDBREAK | DT_CALCRECT | DT_VCENTER);
  EXPECT_EQ(h, 5 * lh_);
  EXPECT_EQ(r, (TRect{0, 0, 16, 5 * lh_}));  // 16 px: one character at 12 pt
  // The width is the widest character's.
  const int w = c().TextWidth(u"W");
  EXPECT_EQ(Calc(u"iW中l", {0, 0, 1, 0}, DT_EDITCONTROL | DT_WORDBREAK),
            (TRect{0, 0, std::max(w, 16), 4 * lh_}));
  // Drawn into the measured rectangle: one character per line, top to bottom.
  c().DrawText(text, r, DT_EDITCONTROL | DT_WORDBREAK | DT_VCENTER);
  for (int line = 0; line < 5; ++line) {
    int ink = 0;
    for (int y = line * lh_; y < (line + 1) * lh_; ++y)
      for (int x = 0; x < 16; ++x) ink += b_.ScanLine(y)[x] == kWhiteIndex;
    EXPECT_GT(ink, 10) << "line " << line;
  }
  EXPECT_EQ(IntersectRect(BoxOf(b_, kWhiteIndex), r), BoxOf(b_, kWhiteIndex));
}

TEST_F(DrawTextTest, WithoutEditControlAWordStaysWholeAndWidens) {
  const int word = c().TextWidth(u"abcdef");
  EXPECT_EQ(Calc(u"abcdef gh", {0, 0, 1, 0}, DT_WORDBREAK), (TRect{0, 0, word, 2 * lh_}));
}

TEST_F(DrawTextTest, EachLineBreakPairMakesOneBreak) {
  // The widest line's width, whatever the glyph source's advances.
  const int w = std::max(c().TextWidth(u"ab"), c().TextWidth(u"cd"));
  EXPECT_EQ(Calc(u"ab\r\ncd", {}, 0), (TRect{0, 0, w, 2 * lh_}));
  EXPECT_EQ(Calc(u"ab\n\rcd", {}, 0), (TRect{0, 0, w, 2 * lh_}));
  EXPECT_EQ(Calc(u"ab\rcd", {}, 0).Bottom, 2 * lh_);
  EXPECT_EQ(Calc(u"ab\ncd", {}, 0).Bottom, 2 * lh_);
  EXPECT_EQ(Calc(u"ab\r\rcd", {}, 0).Bottom, 3 * lh_);
  EXPECT_EQ(Calc(u"ab\r\n\r\ncd", {}, 0).Bottom, 3 * lh_);
  EXPECT_EQ(Calc(u"ab\r\ncd", {}, DT_SINGLELINE).Bottom, lh_);
  EXPECT_EQ(Calc(u"ab\r\ncd", {}, DT_SINGLELINE).Right, c().TextWidth(u"abcd"));  // no width
}

TEST_F(DrawTextTest, CalcRectKeepsTheTopLeftAndEmptyTextMeasuresNothing) {
  EXPECT_EQ(Calc(u"中", {5, 7, 5, 7}, 0), (TRect{5, 7, 21, 7 + lh_}));
  EXPECT_EQ(Calc(u"", {5, 7, 100, 100}, 0), (TRect{5, 7, 5, 7}));
  EXPECT_EQ(Calc(u"", {5, 7, 100, 100}, DT_SINGLELINE), (TRect{5, 7, 5, 7 + lh_}));
}

TEST_F(DrawTextTest, CentresHorizontallyAndASingleLineVertically) {
  const TRect r{20, 20, 220, 120};
  TRect rr = r;
  c().DrawText(u"中中", rr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  const TRect ink = BoxOf(b_, kWhiteIndex);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_NEAR((ink.Left + ink.Right) / 2.0, 120, 2.5);
  EXPECT_NEAR((ink.Top + ink.Bottom) / 2.0, 70, lh_ / 2.0);
  // Without DT_SINGLELINE, DT_VCENTER leaves the text at the top.
  Make8(b_, 320, 240);
  rr = r;
  c().DrawText(u"中中", rr, DT_CENTER | DT_VCENTER);
  EXPECT_LT(BoxOf(b_, kWhiteIndex).Top, 20 + lh_);
  // Right alignment ends the text at the right edge.
  Make8(b_, 320, 240);
  rr = r;
  c().DrawText(u"中中", rr, DT_RIGHT);
  EXPECT_LE(BoxOf(b_, kWhiteIndex).Right, 220);
  EXPECT_GT(BoxOf(b_, kWhiteIndex).Right, 220 - 4);
}

TEST_F(DrawTextTest, ClipsToTheRectangleUnlessNoClip) {
  const TRect r{10, 10, 40, 40};
  TRect rr = r;
  c().DrawText(u"一二三四五六七八", rr, DT_SINGLELINE);
  EXPECT_EQ(IntersectRect(BoxOf(b_, kWhiteIndex), r), BoxOf(b_, kWhiteIndex));
  Make8(b_, 320, 240);
  rr = r;
  c().DrawText(u"一二三四五六七八", rr, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(BoxOf(b_, kWhiteIndex).Right, 100);
}

TEST_F(DrawTextTest, AmpersandsAreDrawnAsTheyStand) {
  const int amp = c().TextWidth(u"&");
  EXPECT_GT(amp, 0);
  EXPECT_EQ(Calc(u"a&b", {}, 0).Right, c().TextWidth(u"a") + amp + c().TextWidth(u"b"));
}

TEST_F(DrawTextTest, WrapsAtSpacesToTheWidth) {
  const int space = c().TextWidth(u" ");
  const int ab = c().TextWidth(u"ab");
  TRect r = Calc(u"ab ab ab", {0, 0, 2 * ab + space, 0}, DT_WORDBREAK);
  EXPECT_EQ(r, (TRect{0, 0, 2 * ab + space, 2 * lh_}));
}

TEST(DrawTextW, NullsAndLengths) {
  TBitmap b;
  Make8(b, 100, 40);
  TCanvas &c = b.Canvas();
  SetFont(c, "宋体", 12);
  TRect r{0, 0, 0, 0};
  EXPECT_EQ(DrawTextW(nullptr, u"x", -1, &r, DT_CALCRECT), 0);
  EXPECT_EQ(DrawTextW(c.Handle(), u"x", -1, nullptr, DT_CALCRECT), 0);
  DrawTextW(c.Handle(), nullptr, 5, &r, DT_CALCRECT);
  EXPECT_EQ(r.Right, 0);
  r = {};
  DrawTextW(c.Handle(), u"中中中", 2, &r, DT_CALCRECT);
  EXPECT_EQ(r.Right, 32);
  r = {};
  DrawTextW(c.Handle(), u"中中中", -1, &r, DT_CALCRECT);
  EXPECT_EQ(r.Right, 48);
}

}  // namespace
}  // namespace vx
