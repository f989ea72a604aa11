#pragma once
// Chinese lunisolar calendar for the lunar years 1900..2100: Gregorian to lunar dates, the 24
// solar terms, sexagenary (stem-branch) numbers, and their names as code page 936 (GBK) text.
// Every function depends only on its arguments and the constant tables; TYnrCalendar forwards
// to them. Dates are TDateTime values (days since 1899-12-30, fraction = time of day).

#include <array>
#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace vx {

struct TLunarDate {
  std::int32_t Year = 0;   // named after the Gregorian year in which the lunar year begins
  std::int32_t Month = 0;  // 1..12; a leap month carries the number of the month it follows
  std::int32_t Day = 0;    // 1..30
  bool IsLeap = false;
  friend bool operator==(const TLunarDate &, const TLunarDate &) = default;
};

// Sexagenary indices, not reduced modulo 60: stem = index mod 10, branch = index mod 12.
struct TGanZhiIndex {
  std::int32_t YearIndex = 0;
  std::int32_t MonthIndex = 0;
  std::int32_t DayIndex = 0;
  friend bool operator==(const TGanZhiIndex &, const TGanZhiIndex &) = default;
};

constexpr int kFirstLunarYear = 1900;
constexpr int kLastLunarYear = 2100;
// Conversion range: 1900-01-31 (first day of lunar 1900) up to, not including, 2101-01-01.
constexpr TDateTime kFirstLunarDate = 32.0;
constexpr TDateTime kLunarDateLimit = 73416.0;

// Per lunar year 1900..2100: bits 15..4 = months 1..12 (set: 30 days), bits 3..0 = leap month
// (0 none; 15 = none, and the previous year's leap month has 30 days).
extern const std::array<std::uint16_t, 201> LunarInfo;
// Minute offsets of the solar terms within a tropical year, term 0 (小寒) first.
extern const std::array<std::int32_t, 24> SolarTermInfo;

// Year lengths; a year outside 1900..2100 gives 0.
int LunarYearDays(int year);
int LunarLeapMonth(int year);
int LunarLeapDays(int year);
// 29 or 30 for an ordinary month (months below 2 read month 1's flag); 0 outside 1900..2100.
int LunarMonthDays(int year, int month);

// All fields zero outside [1900-01-31, 2101-01-01) and for NaN; the time of day drops out.
TLunarDate SolarToLunar(TDateTime date);
// The instant of solar term 0..23 of a Gregorian year (no time-zone adjustment); 0.0 for a
// term outside 0..23.
TDateTime SolarTermDate(int year, int term);
// The name of the solar term falling on this date, or empty. Only a whole day can match.
std::string SolarTermName(TDateTime date);
// All zero for Gregorian years before 1900 (and after 9999, and NaN).
TGanZhiIndex DateToGanZhi(TDateTime date);

// Names, as code page 936 bytes.
std::string GanZhiName(int index);        // stem + branch, e.g. 戊子 (negative: reduced mod 60)
std::string ZodiacName(int index);        // e.g. 鼠
std::string LunarYearName(int year);      // 1000..9999, e.g. 二零零八年; empty otherwise
std::string LunarMonthName(int month, bool leap);  // 正月, 闰五月, 腊月; "月" for other months
std::string LunarDayName(int day);        // 初八, 廿三, 三十; empty outside 1..30
// Year, month and day names together (二零零八年七月初八); empty for the zero date that
// SolarToLunar gives outside its range.
std::string LunarDateName(const TLunarDate &date);
std::string ChineseWeekName(int weekday); // 0 = Sunday: 星期日 .. 星期六

namespace lunar_detail {
// Gregorian calendar arithmetic on whole days (the day of a TDateTime is its integer part).
struct YMD {
  int Year = 0, Month = 0, Day = 0;
};
// False for NaN and for dates outside 0001-01-01..9999-12-31.
bool DecodeDay(TDateTime date, YMD &out);
TDateTime EncodeDay(int year, int month, int day);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// 0 = Sunday .. 6 = Saturday.
int WeekDay(TDateTime date);
}  // namespace lunar_detail

}  // namespace vx
