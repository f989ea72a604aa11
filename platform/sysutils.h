#pragma once
// Dates, times and the locale's formats, in the framework's TDateTime (days since
// 1899-12-30, fraction = time of day).

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace vx {

struct TDateParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
  friend bool operator==(const TDateParts &, const TDateParts &) = default;
};

// Exact over 1899..2101 (milliseconds round to the nearest).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
TDateTime EncodeDateTime(const TDateParts &parts);
TDateParts DecodeDateTime(TDateTime value);
void DecodeDate(TDateTime value, int &year, int &month, int &day);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// 1 = Sunday .. 7 = Saturday, as the framework's DayOfWeek.
int DayOfWeek(TDateTime value);

// The current local date-time from the calling thread's message-loop clock (so a manual
// clock sets "now" in tests).
TDateTime Now();
TDateTime Date();

// The locale's formats in the framework's notation (from LC_TIME; "yyyy-mm-dd" and "hh:nn:ss"
// in the C/POSIX locale) and formatting with them.
std::string ShortDateFormat();
std::string LongTimeFormat();
// Replaces the locale's two formats (both empty: the system's again), for tests that need
// known formats whatever the machine's locale.
void SetDateFormatsForTesting(std::string_view short_date, std::string_view long_time);
// Formats with the framework's tokens (case-insensitive): yyyy yy m mm mmm mmmm d dd ddd dddd
// ddddd h hh n nn s ss z zzz c t tt ampm am/pm; m right after an hour means minutes; quoted
// text kept, other characters copied.
std::string FormatDateTime(const std::string &format, TDateTime value);
std::string DateToStr(TDateTime value);
// Translates a strftime format (the locale's D_FMT / T_FMT) into the framework's notation:
// "%d.%m.%Y" -> "dd.mm.yyyy", "%I:%M:%S %p" -> "hh:nn:ss ampm"; literal letters are quoted.
std::string FormatFromStrftime(std::string_view posix);
std::string TimeToStr(TDateTime value);

}  // namespace vx
