#include "components/text.h"

#include <gtest/gtest.h>

#include <string>

#include "components/textpaint.h"
#include "markup/markup.h"
#include "tests/components/text_fixture.h"

namespace vx {
namespace {

class TextTest : public TextComponentTest {
 protected:
  // A text component as a host sets one up: font, text, then visible.
  std::unique_ptr<TOSDText> Make(std::u16string_view text, int size = 24,
                                 TColor color = clWhite, const char *face = "宋体") {
    auto t = std::make_unique<TOSDText>();
    SetFont(*t, face, size, color);
    t->SetText(text);
    return t;
  }
  static TRect Measure(TOSDText &t, std::u16string_view s, TRect from, unsigned flags) {
    t.Canvas().DrawText(s, from, flags);
    return from;
  }
};

TEST_F(TextTest, Defaults) {
  TOSDText t;
  EXPECT_FALSE(t.visible);
  EXPECT_EQ(t.bkcolor, kKeyColor);
  EXPECT_EQ(t.textmode, 1);
  EXPECT_EQ(t.showtime, 0);
  EXPECT_EQ(t.gradualcolor1, 0x0000FF);
  EXPECT_EQ(t.gradualcolor2, 0xFFFFFF);
  EXPECT_FALSE(t.gradual || t.html || t.randomcolor || t.randomtextcolor);
  EXPECT_EQ(t.showtimer().Interval(), 2000u);
  EXPECT_FALSE(t.showtimer().Enabled());
  EXPECT_TRUE(t.Empty());
}

TEST_F(TextTest, PlainTextSizesTheBitmapAndDrawsInTheFontColour) {
  auto t = Make(u"Ab中");
  t->SetVisible(true);
  const TRect r = Measure(*t, u"Ab中", {}, DT_CALCRECT | DT_VCENTER);
  EXPECT_EQ(t->Width(), r.Right);
  EXPECT_EQ(t->Height(), r.Bottom);
  const auto hist = Histogram(*t);
  EXPECT_EQ(hist.size(), 2u);
  EXPECT_GT(hist.at(Shown(*t, kKeyColor)), 0);
  EXPECT_GT(hist.at(Shown(*t, clWhite)), 0);
}

TEST_F(TextTest, LineBreaksMakeLinesAndLongLinesDoNotWrap) {
  auto one = Make(u"AAAA");
  one->SetVisible(true);
  auto two = Make(u"AAAA\r\nAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
  two->SetVisible(true);
  EXPECT_EQ(two->Height(), 2 * one->Height());
  EXPECT_GT(two->Width(), 640);
}

TEST_F(TextTest, VerticalModeStandsOneCjkCharacterPerLine) {
  auto h = Make(u"中");
  h->SetVisible(true);
  auto v = Make(u"中文字幕");
  v->textmode = 2;
  v->SetVisible(true);
  EXPECT_EQ(v->Width(), h->Width());
  EXPECT_EQ(v->Height(), 4 * h->Height());
}

TEST_F(TextTest, ModesOutsideOneAndTwoTakeTheNearest) {
  auto ref1 = Make(u"中文");
  ref1->SetVisible(true);
  auto ref2 = Make(u"中文");
  ref2->textmode = 2;
  ref2->SetVisible(true);
  ASSERT_NE(ref1->Width(), ref2->Width());
  for (int mode : {0, -7}) {
    auto t = Make(u"中文");
    t->textmode = mode;
    t->SetVisible(true);
    EXPECT_EQ(t->Width(), ref1->Width()) << mode;
    EXPECT_EQ(t->Height(), ref1->Height()) << mode;
  }
  for (int mode : {3, 6, 1000}) {
    auto t = Make(u"中文");
    t->textmode = mode;
    t->SetGradual(clRed, clBlue);
    t->SetVisible(true);
    EXPECT_EQ(t->Width(), ref2->Width()) << mode;
    EXPECT_EQ(t->Height(), ref2->Height()) << mode;
  }
}

TEST_F(TextTest, GradientFillsExactlyTheGlyphsFromColour1TowardColour2) {
  auto plain = Make(u"中国", 48, clWhite);
  plain->SetVisible(true);
  auto g = Make(u"中国", 48, clWhite);
  g->SetGradual(clRed, clBlue);
  ASSERT_TRUE(g->gradual);
  g->SetVisible(true);
  ASSERT_EQ(g->Width(), plain->Width());
  const auto key = Shown(*g, kKeyColor);
  const auto ink = Ink(*g, key);
  ASSERT_FALSE(ink.empty());
  EXPECT_TRUE(ink == Ink(*plain, key)) << "gradient ink differs from the glyphs";
  // Leftmost ink is reddish, rightmost bluish.
  auto left = *ink.begin(), right = *ink.rbegin();
  const TColor cl = g->GetPixel(left.first, left.second);
  const TColor cr = g->GetPixel(right.first, right.second);
  EXPECT_GT(GetRValue(cl), GetBValue(cl));
  EXPECT_GT(GetBValue(cr), GetRValue(cr));
  EXPECT_GT(Histogram(*g).size(), 3u);
}

TEST_F(TextTest, VerticalGradientRunsTopToBottom) {
  auto g = Make(u"中国", 48);
  g->textmode = 2;
  g->SetGradual(clRed, clBlue);
  g->SetVisible(true);
  const auto ink = Ink(*g, Shown(*g, kKeyColor));
  ASSERT_FALSE(ink.empty());
  int top = g->Height(), bottom = -1;
  std::pair<int, int> ptop, pbottom;
  for (auto p : ink) {
    if (p.second < top) top = p.second, ptop = p;
    if (p.second > bottom) bottom = p.second, pbottom = p;
  }
  const TColor ct = g->GetPixel(ptop.first, ptop.second);
  const TColor cb = g->GetPixel(pbottom.first, pbottom.second);
  EXPECT_GT(GetRValue(ct), GetBValue(ct));
  EXPECT_GT(GetBValue(cb), GetRValue(cb));
}

TEST_F(TextTest, GradientRampStartsAtColour1AndStopsShortOfColour2) {
  const auto ramp = GradientRamp(RGB(0, 10, 255), RGB(100, 0, 0), 4);
  ASSERT_EQ(ramp.size(), 4u);
  EXPECT_EQ(ramp[0], RGB(0, 10, 255));
  EXPECT_EQ(ramp[1], RGB(25, 8, 192));  // 10 - 10/4 truncates toward zero: 8
  EXPECT_EQ(ramp[3], RGB(75, 3, 64));
  EXPECT_TRUE(GradientRamp(clRed, clBlue, 0).empty());
}

TEST_F(TextTest, SetterInteractions) {
  TOSDText t;
  t.SetGradual(clRed, clRed);
  EXPECT_FALSE(t.gradual);
  t.SetGradual(clRed, clBlue);
  EXPECT_TRUE(t.gradual);
  t.SetHtml(true);
  EXPECT_FALSE(t.gradual);
  t.SetGradual(clRed, clBlue);  // gradient after markup: gradient wins
  EXPECT_TRUE(t.gradual && t.html);
  t.SetRandomColor({1, 2, 3, 4, 5});
  t.SetRandomTextColor({1, 2, 3, 4, 5});
  EXPECT_TRUE(t.randomcolor && t.randomtextcolor);
  t.SetColor(0x123456, 77);
  EXPECT_FALSE(t.randomcolor || t.randomtextcolor);
  EXPECT_EQ(t.bkcolor, 0x123456);
  EXPECT_EQ(t.bklevel, 77);
}

TEST_F(TextTest, GradientWinsOverMarkupWhenBothAreOn) {
  auto g = Make(u"<b>中");
  g->SetHtml(true);
  g->SetGradual(clRed, clBlue);
  g->SetVisible(true);
  // Measured as plain text, tags included: wider than the markup's single character.
  EXPECT_GT(g->Width(), MarkupWidth(u"<b>中", -1));
}

TEST_F(TextTest, MarkupSizesToWidestLineAndAllLines) {
  const std::u16string m = u"<font size=\"20\" color=\"#0000ff\">Red</font><br><b>bold line</b>";
  auto t = Make(m);
  t->SetHtml(true);
  t->SetVisible(true);
  EXPECT_EQ(t->Width(), MarkupWidth(m, -1));
  EXPECT_EQ(t->Height(), MarkupLineHeight(m, -1));
  EXPECT_EQ(t->GetTextRect(m), Rect(0, 0, MarkupWidth(m, -1), MarkupLineHeight(m, -1)));
  EXPECT_TRUE(Histogram(*t).contains(Shown(*t, clRed)));
  // The markup left the canvas font at the defaults of "/font" and "</b>".
  EXPECT_EQ(t->Canvas().Font.Size(), 8);
}

TEST_F(TextTest, RandomColoursPickAmongTheFive) {
  const std::array<TColor, 5> bk{clRed, clBlue, clYellow, clAqua, clFuchsia};
  auto t = Make(u"X", 12, clBlack);
  t->SetRandomColor(bk);
  std::set<TColor> seen;
  for (int i = 0; i < 60; ++i) {
    clock_->Advance(37);
    t->SetVisible(true);
    ASSERT_NE(std::find(bk.begin(), bk.end(), t->bkcolor), bk.end());
    seen.insert(t->bkcolor);
    EXPECT_TRUE(Histogram(*t).contains(Shown(*t, t->bkcolor)));
  }
  EXPECT_EQ(seen.size(), 5u);

  auto f = Make(u"X", 12, clBlack);
  f->SetRandomTextColor({clRed, clBlue, clYellow, clAqua, clFuchsia});
  std::set<TColor> fonts;
  for (int i = 0; i < 60; ++i) {
    clock_->Advance(41);
    f->SetVisible(true);
    fonts.insert(f->Canvas().Font.Color);
  }
  EXPECT_EQ(fonts.size(), 5u);
}

TEST_F(TextTest, ShowTimeHidesOnceAndVisibleAgainDoesNotExtend) {
  auto t = Make(u"hello");
  t->SetShowTime(3000);
  t->SetVisible(true);
  EXPECT_TRUE(t->showtimer().Enabled());
  Advance(1500);
  t->SetVisible(true);  // already running: the countdown goes on
  Advance(1499);
  EXPECT_TRUE(t->visible);
  Advance(1);
  EXPECT_FALSE(t->visible);
  EXPECT_FALSE(t->showtimer().Enabled());
  Advance(10000);
  EXPECT_FALSE(t->visible);
}

TEST_F(TextTest, ShowTimeZeroOrNegativeNeverHides) {
  for (int ms : {0, -5}) {
    auto t = Make(u"stay");
    t->SetShowTime(ms);
    t->SetVisible(true);
    Advance(100000);
    EXPECT_TRUE(t->visible) << ms;
  }
}

TEST_F(TextTest, HiddenByHostThenTimerRepeatsTheHide) {
  auto t = Make(u"x");
  t->SetShowTime(500);
  t->SetVisible(true);
  const int w = t->Width();
  t->SetVisible(false);
  EXPECT_TRUE(t->showtimer().Enabled());
  Advance(500);
  EXPECT_FALSE(t->showtimer().Enabled());
  EXPECT_EQ(t->Width(), w);  // hiding draws nothing
}

TEST_F(TextTest, ChangesShowOnlyAtTheNextVisible) {
  auto t = Make(u"one");
  t->SetVisible(true);
  const auto before = Histogram(*t);
  const int w = t->Width();
  t->SetText(u"a much longer text");
  t->SetColor(clRed, 0);
  EXPECT_EQ(t->Width(), w);
  EXPECT_EQ(Histogram(*t), before);
  t->SetVisible(true);
  EXPECT_GT(t->Width(), w);
}

TEST_F(TextTest, EmptyTextKeepsTheOldPictureAndMeasuresNothing) {
  auto t = Make(u"old");
  t->SetVisible(true);
  const auto before = Histogram(*t);
  t->SetText(u"");
  t->SetVisible(true);
  EXPECT_EQ(Histogram(*t), before);
  EXPECT_EQ(t->GetTextRect(u""), TRect{});
  t->SetHtml(true);
  EXPECT_EQ(t->GetTextRect(u""), TRect{});
}

TEST_F(TextTest, GetTextRectMeasuresTheGivenTextNotTheOwn) {
  auto t = Make(u"own");
  t->textmode = 2;  // not consulted
  EXPECT_EQ(t->GetTextRect(u"AB\nC"), Measure(*t, u"AB\nC", {}, DT_CALCRECT | DT_VCENTER));
}

TEST_F(TextTest, BadInputGivesBoundedBitmaps) {
  std::u16string huge;
  while (huge.size() < 100000) huge += u"中文Latin ";
  auto t = Make(huge);
  t->SetVisible(true);
  EXPECT_LE(t->Width(), kMaxTextSide);
  EXPECT_LE(static_cast<long long>(t->Width()) * t->Height(), kMaxTextPixels);
  EXPECT_GT(t->Width(), 0);
  t->SetGradual(clRed, clBlue);
  t->SetVisible(true);
  EXPECT_LE(t->Width(), kMaxTextSide);

  auto breaks = Make(std::u16string(100000, u'\n'));
  breaks->SetVisible(true);
  EXPECT_LE(breaks->Height(), kMaxTextSide);
  breaks->textmode = 2;
  breaks->SetVisible(true);

  const std::u16string lone{char16_t(0xD800), u'A', char16_t(0xDFFF)};
  auto s = Make(lone);
  s->SetVisible(true);
  EXPECT_FALSE(s->Empty());

  for (int size : {0, -20, 100000, INT32_MIN}) {
    auto z = Make(u"中A", size);
    z->SetVisible(true);
    EXPECT_LE(z->Width(), kMaxTextSide) << size;
    z->SetGradual(clRed, clBlue);
    z->SetVisible(true);
  }
}

}  // namespace
}  // namespace vx
