#include "lunar/lunardate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/lunar/gbk.h"

using namespace vx;
using lunar_test::Utf8;

namespace {

TDateTime D(int y, int m, int d) { return lunar_detail::EncodeDay(y, m, d); }

// The conversion as a plain walk over the years and months from 1900, kept here as the
// reference the table-driven conversion must agree with on every day.
TLunarDate WalkFrom1900(TDateTime x) {
  if (x < 32.0 || x >= 73416.0) return {};
  int n = static_cast<int>(std::fabs(x - 32.0));
  int y = 1900, last = 0;
  while (n > 0) {
    last = LunarYearDays(y);
    n -= last;
    ++y;
  }
  if (n < 0) {
    n += last;
    --y;
  }
  TLunarDate r;
  const int leap = LunarLeapMonth(y);
  int m = 0;
  while (n >= 0) {
    ++m;
    last = LunarMonthDays(y, m);
    n -= last;
    if (n >= 0 && m == leap) {
      last = LunarLeapDays(y);
      n -= last;
      if (n < 0) r.IsLeap = true;
    }
  }
  if (n < 0) n += last;
  r.Year = y;
  r.Month = m;
  r.Day = n + 1;
  return r;
}

}  // namespace

TEST(GregorianDays, KnownSerials) {
  EXPECT_EQ(D(1899, 12, 30), 0.0);
  EXPECT_EQ(D(1900, 1, 1), 2.0);
  EXPECT_EQ(D(1900, 1, 31), 32.0);
  EXPECT_EQ(D(2101, 1, 1), 73416.0);
  EXPECT_EQ(D(2100, 12, 31), 73415.0);
  EXPECT_EQ(D(2008, 8, 8), 39668.0);
  lunar_detail::YMD ymd;
  ASSERT_TRUE(lunar_detail::DecodeDay(39668.75, ymd));
  EXPECT_EQ(ymd.Year, 2008);
  EXPECT_EQ(ymd.Month, 8);
  EXPECT_EQ(ymd.Day, 8);
  EXPECT_FALSE(lunar_detail::DecodeDay(NAN, ymd));
  EXPECT_FALSE(lunar_detail::DecodeDay(1e12, ymd));
  EXPECT_EQ(lunar_detail::WeekDay(D(2008, 8, 8)), 5);  // a Friday
  EXPECT_EQ(lunar_detail::WeekDay(D(2008, 10, 1)), 3);  // a Wednesday
  EXPECT_EQ(lunar_detail::WeekDay(D(1899, 12, 31)), 0);
}

TEST(LunarTable, YearAndMonthLengths) {
  EXPECT_EQ(LunarLeapMonth(2009), 5);
  EXPECT_EQ(LunarLeapDays(2009), 29);
  EXPECT_EQ(LunarLeapMonth(2017), 6);
  EXPECT_EQ(LunarLeapDays(2017), 30);  // flagged by the 0xF nibble of 2018
  EXPECT_EQ(LunarLeapMonth(2018), 0);  // 0xF means no leap month
  EXPECT_EQ(LunarLeapDays(2018), 0);
  EXPECT_EQ(LunarLeapMonth(2033), 11);
  EXPECT_EQ(LunarMonthDays(1900, 1), 29);  // 0x4BD8: bit 15 clear
  EXPECT_EQ(LunarMonthDays(1900, 2), 30);
  EXPECT_EQ(LunarMonthDays(1900, 0), 29);  // months below 2 read month 1
  EXPECT_EQ(LunarYearDays(2008), 354);
  EXPECT_EQ(LunarYearDays(2009), 384);
  // Outside the table nothing is read.
  EXPECT_EQ(LunarYearDays(1899), 0);
  EXPECT_EQ(LunarYearDays(2101), 0);
  EXPECT_EQ(LunarMonthDays(2101, 1), 0);
  EXPECT_EQ(LunarLeapMonth(-5), 0);
  // No two consecutive years both have a leap month.
  for (int y = 1900; y < 2100; ++y)
    EXPECT_FALSE(LunarLeapMonth(y) != 0 && LunarLeapMonth(y + 1) != 0) << y;
}

struct LunarCase {
  TDateTime date;
  TLunarDate lunar;
};

TEST(SolarToLunar, EdgeCases) {
  const LunarCase cases[] = {
      {32.0, {1900, 1, 1, false}},
      {31.0, {}},
      {-1.0, {}},
      {73416.0, {}},
      {80000.0, {}},
      {73415.0, {2100, 12, 1, false}},
      {D(2008, 8, 8), {2008, 7, 8, false}},
      {D(2008, 8, 8) + 0.5, {2008, 7, 8, false}},  // a time of day changes nothing
      {D(2008, 8, 8) + 0.999, {2008, 7, 8, false}},
      {D(2009, 6, 23), {2009, 5, 1, true}},
      {D(2009, 7, 22), {2009, 6, 1, false}},
      {D(2017, 8, 21), {2017, 6, 30, true}},
      {D(2033, 12, 22), {2033, 11, 1, true}},
      {D(2024, 2, 9), {2023, 12, 30, false}},
      {D(2024, 2, 10), {2024, 1, 1, false}},
      // Spring Festivals and other well-known days.
      {D(2000, 2, 5), {2000, 1, 1, false}},
      {D(2008, 2, 7), {2008, 1, 1, false}},
      {D(2010, 2, 14), {2010, 1, 1, false}},
      {D(2019, 2, 5), {2019, 1, 1, false}},
      {D(2020, 1, 25), {2020, 1, 1, false}},
      {D(2022, 2, 1), {2022, 1, 1, false}},
      {D(2023, 1, 22), {2023, 1, 1, false}},
      {D(2008, 9, 14), {2008, 8, 15, false}},  // Mid-Autumn 2008
      {D(2021, 9, 21), {2021, 8, 15, false}},  // Mid-Autumn 2021
      {D(2020, 5, 23), {2020, 4, 1, true}},    // 2020 had a leap fourth month
  };
  for (const auto &c : cases) {
    const TLunarDate got = SolarToLunar(c.date);
    EXPECT_EQ(got, c.lunar) << "date " << c.date << ": " << got.Year << "-" << got.Month << "-"
                            << got.Day << (got.IsLeap ? " leap" : "");
  }
  EXPECT_EQ(SolarToLunar(NAN), TLunarDate{});
  EXPECT_EQ(SolarToLunar(INFINITY), TLunarDate{});
}

TEST(SolarToLunar, WholeRangeProperties) {
  TLunarDate prev = SolarToLunar(32.0);
  int month_length = 1;
  int year_days = 1;
  for (TDateTime x = 33.0; x <= 73415.0; x += 1.0) {
    const TLunarDate cur = SolarToLunar(x);
    ASSERT_GE(cur.Year, 1900);
    ASSERT_GE(cur.Month, 1);
    ASSERT_LE(cur.Month, 12);
    if (cur.Day == prev.Day + 1) {
      ASSERT_EQ(cur.Month, prev.Month) << x;
      ASSERT_EQ(cur.IsLeap, prev.IsLeap) << x;
      ASSERT_EQ(cur.Year, prev.Year) << x;
      ++month_length;
    } else {
      // A new month starts on day 1: the next number, or the leap month after its namesake.
      ASSERT_EQ(cur.Day, 1) << x;
      ASSERT_TRUE(month_length == 29 || month_length == 30) << x;
      if (cur.IsLeap) {
        ASSERT_EQ(cur.Month, prev.Month) << x;
        ASSERT_EQ(cur.Month, LunarLeapMonth(cur.Year)) << x;
        ASSERT_EQ(month_length, LunarMonthDays(cur.Year, cur.Month)) << x;
      } else if (prev.IsLeap) {
        ASSERT_EQ(month_length, LunarLeapDays(prev.Year)) << x;
      } else {
        ASSERT_EQ(month_length, LunarMonthDays(prev.Year, prev.Month)) << x;
      }
      if (cur.IsLeap) {
        ASSERT_FALSE(prev.IsLeap) << x;
      } else if (cur.Month == 1) {
        ASSERT_EQ(cur.Year, prev.Year + 1) << x;
        ASSERT_EQ(prev.Month, 12) << x;
        ASSERT_EQ(year_days, LunarYearDays(prev.Year)) << prev.Year;
        year_days = 0;
      } else {
        ASSERT_EQ(cur.Month, prev.Month + 1) << x;
        ASSERT_EQ(cur.Year, prev.Year) << x;
      }
      month_length = 1;
    }
    ++year_days;
    prev = cur;
  }
  EXPECT_EQ(prev, (TLunarDate{2100, 12, 1, false}));
}

TEST(SolarToLunar, AgreesWithWalkFrom1900OnEveryDay) {
  for (TDateTime x = 31.0; x <= 73417.0; x += 1.0) {
    ASSERT_EQ(SolarToLunar(x), WalkFrom1900(x)) << x;
    ASSERT_EQ(SolarToLunar(x + 0.75), WalkFrom1900(x)) << x;
  }
}

TEST(SolarTerms, Dates) {
  // 1900-01-06 02:05:00 exactly.
  EXPECT_DOUBLE_EQ(SolarTermDate(1900, 0), 7.0 + 7500.0 / 86400.0);
  // 立春 2008: 2008-02-04 17:38:45 (and a fraction of a second).
  const TDateTime lichun = SolarTermDate(2008, 2);
  EXPECT_EQ(std::trunc(lichun), D(2008, 2, 4));
  const double seconds = (lichun - D(2008, 2, 4)) * 86400.0;
  EXPECT_GE(seconds, 17 * 3600 + 38 * 60 + 45);
  EXPECT_LT(seconds, 17 * 3600 + 38 * 60 + 46);
  EXPECT_EQ(SolarTermDate(2008, -1), 0.0);
  EXPECT_EQ(SolarTermDate(2008, 24), 0.0);
  EXPECT_TRUE(std::isfinite(SolarTermDate(INT32_MIN, 0)));  // no integer overflow
  EXPECT_TRUE(std::isfinite(SolarTermDate(INT32_MAX, 23)));
}

TEST(SolarTerms, Names) {
  struct Case {
    TDateTime date;
    const char *name;
  };
  const Case cases[] = {
      {D(2008, 2, 4), "立春"},  {D(2008, 2, 5), ""},         {D(2008, 2, 4) + 0.5, ""},
      {D(2008, 4, 4), "清明"},  {D(2008, 12, 21), "冬至"},   {D(1900, 1, 6), "小寒"},
      {D(2008, 8, 7), "立秋"},  {D(2008, 6, 21), "夏至"},
  };
  for (const auto &c : cases) EXPECT_EQ(Utf8(SolarTermName(c.date)), c.name) << c.date;
  EXPECT_EQ(SolarTermName(NAN), "");
  // Every Gregorian month of the range has its two terms, in order.
  for (int y = 1900; y <= 2100; ++y) {
    for (int m = 1; m <= 12; ++m) {
      const TDateTime a = SolarTermDate(y, 2 * m - 2), b = SolarTermDate(y, 2 * m - 1);
      lunar_detail::YMD da, db;
      ASSERT_TRUE(lunar_detail::DecodeDay(a, da));
      ASSERT_TRUE(lunar_detail::DecodeDay(b, db));
      ASSERT_EQ(da.Month, m) << y;
      ASSERT_EQ(db.Month, m) << y;
      ASSERT_LT(a, b);
      ASSERT_FALSE(SolarTermName(std::trunc(a)).empty());
    }
  }
}

TEST(GanZhi, Indices) {
  struct Case {
    TDateTime date;
    TGanZhiIndex index;
    const char *names;  // year, month and day stem-branches
  };
  const Case cases[] = {
      {D(2008, 8, 8), {144, 1316, 39676}, "戊子庚申庚辰"},
      {D(2008, 8, 8) + 0.9, {144, 1316, 39676}, "戊子庚申庚辰"},
      {D(2024, 2, 10), {160, 1502, 45340}, "甲辰丙寅甲辰"},
      // Before the instant of 立春 the year is still 丁亥, the month already 甲寅.
      {D(2008, 2, 4), {143, 1310, 39490}, "丁亥甲寅甲戌"},
      {D(2008, 2, 4) + 0.75, {144, 1310, 39490}, "戊子甲寅甲戌"},
      {D(2008, 2, 3), {143, 1309, 39489}, "丁亥癸丑癸酉"},
      {D(1900, 1, 1), {35, 12, 10}, "己亥丙子甲戌"},
      {D(1899, 12, 31), {}, "甲子甲子甲子"},  // before 1900 nothing is filled
  };
  for (const auto &c : cases) {
    const TGanZhiIndex g = DateToGanZhi(c.date);
    EXPECT_EQ(g, c.index) << c.date << ": " << g.YearIndex << " " << g.MonthIndex << " "
                          << g.DayIndex;
    EXPECT_EQ(Utf8(GanZhiName(g.YearIndex) + GanZhiName(g.MonthIndex) + GanZhiName(g.DayIndex)),
              c.names);
  }
  EXPECT_EQ(DateToGanZhi(NAN), TGanZhiIndex{});
  EXPECT_EQ(DateToGanZhi(1e9), TGanZhiIndex{});
}

TEST(Names, GanZhiAndZodiac) {
  EXPECT_EQ(Utf8(GanZhiName(0)), "甲子");
  EXPECT_EQ(Utf8(GanZhiName(59)), "癸亥");
  EXPECT_EQ(Utf8(GanZhiName(60)), "甲子");
  EXPECT_EQ(Utf8(GanZhiName(-1)), "癸亥");  // negative indices wrap instead of reading outside
  EXPECT_EQ(Utf8(ZodiacName(144)), "鼠");
  EXPECT_EQ(Utf8(ZodiacName(160)), "龙");
  EXPECT_EQ(Utf8(ZodiacName(-1)), "猪");
  // The sixty pairs are all different.
  for (int i = 0; i < 60; ++i)
    for (int j = i + 1; j < 60; ++j) ASSERT_NE(GanZhiName(i), GanZhiName(j));
}

TEST(Names, Years) {
  const std::pair<int, const char *> cases[] = {
      {2008, "二零零八年"}, {2010, "二零一零年"}, {1900, "一九零零年"}, {1985, "一九八五年"},
      {2100, "二一零零年"}, {1000, "一零零零年"}, {9999, "九九九九年"}, {2024, "二零二四年"},
      {999, ""},           {10000, ""},         {-2008, ""},
  };
  for (const auto &[year, name] : cases) EXPECT_EQ(Utf8(LunarYearName(year)), name) << year;
}

TEST(Names, MonthsDaysAndWeekdays) {
  const std::tuple<int, bool, const char *> months[] = {
      {1, false, "正月"},  {2, false, "二月"},  {7, false, "七月"},   {10, false, "十月"},
      {11, false, "十一月"}, {12, false, "腊月"}, {4, true, "闰四月"}, {5, true, "闰五月"},
      {11, true, "闰十一月"}, {0, false, "月"},  {13, false, "月"},    {0, true, "闰月"},
  };
  for (const auto &[m, leap, name] : months) EXPECT_EQ(Utf8(LunarMonthName(m, leap)), name) << m;

  const std::pair<int, const char *> days[] = {
      {1, "初一"},  {8, "初八"},  {10, "初十"}, {11, "十一"}, {19, "十九"}, {20, "二十"},
      {21, "廿一"}, {23, "廿三"}, {29, "廿九"}, {30, "三十"}, {31, ""},     {0, ""}, {-3, ""},
  };
  for (const auto &[d, name] : days) EXPECT_EQ(Utf8(LunarDayName(d)), name) << d;

  const char *weeks[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Utf8(ChineseWeekName(i)), weeks[i]);
  EXPECT_EQ(Utf8(ChineseWeekName(8)), "星期一");
  EXPECT_EQ(Utf8(ChineseWeekName(-1)), "星期六");
}
