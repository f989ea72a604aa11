#pragma once
// Dates, times and the locale's formats, in the framework's TDateTime (days since
// 1899-12-30, fraction = time of day).

#include <array>
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

// Month and day names as FormatDateTime writes them for "mmm", "mmmm", "ddd" and "dddd", in the
// system code page; months from January, days from Sunday.
struct TLocaleNames {
  std::array<std::string, 12> ShortMonthNames, LongMonthNames;
  std::array<std::string, 7> ShortDayNames, LongDayNames;
  friend bool operator==(const TLocaleNames &, const TLocaleNames &) = default;
};
// The C locale's names: "Jan", "January", "Sun", "Sunday", ...
const TLocaleNames &EnglishLocaleNames();
// The platform's names of a locale, by the system's name for it ("zh_CN.UTF-8" on Linux);
// the empty name is the user's locale (LC_TIME). A locale the system does not know, and names
// the system code page cannot hold, give the English names.
TLocaleNames GetLocaleNames(std::string_view locale = {});
// The names FormatDateTime uses: the user's locale, read once.
TLocaleNames LocaleNames();
// Makes FormatDateTime use another locale's names, for tests that must not touch the
// environment; empty restores the user's.
void SetLocaleNamesForTesting(std::string_view locale);

// Formats with the framework's tokens (case-insensitive): yyyy yy m mm mmm mmmm d dd ddd dddd
// ddddd h hh n nn s ss z zzz c t tt ampm am/pm; m right after an hour means minutes; quoted
// text kept, other characters copied. Names come from LocaleNames(), or from the given names.
std::string FormatDateTime(const std::string &format, TDateTime value);
std::string FormatDateTime(const std::string &format, TDateTime value, const TLocaleNames &names);
std::string DateToStr(TDateTime value);
// Translates a strftime format (the locale's D_FMT / T_FMT) into the framework's notation:
// "%d.%m.%Y" -> "dd.mm.yyyy", "%I:%M:%S %p" -> "hh:nn:ss ampm"; literal letters are quoted.
std::string FormatFromStrftime(std::string_view posix);
std::string TimeToStr(TDateTime value);

// ASCII letters lowered, every other byte kept (UTF-8 names compare case-insensitively in
// their Latin part only, as the system's own name lookups do).
std::string LowerCase(std::string_view s);

}  // namespace vx
