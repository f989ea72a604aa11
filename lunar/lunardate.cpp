#include "lunar/lunardate.h"

#include <cmath>

#include "lunar/texts.h"

namespace vx {

constexpr std::array<std::uint16_t, 201> LunarInfo = {
    0x4BD8, 0x4AE0, 0xA570, 0x54D5, 0xD260, 0xD950, 0x5554, 0x56AF, 0x9AD0, 0x55D2,  // 1900
    0x4AE0, 0xA5B6, 0xA4D0, 0xD250, 0xD295, 0xB54F, 0xD6A0, 0xADA2, 0x95B0, 0x4977,  // 1910
    0x497F, 0xA4B0, 0xB4B5, 0x6A50, 0x6D40, 0xAB54, 0x2B6F, 0x9570, 0x52F2, 0x4970,  // 1920
    0x6566, 0xD4A0, 0xEA50, 0x6A95, 0x5ADF, 0x2B60, 0x86E3, 0x92EF, 0xC8D7, 0xC95F,  // 1930
    0xD4A0, 0xD8A6, 0xB55F, 0x56A0, 0xA5B4, 0x25DF, 0x92D0, 0xD2B2, 0xA950, 0xB557,  // 1940
    0x6CA0, 0xB550, 0x5355, 0x4DAF, 0xA5B0, 0x4573, 0x52BF, 0xA9A8, 0xE950, 0x6AA0,  // 1950
    0xAEA6, 0xAB50, 0x4B60, 0xAAE4, 0xA570, 0x5260, 0xF263, 0xD950, 0x5B57, 0x56A0,  // 1960
    0x96D0, 0x4DD5, 0x4AD0, 0xA4D0, 0xD4D4, 0xD250, 0xD558, 0xB540, 0xB6A0, 0x95A6,  // 1970
    0x95BF, 0x49B0, 0xA974, 0xA4B0, 0xB27A, 0x6A50, 0x6D40, 0xAF46, 0xAB60, 0x9570,  // 1980
    0x4AF5, 0x4970, 0x64B0, 0x74A3, 0xEA50, 0x6B58, 0x5AC0, 0xAB60, 0x96D5, 0x92E0,  // 1990
    0xC960, 0xD954, 0xD4A0, 0xDA50, 0x7552, 0x56A0, 0xABB7, 0x25D0, 0x92D0, 0xCAB5,  // 2000
    0xA950, 0xB4A0, 0xBAA4, 0xAD50, 0x55D9, 0x4BA0, 0xA5B0, 0x5176, 0x52BF, 0xA930,  // 2010
    0x7954, 0x6AA0, 0xAD50, 0x5B52, 0x4B60, 0xA6E6, 0xA4E0, 0xD260, 0xEA65, 0xD530,  // 2020
    0x5AA0, 0x76A3, 0x96D0, 0x4AFB, 0x4AD0, 0xA4D0, 0xD0B6, 0xD25F, 0xD520, 0xDD45,  // 2030
    0xB5A0, 0x56D0, 0x55B2, 0x49B0, 0xA577, 0xA4B0, 0xAA50, 0xB255, 0x6D2F, 0xADA0,  // 2040
    0x4B63, 0x937F, 0x49F8, 0x4970, 0x64B0, 0x68A6, 0xEA5F, 0x6B20, 0xA6C4, 0xAAEF,  // 2050
    0x92E0, 0xD2E3, 0xC960, 0xD557, 0xD4A0, 0xDA50, 0x5D55, 0x56A0, 0xA6D0, 0x55D4,  // 2060
    0x52D0, 0xA9B8, 0xA950, 0xB4A0, 0xB6A6, 0xAD50, 0x55A0, 0xABA4, 0xA5B0, 0x52B0,  // 2070
    0xB273, 0x6930, 0x7337, 0x6AA0, 0xAD50, 0x4B55, 0x4B6F, 0xA570, 0x54E4, 0xD260,  // 2080
    0xE968, 0xD520, 0xDAA0, 0x6AA6, 0x56DF, 0x4AE0, 0xA9D4, 0xA4D0, 0xD150, 0xF252,  // 2090
    0xD520,                                                                          // 2100
};

constexpr std::array<std::int32_t, 24> SolarTermInfo = {
    0,      21208,  42467,  63836,  85337,  107014, 128867, 150921,
    173149, 195551, 218072, 240693, 263343, 285989, 308563, 331033,
    353350, 375494, 397447, 419210, 440795, 462224, 483532, 504758,
};

namespace {

constexpr bool InTable(int year) { return year >= kFirstLunarYear && year <= kLastLunarYear; }
constexpr unsigned Info(int year) { return LunarInfo[static_cast<std::size_t>(year - kFirstLunarYear)]; }

constexpr int LeapMonthOf(int year) {
  const unsigned nibble = Info(year) & 0xF;
  return nibble == 0xF ? 0 : static_cast<int>(nibble);
}

constexpr int LeapDaysOf(int year) {
  if (LeapMonthOf(year) == 0) return 0;
  // The 30-day flag of a leap month sits in the following year's entry.
  return year < kLastLunarYear && (Info(year + 1) & 0xF) == 0xF ? 30 : 29;
}

constexpr int MonthDaysOf(int year, int month) {
  const unsigned bit = month < 2 ? 0x8000u : (month - 1 < 32 ? 0x8000u >> (month - 1) : 0u);
  return (Info(year) & bit) ? 30 : 29;
}

constexpr int YearDaysOf(int year) {
  int days = 348;
  for (unsigned bit = 0x8000; bit > 0x8; bit >>= 1) days += (Info(year) & bit) ? 1 : 0;
  return days + LeapDaysOf(year);
}

// Day offset (from 1900-01-31) of the first day of each lunar year 1900..2101.
constexpr auto kYearStart = [] {
  std::array<std::int32_t, 202> starts{};
  for (int i = 0; i < 201; ++i) starts[i + 1] = starts[i] + YearDaysOf(kFirstLunarYear + i);
  return starts;
}();

std::string Digit(int n) { return std::string(lunar_text::ChineseDigits[static_cast<std::size_t>(n)]); }

int PositiveMod(int n, int m) {
  const int r = n % m;
  return r < 0 ? r + m : r;
}

}  // namespace

int LunarYearDays(int year) { return InTable(year) ? YearDaysOf(year) : 0; }
int LunarLeapMonth(int year) { return InTable(year) ? LeapMonthOf(year) : 0; }
int LunarLeapDays(int year) { return InTable(year) ? LeapDaysOf(year) : 0; }
int LunarMonthDays(int year, int month) { return InTable(year) ? MonthDaysOf(year, month) : 0; }

TLunarDate SolarToLunar(TDateTime date) {
  if (!(date >= kFirstLunarDate && date < kLunarDateLimit)) return {};
  int n = static_cast<int>(date - kFirstLunarDate);
  // The cumulative year table replaces a walk over the years since 1900: estimate the year
  // from the mean year length, then correct by at most a step or two.
  int i = static_cast<int>(static_cast<std::int64_t>(n) * 10000 / 3652422);
  if (i > 200) i = 200;
  while (kYearStart[static_cast<std::size_t>(i)] > n) --i;
  while (kYearStart[static_cast<std::size_t>(i) + 1] <= n) ++i;
  n -= kYearStart[static_cast<std::size_t>(i)];
  const int year = kFirstLunarYear + i;

  TLunarDate result;
  const int leap = LeapMonthOf(year);
  int month = 0, last = 0;
  while (n >= 0) {
    ++month;
    last = MonthDaysOf(year, month);
    n -= last;
    if (n >= 0 && month == leap) {
      last = LeapDaysOf(year);
      n -= last;
      if (n < 0) result.IsLeap = true;
    }
  }
  if (n < 0) n += last;
  result.Year = year;
  result.Month = month;
  result.Day = n + 1;
  return result;
}

TDateTime SolarTermDate(int year, int term) {
  if (term < 0 || term > 23) return 0.0;
  // Extended precision as the table was made with; rounding to the millisecond ties to even.
  long double ms = (static_cast<long double>(year) - 1900.0L) * 31556925974.7L +
                   static_cast<long double>(SolarTermInfo[static_cast<std::size_t>(term)]) * 60000.0L;
  ms = std::nearbyint(ms);
  const long double base = 7.0L + 7500.0L / 86400.0L;  // 1900-01-06 02:05:00
  return static_cast<TDateTime>((base * 86400000.0L + ms) / 86400000.0L);
}

std::string SolarTermName(TDateTime date) {
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d)) return {};
  for (int term = 2 * d.Month - 2; term <= 2 * d.Month - 1; ++term) {
    if (std::trunc(SolarTermDate(d.Year, term)) == date)
      return std::string(lunar_text::SolarTermNames[static_cast<std::size_t>(term)]);
  }
  return {};
}

TGanZhiIndex DateToGanZhi(TDateTime date) {
  TGanZhiIndex result;
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d) || d.Year < 1900) return result;
  const TDateTime sectional = SolarTermDate(d.Year, 2 * d.Month - 2);
  const int years = d.Year - 1900;
  // The year turns at the instant of 立春, the month at the start of its sectional term's day.
  result.YearIndex = years + 36;
  if (d.Month == 1 || (d.Month == 2 && date < sectional)) result.YearIndex = years + 35;
  result.MonthIndex = years * 12 + d.Month + 11;
  if (date >= std::trunc(sectional)) result.MonthIndex = years * 12 + d.Month + 12;
  result.DayIndex = static_cast<std::int32_t>(std::fabs(date - 2.0)) + 10;
  return result;
}

std::string GanZhiName(int index) {
  return std::string(lunar_text::HeavenlyStems[static_cast<std::size_t>(PositiveMod(index, 10))]) +
         std::string(lunar_text::EarthlyBranches[static_cast<std::size_t>(PositiveMod(index, 12))]);
}

std::string ZodiacName(int index) {
  return std::string(lunar_text::ZodiacAnimals[static_cast<std::size_t>(PositiveMod(index, 12))]);
}

std::string LunarYearName(int year) {
  if (year < 1000 || year > 9999) return {};
  std::string s = Digit(year / 1000);
  int r = year % 1000;
  if (r < 100) {
    s += lunar_text::kLing;
  } else {
    s += Digit(r / 100);
    r %= 100;
  }
  if (r < 10) {
    s += lunar_text::kLing;
  } else {
    s += Digit(r / 10);
    r %= 10;
  }
  s += r != 0 ? Digit(r) : std::string(lunar_text::kLing);
  s += lunar_text::kYear;
  return s;
}

std::string LunarMonthName(int month, bool leap) {
  std::string s;
  if (leap) s += lunar_text::kRun;
  if (month == 1) {
    s += lunar_text::kZheng;
  } else if (month >= 2 && month <= 10) {
    s += Digit(month);
  } else if (month == 11) {
    s += Digit(10) + Digit(1);
  } else if (month == 12) {
    s += lunar_text::kLa;
  }
  s += lunar_text::kYue;
  return s;
}

std::string LunarDayName(int day) {
  if (day >= 1 && day <= 10) return std::string(lunar_text::kChu) + Digit(day);
  if (day >= 11 && day <= 19) return std::string(lunar_text::kShi) + Digit(day - 10);
  if (day == 20) return Digit(2) + Digit(10);
  if (day >= 21 && day <= 29) return std::string(lunar_text::kNian) + Digit(day - 20);
  if (day == 30) return Digit(3) + Digit(10);
  return {};
}

std::string LunarDateName(const TLunarDate &date) {
  if (date.Day == 0) return {};
  return LunarYearName(date.Year) + LunarMonthName(date.Month, date.IsLeap) + LunarDayName(date.Day);
}

std::string ChineseWeekName(int weekday) {
  return std::string(lunar_text::kXingQi) + Digit(PositiveMod(weekday, 7));
}

namespace lunar_detail {

namespace {
constexpr std::int64_t kUnixDayOffset = 25569;  // 1970-01-01 as a TDateTime
constexpr double kMinDay = -693593.0;           // 0001-01-01
constexpr double kMaxDay = 2958465.0;           // 9999-12-31

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
}  // namespace

bool DecodeDay(TDateTime date, YMD &out) {
  if (!(date > kMinDay - 1.0 && date < kMaxDay + 1.0)) return false;
  std::int64_t z = static_cast<std::int64_t>(date) - kUnixDayOffset + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  out.Year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  out.Month = static_cast<int>(m);
  out.Day = static_cast<int>(d);
  return true;
}

TDateTime EncodeDay(int year, int month, int day) {
  return static_cast<TDateTime>(DaysFromCivil(year, static_cast<unsigned>(month),
                                              static_cast<unsigned>(day)) +
                                kUnixDayOffset);
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int WeekDay(TDateTime date) {
  if (!(date > kMinDay - 1.0 && date < kMaxDay + 1.0)) return 0;
  // 1899-12-30 was a Saturday.
  return PositiveMod(static_cast<int>(static_cast<std::int64_t>(date) % 7) + 6, 7);
}

}  // namespace lunar_detail

}  // namespace vx
