#include "markup/wideutils.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(FindWideText, PositionsAreOneBasedAndOffsetsBound) {
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", 1), 3);
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", 3), 3);
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", 4), 5);
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", 6), 0);
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", 0), 0);
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", -5), 0);
  EXPECT_EQ(FindWideText(u"ab", u"xxabab", 1000), 0);
  EXPECT_EQ(FindWideText(u"", u"xxabab", 1), 0);
  EXPECT_EQ(FindWideText(u"ab", u"", 1), 0);
  EXPECT_EQ(FindWideText(u"ABab", u"ab", 1), 0);  // case counts
}

TEST(WideLowerCase, LatinGreekCyrillicFullWidthAndCjkUntouched) {
  EXPECT_EQ(WideLowerCase(u"FONT Size=\"20\""), u"font size=\"20\"");
  EXPECT_EQ(WideLowerCase(u"ÀÉÞ×"), u"àéþ×");
  EXPECT_EQ(WideLowerCase(u"ĀĹŸŽ"), u"āĺÿž");
  EXPECT_EQ(WideLowerCase(u"ΑΩ"), u"αω");
  EXPECT_EQ(WideLowerCase(u"ЖЁ"), u"жё");
  EXPECT_EQ(WideLowerCase(u"ＡＺ"), u"ａｚ");
  const std::u16string odd{u'宋', u'体', char16_t(0xD800), u'#'};
  EXPECT_EQ(WideLowerCase(odd), odd);
  EXPECT_TRUE(SameWideText(u"Font", u"fONT"));
  EXPECT_FALSE(SameWideText(u"Font", u"fonts"));
}

TEST(ReplaceAllWide, LeftToRightWithoutOverlap) {
  EXPECT_EQ(ReplaceAllWide(u"aaaa", u"aa", u"b"), u"bb");
  EXPECT_EQ(ReplaceAllWide(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_EQ(ReplaceAllWide(u"xAx", u"a", u"b"), u"xAx");  // exact case
  EXPECT_EQ(ReplaceAllWide(u"abc", u"", u"z"), u"abc");
  EXPECT_EQ(ReplaceAllWide(u"abc", u"b", u""), u"ac");
}

TEST(TrimWide, RemovesControlAndBlankAtBothEnds) {
  EXPECT_EQ(TrimWide(u"\r\n\t  a b \x1f"), u"a b");
  EXPECT_EQ(TrimWide(u" \n "), u"");
  EXPECT_EQ(TrimWide(u""), u"");
  EXPECT_EQ(TrimWide(u"\u3000x\u3000"), u"\u3000x\u3000");  // ideographic space is above 32
}

TEST(ReadIntegerText, DecimalSignsBlanksAndLimits) {
  EXPECT_EQ(ReadIntegerText(u"20"), 20);
  EXPECT_EQ(ReadIntegerText(u"  \t-7"), -7);
  EXPECT_EQ(ReadIntegerText(u"+7"), 7);
  EXPECT_EQ(ReadIntegerText(u"2147483647"), 2147483647);
  EXPECT_EQ(ReadIntegerText(u"-2147483648"), INT32_MIN);
  EXPECT_FALSE(ReadIntegerText(u"2147483648"));
  EXPECT_FALSE(ReadIntegerText(u"99999999999999999999999"));
  EXPECT_FALSE(ReadIntegerText(u""));
  EXPECT_FALSE(ReadIntegerText(u"   "));
  EXPECT_FALSE(ReadIntegerText(u"-"));
  EXPECT_FALSE(ReadIntegerText(u"20 "));   // nothing may follow
  EXPECT_FALSE(ReadIntegerText(u"2a"));
  EXPECT_FALSE(ReadIntegerText(u"--2"));
  EXPECT_FALSE(ReadIntegerText(u"\uFF12"));  // full-width digits are not digits
}

TEST(ReadIntegerText, HexPrefixes) {
  EXPECT_EQ(ReadIntegerText(u"$1F"), 31);
  EXPECT_EQ(ReadIntegerText(u"x1f"), 31);
  EXPECT_EQ(ReadIntegerText(u"X1F"), 31);
  EXPECT_EQ(ReadIntegerText(u"0x10"), 16);
  EXPECT_EQ(ReadIntegerText(u"0X10"), 16);
  EXPECT_EQ(ReadIntegerText(u"-$10"), -16);
  EXPECT_EQ(ReadIntegerText(u"$FFFFFFFF"), -1);
  EXPECT_EQ(ReadIntegerText(u"$0000000000ff"), 255);  // leading zeros do not overflow
  EXPECT_FALSE(ReadIntegerText(u"$100000000"));
  EXPECT_FALSE(ReadIntegerText(u"$"));
  EXPECT_FALSE(ReadIntegerText(u"0x"));
  EXPECT_FALSE(ReadIntegerText(u"$g"));
  EXPECT_FALSE(ReadIntegerText(u"$-1"));
  EXPECT_EQ(ReadIntegerText(u"0"), 0);  // a lone 0 is decimal, not a prefix
  EXPECT_TRUE(IsIntegerText(u"$ff"));
  EXPECT_FALSE(IsIntegerText(u"ff"));
}

}  // namespace
}  // namespace vx
