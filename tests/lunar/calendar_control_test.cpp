#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "lunar/calendar.h"
#include "lunar/calendar_text.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"

namespace vx {
namespace {

// A calendar with a window of the given size, on a given date.
struct Calendar {
  explicit Calendar(TDateTime date, int w = 300, int h = 210) {
    cal.SetDate(date);
    cal.SetBounds(w, h);
    cal.CreateWnd();
    cal.CalcLayout();
  }
  TYnrCalendar cal;
};

void Paint(TYnrCalendar &cal, TBitmap &bmp) {
  bmp.SetPixelFormat(TPixelFormat::pf24bit);
  bmp.SetSize(cal.Width(), cal.Height());
  cal.Paint(bmp.Canvas());
}

// --- Layout ---

TEST(CalendarLayout, The300x210ControlWithInitialStyles) {
  Calendar c(EncodeDate(2008, 8, 8));
  const TYnrCalendar &cal = c.cal;
  EXPECT_EQ(cal.CellWidth(), 42);
  EXPECT_EQ(cal.CellHeight(), 26);
  EXPECT_EQ(cal.TitleRect(), Rect(0, 0, 300, 26));
  EXPECT_EQ(cal.WeekRect(), Rect(0, 26, 300, 52));
  EXPECT_EQ(cal.DaysRect(), Rect(0, 52, 300, 210));
  // Rt = 6 (6.5 to even), Ro = 17 (16.8).
  EXPECT_EQ(cal.NumberRect(), Bounds(0, 0, 25, 20));
  EXPECT_EQ(cal.LunarRect(), Bounds(25, 0, 17, 20));
  EXPECT_EQ(cal.FestivalRect(), Bounds(0, 20, 42, 6));
}

TEST(CalendarLayout, CellPartsForEveryStylePair) {
  Calendar c(EncodeDate(2008, 8, 8));
  TYnrCalendar &cal = c.cal;
  struct Case {
    TYnrCalStyle lunar, ftv;
    TRect number, lunar_part, festival;
  };
  const TRect none{};
  const Case cases[] = {
      {csBottom, csBottom, Bounds(0, 0, 42, 20), Bounds(0, 20, 42, 6), Bounds(0, 20, 42, 6)},
      {csBottom, csRight, Bounds(0, 0, 25, 20), Bounds(0, 20, 42, 6), Bounds(25, 0, 17, 20)},
      {csBottom, csNone, Bounds(0, 0, 42, 20), Bounds(0, 20, 42, 6), none},
      {csRight, csRight, Bounds(0, 0, 25, 26), Bounds(25, 0, 17, 26), Bounds(25, 0, 17, 26)},
      {csRight, csNone, Bounds(0, 0, 25, 26), Bounds(25, 0, 17, 26), none},
      {csNone, csBottom, Bounds(0, 0, 42, 20), none, Bounds(0, 20, 42, 6)},
      {csNone, csRight, Bounds(0, 0, 25, 26), none, Bounds(25, 0, 17, 26)},
      {csNone, csNone, Bounds(0, 0, 42, 26), none, none},
  };
  for (const Case &k : cases) {
    cal.SetLunarCalStyle(k.lunar);
    cal.SetFtvCalStyle(k.ftv);
    cal.CalcLayout();
    SCOPED_TRACE(testing::Message() << int(k.lunar) << "/" << int(k.ftv));
    EXPECT_EQ(cal.NumberRect(), k.number);
    EXPECT_EQ(cal.LunarRect().IsEmpty(), k.lunar_part.IsEmpty());
    if (!k.lunar_part.IsEmpty()) {
      EXPECT_EQ(cal.LunarRect(), k.lunar_part);
    }
    EXPECT_EQ(cal.FestivalRect().IsEmpty(), k.festival.IsEmpty());
    if (!k.festival.IsEmpty()) {
      EXPECT_EQ(cal.FestivalRect(), k.festival);
    }
  }
}

TEST(CalendarLayout, ArrowsSitInTheTitleCorners) {
  Calendar c(EncodeDate(2008, 8, 8), 600, 420);
  const TYnrCalendar &cal = c.cal;
  const TRect py = cal.PrevYearRect(), pm = cal.PrevMonthRect();
  const TRect nm = cal.NextMonthRect(), ny = cal.NextYearRect();
  EXPECT_EQ(py.Left, 5);
  EXPECT_EQ(pm.Left, py.Right + 1);
  EXPECT_EQ(ny.Right, 595);
  EXPECT_EQ(nm.Right, ny.Left - 1);
  for (const TRect &r : {py, pm, nm, ny}) {
    EXPECT_FALSE(r.IsEmpty());
    EXPECT_EQ(r.Top, py.Top);
    EXPECT_EQ(r.Height(), py.Height());
    EXPECT_EQ(r.Width(), py.Width());
    EXPECT_EQ((cal.TitleRect().Height() - r.Height()) / 2, r.Top);
  }
  c.cal.SetShowArrow(false);
  c.cal.CalcLayout();
  EXPECT_TRUE(c.cal.PrevYearRect().IsEmpty());
}

TEST(CalendarLayout, FontsFitTheirPartsAndTheFestivalLengthFollows) {
  Calendar small(EncodeDate(2008, 8, 8));
  Calendar large(EncodeDate(2008, 8, 8), 600, 420);
  const TYnrCalColors &s = small.cal.CalColors(), &l = large.cal.CalColors();
  EXPECT_GT(l.DayTextFont().Size(), s.DayTextFont().Size());
  EXPECT_GT(l.BackMonthTextFont().Size(), 100);
  EXPECT_GE(s.FtvTextFont().Size(), 4);
  // Even, and at least the four bytes of two characters.
  EXPECT_EQ(small.cal.MaxFtvBytes() % 2, 0);
  EXPECT_GE(small.cal.MaxFtvBytes(), 4);
  TBitmap probe;
  probe.SetSize(1, 1);
  TFont f = l.DayTextFont();
  probe.Canvas().Font = f;
  TSize e = probe.Canvas().TextExtent(u"08");
  EXPECT_LE(e.cx, large.cal.NumberRect().Right);
  EXPECT_LE(e.cy, large.cal.NumberRect().Bottom);
  EXPECT_EQ(TYnrCalendar::FitFontSize(probe.Canvas(), f, u"WWWW", 3, 3), 4);
}

// --- Mouse and keys ---

TEST(CalendarInput, ClickingACellSelectsItsDate) {
  Calendar c(EncodeDate(2008, 8, 8));
  TYnrCalendar &cal = c.cal;
  int changes = 0;
  cal.OnChange = [&](TYnrCalendar &) { ++changes; };
  cal.MouseDown(mbLeft, ssLeft, 10, 52 + 26 + 3);  // second row, first cell: 2008-08-03
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 8, 3));
  EXPECT_TRUE(cal.UserSelect());
  EXPECT_TRUE(cal.Focused());
  cal.MouseMove(ssLeft, 42 * 3 + 5, 52 + 26 * 2 + 3);  // dragging: row 2, column 3
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 8, 13));
  cal.MouseMove(0, 10, 60);  // moving without the button selects nothing
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 8, 13));
  cal.MouseUp(mbLeft, 0, 0, 0);
  EXPECT_FALSE(cal.UserSelect());
  cal.MouseDown(mbRight, ssRight, 10, 60);
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 8, 13));
  EXPECT_EQ(changes, 2);
  cal.MouseDown(mbLeft, ssLeft, 10, 60);  // a trailing July day moves to July's grid
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 7, 27));
  EXPECT_EQ(cal.FirstDate(), EncodeDate(2008, 6, 29));
  cal.SetDate(EncodeDate(2008, 8, 8));
  // The 6 pixels right of the seventh column belong to it, not to the next row.
  cal.MouseDown(mbLeft, ssLeft, 298, 60);
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 8, 2));
  cal.MouseDown(mbLeft, ssLeft, 10, 209);
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 8, 31));
}

TEST(CalendarInput, ArrowsMoveByMonthsAndYearsClippingTheDay) {
  Calendar c(EncodeDate(2008, 1, 31), 600, 420);
  TYnrCalendar &cal = c.cal;
  auto click = [&](const TRect &r) { cal.MouseDown(mbLeft, ssLeft, r.Left + 1, r.Top + 1); };
  click(cal.NextMonthRect());
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 2, 29));
  click(cal.NextYearRect());
  EXPECT_EQ(cal.Date(), EncodeDate(2009, 2, 28));
  click(cal.PrevMonthRect());
  EXPECT_EQ(cal.Date(), EncodeDate(2009, 1, 28));
  click(cal.PrevYearRect());
  EXPECT_EQ(cal.Date(), EncodeDate(2008, 1, 28));
  cal.SetDate(EncodeDate(2100, 12, 5));
  click(cal.NextMonthRect());
  click(cal.NextYearRect());
  EXPECT_EQ(cal.Date(), EncodeDate(2100, 12, 5));
}

TEST(CalendarInput, KeysNavigateAndStopAt1900And2100) {
  Calendar c(EncodeDate(1900, 1, 1));
  TYnrCalendar &cal = c.cal;
  for (WORD key : {VK_LEFT, VK_UP, VK_PRIOR, VK_HOME}) {
    EXPECT_TRUE(cal.KeyDown(key, 0));
    EXPECT_EQ(cal.Date(), EncodeDate(1900, 1, 1));
  }
  EXPECT_TRUE(cal.UserSelect());
  cal.KeyDown(VK_END, 0);
  EXPECT_EQ(cal.Date(), EncodeDate(1900, 1, 31));
  cal.KeyDown(VK_RIGHT, 0);
  EXPECT_EQ(cal.Date(), EncodeDate(1900, 2, 1));
  cal.KeyDown(VK_DOWN, 0);
  EXPECT_EQ(cal.Date(), EncodeDate(1900, 2, 8));
  cal.KeyDown(VK_NEXT, 0);
  EXPECT_EQ(cal.Date(), EncodeDate(1900, 3, 8));
  EXPECT_FALSE(cal.KeyDown(VK_RIGHT, ssShift));  // only without modifiers
  EXPECT_FALSE(cal.KeyDown(VK_RIGHT, ssLeft));
  EXPECT_EQ(cal.Date(), EncodeDate(1900, 3, 8));

  cal.SetDate(EncodeDate(2100, 12, 31));
  for (WORD key : {VK_RIGHT, VK_DOWN, VK_NEXT, VK_END}) {
    cal.KeyDown(key, 0);
    EXPECT_EQ(cal.Date(), EncodeDate(2100, 12, 31));
  }
  cal.KeyDown(VK_UP, 0);
  EXPECT_EQ(cal.Date(), EncodeDate(2100, 12, 24));
  int clicks = 0;
  cal.OnClick = [&](TYnrCalendar &) { ++clicks; };
  cal.KeyDown(VK_RETURN, 0);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(cal.KeyDown('A', 0));
}

// --- Hint ---

TEST(CalendarHint, DescribesTheCellUnderThePointer) {
  Calendar c(EncodeDate(2008, 8, 1));
  TYnrCalendar &cal = c.cal;
  TCalendarHint &hint = cal.Hint();
  hint.Screen = {800, 600};
  const TRect cell = cal.DateCellRect(EncodeDate(2008, 8, 8));
  cal.MouseMove(0, cell.Left + 3, cell.Top + 4);
  EXPECT_TRUE(hint.Visible());
  EXPECT_EQ(cal.HintCellRect(), cell);
  EXPECT_EQ(hint.Text(), CalendarHintText(cal.FtvList(), EncodeDate(2008, 8, 8), false));
  EXPECT_EQ(hint.Left, cell.Left + 3 + 16);
  EXPECT_EQ(hint.Top, cell.Top + 4 + 16);
  ASSERT_EQ(hint.Labels().size(), 4u);
  EXPECT_EQ(hint.Labels()[0], u"公元:");
  EXPECT_EQ(hint.Labels()[1], u"农历:");
  EXPECT_EQ(hint.Labels()[2], u"干支:");
  EXPECT_EQ(hint.Labels()[3], u"节日:");
  EXPECT_EQ(hint.Lines()[1], u" 二零零八年七月初八");
  EXPECT_EQ(hint.Lines()[2], u" 戊子(鼠)年庚申月庚辰日");
  EXPECT_EQ(Utf16ToUtf8(hint.Lines()[0]),
            " 2008年8月8日 " + FormatDateTime("dddd", EncodeDate(2008, 8, 8)) + "  第32周");

  // Over an arrow, the arrow's name; back on the cell, its description again.
  cal.MouseMove(0, cal.PrevYearRect().Left + 1, cal.PrevYearRect().Top + 1);
  EXPECT_EQ(hint.Text(), u"上一年");
  cal.MouseMove(0, cell.Left + 3, cell.Top + 4);
  EXPECT_EQ(hint.Text(), CalendarHintText(cal.FtvList(), EncodeDate(2008, 8, 8), false));
  cal.MouseMove(0, cal.WeekRect().Left + 1, cal.WeekRect().Top + 1);
  EXPECT_FALSE(hint.Visible());
  cal.MouseMove(0, cell.Left + 3, cell.Top + 4);
  EXPECT_TRUE(hint.Visible());
  cal.MouseLeave();
  EXPECT_FALSE(hint.Visible());
  cal.ShowHint = false;
  cal.MouseMove(0, cell.Left + 3, cell.Top + 4);
  EXPECT_FALSE(hint.Visible());
}

TEST(CalendarHint, IsPlacedForItsNewTextSoItStaysOnTheScreen) {
  Calendar c(EncodeDate(2008, 8, 1), 600, 420);
  TYnrCalendar &cal = c.cal;
  TCalendarHint &hint = cal.Hint();
  hint.Screen = {600, 420};
  auto on_screen = [&] {
    return hint.Left >= 0 && hint.Top >= 0 && hint.Left + hint.Width <= 600 &&
           hint.Top + hint.Height <= 420;
  };
  // A short arrow hint, then the long hint of a cell in the last column.
  const TRect arrow = cal.NextYearRect();
  cal.MouseMove(0, arrow.Left + 1, arrow.Top + 1);
  ASSERT_EQ(hint.Text(), u"下一年");
  EXPECT_TRUE(on_screen());
  const TRect cell = cal.DateCellRect(cal.FirstDate() + 20);  // third row, Saturday
  cal.MouseMove(0, cell.Left + 2, cell.Top + 2);
  ASSERT_EQ(hint.Text(), cal.CellHintText(cal.FirstDate() + 20));
  EXPECT_EQ(hint.Left, 600 - hint.Width);
  EXPECT_EQ(hint.Top, cell.Top + 2 + 16);
  EXPECT_TRUE(on_screen());
  // Back on the arrow, the short hint goes by its own width, not by the long one's.
  cal.MouseMove(0, arrow.Left + 1, arrow.Top + 1);
  EXPECT_EQ(hint.Left, std::min(arrow.Left + 1 + 16, 600 - hint.Width));
  EXPECT_EQ(hint.Top, arrow.Top + 1 + 16);
}

TEST(CalendarHint, MeasuresLabelsAndKeepsInsideTheScreen) {
  TCalendarHint hint;
  hint.SetText(u"a= one\r\n\r\nlonger label=two=2\nplain\n");
  ASSERT_EQ(hint.Lines().size(), 3u);  // runs of breaks are one break, none at the end
  EXPECT_EQ(hint.Labels()[1], u"longer label:");
  EXPECT_EQ(hint.Lines()[1], u"two=2");
  EXPECT_EQ(hint.Labels()[2], u"");
  TBitmap probe;
  probe.SetSize(1, 1);
  probe.Canvas().Font = hint.Font();
  EXPECT_EQ(hint.LabelWidth(), probe.Canvas().TextWidth(u"longer label:"));
  EXPECT_EQ(hint.Width, probe.Canvas().TextWidth(u"longer label=two=2") + 10);
  EXPECT_EQ(hint.Height, probe.Canvas().TextHeight(hint.Text()) * 3 + 10);
  EXPECT_TRUE(hint.Visible());
  EXPECT_EQ(hint.Surface().Width(), hint.Width);

  hint.PlaceAtCursor({100, 50}, {1024, 768});
  EXPECT_EQ(hint.Left, 116);
  EXPECT_EQ(hint.Top, 66);
  hint.PlaceAtCursor({1020, 760}, {1024, 768});
  EXPECT_EQ(hint.Left, 1024 - hint.Width);
  EXPECT_EQ(hint.Top, 768 - hint.Height);

  hint.SetText(u"no labels here");
  EXPECT_EQ(hint.LabelWidth(), 0);
  EXPECT_EQ(hint.Labels()[0], u"");
  hint.SetText(u"");
  EXPECT_FALSE(hint.Visible());
}

TEST(CalendarHint, AlphaAcceptsOnlyChangedValuesInRange) {
  TCalendarHint hint;
  EXPECT_EQ(hint.Alpha(), 0);
  hint.SetAlpha(0);
  EXPECT_FALSE(hint.Layered());
  hint.SetAlpha(256);
  hint.SetAlpha(-1);
  EXPECT_EQ(hint.Alpha(), 0);
  hint.SetAlpha(200);
  EXPECT_EQ(hint.Alpha(), 200);
  EXPECT_TRUE(hint.Layered());
}

// --- Painting ---

// Ink of a rectangle: which pixels differ from the background colour.
std::vector<bool> Ink(const TBitmap &bmp, const TRect &r, TColor background) {
  std::vector<bool> ink;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) ink.push_back(bmp.GetPixel(x, y) != background);
  return ink;
}

TEST(CalendarPaint, EveryCellCarriesItsDayNumber) {
  for (bool iso : {false, true}) {
    Calendar c(EncodeDate(2008, 8, 8), 600, 420);
    TYnrCalendar &cal = c.cal;
    cal.SetShowBackMonth(false);
    cal.SetUseISO8601(iso);
    TBitmap bmp;
    Paint(cal, bmp);
    const TColor bg = ColorToRGB(cal.Color());
    const TRect number = cal.NumberRect();

    // The ink of each day number 1..31 drawn alone, centred in the number part.
    std::map<int, std::vector<bool>> glyphs;
    for (int d = 1; d <= 31; ++d) {
      TBitmap ref;
      ref.SetPixelFormat(TPixelFormat::pf24bit);
      ref.SetSize(cal.CellWidth(), cal.CellHeight());
      ref.Canvas().Brush.Color = bg;
      ref.Canvas().FillRect(Rect(0, 0, ref.Width(), ref.Height()));
      ref.Canvas().Font = cal.CalColors().DayTextFont();
      ref.Canvas().SetBkMode(TRANSPARENT);
      ref.Canvas().Brush.Style = TBrushStyle::bsClear;
      const std::u16string text = Utf8ToUtf16(std::to_string(d));
      const TSize e = ref.Canvas().TextExtent(text);
      ref.Canvas().TextOut(number.Left + (number.Width() - e.cx) / 2,
                           number.Top + (number.Height() - e.cy) / 2, text);
      glyphs[d] = Ink(ref, number, bg);
    }
    int checked = 0;
    for (int i = 0; i < 42; ++i) {
      const TDateTime day = cal.FirstDate() + i;
      if (day == cal.Date()) continue;  // highlighted, checked below
      const TRect cell = cal.DateCellRect(day);
      const std::vector<bool> ink = Ink(bmp, OffsetRect(number, cell.Left, cell.Top), bg);
      std::vector<int> matches;
      for (const auto &[d, g] : glyphs)
        if (g == ink) matches.push_back(d);
      int y = 0, m = 0, dd = 0;
      DecodeDate(day, y, m, dd);
      ASSERT_EQ(matches, std::vector<int>{dd}) << "cell " << i << " iso " << iso;
      ++checked;
    }
    EXPECT_EQ(checked, 41);
    const TRect sel = cal.DateCellRect(cal.Date());
    EXPECT_EQ(cal.SelectedRect(), sel);
    EXPECT_EQ(bmp.GetPixel(sel.Left + 1, sel.Top + 1), ColorToRGB(cal.CalColors().HightlightBackColor()));
    EXPECT_EQ(cal.FirstDate(), iso ? EncodeDate(2008, 7, 28) : EncodeDate(2008, 7, 27));
  }
}

TEST(CalendarPaint, TitleWeekRowAndTrailingDaysUseTheirColours) {
  Calendar c(EncodeDate(2008, 8, 8));
  TYnrCalendar &cal = c.cal;
  TBitmap bmp;
  Paint(cal, bmp);
  const TYnrCalColors &cc = cal.CalColors();
  EXPECT_EQ(bmp.GetPixel(1, 1), ColorToRGB(cc.TitleBackColor()));
  std::map<TColor, int> week;
  for (int y = 26; y < 52; ++y)
    for (int x = 0; x < 300; ++x) ++week[bmp.GetPixel(x, y)];
  EXPECT_GT(week[ColorToRGB(cc.WeekBackColor())], 300 * 26 / 2);
  // Week row: Sunday's name in the Sunday colour somewhere in the first column.
  bool red = false;
  for (int y = 26; y < 52 && !red; ++y)
    for (int x = 0; x < 42; ++x) red = red || bmp.GetPixel(x, y) == ColorToRGB(cc.SundayColor());
  EXPECT_TRUE(red);
  // A trailing July day draws in the trailing colour, an August Saturday in the Saturday one.
  auto has = [&](const TRect &r, TColor color) {
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x)
        if (bmp.GetPixel(x, y) == ColorToRGB(color)) return true;
    return false;
  };
  EXPECT_TRUE(has(cal.DateCellRect(EncodeDate(2008, 7, 28)), cc.TrailingTextColor()));
  EXPECT_TRUE(has(cal.DateCellRect(EncodeDate(2008, 8, 2)), cc.SaturdayColor()));
  // A solar term in the lunar column: 立秋 on 2008-08-07.
  const TRect term = OffsetRect(cal.LunarRect(), cal.DateCellRect(EncodeDate(2008, 8, 7)).Left,
                                cal.DateCellRect(EncodeDate(2008, 8, 7)).Top);
  EXPECT_TRUE(has(term, cc.LunarTermColor()));
}

TEST(CalendarPaint, ALongFestivalIsCutWithAnEllipsis) {
  Calendar c(EncodeDate(2008, 10, 1), 600, 420);
  TYnrCalendar &cal = c.cal;
  const TDateTime day = EncodeDate(2008, 10, 1);
  const std::string text = cal.FestivalText(day);
  ASSERT_GT(static_cast<int>(text.size()), cal.MaxFtvBytes());
  TBitmap a, b;
  for (TBitmap *bmp : {&a, &b}) {
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(200, 40);
    bmp->Canvas().Brush.Color = clWhite;
    bmp->Canvas().FillRect(Rect(0, 0, 200, 40));
  }
  const TRect part = Bounds(0, 0, 200, 40);
  cal.DrawFestivalText(a.Canvas(), part, day, true);
  // The same text cut by hand: MaxFtvBytes - 2 bytes, one fewer when they hold an odd number
  // of single-byte characters, and "…", centred at the top.
  std::string kept = text.substr(0, cal.MaxFtvBytes() - 2);
  int singles = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (static_cast<unsigned char>(kept[i]) > 0x80) ++i;
    else ++singles;
  }
  if (singles % 2) kept.pop_back();
  std::u16string cut = ToUtf16(kept, CP_GBK) + u"…";
  EXPECT_EQ(cut.find(u'\uFFFD'), std::u16string::npos);
  TCanvas &cb = b.Canvas();
  cb.Font = cal.CalColors().FtvTextFont();
  cb.Font.Color = cal.GetFestival(day).Color;
  cb.SetBkMode(TRANSPARENT);
  cb.Brush.Style = TBrushStyle::bsClear;
  cb.TextOut((200 - cb.TextWidth(cut)) / 2, 0, cut);
  bool same = true, inked = false;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 200; ++x) {
      same = same && a.GetPixel(x, y) == b.GetPixel(x, y);
      inked = inked || a.GetPixel(x, y) != clWhite;
    }
  EXPECT_TRUE(inked);
  EXPECT_TRUE(same);
}

TEST(CalendarPaint, SmoothTextBlendsGreyEdgesAndBoundaryGridsPaint) {
  for (TDateTime date : {EncodeDate(1900, 1, 15), EncodeDate(2100, 12, 15)}) {
    Calendar c(date, 600, 420);
    TYnrCalendar &cal = c.cal;
    cal.SetSmoothText(true);
    cal.SetShadowFont(true);
    cal.SetChineseEar(true);
    cal.SetShowGrid(true);
    cal.SetShowBorder(true);
    TBitmap bmp;
    Paint(cal, bmp);
    const TRect cell = cal.DateCellRect(date + 1);
    std::map<TColor, int> colours;
    for (int y = cell.Top; y < cell.Bottom; ++y)
      for (int x = cell.Left; x < cell.Right; ++x) ++colours[bmp.GetPixel(x, y)];
    EXPECT_GT(colours.size(), 6u);  // blended edges, not just ink and air
    EXPECT_EQ(bmp.GetPixel(0, 100), ColorToRGB(cal.CalColors().BorderColor()));
  }
}

TEST(CalendarPaint, UpdateAreaRepaintsOnlyTheChangedCells) {
  Calendar c(EncodeDate(2008, 8, 8));
  TYnrCalendar &cal = c.cal;
  cal.SetShowBackMonth(false);
  TBitmap bmp;
  Paint(cal, bmp);
  EXPECT_TRUE(cal.TakeUpdateRect().IsEmpty());
  cal.KeyDown(VK_RIGHT, 0);  // same grid: old and new cell
  const TRect old_cell = cal.DateCellRect(EncodeDate(2008, 8, 8));
  const TRect new_cell = cal.DateCellRect(EncodeDate(2008, 8, 9));
  const TRect expected{std::min(old_cell.Left, new_cell.Left), old_cell.Top,
                       std::max(old_cell.Right, new_cell.Right), old_cell.Bottom};
  EXPECT_EQ(cal.UpdateRect(), expected);
  const TRect painted = cal.PaintUpdate(bmp.Canvas());
  EXPECT_EQ(painted, expected);
  EXPECT_EQ(bmp.GetPixel(new_cell.Left + 1, new_cell.Top + 1),
            ColorToRGB(cal.CalColors().HightlightBackColor()));
  EXPECT_EQ(bmp.GetPixel(old_cell.Left + 1, old_cell.Top + 1), ColorToRGB(cal.Color()));
}

}  // namespace
}  // namespace vx
