// Measuring and drawing markup against the platform's own text measurements.
#include "markup/markup.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace vx {
namespace {

// Height of "0" in a face and size, as the markup measures a line.
int LineH(const char *face, int size) {
  TBitmap b;
  b.Canvas().Font.Name = face;
  b.Canvas().Font.SetSize(size);
  return b.Canvas().TextExtent(u"0").cy;
}

// Width of a run as the markup measures it (one-line DT_CALCRECT).
int RunW(std::u16string_view run, const char *face = "宋体", int size = 8) {
  TBitmap b;
  b.Canvas().Font.Name = face;
  b.Canvas().Font.SetSize(size);
  TRect r{};
  b.Canvas().DrawText(run, r, DT_CALCRECT | DT_VCENTER);
  return r.Right;
}

struct Sheet {
  TBitmap bmp;
  explicit Sheet(int w = 400, int h = 200) {
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(w, h);
    bmp.Canvas().Brush.Color = clWhite;
    bmp.Canvas().FillRect(Rect(0, 0, w, h));
  }
  // Bounding box of everything that is not white.
  TRect Ink() const {
    TRect r{bmp.Width(), bmp.Height(), 0, 0};
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x)
        if (bmp.GetPixel(x, y) != clWhite) {
          r.Left = std::min(r.Left, x);
          r.Top = std::min(r.Top, y);
          r.Right = std::max(r.Right, x + 1);
          r.Bottom = std::max(r.Bottom, y + 1);
        }
    return r;
  }
  std::set<TColor> Colors() const {
    std::set<TColor> s;
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x) s.insert(bmp.GetPixel(x, y));
    return s;
  }
};

TEST(MarkupMeasure, TextWithoutTagsIsOneDefaultLineOfWidthZero) {
  EXPECT_EQ(MarkupWidth(u"plain words", -1), 0);
  EXPECT_EQ(MarkupLineHeight(u"plain words", -1), LineH("宋体", 8));
  EXPECT_EQ(MarkupLineHeight(u"plain\r\nwords", 0), LineH("宋体", 8));
  EXPECT_EQ(MarkupLineHeight(u"", -1), LineH("宋体", 8));
  Sheet s;
  DrawMarkup(s.bmp.Canvas(), 0, 0, u"plain words");
  EXPECT_TRUE(s.Ink().IsEmpty());
}

TEST(MarkupMeasure, TextBeforeTheFirstTagIsNotMeasured) {
  EXPECT_EQ(MarkupWidth(u"WWWW<b>ab", -1), RunW(u"ab") + 1);
  EXPECT_EQ(MarkupWidth(u"<b>ab<i>cd", -1), RunW(u"ab") + 1 + RunW(u"cd") + 1);
}

TEST(MarkupMeasure, LineHeightsFollowTheLargestSizeOfEachLine) {
  const int h20 = LineH("宋体", 20), h6 = LineH("宋体", 6), h8 = LineH("宋体", 8);
  ASSERT_GT(h20, h8);
  ASSERT_GT(h8, h6);
  // The second line starts with the size still at 20.
  const std::u16string t1 = u"<font size=\"20\">big<br>second";
  EXPECT_EQ(MarkupLineHeight(t1, 1), h20);
  EXPECT_EQ(MarkupLineHeight(t1, 2), h20);
  EXPECT_EQ(MarkupLineHeight(t1, 0), h20);
  EXPECT_EQ(MarkupLineHeight(t1, -1), 2 * h20);
  EXPECT_EQ(MarkupLineHeight(t1, 3), 0);
  // A size tag opening the line replaces the height ...
  const std::u16string t2 = u"<font size=\"20\">big<br><font size=\"6\">small";
  EXPECT_EQ(MarkupLineHeight(t2, 2), h6);
  EXPECT_EQ(MarkupLineHeight(t2, -1), h20 + h6);
  // ... one behind some text of the line only raises it.
  const std::u16string t3 = u"<font size=\"20\">big<br>x<font size=\"6\">small";
  EXPECT_EQ(MarkupLineHeight(t3, 2), h20);
  // A larger size later in a line raises it.
  EXPECT_EQ(MarkupLineHeight(u"<b>x<font size=\"20\">y", -1), h20);
  // "/font" goes back to 8 points for what follows.
  EXPECT_EQ(MarkupLineHeight(u"<font size=\"20\">a</font><br>b", 2), h8);
  EXPECT_EQ(MarkupLineHeight(u"a", -5), 0);
}

TEST(MarkupMeasure, SizeInFrontOfTheFirstRunSetsTheFirstLine) {
  // The first line is treated like every later one: a leading size tag replaces 8 points.
  EXPECT_EQ(MarkupLineHeight(u"<font size=\"6\">tiny", -1), LineH("宋体", 6));
  EXPECT_EQ(MarkupLineHeight(u"<b>x<font size=\"6\">tiny", -1), LineH("宋体", 8));
}

TEST(MarkupMeasure, FaceOfTheLargestSizeMeasuresTheLine) {
  const std::u16string t = u"<font face=\"Arial\" size=\"30\">A</font><font size=\"12\">b";
  EXPECT_EQ(MarkupLineHeight(t, -1), LineH("arial", 30));
  EXPECT_EQ(MarkupWidth(u"<font face=\"Arial\" size=\"30\">A", -1), RunW(u"A", "arial", 30) + 1);
}

TEST(MarkupMeasure, WidthIsTheWidestLineAndStylesDoNotCount) {
  const std::u16string t = u"<b>A<br>BBBBBBBB";
  EXPECT_EQ(MarkupWidth(t, -1), RunW(u"BBBBBBBB") + 1);
  EXPECT_EQ(MarkupWidth(t, 0), RunW(u"A") + 1);
  EXPECT_EQ(MarkupWidth(u"<b>BBBBBBBB<br>A", 7), RunW(u"BBBBBBBB") + 1);
  // Runs on one line add up, a run after "<br>" starts a new line.
  EXPECT_EQ(MarkupWidth(u"<i>ab</i>cd<br>e", -1), RunW(u"ab") + 1 + RunW(u"cd") + 1);
}

TEST(MarkupMeasure, EntitiesAreReplacedInOrder) {
  EXPECT_EQ(MarkupWidth(u"<b>&lt;&gt;&amp;", -1), RunW(u"<>&") + 1);
  EXPECT_EQ(MarkupWidth(u"<b>&amp;lt;", -1), RunW(u"&lt;") + 1);
}

TEST(MarkupMeasure, UnquotedAttributesAndCapitals) {
  EXPECT_EQ(MarkupWidth(u"<font size=20 face=arial>ABC", -1), RunW(u"ABC") + 1);
  EXPECT_EQ(MarkupWidth(u"<FONT SIZE=\"20\">ABC", -1), RunW(u"ABC", "宋体", 20) + 1);
  EXPECT_EQ(MarkupLineHeight(u"<FONT SIZE=\"20\">ABC", -1), LineH("宋体", 20));
}

TEST(MarkupMeasure, SlashedBreakIsNoBreak) {
  const int h8 = LineH("宋体", 8);
  EXPECT_EQ(MarkupLineHeight(u"<b>a<br/>b<br />c< BR >d", -1), 2 * h8);
  EXPECT_EQ(MarkupLineHeight(u"<b>a<br/>b<br />c", 2), 0);
}

TEST(MarkupMeasure, UnclosedTagEndsTheText) {
  EXPECT_EQ(MarkupWidth(u"<b>abc<def", -1), RunW(u"abc") + 1);
  // A "<" that does find a ">" further on swallows what lies between as one tag.
  EXPECT_EQ(MarkupWidth(u"<b>abc<def<br>xyz", -1), RunW(u"abc") + 1 + RunW(u"xyz") + 1);
  EXPECT_EQ(MarkupLineHeight(u"<b>abc<def<br>xyz", -1), LineH("宋体", 8));
  EXPECT_EQ(MarkupLineHeight(u"<b>abc<br<br>", -1), LineH("宋体", 8));
}

TEST(MarkupDraw, ColourAttributeDropsItsFirstCharacter) {
  Sheet red, blue;
  DrawMarkup(red.bmp.Canvas(), 2, 2, u"<font size=\"20\" color=\"#0000ff\">H");
  DrawMarkup(blue.bmp.Canvas(), 2, 2, u"<font size=\"20\" color=\"QFF0000\">H");
  EXPECT_EQ(red.Colors(), (std::set<TColor>{clWhite, 0x0000FF}));
  EXPECT_EQ(blue.Colors(), (std::set<TColor>{clWhite, 0xFF0000}));
  Sheet bad;
  DrawMarkup(bad.bmp.Canvas(), 2, 2, u"<font color=\"#nothex\">H");
  EXPECT_EQ(bad.Colors(), (std::set<TColor>{clWhite, clBlack}));
}

TEST(MarkupDraw, FirstDrawnCharacterIsTheOneBehindTheFirstTag) {
  Sheet lead, bare;
  DrawMarkup(lead.bmp.Canvas(), 0, 0, u"IGNORED<b>Mm");
  DrawMarkup(bare.bmp.Canvas(), 0, 0, u"<b>Mm");
  EXPECT_FALSE(bare.Ink().IsEmpty());
  EXPECT_EQ(lead.Ink(), bare.Ink());
}

TEST(MarkupDraw, RunsSitOnTheBottomOfTheirLineAndLinesStack) {
  const int h20 = LineH("宋体", 20), h8 = LineH("宋体", 8);
  Sheet s(400, 200);
  DrawMarkup(s.bmp.Canvas(), 10, 5, u"<font size=\"20\">Hg</font>x<br>y");
  const TRect ink = s.Ink();
  EXPECT_GE(ink.Left, 10);
  EXPECT_GE(ink.Top, 5);
  EXPECT_LE(ink.Bottom, 5 + h20 + h8);
  // The small run of line 1 ends on the line's bottom, not at its top.
  Sheet small(400, 200);
  DrawMarkup(small.bmp.Canvas(), 0, 0, u"<font size=\"20\"></font>x");
  EXPECT_GT(small.Ink().Top, h20 - h8 - 1);
  EXPECT_LE(small.Ink().Bottom, h20);
}

TEST(MarkupDraw, LeavesTheCanvasFontAsTheMarkupSetIt) {
  Sheet s;
  TCanvas &c = s.bmp.Canvas();
  c.Font.Name = "Arial";
  c.Font.Style = fsBold;
  DrawMarkup(c, 0, 0, u"<i><font size=\"14\" face=\"Liberation Serif\" color=\"#00ff00\">x");
  EXPECT_EQ(c.Font.Size(), 14);
  EXPECT_EQ(c.Font.Name, "liberation serif");
  EXPECT_EQ(c.Font.Color, 0x00FF00);
  EXPECT_EQ(c.Font.Style, unsigned{fsItalic});
  DrawMarkup(c, 0, 0, u"<b>x</font>");
  EXPECT_EQ(c.Font.Style, 0u);  // "/font" resets the styles too
  EXPECT_EQ(c.Font.Name, "宋体");
}

TEST(MarkupBadInput, LongTextsStayLinearAndBounded) {
  std::u16string breaks;
  for (int i = 0; i < 25000; ++i) breaks += u"<br>";
  EXPECT_EQ(MarkupLineHeight(breaks, -1), 25001 * LineH("宋体", 8));
  EXPECT_EQ(MarkupWidth(breaks, -1), 0);
  Sheet s(64, 64);
  DrawMarkup(s.bmp.Canvas(), 0, 0, breaks);
  std::u16string mixed;
  while (mixed.size() < 100000) mixed += u"<b>中文<br><font size=\"9\">Ab&amp;</font>";
  EXPECT_GT(MarkupWidth(mixed, -1), 0);
  DrawMarkup(s.bmp.Canvas(), 0, 0, mixed);
}

TEST(MarkupBadInput, SurrogatesZeroNegativeAndHugeSizes) {
  const std::u16string lone{u'<', u'b', u'>', char16_t(0xD800), u'x', char16_t(0xDC00)};
  EXPECT_GT(MarkupWidth(lone, -1), 0);
  Sheet s;
  DrawMarkup(s.bmp.Canvas(), 0, 0, lone);
  for (auto t : {u"<font size=\"0\">x", u"<font size=\"-12\">x", u"<font size=\"2147483647\">x",
                 u"<font size=\"-2147483648\">x<br>y"}) {
    EXPECT_GE(MarkupLineHeight(t, -1), 0);
    EXPECT_GE(MarkupWidth(t, -1), 0);
    DrawMarkup(s.bmp.Canvas(), 0, 0, t);
  }
  // Sizes beyond the clamp measure like the clamp.
  EXPECT_EQ(MarkupLineHeight(u"<font size=\"99999\">x", -1),
            LineH("宋体", 1000));
}

}  // namespace
}  // namespace vx
