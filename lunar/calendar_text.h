#pragma once
// Texts and numbers the month calendar shows that do not depend on its window: week numbers,
// the English day and month names, the hint text of a day, and the cut of a long festival
// text. Calendar texts are code page 936 (GBK) bytes unless they are UTF-16.

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace vx {

class TFestivalList;

// The ISO 8601 week number of a date, and the number of ISO weeks of a year (52 or 53).
int IsoWeekNumber(TDateTime date);
int IsoWeeksInYear(int year);
// The calendar's week number: ISO 8601 with iso, else weeks that start on Sunday.
int CalendarWeekNumber(TDateTime date, bool iso);

// Weekday n mod 7 (0 = Sunday) and month 1..12 (empty otherwise), short or long, in English
// whatever the locale.
std::string EnWeekDayName(int n, bool long_name);
std::string EnMonthName(int month, bool long_name);

// The hint lines of a day, separated by a line feed:
//   公元= 2008年8月8日 星期五  第32周   (the locale's long day name)
//   农历= 二零零八年七月初八
//   干支= 戊子(鼠)年庚申月庚辰日
//   节日= ...            (only when the day has festivals)
// Days outside the lunar range leave the lunar line's value empty; days before 1900 the
// stem-branch line's.
std::u16string CalendarHintText(const TFestivalList &festivals, TDateTime date, bool iso);

// A festival text longer than max_bytes is cut to max_bytes - 2 bytes, never inside a
// two-byte character, and "…" is appended. max_bytes below 2 keeps nothing but "…".
std::string CutFestivalText(std::string_view gbk, int max_bytes);

}  // namespace vx
