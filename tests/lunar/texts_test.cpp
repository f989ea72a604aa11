// The calendar's tables are code page 936 bytes; each must read back as the intended text.
#include "lunar/texts.h"

#include <gtest/gtest.h>

#include "lunar/festival.h"
#include "tests/lunar/gbk.h"

using namespace vx;
using lunar_test::Utf8;

namespace {
template <std::size_t N>
std::string Joined(const std::array<std::string_view, N> &table) {
  std::string s;
  for (auto item : table) {
    EXPECT_TRUE(item.size() == 2 || item.size() == 4) << "one or two characters";
    s += Utf8(item);
  }
  return s;
}
}  // namespace

TEST(Texts, NameTablesReadBackAsGbk) {
  EXPECT_EQ(Joined(lunar_text::SolarTermNames),
            "小寒大寒立春雨水惊蛰春分清明谷雨立夏小满芒种夏至小暑大暑立秋处暑白露秋分寒露霜降立冬"
            "小雪大雪冬至");
  EXPECT_EQ(Joined(lunar_text::HeavenlyStems), "甲乙丙丁戊己庚辛壬癸");
  EXPECT_EQ(Joined(lunar_text::EarthlyBranches), "子丑寅卯辰巳午未申酉戌亥");
  EXPECT_EQ(Joined(lunar_text::ZodiacAnimals), "鼠牛虎兔龙蛇马羊猴鸡狗猪");
  EXPECT_EQ(Joined(lunar_text::ChineseDigits), "日一二三四五六七八九十");
  EXPECT_EQ(Utf8(lunar_text::kEllipsis), "…");
}

TEST(Texts, DefaultFestivalsAreValidGbk) {
  for (auto row : lunar_text::DefaultSolarFestivals) EXPECT_NO_THROW(Utf8(row));
  for (auto row : lunar_text::DefaultLunarFestivals) EXPECT_NO_THROW(Utf8(row));
  for (auto row : lunar_text::DefaultWeekFestivals) EXPECT_NO_THROW(Utf8(row));
  auto row = [](std::string_view key) {
    for (auto r : lunar_text::DefaultSolarFestivals)
      if (r.substr(0, 4) == key) return Utf8(r);
    return std::string();
  };
  EXPECT_EQ(row("0918"), "0918 国耻日 九·一八事变纪念日");
  EXPECT_EQ(row("1213"), "1213 南京大屠杀(1937年)纪念日！紧记血泪史！");
  EXPECT_EQ(row("0101"), "0101*新年元旦");
  // Two bytes per Chinese character: byte lengths decide where a day cell cuts the text.
  TFestivalList list;
  EXPECT_EQ(list.LunarFestival(TLunarDate{2008, 1, 1, false}).Text.size(), 4u);  // 春节
  const std::string tail = list.SolarFestival(lunar_detail::EncodeDay(2008, 12, 13)).Text;
  EXPECT_EQ(tail.size(), 2u * 16 + 6);
}
