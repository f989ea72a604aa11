// The lunar calendar with arbitrary dates (NaN, infinities, huge values), arbitrary name
// indices and festival lists filled with arbitrary keys, texts and colours.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "lunar/festival.h"
#include "lunar/lunardate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 12) return 0;
  double date = 0;
  std::memcpy(&date, data, sizeof date);
  std::int32_t n = 0;
  std::memcpy(&n, data + 8, sizeof n);
  std::string_view rest(reinterpret_cast<const char *>(data + 12), size - 12);

  vx::TFestivalList list;
  // Lines: kind byte, then "key|text"; kind 3..5 adds a mark of kind - 3 instead.
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty()) continue;
    const int kind = static_cast<unsigned char>(line[0]) % 7;
    line.remove_prefix(1);
    const auto bar = line.find('|');
    const std::string_view key = line.substr(0, bar);
    const std::string_view text = bar == std::string_view::npos ? "" : line.substr(bar + 1);
    if (kind < 4) {
      list.AddFestival(kind, key, n, text);
    } else {
      vx::TFestivalStrings &marks = kind == 4 ? list.SolarMarks() : kind == 5 ? list.LunarMarks() : list.WeekMarks();
      marks.AddObject(key, n);
    }
  }

  const vx::TLunarDate lunar = vx::SolarToLunar(date);
  (void)vx::GetFestival(list, date);
  (void)vx::FestivalMarkColor(list, date);
  (void)vx::SolarTermName(date);
  (void)vx::DateToGanZhi(date);
  (void)vx::TFestivalList::WeekFromMonthEnd(date);
  (void)list.LunarFestival(vx::TLunarDate{n, n, n, false});
  (void)vx::SolarTermDate(n, n % 30);
  (void)vx::GanZhiName(n);
  (void)vx::ZodiacName(n);
  (void)vx::LunarYearName(n);
  (void)vx::LunarMonthName(n, lunar.IsLeap);
  (void)vx::LunarDayName(n);
  (void)vx::ChineseWeekName(n);
  (void)vx::LunarYearDays(n);
  (void)vx::LunarMonthDays(lunar.Year, n);
  (void)vx::LunarLeapDays(n);
  return 0;
}
