#include "lunar/calendar_text.h"

#include <gtest/gtest.h>

#include "lunar/festival.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"
#include "tests/support/locale_names.h"

namespace vx {
namespace {

std::string Utf8(const std::u16string &s) { return Utf16ToUtf8(s); }

TEST(WeekNumber, SundayWeeksAroundTheYearEnd) {
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2006, 1, 1), false), 1);   // a Sunday, ISO week 52
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2005, 1, 2), false), 2);   // a Sunday, ISO week 53
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2008, 12, 28), false), 53); // a Sunday, ISO week 52
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2008, 12, 29), false), 53); // ISO week 1 of 2009
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2005, 1, 1), false), 1);    // a Saturday, ISO week 53
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2008, 8, 8), false), 32);
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2008, 8, 10), false), 33); // Sunday starts a week
}

TEST(WeekNumber, IsoModeGivesTheIsoWeek) {
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2008, 12, 29), true), 1);
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2005, 1, 2), true), 53);
  EXPECT_EQ(CalendarWeekNumber(EncodeDate(2008, 8, 10) + 0.75, true), 32);  // time of day ignored
  EXPECT_EQ(IsoWeeksInYear(2004), 53);
  EXPECT_EQ(IsoWeeksInYear(2008), 52);
  EXPECT_EQ(IsoWeekNumber(EncodeDate(1900, 1, 1)), 1);
  EXPECT_EQ(IsoWeekNumber(EncodeDate(2100, 12, 31)), 52);
}

TEST(EnglishNames, DaysAndMonthsShortAndLong) {
  EXPECT_EQ(EnWeekDayName(0, false), "Sun");
  EXPECT_EQ(EnWeekDayName(5, true), "Friday");
  EXPECT_EQ(EnWeekDayName(7, true), "Sunday");  // n mod 7
  EXPECT_EQ(EnWeekDayName(-1, false), "Sat");
  EXPECT_EQ(EnMonthName(8, true), "August");
  EXPECT_EQ(EnMonthName(12, false), "Dec");
  EXPECT_EQ(EnMonthName(13, true), "");
  EXPECT_EQ(EnMonthName(0, false), "");
}

TEST(HintText, TheOlympicOpeningDay) {
  TFestivalList list;
  std::string text = Utf8(CalendarHintText(list, EncodeDate(2008, 8, 8), false));
  std::string first = "公元= 2008年8月8日 " + FormatDateTime("dddd", EncodeDate(2008, 8, 8)) + "  第32周";
  EXPECT_EQ(text, first + "\n农历= 二零零八年七月初八\n干支= 戊子(鼠)年庚申月庚辰日\n节日= 中国男子节(爸爸节)");
}

TEST(HintText, TheDayNameFollowsTheLocaleAndTheEnglishModeStaysEnglish) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux locale names; the Windows names are checked by Win32Locale in code page 936";
#endif
  TFestivalList list;
  // Under either system code page a Chinese locale's day name reaches the hint whole.
  for (const char *code_page : {"UTF-8", "GBK"}) {
    SetSystemCodePageForTesting(code_page);
    test::ScopedLocaleNames chinese(test::kChineseLocale);
    const std::string text = Utf8(CalendarHintText(list, EncodeDate(2008, 8, 8), false));
    EXPECT_EQ(text.substr(0, text.find('\n')), "公元= 2008年8月8日 星期五  第32周") << code_page;
    EXPECT_EQ(EnWeekDayName(5, true), "Friday");
    EXPECT_EQ(EnMonthName(8, false), "Aug");
  }
  SetSystemCodePageForTesting("");
}

TEST(HintText, FestivalLineOnlyWhenThereIsOne) {
  TFestivalList list;
  std::string text = Utf8(CalendarHintText(list, EncodeDate(2008, 8, 9), false));
  EXPECT_EQ(text.find("节日"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  std::string spring = Utf8(CalendarHintText(list, EncodeDate(2024, 2, 10), true));
  EXPECT_NE(spring.find("\n节日= 春节 国际气象节"), std::string::npos);
  EXPECT_NE(spring.find("第6周"), std::string::npos);
}

TEST(HintText, DaysOutsideTheRangesLeaveValuesEmpty) {
  TFestivalList list;
  std::string text = Utf8(CalendarHintText(list, EncodeDate(1899, 12, 31), false));
  EXPECT_NE(text.find("\n农历= \n干支= "), std::string::npos) << text;
  std::string late = Utf8(CalendarHintText(list, EncodeDate(2101, 1, 1), false));
  EXPECT_NE(late.find("\n农历= \n干支= 庚申"), std::string::npos) << late;
}

TEST(FestivalCut, LongTextsEndInAnEllipsis) {
  auto gbk = [](const char *utf8) { return FromUtf16(Utf8ToUtf16(utf8), CP_GBK); };
  auto utf8 = [](const std::string &g) { return Utf16ToUtf8(ToUtf16(g, CP_GBK)); };
  EXPECT_EQ(utf8(CutFestivalText(gbk("国际劳动节"), 6)), "国际…");
  EXPECT_EQ(utf8(CutFestivalText(gbk("春节"), 6)), "春节");
  EXPECT_EQ(utf8(CutFestivalText(gbk("七夕节"), 6)), "七夕节");  // exactly 6 bytes
  // An odd number of single-byte characters: one byte fewer, no split character.
  EXPECT_EQ(utf8(CutFestivalText(gbk("A国际劳动节"), 6)), "A国…");
  EXPECT_EQ(utf8(CutFestivalText(gbk("AB国际劳动节"), 6)), "AB国…");
  EXPECT_EQ(utf8(CutFestivalText(gbk("国际劳动节"), 1)), "…");
  EXPECT_EQ(utf8(CutFestivalText(gbk("国际劳动节"), -5)), "…");
}

}  // namespace
}  // namespace vx
