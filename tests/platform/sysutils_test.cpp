#include "platform/sysutils.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/timer.h"
#include "tests/support/locale_names.h"

namespace vx {
namespace {

TEST(DateTime, KnownValuesOfTheFramework) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(2101, 12, 31), 73780.0);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  // Before the epoch the day is negative and the time still counts forward.
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
  EXPECT_EQ(DecodeDateTime(-1.25), (TDateParts{1899, 12, 29, 6, 0, 0, 0}));
}

TEST(DateTime, EveryDayAndManyTimesRoundTripExactly) {
  const int times[][4] = {{0, 0, 0, 0},    {0, 0, 0, 1},     {12, 0, 0, 0},  {23, 59, 59, 999},
                          {6, 30, 15, 500}, {17, 3, 59, 1},  {11, 59, 59, 999}, {1, 2, 3, 4}};
  double expected_date = -363.0;  // 1899-01-01
  int previous_dow = 0;
  for (int y = 1899; y <= 2101; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysInMonth(y, m); ++d) {
        const TDateTime date = EncodeDate(y, m, d);
        ASSERT_EQ(date, expected_date) << y << '-' << m << '-' << d;
        expected_date += 1;
        const int dow = DayOfWeek(date);
        if (previous_dow != 0) {
          ASSERT_EQ(dow, previous_dow % 7 + 1);
        }
        previous_dow = dow;
        for (const auto &t : times) {
          const TDateParts parts{y, m, d, t[0], t[1], t[2], t[3]};
          ASSERT_EQ(DecodeDateTime(EncodeDateTime(parts)), parts);
          ASSERT_EQ(DayOfWeek(EncodeDateTime(parts)), dow);
        }
      }
}

TEST(DateTime, WeekdaysLeapYearsAndBadArguments) {
  EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 8)), 3);  // a Tuesday
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // a Saturday
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 1, 1)), 1);    // a Sunday
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2024, 13), 0);
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  // A value no calendar holds decodes to the epoch rather than overflowing.
  EXPECT_EQ(DecodeDateTime(1e300), TDateParts{});
  EXPECT_EQ(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), TDateParts{});
}

TEST(DateTime, HalfMillisecondsRoundToTheNearest) {
  const TDateTime base = EncodeDateTime({2024, 2, 29, 23, 59, 59, 999});
  EXPECT_EQ(DecodeDateTime(base + 0.4 / 86400000.0).MSec, 999);
  EXPECT_EQ(DecodeDateTime(base + 0.6 / 86400000.0), (TDateParts{2024, 3, 1, 0, 0, 0, 0}));
}

TEST(Formats, CLocaleUsesIso8601) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows takes the formats from the user's locale (tested with the Windows backend)";
#endif
  // The tests run in the C or C.UTF-8 locale.
  EXPECT_EQ(ShortDateFormat(), "yyyy-mm-dd");
  EXPECT_EQ(LongTimeFormat(), "hh:nn:ss");
  const TDateTime t = EncodeDateTime({2026, 1, 5, 7, 8, 9, 45});
  EXPECT_EQ(DateToStr(t), "2026-01-05");
  EXPECT_EQ(TimeToStr(t), "07:08:09");
}

TEST(Formats, FrameworkTokens) {
  SetDateFormatsForTesting("yyyy-mm-dd", "hh:nn:ss");
  const TDateTime t = EncodeDateTime({2026, 1, 5, 19, 8, 9, 45});
  EXPECT_EQ(FormatDateTime("yy/m/d h:n:s.zzz", t), "26/1/5 19:8:9.045");
  EXPECT_EQ(FormatDateTime("hh:mm", t), "19:08");  // m after an hour is minutes
  EXPECT_EQ(FormatDateTime("mm-dd hh", t), "01-05 19");
  EXPECT_EQ(FormatDateTime("dddd d mmmm yyyy", t), "Monday 5 January 2026");
  EXPECT_EQ(FormatDateTime("\"at\" h:nn ampm 'dd'", t), "at 7:08 PM dd");
  EXPECT_EQ(FormatDateTime("c", t), "2026-01-05 19:08:09");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2026, 1, 5)), "2026-01-05");
  EXPECT_EQ(FormatDateTime("YYYY\"unterminated", t), "2026unterminated");
  SetDateFormatsForTesting("", "");
}

TEST(Formats, LocaleFormatsTranslateToFrameworkTokens) {
  EXPECT_EQ(FormatFromStrftime("%d.%m.%Y"), "dd.mm.yyyy");
  EXPECT_EQ(FormatFromStrftime("%m/%d/%y"), "mm/dd/yy");
  EXPECT_EQ(FormatFromStrftime("%r"), "hh:nn:ss ampm");
  EXPECT_EQ(FormatFromStrftime("%I:%M:%S %p"), "hh:nn:ss ampm");
  EXPECT_EQ(FormatFromStrftime("%Y年%m月%d日"), "yyyy年mm月dd日");
  EXPECT_EQ(FormatFromStrftime("%H時%M分%S秒 %Z"), "hh時nn分ss秒 ");
  EXPECT_EQ(FormatFromStrftime("%e de %B de %Y"), "d\" de \"mmmm\" de \"yyyy");
  EXPECT_EQ(FormatFromStrftime("%-d.%-m. %-H:%M%"), "d.m. h:nn%");
  const TDateTime t = EncodeDateTime({2026, 1, 5, 19, 8, 9, 0});
  EXPECT_EQ(FormatDateTime(FormatFromStrftime("%e de %B de %Y"), t), "5 de January de 2026");
  EXPECT_EQ(FormatDateTime(FormatFromStrftime("%r"), t), "07:08:09 PM");
}

TEST(LocaleNames, ComeFromTheNamedLocaleInTheSystemCodePage) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux locale names; the Windows names are checked by Win32Locale in code page 936";
#endif
  const std::string process_locale = std::setlocale(LC_ALL, nullptr);
  const TDateTime friday = EncodeDate(2008, 8, 8);
  const TLocaleNames c = GetLocaleNames("C");
  EXPECT_EQ(c, EnglishLocaleNames());
  EXPECT_EQ(FormatDateTime("ddd|dddd|mmm|mmmm", friday, c), "Fri|Friday|Aug|August");

  SetSystemCodePageForTesting("UTF-8");
  const TLocaleNames zh = GetLocaleNames(test::kChineseLocale);
  ASSERT_NE(zh, EnglishLocaleNames()) << "locale zh_CN.UTF-8 missing: run scripts/setup.sh";
  EXPECT_EQ(FormatDateTime("ddd|dddd|mmm|mmmm", friday, zh), "五|星期五|8月|八月");
  EXPECT_EQ(zh.LongDayNames[0], "星期日");
  EXPECT_EQ(zh.LongMonthNames[11], "十二月");
  // A GBK system code page gets the same names as GBK bytes; one that cannot hold them gets
  // English rather than mangled text.
  SetSystemCodePageForTesting("GBK");
  EXPECT_EQ(ToUtf16(GetLocaleNames(test::kChineseLocale).LongDayNames[5], CP_GBK), u"星期五");
  SetSystemCodePageForTesting("ISO-8859-1");
  EXPECT_EQ(GetLocaleNames(test::kChineseLocale), EnglishLocaleNames());
  SetSystemCodePageForTesting("");
  EXPECT_EQ(GetLocaleNames("xx_NOWHERE.UTF-8"), EnglishLocaleNames());
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), process_locale);
}

TEST(LocaleNames, FormatDateTimeWritesTheUsersNames) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux locale names; the Windows names are checked by Win32Locale in code page 936";
#endif
  const TDateTime friday = EncodeDate(2008, 8, 8);
  SetSystemCodePageForTesting("UTF-8");
  {
    test::ScopedLocaleNames chinese(test::kChineseLocale);
    EXPECT_EQ(FormatDateTime("dddd, d mmmm", friday), "星期五, 8 八月");
    EXPECT_EQ(LocaleNames(), GetLocaleNames(test::kChineseLocale));
  }
  SetSystemCodePageForTesting("");
  // The tests run in the C or C.UTF-8 locale.
  EXPECT_EQ(FormatDateTime("dddd, d mmmm", friday), "Friday, 8 August");
}

TEST(Now, ReadsTheThreadsMessageLoopClock) {
  MessageLoop &loop = MessageLoop::Current();
  auto clock = std::make_shared<ManualClock>(EncodeDateTime({2024, 2, 10, 23, 59, 59, 500}));
  loop.SetClock(clock);
  EXPECT_EQ(DecodeDateTime(Now()), (TDateParts{2024, 2, 10, 23, 59, 59, 500}));
  loop.Advance(600);
  EXPECT_EQ(DecodeDateTime(Now()), (TDateParts{2024, 2, 11, 0, 0, 0, 100}));
  EXPECT_EQ(Date(), EncodeDate(2024, 2, 11));
  loop.SetClock(nullptr);  // back to the real clock
  const int year = DecodeDateTime(Now()).Year;
  EXPECT_GE(year, 2024);
  EXPECT_LE(year, 2101);
}

}  // namespace
}  // namespace vx
