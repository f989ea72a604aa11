#include "components/scrolltext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "markup/markup.h"
#include "tests/components/text_fixture.h"

namespace vx {
namespace {

class ScrollTextTest : public TextComponentTest {
 protected:
  std::unique_ptr<TOSDScrollText> Make(std::u16string_view text, int mode = 1, int size = 24) {
    auto s = std::make_unique<TOSDScrollText>();
    SetFont(*s, "宋体", size, clWhite);
    s->SetText(text);
    s->textmode = mode;
    return s;
  }
  // The window must show the strip at (xpos, ypos) over bkcolor, nothing else.
  static void ExpectWindowShowsStrip(TOSDScrollText &s) {
    TOSDGraphic &strip = s.strip();
    for (int y = 0; y < s.Height(); ++y)
      for (int x = 0; x < s.Width(); ++x) {
        const int sx = x - s.xpos, sy = y - s.ypos;
        const TColor want = (sx >= 0 && sy >= 0 && sx < strip.Width() && sy < strip.Height())
                                ? strip.GetPixel(sx, sy)
                                : Shown(s, s.bkcolor);
        ASSERT_EQ(s.GetPixel(x, y), want) << x << "," << y;
      }
  }
};

TEST_F(ScrollTextTest, Defaults) {
  TOSDScrollText s;
  EXPECT_EQ(s.step, 3);
  EXPECT_EQ(s.Scroll, 0);
  EXPECT_EQ(s.textmode, 1);
  EXPECT_EQ(s.max_Scrollw, 640);
  EXPECT_EQ(s.max_Scrollh, 480);
  EXPECT_EQ(s.bkcolor, kKeyColor);
  EXPECT_EQ(s.gradualcolor1, 0);
  EXPECT_EQ(s.gradualcolor2, 0);
  EXPECT_EQ(s.scrolltimer().Interval(), 40u);
  EXPECT_FALSE(s.scrolltimer().Enabled());
  EXPECT_TRUE(s.strip().Empty());
}

TEST_F(ScrollTextTest, DefaultWindowIsFrameWideAndTextEntersAtTheRight) {
  auto s = Make(u"新闻 News");
  s->SetVisible(true);
  EXPECT_EQ(s->Width(), 640);
  EXPECT_EQ(s->Height(), s->strip().Height());
  EXPECT_EQ(s->xpos, 640);
  EXPECT_TRUE(s->scrolltimer().Enabled());
  Advance(40);
  EXPECT_EQ(s->xpos, 637);
  Advance(400);
  EXPECT_EQ(s->xpos, 607);
  Advance(40 * 50);
  ExpectWindowShowsStrip(*s);
  EXPECT_GT(Ink(*s, Shown(*s, kKeyColor)).size(), 0u);
}

TEST_F(ScrollTextTest, ScrollCountsPassesThenHides) {
  auto s = Make(u"AB");
  s->Scroll = 2;
  s->step = 10;
  s->SetVisible(true);
  const int sw = s->strip().Width();
  // One crossing: from 640 down past -sw, then the wrap tick.
  const int per_pass = (640 + sw) / 10 + 1 + 1;
  Advance(40 * (per_pass - 1));
  EXPECT_EQ(s->passcount, 0);
  Advance(40);
  EXPECT_EQ(s->passcount, 1);
  EXPECT_TRUE(s->visible);
  // The wrap put the text back at 640 and moved it once: one tick fewer for the second pass.
  Advance(40 * (per_pass - 2));
  EXPECT_EQ(s->passcount, 1);
  EXPECT_TRUE(s->visible);
  Advance(40);  // would start the third crossing
  EXPECT_FALSE(s->visible);
  EXPECT_FALSE(s->scrolltimer().Enabled());
}

TEST_F(ScrollTextTest, EachDirectionStartsOutsideAndMovesIn) {
  struct Case { int mode; int dx; int dy; };
  for (auto c : {Case{1, -3, 0}, Case{2, 3, 0}, Case{3, 0, -3}, Case{4, 0, 3}, Case{5, 0, -3},
                 Case{6, 0, 3}}) {
    auto s = Make(u"中文", c.mode);
    s->SetVisible(true);
    const int x0 = s->xpos, y0 = s->ypos;
    switch (c.mode) {
      case 1: EXPECT_EQ(x0, s->Width()); break;
      case 2: EXPECT_EQ(x0, -s->strip().Width()); break;
      case 3: case 5: EXPECT_EQ(y0, s->Height()); break;
      default: EXPECT_EQ(y0, -s->strip().Height()); break;
    }
    Advance(40);
    EXPECT_EQ(s->xpos - x0, c.dx) << c.mode;
    EXPECT_EQ(s->ypos - y0, c.dy) << c.mode;
  }
}

TEST_F(ScrollTextTest, VerticalModesWindowIsTallAndStripStandsUpright) {
  auto h = Make(u"中文字", 3);
  h->SetVisible(true);
  EXPECT_EQ(h->Height(), 480);
  EXPECT_EQ(h->Width(), h->strip().Width());
  auto v = Make(u"中文字", 5);
  v->SetVisible(true);
  EXPECT_EQ(v->Height(), 480);
  EXPECT_EQ(v->strip().Height(), 3 * h->strip().Height());
  EXPECT_LT(v->Width(), h->Width());
  // A text wider than the frame: the window stops at max_Scrollw.
  auto wide = Make(std::u16string(100, u'中'), 3);
  wide->SetVisible(true);
  EXPECT_EQ(wide->Width(), 640);
}

// In a vertical ticker a narrow character ("i", a digit) stands centred under a wide CJK one.
TEST_F(ScrollTextTest, VerticalModesCentreNarrowCharactersUnderWideOnes) {
  for (int mode : {5, 6}) {
    auto s = Make(u"中i文7", mode);
    s->SetVisible(true);
    TOSDGraphic &strip = s->strip();
    ASSERT_EQ(strip.Height() % 4, 0) << mode;
    const int line = strip.Height() / 4;
    const TColor background = Shown(strip, s->bkcolor);
    for (int row = 0; row < 4; ++row) {
      int left = strip.Width(), right = 0;
      for (int y = row * line; y < (row + 1) * line; ++y)
        for (int x = 0; x < strip.Width(); ++x)
          if (strip.GetPixel(x, y) != background) left = std::min(left, x), right = std::max(right, x + 1);
      ASSERT_LT(left, right) << mode << " line " << row;
      const int gap_left = left, gap_right = strip.Width() - right;
      if (row % 2 == 0) {
        // CJK: nearly full (the side bearings differ between glyph sources)
        EXPECT_LT(gap_left + gap_right, strip.Width() / 2) << mode << " line " << row;
      } else {
        EXPECT_GT(gap_left, strip.Width() / 4) << mode << " line " << row;
        EXPECT_LE(std::abs(gap_left - gap_right), 3) << mode << " line " << row;
      }
    }
  }
}

TEST_F(ScrollTextTest, SetSizeIsTakenExactly) {
  auto s = Make(u"a tall text\nwith lines\nmore");
  s->w = 200;
  s->h = 10;
  s->SetVisible(true);
  EXPECT_EQ(s->Width(), 200);
  EXPECT_EQ(s->Height(), 10);
  for (auto [w, h] : {std::pair{-5, 10}, std::pair{100000, 100000}, std::pair{300, -1}}) {
    s->w = w;
    s->h = h;
    s->SetVisible(true);
    EXPECT_TRUE(s->Empty());
    Advance(40);  // a tick on an empty window is harmless
  }
}

TEST_F(ScrollTextTest, StepZeroStandsStillAndNegativeStepRunsAway) {
  auto still = Make(u"x");
  still->step = 0;
  still->Scroll = 1;
  still->SetVisible(true);
  Advance(40 * 1000);
  EXPECT_EQ(still->xpos, 640);
  EXPECT_EQ(still->passcount, 0);
  EXPECT_TRUE(still->visible);

  auto back = Make(u"x");
  back->step = -2000000000;
  back->Scroll = 1;
  back->SetVisible(true);
  Advance(40 * 100);
  EXPECT_EQ(back->xpos, kMaxScrollOffset);  // saturates, never wraps or overflows
  EXPECT_EQ(back->passcount, 0);
  back->step = INT32_MIN;
  Advance(400);
  EXPECT_EQ(back->xpos, kMaxScrollOffset);
}

TEST_F(ScrollTextTest, UndefinedModesNeverMove) {
  for (int mode : {0, 7, -3}) {
    auto s = Make(u"中文", mode);
    s->SetVisible(true);
    Advance(400);
    EXPECT_EQ(s->xpos, 0) << mode;
    EXPECT_EQ(s->ypos, 0) << mode;
    ExpectWindowShowsStrip(*s);
  }
}

TEST_F(ScrollTextTest, GradientInUndefinedModesTakesTheNearestLayout) {
  auto h = Make(u"中文", 0);
  h->SetGradual(clRed, clBlue);
  h->SetVisible(true);
  auto v = Make(u"中文", 9);
  v->SetGradual(clRed, clBlue);
  v->SetVisible(true);
  EXPECT_GT(h->strip().Width(), h->strip().Height());  // as mode 1: one line
  EXPECT_GT(v->strip().Height(), v->strip().Width());  // as mode 6: one character per line
  EXPECT_GT(Histogram(v->strip()).size(), 3u);
}

TEST_F(ScrollTextTest, MarkupAndGradientStrips) {
  const std::u16string m = u"<font size=\"20\" color=\"#0000ff\">红</font><b>bold</b>";
  auto s = Make(m);
  s->SetHtml(true);
  s->SetVisible(true);
  EXPECT_EQ(s->strip().Width(), MarkupWidth(m, -1));
  EXPECT_EQ(s->strip().Height(), MarkupLineHeight(m, -1));
  EXPECT_TRUE(Histogram(s->strip()).contains(Shown(s->strip(), clRed)));
  // The component's own font is untouched by the markup.
  EXPECT_EQ(s->Canvas().Font.Size(), 24);

  auto g = Make(u"中文", 1);
  g->SetGradual(clRed, clBlue);
  g->SetVisible(true);
  EXPECT_GT(Histogram(g->strip()).size(), 3u);
  EXPECT_EQ(g->xpos, 640);
}

TEST_F(ScrollTextTest, HiddenKeepsTickingAndVisibleRestarts) {
  auto s = Make(u"tick");
  s->Scroll = 1;
  s->step = 50;
  s->SetVisible(true);
  s->SetVisible(false);
  Advance(40 * 3);
  EXPECT_EQ(s->xpos, 640 - 150);
  Advance(40 * 100);
  EXPECT_FALSE(s->scrolltimer().Enabled());  // the passes ran out while hidden
  s->SetVisible(true);
  EXPECT_EQ(s->xpos, 640);
  EXPECT_EQ(s->passcount, 0);
  EXPECT_TRUE(s->scrolltimer().Enabled());
}

TEST_F(ScrollTextTest, RandomBackgroundOncePerRedraw) {
  auto s = Make(u"x");
  s->SetRandomColor({clRed, clBlue, clYellow, clAqua, clFuchsia});
  s->SetVisible(true);
  const TColor picked = s->bkcolor;
  Advance(40 * 20);
  EXPECT_EQ(s->bkcolor, picked);
  ExpectWindowShowsStrip(*s);
}

TEST_F(ScrollTextTest, LongTickerRendersItsWholeStrip) {
  std::u16string ticker;
  while (ticker.size() < 2000) ticker += u"新闻快讯 News flash ";
  auto s = Make(ticker);
  s->SetVisible(true);
  EXPECT_GT(s->strip().Width(), kMaxComponentSide);  // wider than any window may be
  EXPECT_EQ(s->Width(), 640);
  s->xpos = -30000;
  s->OnScrollTimer();
  ExpectWindowShowsStrip(*s);
}

TEST_F(ScrollTextTest, BadInputStaysBounded) {
  std::u16string huge;
  while (huge.size() < 100000) huge += u"中文Latin ";
  auto s = Make(huge);
  s->SetVisible(true);
  EXPECT_LE(s->strip().Width(), kMaxStripSide);
  EXPECT_LE(static_cast<long long>(s->strip().Width()) * s->strip().Height(), kMaxStripPixels);
  Advance(40);
  auto breaks = Make(std::u16string(100000, u'\n'), 5);
  breaks->SetVisible(true);
  Advance(40);
  auto z = Make(u"zero", 1, 0);
  z->SetVisible(true);
  Advance(40);
  auto n = Make(u"neg", 4, -30);
  n->SetVisible(true);
  Advance(40);
  auto e = Make(u"", 1);
  e->SetVisible(true);
  Advance(40);
  EXPECT_TRUE(e->Empty());
}

TEST_F(ScrollTextTest, DestroyedComponentStopsItsTimer) {
  auto s = Make(u"gone");
  s->SetVisible(true);
  s.reset();
  EXPECT_EQ(MessageLoop::Current().Advance(400), 0u);
}

}  // namespace
}  // namespace vx
