#include "tools/vxosd-lunar/lunar_tool.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "platform/codepage.h"

using namespace vx;
using namespace vx::lunar_tool;

namespace {

struct Result {
  int status;
  std::string out, err;
};

Result RunTool(std::vector<std::string_view> args) {
  std::ostringstream out, err;
  const int status = Run(args, out, err);
  return {status, out.str(), err.str()};
}

TDateTime Day(std::string_view s) {
  TDateTime d = -1;
  EXPECT_TRUE(ParseDate(s, d)) << s;
  return d;
}

}  // namespace

TEST(LunarTool, CsvColumnsOfKnownDays) {
  const TFestivalList list;
  EXPECT_EQ(CsvHeader(),
            "date,lunar_year,lunar_month,lunar_day,leap,term,gz_year,gz_month,gz_day,festival,"
            "festival_color");
  EXPECT_EQ(CsvRow(list, Day("2024-02-10")),
            "2024-02-10,2024,1,1,0,,160,1502,45340,春节 国际气象节,8388736");
  EXPECT_EQ(CsvRow(list, Day("2008-08-08")), "2008-08-08,2008,7,8,0,,144,1316,39676,中国男子节(爸爸节),255");
  EXPECT_EQ(CsvRow(list, Day("2008-02-04")), "2008-02-04,2007,12,28,0,立春,143,1310,39490,,-1");
  EXPECT_EQ(CsvRow(list, Day("2009-06-23")).substr(0, 21), "2009-06-23,2009,5,1,1");
  // Outside the conversion: zeros; before 1900 no stem-branches either.
  EXPECT_EQ(CsvRow(list, Day("1899-12-02")), "1899-12-02,0,0,0,0,,0,0,0,,-1");
  EXPECT_EQ(CsvRow(list, Day("1900-01-30")), "1900-01-30,0,0,0,0,,35,13,39,除夕,8388736");
}

TEST(LunarTool, HumanLine) {
  const TFestivalList list;
  EXPECT_EQ(HumanLine(list, Day("2024-02-10")),
            "2024-02-10 星期六  农历二零二四年正月初一  甲辰(龙)年丙寅月甲辰日  春节 国际气象节");
  EXPECT_EQ(HumanLine(list, Day("2008-02-04")),
            "2008-02-04 星期一  农历二零零七年腊月廿八  立春  丁亥(猪)年甲寅月甲戌日");
  EXPECT_EQ(HumanLine(list, Day("1899-12-31")), "1899-12-31 星期日  农历(超出范围)");
}

TEST(LunarTool, DayAndRange) {
  Result r = RunTool({"2024-02-10"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, HumanLine(TFestivalList(), Day("2024-02-10")) + "\n");

  r = RunTool({"--csv", "--from", "2024-02-01", "--to", "2024-02-29"});
  EXPECT_EQ(r.status, 0);
  std::istringstream lines(r.out);
  std::string line;
  int n = 0;
  while (std::getline(lines, line)) ++n;
  EXPECT_EQ(n, 1 + 29);
  EXPECT_NE(r.out.find("2024-02-09,2023,12,30,0,,"), std::string::npos);

  r = RunTool({"--from", "2101-01-31", "--to", "2101-01-31", "--csv"});
  EXPECT_EQ(r.status, 0);
}

TEST(LunarTool, Refusals) {
  for (auto bad : {"1899-11-30", "2101-02-01", "0001-01-01", "9999-12-31"}) {
    const Result r = RunTool({bad});
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_NE(r.err.find("outside"), std::string::npos) << bad;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(RunTool({"--from", "2000-01-01", "--to", "2101-02-01"}).status, 1);
  for (auto args : std::vector<std::vector<std::string_view>>{
           {},
           {"2024-2-10"},
           {"2024-02-30"},
           {"2023-02-29"},
           {"yyyy-mm-dd"},
           {"--from", "2024-02-01"},
           {"--from", "2024-02-02", "--to", "2024-02-01"},
           {"2024-02-10", "--from", "2024-02-01", "--to", "2024-02-02"},
           {"--bogus"},
           {"2024-02-10", "2024-02-11"},
           {"--csv", "--to"},
       }) {
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(r.err.empty());
    EXPECT_TRUE(r.out.empty());
  }
  // The message names the argument at fault.
  EXPECT_NE(RunTool({"--bogus"}).err.find("unknown option '--bogus'"), std::string::npos);
  EXPECT_NE(RunTool({"--csv", "--to"}).err.find("--to needs a date"), std::string::npos);
  const Result help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: vxosd-lunar"), std::string::npos);
}
