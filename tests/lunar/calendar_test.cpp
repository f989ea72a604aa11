#include "lunar/calendar.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/timer.h"
#include "tests/lunar/gbk.h"

using namespace vx;
using lunar_test::Utf8;

namespace {

TDateTime D(int y, int m, int d) { return lunar_detail::EncodeDay(y, m, d); }

// Every test starts on a manual clock at 2008-08-08 10:30 local time.
class CalendarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLoop::Current().SetClock(std::make_shared<ManualClock>(D(2008, 8, 8) + 0.4375));
  }
  void TearDown() override { MessageLoop::Current().SetClock(std::make_shared<RealClock>()); }
};

// Exposes the layout state the painting code fills in, to check which areas SetDate repaints.
class LaidOutCalendar : public TYnrCalendar {
 public:
  LaidOutCalendar() {
    CreateWnd();
    FCellWidth = 42;
    FCellHeight = 26;
    FTitleRect = Rect(0, 0, 300, 26);
    FWeekRect = Rect(0, 26, 300, 52);
    FDaysRect = Rect(0, 52, 300, 210);
    FSelectedRect = DateCellRect(Date());
    TakeUpdateRect();
  }
  void SetUserSelect(bool v) { FUserSelect = v; }
};

}  // namespace

TEST_F(CalendarTest, InitialState) {
  TYnrCalendar cal;
  EXPECT_EQ(cal.Date(), D(2008, 8, 8));  // today, whole day
  EXPECT_EQ(cal.Year(), 2008);
  EXPECT_EQ(cal.Month(), 8);
  EXPECT_EQ(cal.Day(), 8);
  EXPECT_EQ(cal.FirstDate(), D(2008, 7, 27));
  EXPECT_EQ(cal.Width(), 300);
  EXPECT_EQ(cal.Height(), 210);
  EXPECT_EQ(cal.BorderWidth(), 0);
  EXPECT_TRUE(cal.ShowHint);
  EXPECT_TRUE(cal.TabStop);
  EXPECT_EQ(cal.Font.Name, "宋体");
  EXPECT_EQ(cal.Font.Charset, 134);
  EXPECT_EQ(cal.Color(), clWindow);
  EXPECT_EQ(cal.LunarCalStyle(), csRight);
  EXPECT_EQ(cal.FtvCalStyle(), csBottom);
  EXPECT_EQ(cal.BackImage(), nullptr);
  EXPECT_FALSE(cal.ShowVertical());
  EXPECT_FALSE(cal.ChineseEar());
  EXPECT_FALSE(cal.UseISO8601());
  EXPECT_TRUE(cal.ShowBackMonth());
  EXPECT_FALSE(cal.ShowBackImage());
  EXPECT_TRUE(cal.ShowArrow());
  EXPECT_EQ(cal.VerticalScale(), 4.0);
  EXPECT_EQ(cal.HorizonScale(), 2.5);
  EXPECT_TRUE(cal.AutoFontSize());
  EXPECT_FALSE(cal.ShowBorder());
  EXPECT_FALSE(cal.ShowGrid());
  EXPECT_FALSE(cal.EnWeekName());
  EXPECT_FALSE(cal.SmoothText());
  EXPECT_FALSE(cal.ShadowFont());
  EXPECT_FALSE(cal.Hint().Visible());
  EXPECT_EQ(cal.Hint().Parent(), &cal);
  EXPECT_EQ(cal.FtvList().Calendar(), &cal);
  EXPECT_EQ(cal.FtvList().SolarFestivals().Count(), 99);
  EXPECT_FALSE(cal.HandleAllocated());
}

TEST_F(CalendarTest, TodayOutsideTheYearsIsClamped) {
  MessageLoop::Current().SetClock(std::make_shared<ManualClock>(D(2150, 1, 1)));
  EXPECT_EQ(TYnrCalendar().Date(), D(2100, 12, 31));
  MessageLoop::Current().SetClock(std::make_shared<ManualClock>(D(1850, 1, 1)));
  EXPECT_EQ(TYnrCalendar().Date(), D(1900, 1, 1));
}

TEST_F(CalendarTest, FirstDate) {
  TYnrCalendar cal;
  struct Case {
    TDateTime date;
    bool iso;
    TDateTime first;
  };
  const Case cases[] = {
      {D(2008, 8, 20), false, D(2008, 7, 27)},  // 1 August 2008 is a Friday
      {D(2008, 8, 20), true, D(2008, 7, 28)},
      {D(2008, 6, 15), false, D(2008, 5, 25)},  // 1 June 2008 is a Sunday: second row
      {D(2008, 6, 15), true, D(2008, 5, 26)},
      {D(2008, 9, 3), true, D(2008, 8, 25)},    // 1 September 2008 is a Monday
      {D(1900, 1, 1), false, D(1899, 12, 31)},  // a Monday
      {D(2100, 12, 31), false, D(2100, 11, 28)},
  };
  for (const auto &c : cases) {
    cal.SetUseISO8601(c.iso);
    cal.SetDate(c.date);
    EXPECT_EQ(cal.FirstDate(), c.first) << c.date << (c.iso ? " ISO" : "");
  }
}

TEST_F(CalendarTest, SetDateAcceptsOnlyNewDaysOfTheYears1900To2100) {
  TYnrCalendar cal;
  int changes = 0;
  TYnrCalendar *sender = nullptr;
  cal.OnChange = [&](TYnrCalendar &s) {
    ++changes;
    sender = &s;
  };
  for (TDateTime bad : std::initializer_list<TDateTime>{D(2101, 1, 1), D(1899, 12, 31), D(2008, 8, 8) + 0.625, NAN, INFINITY,
                        -1e300})
    cal.SetDate(bad);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(cal.Date(), D(2008, 8, 8));

  cal.SetDate(D(2100, 12, 31) + 0.99);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(sender, &cal);
  EXPECT_EQ(cal.Date(), D(2100, 12, 31));
  EXPECT_EQ(cal.Year(), 2100);
  cal.SetDate(D(1900, 1, 1));
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(cal.Month(), 1);
  EXPECT_EQ(cal.Day(), 1);
}

TEST_F(CalendarTest, WithoutWindowNothingIsRepainted) {
  TYnrCalendar cal;
  cal.SetShowGrid(true);
  cal.SetLunarCalStyle(csBottom);
  cal.SetDate(D(2009, 1, 1));
  cal.CalColors().SetDayBackColor(0x123456);
  EXPECT_TRUE(cal.UpdateRect().IsEmpty());
  EXPECT_FALSE(cal.LayoutPending());
  EXPECT_EQ(cal.Color(), clWindow);  // recoloured only with a window
}

TEST_F(CalendarTest, SettersRequestRepaintOrLayout) {
  TYnrCalendar cal;
  cal.CreateWnd();
  EXPECT_TRUE(cal.LayoutPending());
  EXPECT_EQ(cal.TakeUpdateRect(), Rect(0, 0, 300, 210));
  EXPECT_TRUE(cal.UpdateRect().IsEmpty());

  cal.SetShowGrid(false);  // unchanged: nothing
  EXPECT_TRUE(cal.UpdateRect().IsEmpty());
  cal.SetShowGrid(true);
  EXPECT_EQ(cal.TakeUpdateRect(), Rect(0, 0, 300, 210));

  cal.SetVerticalScale(0.0005);  // too small: ignored
  cal.SetVerticalScale(NAN);
  EXPECT_EQ(cal.VerticalScale(), 4.0);
  EXPECT_TRUE(cal.UpdateRect().IsEmpty());
  cal.SetVerticalScale(-3.0);
  EXPECT_EQ(cal.VerticalScale(), -3.0);
  EXPECT_FALSE(cal.UpdateRect().IsEmpty());

  cal.CalColors().SetDayBackColor(0x123456);
  EXPECT_EQ(cal.Color(), 0x123456);
  TFont big = cal.CalColors().DayTextFont();
  big.SetSize(30);
  cal.CalColors().SetDayTextFont(big);
  EXPECT_EQ(cal.Font.Size(), 30);

  cal.SetBounds(350, 240);
  EXPECT_EQ(cal.TakeUpdateRect(), Rect(0, 0, 350, 240));
}

TEST_F(CalendarTest, SetDateRepaintsWhatChanged) {
  LaidOutCalendar cal;
  ASSERT_EQ(cal.SelectedRect(), Bounds(5 * 42, 52 + 26, 42, 26));  // 2008-08-08: row 1, Fri
  // Same month, no user selection, no stem-branch title: nothing to repaint.
  cal.SetDate(D(2008, 8, 9));
  EXPECT_TRUE(cal.TakeUpdateRect().IsEmpty());
  // With ChineseEar the title shows the day's stem-branches.
  cal.SetChineseEar(true);
  cal.TakeUpdateRect();
  cal.SetDate(D(2008, 8, 10));
  EXPECT_EQ(cal.TakeUpdateRect(), cal.TitleRect());
  // While the user selects: the old and the new cell (2008-08-12 is a Tuesday in row 2).
  cal.SetUserSelect(true);
  cal.SetDate(D(2008, 8, 12));
  EXPECT_EQ(cal.TakeUpdateRect(), Rect(2 * 42, 52 + 26, 6 * 42, 52 + 3 * 26));
  // Another month: title and days.
  cal.SetDate(D(2008, 9, 12));
  EXPECT_EQ(cal.TakeUpdateRect(), Rect(0, 0, 300, 210));
}

TEST_F(CalendarTest, Colours) {
  TYnrCalendar cal;
  const TYnrCalColors &c = cal.CalColors();
  const TColor expected[] = {clActiveCaption, clWindow, clWindow, clInactiveCaptionText,
                             0x800000,        0x0000FF, 0x000080, clActiveCaption,
                             0xFFFFFF,        0x808080, 0xC0C0C0, 0xFFFFFF};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(c.GetColor(i), expected[i]) << i;
  EXPECT_EQ(c.GetColor(12), clNone);
  EXPECT_EQ(c.TitleTextFont().Name, "Arial Black");
  EXPECT_EQ(c.TitleTextFont().Charset, 134);
  EXPECT_EQ(c.TitleTextFont().Size(), 14);
  EXPECT_EQ(c.TitleTextFont().Style, fsBold);
  EXPECT_EQ(c.WeekTextFont().Color, clActiveCaption);
  EXPECT_EQ(c.DayTextFont().Charset, 1);
  EXPECT_EQ(c.LunarTextFont().Size(), 8);
  EXPECT_EQ(c.FtvTextFont().Color, 0x0000FF);
  EXPECT_EQ(c.BackMonthTextFont().Name, "Times New Roman");
  EXPECT_EQ(c.BackMonthTextFont().Size(), 240);
  EXPECT_EQ(c.BackMonthTextFont().Style, fsBold | fsItalic);
}

TEST_F(CalendarTest, ColoursAssignCopiesOnlyItsShare) {
  TYnrCalendar a, b;
  TYnrCalColors &src = b.CalColors();
  for (int i = 0; i < 12; ++i) src.SetColor(i, 0x010101 * (i + 1));
  for (int i = 0; i < 6; ++i) {
    TFont f = src.GetFont(i);
    f.Name = "Face" + std::to_string(i);
    src.SetFont(i, f);
  }
  a.SetCalColors(src);
  const TYnrCalColors &dst = a.CalColors();
  const TYnrCalColors fresh;
  for (int i = 0; i < 12; ++i) {
    const bool copied = i != TYnrCalColors::ciWeekBack && i != TYnrCalColors::ciArrow;
    EXPECT_EQ(dst.GetColor(i), copied ? src.GetColor(i) : fresh.GetColor(i)) << i;
  }
  for (int i = 0; i < 6; ++i) {
    const bool copied = i == TYnrCalColors::fiDayText || i == TYnrCalColors::fiTitleText ||
                        i == TYnrCalColors::fiBackMonthText;
    EXPECT_EQ(dst.GetFont(i).Name, copied ? src.GetFont(i).Name : fresh.GetFont(i).Name) << i;
  }
}

TEST_F(CalendarTest, LunarAndFestivalOperations) {
  TYnrCalendar cal;
  const TLunarDate d = cal.SolarToLunar(cal.Date());
  EXPECT_EQ(Utf8(cal.LunarYearName(d.Year) + cal.LunarMonthName(d.Month, d.IsLeap) +
                 cal.LunarDayName(d.Day)),
            "二零零八年七月初八");
  EXPECT_EQ(Utf8(cal.FestivalText(D(2024, 2, 10))), "春节 国际气象节");
  EXPECT_EQ(cal.FestivalMarkColor(D(2024, 2, 10)), -1);
  cal.FtvList().SolarMarks().AddObject("0210", 0xABCDEF);
  EXPECT_EQ(cal.FestivalMarkColor(D(2024, 2, 10)), 0xABCDEF);

  TYnrCalendar other;
  ASSERT_TRUE(other.FtvList().AddFestival(fkSolar, "0809", 0x42, "x"));
  cal.SetFtvList(other.FtvList());
  EXPECT_EQ(cal.GetFestival(D(2008, 8, 9)), (TFestival{"x", 0x42}));
  EXPECT_EQ(cal.FestivalMarkColor(D(2024, 2, 10)), -1);
}
