#include "tools/vxosd-lunar/lunar_tool.h"

#include <charconv>
#include <cstdio>
#include <utility>
#include <string>

#include "lunar/lunardate.h"
#include "platform/codepage.h"

namespace vx::lunar_tool {

namespace {

using lunar_detail::YMD;

// The calendar's names are code page 936 whatever the system code page is.
std::string Utf8(std::string_view gbk) { return Utf16ToUtf8(ToUtf16(gbk, CP_GBK)); }

bool ParseInt(std::string_view s, int &value) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return std::from_chars(s.data(), s.data() + s.size(), value).ec == std::errc();
}

std::string CsvField(std::string text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

const char kUsage[] =
    "usage: vxosd-lunar [--csv] yyyy-mm-dd\n"
    "       vxosd-lunar [--csv] --from yyyy-mm-dd --to yyyy-mm-dd\n"
    "Prints the Gregorian date and weekday, the lunar date, the solar term, the stem-branch\n"
    "year, month and day with the zodiac animal, and the festivals of each day, in UTF-8.\n"
    "Days from 1899-12-01 to 2101-01-31 are accepted.\n";

}  // namespace

bool ParseDate(std::string_view text, TDateTime &date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int y = 0, m = 0, d = 0;
  if (!ParseInt(text.substr(0, 4), y) || !ParseInt(text.substr(5, 2), m) ||
      !ParseInt(text.substr(8, 2), d))
    return false;
  if (m < 1 || m > 12 || d < 1 || d > lunar_detail::DaysInMonth(y, m) || y < 1) return false;
  date = lunar_detail::EncodeDay(y, m, d);
  return true;
}

std::string FormatDate(TDateTime date) {
  YMD d;
  if (!lunar_detail::DecodeDay(date, d)) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.Year, d.Month, d.Day);
  return buf;
}

std::string CsvHeader() {
  return "date,lunar_year,lunar_month,lunar_day,leap,term,gz_year,gz_month,gz_day,festival,"
         "festival_color";
}

std::string CsvRow(const TFestivalList &festivals, TDateTime date) {
  const TLunarDate lunar = SolarToLunar(date);
  const TGanZhiIndex gz = DateToGanZhi(date);
  const TFestival festival = GetFestival(festivals, date);
  std::string row = FormatDate(date);
  // Fields appended piece by piece: gcc 12 -O3 reports a false -Wrestrict on "," + string.
  const auto field = [&row](const std::string &value) {
    row += ',';
    row += value;
  };
  for (int v : {lunar.Year, lunar.Month, lunar.Day, lunar.IsLeap ? 1 : 0}) field(std::to_string(v));
  field(CsvField(Utf8(SolarTermName(date))));
  for (int v : {gz.YearIndex, gz.MonthIndex, gz.DayIndex}) field(std::to_string(v));
  field(CsvField(Utf8(festival.Text)));
  field(std::to_string(festival.Color));
  return row;
}

std::string HumanLine(const TFestivalList &festivals, TDateTime date) {
  std::string line = FormatDate(date) + " " + Utf8(ChineseWeekName(lunar_detail::WeekDay(date)));
  if (const std::string lunar = LunarDateName(SolarToLunar(date)); !lunar.empty()) {
    line += "  农历" + Utf8(lunar);
  } else {
    line += "  农历(超出范围)";
  }
  if (const std::string term = SolarTermName(date); !term.empty()) line += "  " + Utf8(term);
  const TGanZhiIndex gz = DateToGanZhi(date);
  if (gz != TGanZhiIndex{}) {
    line += "  " + Utf8(GanZhiName(gz.YearIndex)) + "(" + Utf8(ZodiacName(gz.YearIndex)) + ")年" +
            Utf8(GanZhiName(gz.MonthIndex)) + "月" + Utf8(GanZhiName(gz.DayIndex)) + "日";
  }
  if (const TFestival f = GetFestival(festivals, date); !f.Text.empty())
    line += "  " + Utf8(f.Text);
  return line;
}

int Run(std::span<const std::string_view> args, std::ostream &out, std::ostream &err) {
  bool csv = false;
  std::string_view day, from, to;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--csv") {
      csv = true;
    } else if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    } else if (a == "--from" || a == "--to") {
      if (i + 1 == args.size()) {
        err << "vxosd-lunar: " << a << " needs a date, as yyyy-mm-dd\n";
        return 2;
      }
      (a == "--from" ? from : to) = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      err << "vxosd-lunar: unknown option '" << a << "'\n" << kUsage;
      return 2;
    } else if (day.empty()) {
      day = a;
    } else {
      err << "vxosd-lunar: unexpected argument '" << a << "'\n" << kUsage;
      return 2;
    }
  }
  if (day.empty() == (from.empty() && to.empty()) || from.empty() != to.empty()) {
    err << kUsage;
    return 2;
  }
  if (!day.empty()) from = to = day;

  TDateTime first = 0, last = 0, lo = 0, hi = 0;
  ParseDate(kFirstAccepted, lo);
  ParseDate(kLastAccepted, hi);
  for (auto [text, value] : {std::pair{from, &first}, std::pair{to, &last}}) {
    if (!ParseDate(text, *value)) {
      err << "vxosd-lunar: '" << text << "' is not a date of the form yyyy-mm-dd\n";
      return 2;
    }
    if (*value < lo || *value > hi) {
      err << "vxosd-lunar: " << text << " is outside the calendar's days " << kFirstAccepted
          << ".." << kLastAccepted << "\n";
      return 1;
    }
  }
  if (first > last) {
    err << "vxosd-lunar: the range ends (" << to << ") before it starts (" << from << ")\n";
    return 2;
  }

  const TFestivalList festivals;
  if (csv) out << CsvHeader() << "\n";
  for (TDateTime x = first; x <= last; x += 1.0) out << (csv ? CsvRow(festivals, x) : HumanLine(festivals, x)) << "\n";
  return out.good() ? 0 : 1;
}

}  // namespace vx::lunar_tool
