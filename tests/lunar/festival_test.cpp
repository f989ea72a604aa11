#include "lunar/festival.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/lunar/gbk.h"

using namespace vx;
using lunar_test::Gbk;
using lunar_test::Utf8;

namespace {

TDateTime D(int y, int m, int d) { return lunar_detail::EncodeDay(y, m, d); }

}  // namespace

TEST(FestivalDefaults, Counts) {
  TFestivalList list;
  // Three solar keys are repeated in the defaults; the later row of each stays.
  EXPECT_EQ(list.SolarFestivals().Count(), 99);
  EXPECT_EQ(list.LunarFestivals().Count(), 13);
  EXPECT_EQ(list.WeekFestivals().Count(), 12);
  EXPECT_EQ(list.SolarMarks().Count(), 0);
  EXPECT_EQ(list.LunarMarks().Count(), 0);
  EXPECT_EQ(list.WeekMarks().Count(), 0);
  EXPECT_EQ(Utf8(list.SolarFestival(D(2008, 10, 1)).Text), "国际音乐日");
  EXPECT_EQ(Utf8(list.SolarFestival(D(2008, 3, 21)).Text), "世界儿歌日");
  EXPECT_EQ(Utf8(list.SolarFestival(D(2008, 10, 8)).Text), "世界视觉日");
  // The flag character is dropped and the entry form is key=text.
  EXPECT_EQ(Utf8(list.SolarFestivals().Strings(0)), "0101=新年元旦");
  // Sorted by key.
  for (int i = 1; i < list.SolarFestivals().Count(); ++i)
    EXPECT_LT(list.SolarFestivals().Names(i - 1), list.SolarFestivals().Names(i));
}

struct DayCase {
  TDateTime date;
  const char *text;
  TColor color;
};

TEST(GetFestival, Days) {
  TFestivalList list;
  const DayCase cases[] = {
      {D(2024, 2, 9), "除夕", 0x800080},
      {D(2024, 2, 10), "春节 国际气象节", 0x800080},
      {D(2008, 9, 14), "中秋节 世界清洁地球日", 0x800080},
      {D(2008, 10, 1), "国际音乐日 国际减轻自然灾害日(减灾日)", 0x0000FF},
      {D(2008, 5, 11), "国际母亲节", 0x800000},
      {D(2008, 1, 27), "世界麻风日", 0x800000},
      {D(2008, 8, 8), "中国男子节(爸爸节)", 0x0000FF},
      {D(2008, 8, 9), "", -1},
      {D(2008, 2, 6), "除夕", 0x800080},  // eve of 2008-02-07
      {D(2008, 11, 27), "感恩节", 0x800000},
      // 1900-01-30 is outside the conversion, but its next day is lunar 1900-01-01.
      {31.0, "除夕", 0x800080},
      {73415.0, "", -1},
      {NAN, "", -1},
      {INFINITY, "", -1},
  };
  for (const auto &c : cases) {
    const TFestival f = GetFestival(list, c.date);
    EXPECT_EQ(Utf8(f.Text), c.text) << c.date;
    EXPECT_EQ(f.Color, c.color) << c.date;
    EXPECT_EQ(FestivalText(list, c.date), f.Text);
  }
}

TEST(GetFestival, LeapMonths) {
  TFestivalList list;
  // 2009 has a leap fifth month: 2009-06-23 is leap 5/1, so its day 5 is 06-27 and its last
  // day (29 days) 07-21, followed by the ordinary sixth month on 07-22.
  ASSERT_EQ(SolarToLunar(D(2009, 6, 22)), (TLunarDate{2009, 5, 30, false}));
  ASSERT_EQ(SolarToLunar(D(2009, 6, 27)), (TLunarDate{2009, 5, 5, true}));
  // A leap month's day matches the key of its month.
  EXPECT_EQ(Utf8(GetFestival(list, D(2009, 6, 27)).Text), "端午节");
  // The last day of the ordinary fifth month is followed by the leap fifth: same Month, so no
  // "0600"-style lookup; the last day of the leap month looks up "0600".
  ASSERT_TRUE(list.AddFestival(fkLunar, "0600", 0x123456, Gbk("六月前夜")));
  EXPECT_EQ(GetFestival(list, D(2009, 6, 22)), TFestival{});
  const TFestival eve = GetFestival(list, D(2009, 7, 21));
  EXPECT_EQ(Utf8(eve.Text), "六月前夜");
  EXPECT_EQ(eve.Color, 0x123456);
  // A leap eighth month's 15th shows 中秋节 too (1938 had no leap 8th; add a key for leap 6/15).
  ASSERT_TRUE(list.AddFestival(fkLunar, "0615", 0x10, Gbk("六月半")));
  ASSERT_EQ(SolarToLunar(D(2017, 8, 6)), (TLunarDate{2017, 6, 15, true}));
  EXPECT_EQ(Utf8(GetFestival(list, D(2017, 8, 6)).Text), "六月半");
}

TEST(FestivalList, AddFestival) {
  TFestivalList list;
  EXPECT_FALSE(list.AddFestival(3, "0214", 1, "x"));
  EXPECT_FALSE(list.AddFestival(-1, "0214", 1, "x"));
  EXPECT_FALSE(list.AddFestival(fkSolar, "", 1, "x"));
  EXPECT_FALSE(list.AddFestival(fkSolar, "0214", 1, ""));
  EXPECT_FALSE(list.AddFestival(fkSolar, "0214", 1, " \t "));
  EXPECT_EQ(Utf8(list.SolarFestival(D(2008, 2, 14)).Text), "西方情人节");

  EXPECT_TRUE(list.AddFestival(fkSolar, "0214", 7, "  first \r\n"));
  EXPECT_TRUE(list.AddFestival(fkSolar, "0214", 9, "second"));
  EXPECT_EQ(list.SolarFestivals().Count(), 99);
  EXPECT_EQ(list.SolarFestivals().Strings(list.SolarFestivals().IndexOfName("0214")),
            "0214=second");
  EXPECT_EQ(list.SolarFestival(D(2008, 2, 14)), (TFestival{"second", 9}));

  EXPECT_TRUE(list.AddFestival(fkWeek, "0716", 5, "birthday party"));
  EXPECT_EQ(list.WeekFestival(D(2008, 7, 5)), (TFestival{"birthday party", 5}));  // 1st Saturday
  EXPECT_TRUE(list.AddFestival(fkSolar, "0705", 3, "one"));
  EXPECT_EQ(GetFestival(list, D(2008, 7, 5)), (TFestival{"one birthday party", 3}));
}

TEST(FestivalList, EntriesWithoutKeyNeverMatchALookup) {
  TFestivalList list;
  list.SolarFestivals().AddObject("0501", 0x123456);
  list.LunarFestivals().AddObject("0815", 0x123456);
  list.WeekFestivals().AddObject("0520", 0x123456);
  EXPECT_EQ(list.SolarFestival(D(2008, 5, 1)), (TFestival{Gbk("国际劳动节"), 0x0000FF}));
  EXPECT_EQ(Utf8(GetFestival(list, D(2008, 9, 14)).Text), "中秋节 世界清洁地球日");
  EXPECT_EQ(list.WeekFestival(D(2008, 5, 11)), (TFestival{Gbk("国际母亲节"), 0x800000}));
  // Nor does AddFestival take such an entry for the key's own: both stay.
  ASSERT_TRUE(list.AddFestival(fkSolar, "0501", 7, "May Day"));
  EXPECT_EQ(list.SolarFestival(D(2008, 5, 1)), (TFestival{"May Day", 7}));
  EXPECT_GE(list.SolarFestivals().IndexOf("0501"), 0);
  // A day with only a key-less entry has no festival.
  list.SolarFestivals().AddObject("0809", 1);
  EXPECT_EQ(GetFestival(list, D(2008, 8, 9)), TFestival{});
}

TEST(FestivalList, WeekFromMonthEnd) {
  EXPECT_EQ(TFestivalList::WeekFromMonthEnd(D(2008, 2, 23)), 1);
  EXPECT_EQ(TFestivalList::WeekFromMonthEnd(D(2007, 2, 22)), 1);
  EXPECT_EQ(TFestivalList::WeekFromMonthEnd(D(2007, 2, 21)), 2);
  EXPECT_EQ(TFestivalList::WeekFromMonthEnd(D(2008, 1, 1)), 5);
  EXPECT_EQ(TFestivalList::WeekFromMonthEnd(NAN), 0);
}

TEST(FestivalList, MarksStartEmptyAndFollowTheirKind) {
  TFestivalList list;
  for (TDateTime x = D(2008, 1, 1); x < D(2009, 1, 1); x += 1.0)
    ASSERT_EQ(FestivalMarkColor(list, x), -1) << x;

  list.SolarMarks().AddObject("0808", 0x111111);
  list.WeekMarks().AddObject("0855", 0x222222);  // last Friday of August
  list.WeekMarks().AddObject("0815", 0x333333);  // first Friday of August
  list.LunarMarks().AddObject("0708", 0x444444);
  EXPECT_EQ(FestivalMarkColor(list, D(2008, 8, 8)), 0x444444);  // lunar 7/8 first
  EXPECT_EQ(list.SolarMark(D(2008, 8, 8)), 0x111111);
  EXPECT_EQ(FestivalMarkColor(list, D(2008, 8, 1)), 0x333333);
  EXPECT_EQ(FestivalMarkColor(list, D(2008, 8, 29)), 0x222222);
  EXPECT_EQ(FestivalMarkColor(list, D(2008, 8, 2)), -1);
  // Marks match the whole entry, not the key before "=".
  list.SolarMarks().AddObject("0809=x", 1);
  EXPECT_EQ(list.SolarMark(D(2008, 8, 9)), -1);
}

TEST(FestivalList, AssignAndSetters) {
  TFestivalList a, b;
  ASSERT_TRUE(a.AddFestival(fkLunar, "0303", 0x55, "x"));
  a.LunarMarks().AddObject("0101", 0x66);
  b.Assign(a);
  EXPECT_EQ(b.LunarFestivals().Entries(), a.LunarFestivals().Entries());
  EXPECT_EQ(b.LunarMark(TLunarDate{2008, 1, 1, false}), 0x66);
  EXPECT_EQ(b.LunarFestival(TLunarDate{2008, 3, 3, true}), (TFestival{"x", 0x55}));

  TFestivalStrings mine;
  mine.AddObject("1225=Christmas", 0x77);
  mine.AddObject("1225=Christmas", 0x78);  // a duplicate keeps the first
  b.SetSolarFestivals(mine);
  EXPECT_EQ(b.SolarFestivals().Count(), 1);
  EXPECT_EQ(b.SolarFestival(D(2008, 12, 25)), (TFestival{"Christmas", 0x77}));
  EXPECT_EQ(b.SolarFestival(D(2008, 10, 1)), TFestival{});
  b.Assign(b);
  EXPECT_EQ(b.SolarFestivals().Count(), 1);
}

TEST(FestivalStrings, SortedLookups) {
  TFestivalStrings s;
  s.AddObject("b=2", 2);
  s.AddObject("A=1", 1);
  s.AddObject("ab", 3);
  s.AddObject("a", 4);
  ASSERT_EQ(s.Count(), 4);
  // Entries without "=" have no key: they come first and no name finds them.
  EXPECT_EQ(s.Strings(0), "a");
  EXPECT_EQ(s.Strings(1), "ab");
  EXPECT_EQ(s.Strings(2), "A=1");
  EXPECT_EQ(s.Names(0), "");
  EXPECT_EQ(s.Names(2), "A");
  EXPECT_EQ(s.IndexOfName("a"), 2);
  EXPECT_EQ(s.IndexOfName("B"), 3);
  EXPECT_EQ(s.IndexOfName("ab"), -1);
  EXPECT_EQ(s.IndexOfName(""), -1);
  EXPECT_EQ(s.IndexOf("AB"), 1);
  EXPECT_EQ(s.IndexOf("b"), -1);
  EXPECT_EQ(s.Strings(-1), "");
  EXPECT_EQ(s.Objects(9), 0);
  s.Delete(9);
  s.Delete(0);
  EXPECT_EQ(s.Count(), 3);
}
