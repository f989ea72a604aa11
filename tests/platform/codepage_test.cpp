#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <vector>

namespace vx {
namespace {

// "农历腊月初八" in code page 936 (GBK), two bytes per character.
const std::string kGbk = "\xC5\xA9\xC0\xFA\xC0\xB0\xD4\xC2\xB3\xF5\xB0\xCB";
const std::u16string kChinese = u"农历腊月初八";

class SystemCodePageTest : public ::testing::Test {
 protected:
  void TearDown() override { SetSystemCodePageForTesting(""); }
};

TEST(CodePage936, ChineseRoundTripsThroughGbk) {
  EXPECT_EQ(ToUtf16(kGbk, CP_GBK), kChinese);
  EXPECT_EQ(FromUtf16(kChinese, CP_GBK), kGbk);
  const std::u16string mixed = u"甲子年 Festival 元宵节 12";
  EXPECT_EQ(ToUtf16(FromUtf16(mixed, CP_GBK), CP_GBK), mixed);
}

TEST(CodePage936, InvalidBytesBecomeReplacementCharacters) {
  // 0xFF is never valid in GBK; a lead byte cut off at the end is a truncated character.
  EXPECT_EQ(ToUtf16("A\xFF" "B", CP_GBK), u"A\uFFFDB");
  EXPECT_EQ(ToUtf16("\xC5\xA9\xC0", CP_GBK), u"农\uFFFD");
  EXPECT_EQ(ToUtf16("", CP_GBK), u"");
}

TEST(CodePage936, CharactersGbkLacksAndBadUtf16BecomeQuestionMarks) {
  // U+1F600 is outside GBK; an unpaired surrogate is not a character at all.
  std::u16string text = u"a\U0001F600b";
  text += static_cast<char16_t>(0xD800);
  text += u"农";
  EXPECT_EQ(FromUtf16(text, CP_GBK), "a?b?\xC5\xA9");
}

TEST_F(SystemCodePageTest, IsTheLocaleCharsetAndAsciiCountsAsUtf8) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has an ANSI code page instead (tested with the Windows backend)";
#endif
  // The test environment runs in C.UTF-8 or the C locale: both give UTF-8.
  EXPECT_EQ(SystemCodePage(), CP_UTF8);
  EXPECT_EQ(FromUtf16(kChinese), Utf16ToUtf8(kChinese));
  EXPECT_EQ(ToUtf16(Utf16ToUtf8(kChinese), CP_ACP), kChinese);
}

TEST_F(SystemCodePageTest, ForcedGbkSystemCodePageConvertsThroughIconv) {
  SetSystemCodePageForTesting("GBK");
  EXPECT_EQ(SystemCodePage(), CP_GBK);
  EXPECT_EQ(FromUtf16(kChinese, CP_ACP), kGbk);
  EXPECT_EQ(ToUtf16(kGbk, CP_ACP), kChinese);
  SetSystemCodePageForTesting("CP1252");
  EXPECT_EQ(SystemCodePage(), 1252u);
  EXPECT_EQ(ToUtf16("caf\xE9 \x80", CP_ACP), u"café €");
  EXPECT_EQ(FromUtf16(u"café 农", CP_ACP), "caf\xE9 ?");
}

TEST_F(SystemCodePageTest, UnknownCharsetKeepsAsciiAndReplacesTheRest) {
  SetSystemCodePageForTesting("NO-SUCH-CHARSET");
  EXPECT_EQ(ToUtf16("ab\xC5", CP_ACP), u"ab\uFFFD");
  EXPECT_EQ(FromUtf16(u"ab农", CP_ACP), "ab?");
}

TEST(Utf8, DecodesValidTextAndReplacesEveryKindOfBrokenSequence) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE5\x86\x9C\xF0\x9F\x98\x80"), u"aé农\U0001F600");
  EXPECT_EQ(Utf8ToUtf16("\x80"), u"\uFFFD");                 // stray continuation
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");       // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // > U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xE5\x86" "x"), u"\uFFFDx");        // cut short, then ASCII
  EXPECT_EQ(Utf8ToUtf16("\xE5\x86"), u"\uFFFD");             // cut short at the end
}

TEST(Utf8, EncodesPairsAndReplacesUnpairedSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  std::u16string lone_low(1, static_cast<char16_t>(0xDC00));
  std::u16string high_then_a = {static_cast<char16_t>(0xD83D), u'a'};
  EXPECT_EQ(Utf16ToUtf8(lone_low), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(high_then_a), "\xEF\xBF\xBD" "a");
}

TEST(Utf8, EveryByteSequenceOfLengthTwoDecodesWithoutLosingAscii) {
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      std::string s{static_cast<char>(a), static_cast<char>(b)};
      std::u16string u = Utf8ToUtf16(s);
      ASSERT_FALSE(u.empty());
      ASSERT_LE(u.size(), 2u);
      if (b < 0x80) {
        ASSERT_EQ(u.back(), static_cast<char16_t>(b));
      }
      ASSERT_EQ(ToUtf16(s, CP_GBK).empty(), false);
    }
}

TEST(StrLen16, StopsAtTheTerminatorOrTheLimit) {
  const char16_t text[] = u"abc";
  EXPECT_EQ(StrLen16(text), 3u);
  EXPECT_EQ(StrLen16(nullptr), 0u);
  const char16_t unterminated[4] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ(StrLen16(unterminated, 4), 4u);  // reads no further than told
  EXPECT_EQ(StrLen16(unterminated, 2), 2u);
}

}  // namespace
}  // namespace vx
