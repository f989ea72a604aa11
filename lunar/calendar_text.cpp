#include "lunar/calendar_text.h"

#include <cmath>

#include "lunar/festival.h"
#include "lunar/lunardate.h"
#include "lunar/texts.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"

namespace vx {
namespace {

// Monday 1 .. Sunday 7.
int IsoDay(TDateTime day) { return (DayOfWeek(day) + 5) % 7 + 1; }

std::u16string Gbk(std::string_view s) { return ToUtf16(s, CP_GBK); }

}  // namespace

int IsoWeekNumber(TDateTime date) {
  const TDateTime day = std::floor(date);
  const TDateTime thursday = day - IsoDay(day) + 4;
  int y = 0, m = 0, d = 0;
  DecodeDate(thursday, y, m, d);
  return static_cast<int>(thursday - EncodeDate(y, 1, 1)) / 7 + 1;
}

int IsoWeeksInYear(int year) { return IsoWeekNumber(EncodeDate(year, 12, 28)); }

int CalendarWeekNumber(TDateTime date, bool iso) {
  const TDateTime day = std::floor(date);
  int w = IsoWeekNumber(day);
  if (iso) return w;
  int y = 0, m = 0, d = 0;
  DecodeDate(day, y, m, d);
  const bool sunday = DayOfWeek(day) == 1;
  if (w > 50 && m == 1) return sunday && d != 1 ? 2 : 1;
  const TDateTime jan1 = EncodeDate(y, 1, 1);
  if (IsoWeekNumber(jan1) > 50 && DayOfWeek(jan1) != 1) ++w;
  if (w == 1 && m == 12) return IsoWeeksInYear(y) + 1;
  return sunday ? w + 1 : w;
}

// English whatever the locale: these serve the calendar's English mode.
std::string EnWeekDayName(int n, bool long_name) {
  const auto day = static_cast<std::size_t>(((n % 7) + 7) % 7);
  const TLocaleNames &en = EnglishLocaleNames();
  return long_name ? en.LongDayNames[day] : en.ShortDayNames[day];
}

std::string EnMonthName(int month, bool long_name) {
  if (month < 1 || month > 12) return {};
  const auto i = static_cast<std::size_t>(month - 1);
  const TLocaleNames &en = EnglishLocaleNames();
  return long_name ? en.LongMonthNames[i] : en.ShortMonthNames[i];
}

std::u16string CalendarHintText(const TFestivalList &festivals, TDateTime date, bool iso) {
  const TDateTime day = std::floor(date);
  std::u16string out = u"公元= ";
  // The day name is system code page text; the rest of the line is written here.
  out += Utf8ToUtf16(FormatDateTime("yyyy年m月d日 ", day)) + ToUtf16(FormatDateTime("dddd", day));
  out += u"  第" + Utf8ToUtf16(std::to_string(CalendarWeekNumber(day, iso))) + u"周";

  out += u"\n农历= ";
  out += Gbk(LunarDateName(SolarToLunar(day)));

  out += u"\n干支= ";
  const TGanZhiIndex gz = DateToGanZhi(day);
  if (gz.YearIndex != 0 || gz.MonthIndex != 0 || gz.DayIndex != 0)
    out += Gbk(GanZhiName(gz.YearIndex) + "(" + ZodiacName(gz.YearIndex) + ")" +
               std::string(lunar_text::kYear) + GanZhiName(gz.MonthIndex) +
               std::string(lunar_text::kYue) + GanZhiName(gz.DayIndex) +
               std::string(lunar_text::ChineseDigits[0]));

  const std::string ftv = FestivalText(festivals, day);
  if (!ftv.empty()) out += u"\n节日= " + Gbk(ftv);
  return out;
}

std::string CutFestivalText(std::string_view gbk, int max_bytes) {
  if (static_cast<int>(gbk.size()) <= max_bytes) return std::string(gbk);
  const std::size_t keep = max_bytes > 2 ? static_cast<std::size_t>(max_bytes - 2) : 0;
  // Walk whole characters: a lead byte above 0x80 starts a two-byte character.
  std::size_t i = 0;
  while (i < gbk.size()) {
    std::size_t len = static_cast<unsigned char>(gbk[i]) > 0x80 && i + 1 < gbk.size() ? 2 : 1;
    if (i + len > keep) break;
    i += len;
  }
  return std::string(gbk.substr(0, i)) + std::string(lunar_text::kEllipsis);
}

}  // namespace vx
