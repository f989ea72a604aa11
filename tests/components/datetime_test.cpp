#include "components/datetime.h"

#include <gtest/gtest.h>

#include "engine/osd.h"
#include "lunar/calendar.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"
#include "tests/support/frame_probe.h"

namespace vx {
namespace {

using test::InkBounds;
using test::U16;

// The clock on a manual clock that starts at a given local date-time, in the C locale's
// formats (yyyy-mm-dd, hh:nn:ss) and a UTF-8 system code page.
class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDateFormatsForTesting("yyyy-mm-dd", "hh:nn:ss");
    SetSystemCodePageForTesting("UTF-8");
    At(2008, 8, 8, 10, 30, 0);
  }
  void TearDown() override {
    SetSystemCodePageForTesting("");
    SetDateFormatsForTesting("", "");
    MessageLoop::Current().SetClock(std::make_shared<RealClock>());
  }
  // Replaces the clock; create components afterwards (timers bind to the current clock).
  void At(int y, int mo, int d, int h, int mi, int s) {
    MessageLoop::Current().SetClock(
        std::make_shared<ManualClock>(EncodeDateTime({y, mo, d, h, mi, s, 0})));
  }
  void Advance(int ms) { MessageLoop::Current().Advance(ms); }
  static std::string Utf8(const std::u16string &s) { return Utf16ToUtf8(s); }
};

TEST_F(ClockTest, TextModesOn2008_08_08) {
  TOSDDateTime clock;
  ASSERT_EQ(DayOfWeek(Now()), 6);  // 2008-08-08 is a Friday (DayOfWeek: 1 = Sunday)
  const std::pair<int, const char *> modes[] = {
      {1, "2008-08-08 10:30:00"},
      {2, "2008-08-08"},
      {3, "10:30:00"},
      {4, "2008-08-08\n\r10:30:00"},
      {5, "2008-08-08\n\r10:30:00\n\rweek:5"},
      {6, "二零零八年七月初八\n\r2008-08-08\n\r10:30:00"},
      {7, "二零零八年七月初八"},
      {8, "二零零八年七月初八\n\r10:30:00"},
      {9, "二零零八年七月初八\n\r中国男子节(爸爸节)"},
      {10, "二零零八年七月初八\n\r中国男子节(爸爸节)\n\r10:30:00"},
      {11, "二零零八年七月初八\n\r中国男子节(爸爸节)\n\r2008-08-08\n\r10:30:00\n\rweek:5"},
  };
  for (const auto &[mode, expected] : modes) EXPECT_EQ(Utf8(clock.BuildText(mode)), expected) << mode;
}

TEST_F(ClockTest, WeekdayNumberOnAWednesday) {
  At(2008, 10, 1, 8, 0, 0);
  TOSDDateTime clock;
  EXPECT_EQ(Utf8(clock.BuildText(5)), "2008-10-01\n\r08:00:00\n\rweek:3");
  At(2008, 10, 5, 8, 0, 0);  // a Sunday counts 0
  EXPECT_EQ(Utf8(clock.BuildText(5)).substr(22), "week:0");
}

TEST_F(ClockTest, FestivalModesOnSpringFestival2024) {
  At(2024, 2, 10, 0, 0, 0);  // a Saturday, at midnight
  TOSDDateTime clock;
  EXPECT_EQ(Utf8(clock.BuildText(9)), "二零二四年正月初一\n\r春节 国际气象节");
  EXPECT_EQ(Utf8(clock.BuildText(10)), "二零二四年正月初一\n\r春节 国际气象节\n\r00:00:00");
  EXPECT_EQ(Utf8(clock.BuildText(11)),
            "二零二四年正月初一\n\r春节 国际气象节\n\r2024-02-10\n\r00:00:00\n\rweek:6");
  // At midnight "Now" is the date alone.
  EXPECT_EQ(Utf8(clock.BuildText(1)), "2024-02-10");
  Advance(1000);
  EXPECT_EQ(Utf8(clock.BuildText(1)), "2024-02-10 00:00:01");
}

TEST_F(ClockTest, FestivalModeWithoutFestivalEndsWithSeparator) {
  At(2008, 8, 9, 12, 0, 0);
  TOSDDateTime clock;
  EXPECT_EQ(Utf8(clock.BuildText(9)), "二零零八年七月初九\n\r");
}

TEST_F(ClockTest, LunarNamesReadAsCodePage936WhateverTheSystemCodePage) {
  for (const char *system : {"UTF-8", "GBK", "ISO-8859-1"}) {
    SetSystemCodePageForTesting(system);
    TOSDDateTime clock;
    EXPECT_EQ(Utf8(clock.BuildText(8)), "二零零八年七月初八\n\r10:30:00") << system;
  }
}

TEST_F(ClockTest, OtherModesKeepThePreviousText) {
  TOSDDateTime clock;
  clock.textmode = 12;
  clock.SetVisible(true);
  EXPECT_TRUE(clock.text.empty());
  EXPECT_EQ(clock.Width(), 0);  // nothing drawn
  EXPECT_TRUE(clock.clocktimer().Enabled());  // but the timer runs
  clock.textmode = 3;
  clock.SetVisible(true);
  clock.textmode = 0;
  Advance(1000);
  EXPECT_EQ(Utf8(clock.text), "10:30:00");
}

TEST_F(ClockTest, FreshClockIsHiddenWithItsTimerStopped) {
  TOSDDateTime clock;
  EXPECT_FALSE(clock.visible);
  EXPECT_EQ(clock.bkcolor, 0);
  EXPECT_EQ(clock.showtime, 0);
  EXPECT_EQ(clock.textmode, 0);
  EXPECT_FALSE(clock.clocktimer().Enabled());
  EXPECT_EQ(clock.clocktimer().Interval(), 1000u);
  Advance(5000);
  EXPECT_TRUE(clock.text.empty());
}

TEST_F(ClockTest, RedrawsEverySecond) {
  TOSDDateTime clock;
  clock.textmode = 3;
  clock.SetVisible(true);
  EXPECT_EQ(Utf8(clock.text), "10:30:00");
  Advance(999);
  EXPECT_EQ(Utf8(clock.text), "10:30:00");
  Advance(1);
  EXPECT_EQ(Utf8(clock.text), "10:30:01");
  Advance(59000);
  EXPECT_EQ(Utf8(clock.text), "10:31:00");
  EXPECT_EQ(clock.tickcount, 60);
}

TEST_F(ClockTest, ShowtimeInSeconds) {
  TOSDDateTime clock;
  clock.SetShowtime(999);
  EXPECT_EQ(clock.showtime, 0);
  clock.tickcount = 7;
  clock.SetShowtime(1500);
  EXPECT_EQ(clock.showtime, 1);
  EXPECT_EQ(clock.tickcount, 0);

  // 1500 ms: the first tick hides the clock.
  clock.textmode = 3;
  clock.SetVisible(true);
  Advance(1000);
  EXPECT_FALSE(clock.visible);
  EXPECT_FALSE(clock.clocktimer().Enabled());
  EXPECT_EQ(clock.tickcount, 0);
  EXPECT_EQ(Utf8(clock.text), "10:30:00");

  // 3 s: two redraws, the third tick hides.
  clock.SetShowtime(3000);
  clock.SetVisible(true);
  Advance(2000);
  EXPECT_TRUE(clock.visible);
  EXPECT_EQ(Utf8(clock.text), "10:30:03");
  Advance(1000);
  EXPECT_FALSE(clock.visible);
}

TEST_F(ClockTest, HiddenClockOnlyCountsTicks) {
  TOSDDateTime clock;
  clock.textmode = 3;
  clock.SetShowtime(5000);
  clock.SetVisible(true);
  clock.SetVisible(false);  // draws nothing, leaves the timer running
  EXPECT_TRUE(clock.clocktimer().Enabled());
  Advance(4000);
  EXPECT_EQ(clock.tickcount, 4);
  EXPECT_EQ(Utf8(clock.text), "10:30:00");
  Advance(1000);  // the 5th tick stops the timer
  EXPECT_FALSE(clock.clocktimer().Enabled());
  EXPECT_EQ(clock.tickcount, 0);
  // Showing again does not reset the count; with showtime 0 the timer runs on.
  clock.SetShowtime(0);
  clock.SetVisible(true);
  clock.SetVisible(false);
  Advance(10000);
  EXPECT_TRUE(clock.clocktimer().Enabled());
  EXPECT_EQ(clock.tickcount, 10);
}

TEST_F(ClockTest, DatesBeyondTheCalendarKeepTheLastLunarDay) {
  At(2100, 12, 31, 23, 59, 59);
  TOSDDateTime clock;
  clock.textmode = 6;
  clock.SetVisible(true);
  EXPECT_EQ(Utf8(clock.text), "二一零零年腊月初一\n\r2100-12-31\n\r23:59:59");
  Advance(1000);
  EXPECT_EQ(Utf8(clock.text), "二一零零年腊月初一\n\r2101-01-01\n\r00:00:00");
  EXPECT_EQ(clock.calendar().Date(), EncodeDate(2100, 12, 31));
}

TEST_F(ClockTest, BeforeTheLunarTableStartsTheLunarLineIsEmpty) {
  At(1900, 1, 1, 12, 0, 0);
  TOSDDateTime clock;
  EXPECT_EQ(Utf8(clock.BuildText(7)), "");
  At(1900, 1, 30, 23, 59, 59);
  EXPECT_EQ(Utf8(clock.BuildText(6)), "\n\r1900-01-30\n\r23:59:59");
  EXPECT_EQ(Utf8(clock.BuildText(9)), "\n\r除夕");  // the eve of lunar 1900
  Advance(1000);  // 1900-01-31, the table's first day
  EXPECT_EQ(Utf8(clock.BuildText(7)), "一九零零年正月初一");
}

TEST_F(ClockTest, DrawsCentredLinesOverItsBackground) {
  TOSDDateTime clock;
  clock.Canvas().Font.Name = "Arial";
  clock.Canvas().Font.SetSize(12);
  clock.Canvas().Font.Color = clWhite;
  clock.SetColor(clBlue, 255);
  clock.textmode = 4;  // "2008-08-08" over "10:30:00"
  clock.SetVisible(true);

  TRect one{0, 0, 0, 0};
  clock.Canvas().DrawText(u"2008-08-08", one, DT_CALCRECT);
  ASSERT_GT(one.Height(), 0);
  EXPECT_EQ(clock.Width(), one.Width());  // the wider line
  EXPECT_EQ(clock.Height(), 2 * one.Height());

  const int blue = TOSDGraphic::NearestPaletteIndex(clBlue);
  const int white = TOSDGraphic::NearestPaletteIndex(clWhite);
  EXPECT_EQ(test::IndexAt(clock, 0, 0), blue);
  EXPECT_EQ(test::IndexAt(clock, clock.Width() - 1, clock.Height() - 1), blue);
  const auto histogram = test::Histogram(clock);
  ASSERT_EQ(histogram.size(), 2u);  // background and ink only
  EXPECT_GT(histogram.at(white), 0);

  // The second line is narrower and centred: equal margins, give or take a pixel.
  TOSDGraphic second;
  second.SetSize(clock.Width(), one.Height());
  for (int y = 0; y < one.Height(); ++y)
    for (int x = 0; x < clock.Width(); ++x)
      second.ScanLine(y)[x] = clock.ScanLine(one.Height() + y)[x];
  const TRect ink = InkBounds(second, blue);
  ASSERT_FALSE(ink.IsEmpty());
  EXPECT_GT(ink.Left, 0);
  EXPECT_NEAR(ink.Left, clock.Width() - ink.Right, 2);
}

TEST_F(ClockTest, EngineRows) {
  TOSD osd;
  ASSERT_TRUE(osd.AddComponent("clock", eOSDDateTime));
  auto *clock = dynamic_cast<TOSDDateTime *>(osd.Registry().Find("clock"));
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->mode, eOSDDateTime);
  EXPECT_TRUE(osd.SetComponent_TextMode("clock", 7));
  EXPECT_EQ(clock->textmode, 7);
  EXPECT_TRUE(clock->text.empty());  // no redraw
  EXPECT_TRUE(osd.SetComponent_Time("clock", 2500));
  EXPECT_EQ(clock->showtime, 2);
  EXPECT_TRUE(osd.SetComponent_Color("clock", clRed, 99));
  EXPECT_EQ(clock->bkcolor, clRed);
  EXPECT_EQ(clock->bklevel, 99);
  EXPECT_FALSE(osd.SetComponent_Text("clock", u"x"));
  EXPECT_FALSE(osd.SetComponent_TextStep("clock", 3));
  EXPECT_FALSE(osd.SetComponent_RandomColor("clock", {1, 2, 3, 4, 5}));
  EXPECT_TRUE(osd.SetComponent_Font("clock", u"宋体", clWhite, 16));
  EXPECT_TRUE(osd.SetComponent_Visible("clock", false, true));
  EXPECT_EQ(Utf8(clock->text), "二零零八年七月初八");
  EXPECT_GT(clock->Width(), 0);
  Advance(2000);
  EXPECT_FALSE(clock->visible);
  // Deleting the component stops its timer with it.
  EXPECT_TRUE(osd.SetComponent_Visible("clock", false, true));
  EXPECT_TRUE(osd.DelComponent("clock"));
  Advance(5000);
}

}  // namespace
}  // namespace vx
