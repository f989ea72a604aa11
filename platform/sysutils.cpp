#include "platform/sysutils.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/os.h"
#include "platform/timer.h"

namespace vx {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int &year, int &month, int &day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

// A date-time as a whole day number and the milliseconds into that day. Before the epoch the
// framework stores the day negative and the time as a positive fraction (-1.25 is
// 1899-12-29 06:00), so the day is the truncated value and the time its distance from it.
void Split(TDateTime value, std::int64_t &day, std::int64_t &ms) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) {
    day = 0, ms = 0;  // far outside any calendar the system uses
    return;
  }
  if (value >= 0) {
    std::int64_t total = std::llround(value * static_cast<double>(kMsPerDay));
    day = total / kMsPerDay;
    ms = total % kMsPerDay;
  } else {
    day = static_cast<std::int64_t>(std::trunc(value));
    ms = std::llround((static_cast<double>(day) - value) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) day -= 1, ms -= kMsPerDay;
  }
}

const os::LocaleInfo &Locale() {
  static const os::LocaleInfo info = os::ReadLocale();
  return info;
}

std::mutex g_names_mutex;
std::shared_ptr<const TLocaleNames> g_names;  // read on first use

std::shared_ptr<const TLocaleNames> CurrentNames() {
  std::lock_guard<std::mutex> lock(g_names_mutex);
  if (!g_names) g_names = std::make_shared<const TLocaleNames>(GetLocaleNames());
  return g_names;
}

std::string Pad(int value, int width) {
  std::string s = std::to_string(value);
  while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithI(const std::string &s, std::size_t pos, std::string_view token) {
  if (pos + token.size() > s.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i)
    if (Lower(s[pos + i]) != token[i]) return false;
  return true;
}

std::size_t CountRun(const std::string &s, std::size_t pos, char lower) {
  std::size_t n = 0;
  while (pos + n < s.size() && Lower(s[pos + n]) == lower) ++n;
  return n;
}

void Format(std::string &out, const std::string &format, TDateTime value, const TLocaleNames &names,
            int depth) {
  const TDateParts p = DecodeDateTime(value);
  const bool twelve_hour = [&] {
    for (std::size_t i = 0; i < format.size(); ++i)
      if (StartsWithI(format, i, "ampm") || StartsWithI(format, i, "am/pm")) return true;
    return false;
  }();
  bool after_hour = false;  // "m" right after an hour means minutes, as in the framework
  for (std::size_t i = 0; i < format.size();) {
    const char c = Lower(format[i]);
    if (format[i] == '"' || format[i] == '\'') {
      std::size_t end = format.find(format[i], i + 1);
      if (end == std::string::npos) end = format.size();
      out.append(format, i + 1, end - i - 1);
      i = end < format.size() ? end + 1 : end;
      continue;
    }
    if (StartsWithI(format, i, "ampm") || StartsWithI(format, i, "am/pm")) {
      out += p.Hour < 12 ? "AM" : "PM";
      i += format[i + 2] == '/' ? 5 : 4;
      after_hour = false;
      continue;
    }
    std::size_t n = 1;
    switch (c) {
      case 'y':
        n = CountRun(format, i, 'y');
        out += n <= 2 ? Pad(p.Year % 100, 2) : Pad(p.Year, 4);
        break;
      case 'm':
        n = std::min<std::size_t>(CountRun(format, i, 'm'), 4);
        if (after_hour && n <= 2) {
          out += n == 1 ? std::to_string(p.Minute) : Pad(p.Minute, 2);
        } else if (n <= 2) {
          out += n == 1 ? std::to_string(p.Month) : Pad(p.Month, 2);
        } else {
          const auto month = static_cast<std::size_t>(p.Month - 1);
          out += n == 3 ? names.ShortMonthNames[month] : names.LongMonthNames[month];
        }
        after_hour = false;
        break;
      case 'd':
        n = std::min<std::size_t>(CountRun(format, i, 'd'), 6);
        if (n <= 2) {
          out += n == 1 ? std::to_string(p.Day) : Pad(p.Day, 2);
        } else if (n <= 4) {
          const auto day = static_cast<std::size_t>(DayOfWeek(value) - 1);
          out += n == 3 ? names.ShortDayNames[day] : names.LongDayNames[day];
        } else if (depth == 0) {
          Format(out, ShortDateFormat(), value, names, depth + 1);  // ddddd (and dddddd)
        }
        break;
      case 'c':
        if (depth == 0) {
          Format(out, ShortDateFormat(), value, names, 1);
          if (p.Hour != 0 || p.Minute != 0 || p.Second != 0 || p.MSec != 0) {
            out += ' ';
            Format(out, LongTimeFormat(), value, names, 1);
          }
        }
        break;
      case 't':
        n = std::min<std::size_t>(CountRun(format, i, 't'), 2);
        if (depth == 0) Format(out, n == 2 ? LongTimeFormat() : "hh:nn", value, names, 1);
        break;
      case 'h': {
        n = std::min<std::size_t>(CountRun(format, i, 'h'), 2);
        int h = p.Hour;
        if (twelve_hour) h = h % 12 == 0 ? 12 : h % 12;
        out += n == 1 ? std::to_string(h) : Pad(h, 2);
        after_hour = true;  // "hh:mm": the m is minutes
        i += n;
        continue;
      }
      case 'n':
        n = std::min<std::size_t>(CountRun(format, i, 'n'), 2);
        out += n == 1 ? std::to_string(p.Minute) : Pad(p.Minute, 2);
        break;
      case 's':
        n = std::min<std::size_t>(CountRun(format, i, 's'), 2);
        out += n == 1 ? std::to_string(p.Second) : Pad(p.Second, 2);
        break;
      case 'z':
        n = CountRun(format, i, 'z') >= 3 ? 3 : 1;
        out += n == 1 ? std::to_string(p.MSec) : Pad(p.MSec, 3);
        break;
      default:
        out += format[i];
        break;
    }
    if (c >= 'a' && c <= 'z') after_hour = false;  // separators keep it, letters end it
    i += n;
  }
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    throw EConvertError("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                             kEpochDays);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    throw EConvertError("Invalid argument to time encode");
  const std::int64_t ms = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
  return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

TDateTime EncodeDateTime(const TDateParts &parts) {
  const TDateTime date = EncodeDate(parts.Year, parts.Month, parts.Day);
  const TDateTime time = EncodeTime(parts.Hour, parts.Minute, parts.Second, parts.MSec);
  if (date >= 0) {
    // One rounding from the exact millisecond count keeps the value exact to the millisecond.
    const std::int64_t ms = static_cast<std::int64_t>(date) * kMsPerDay +
                            std::llround(time * static_cast<double>(kMsPerDay));
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  }
  return date - time;
}

TDateParts DecodeDateTime(TDateTime value) {
  std::int64_t day = 0, ms = 0;
  Split(value, day, ms);
  TDateParts p;
  CivilFromDays(day + kEpochDays, p.Year, p.Month, p.Day);
  p.MSec = static_cast<int>(ms % 1000);
  p.Second = static_cast<int>(ms / 1000 % 60);
  p.Minute = static_cast<int>(ms / 60000 % 60);
  p.Hour = static_cast<int>(ms / 3600000);
  return p;
}

void DecodeDate(TDateTime value, int &year, int &month, int &day) {
  const TDateParts p = DecodeDateTime(value);
  year = p.Year, month = p.Month, day = p.Day;
}

int DayOfWeek(TDateTime value) {
  std::int64_t day = 0, ms = 0;
  Split(value, day, ms);
  // Day 0 (1899-12-30) was a Saturday, 7.
  return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

TDateTime Now() { return MessageLoop::Current().GetClock().LocalNow(); }

TDateTime Date() {
  std::int64_t day = 0, ms = 0;
  Split(Now(), day, ms);
  return static_cast<double>(day);
}

namespace {
std::mutex g_formats_mutex;
std::string g_short_date_override, g_long_time_override;  // set by SetDateFormatsForTesting
}  // namespace

std::string ShortDateFormat() {
  std::lock_guard lock(g_formats_mutex);
  return g_short_date_override.empty() ? Locale().short_date : g_short_date_override;
}

std::string LongTimeFormat() {
  std::lock_guard lock(g_formats_mutex);
  return g_long_time_override.empty() ? Locale().long_time : g_long_time_override;
}

void SetDateFormatsForTesting(std::string_view short_date, std::string_view long_time) {
  std::lock_guard lock(g_formats_mutex);
  g_short_date_override = short_date;
  g_long_time_override = long_time;
}

std::string FormatFromStrftime(std::string_view posix) {
  std::string out;
  std::string literal;
  auto flush_literal = [&] {
    if (literal.empty()) return;
    bool needs_quotes = false;
    for (char ch : literal)
      if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) needs_quotes = true;
    out += needs_quotes ? '"' + literal + '"' : literal;
    literal.clear();
  };
  auto token = [&](const char *t) {
    flush_literal();
    out += t;
  };
  for (std::size_t i = 0; i < posix.size(); ++i) {
    if (posix[i] != '%' || i + 1 >= posix.size()) {
      if (posix[i] != '"') literal += posix[i];
      continue;
    }
    char c = posix[++i];
    // glibc flags ("%-d" unpadded, "%Ey", "%Od" alternative digits).
    bool unpadded = false;
    while ((c == '-' || c == '_' || c == '0' || c == '^' || c == '#' || c == 'E' || c == 'O') &&
           i + 1 < posix.size()) {
      unpadded = unpadded || c == '-';
      c = posix[++i];
    }
    if (unpadded) {
      const char *short_token = c == 'd' || c == 'e' ? "d" : c == 'm' ? "m" : c == 'H' || c == 'I' ? "h"
                              : c == 'M' ? "n" : c == 'S' ? "s" : nullptr;
      if (short_token != nullptr) {
        token(short_token);
        continue;
      }
    }
    switch (c) {
      case 'Y': case 'G': token("yyyy"); break;
      case 'y': case 'g': case 'C': token("yy"); break;
      case 'm': token("mm"); break;
      case 'b': case 'h': token("mmm"); break;
      case 'B': token("mmmm"); break;
      case 'd': token("dd"); break;
      case 'e': token("d"); break;
      case 'a': token("ddd"); break;
      case 'A': token("dddd"); break;
      case 'H': case 'I': token("hh"); break;
      case 'k': case 'l': token("h"); break;
      case 'M': token("nn"); break;
      case 'S': token("ss"); break;
      case 'p': case 'P': token("ampm"); break;
      case 'D': token("mm/dd/yy"); break;
      case 'F': token("yyyy-mm-dd"); break;
      case 'T': token("hh:nn:ss"); break;
      case 'R': token("hh:nn"); break;
      case 'r': token("hh:nn:ss ampm"); break;
      case 'n': case 't': literal += ' '; break;
      case '%': literal += '%'; break;
      default: break;  // time zones, week numbers and the like: left out
    }
  }
  flush_literal();
  return out;
}

const TLocaleNames &EnglishLocaleNames() {
  static const TLocaleNames names{
      {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
      {"January", "February", "March", "April", "May", "June", "July", "August", "September",
       "October", "November", "December"},
      {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
      {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}};
  return names;
}

TLocaleNames GetLocaleNames(std::string_view locale) {
  return os::ReadLocaleNames(locale).value_or(EnglishLocaleNames());
}

TLocaleNames LocaleNames() { return *CurrentNames(); }

void SetLocaleNamesForTesting(std::string_view locale) {
  auto names = std::make_shared<const TLocaleNames>(GetLocaleNames(locale));
  std::lock_guard<std::mutex> lock(g_names_mutex);
  g_names = std::move(names);
}

std::string FormatDateTime(const std::string &format, TDateTime value) {
  return FormatDateTime(format, value, *CurrentNames());
}

std::string FormatDateTime(const std::string &format, TDateTime value, const TLocaleNames &names) {
  std::string out;
  Format(out, format, value, names, 0);
  return out;
}

std::string DateToStr(TDateTime value) { return FormatDateTime(ShortDateFormat(), value); }
std::string TimeToStr(TDateTime value) { return FormatDateTime(LongTimeFormat(), value); }

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace vx
