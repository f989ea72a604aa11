#include "markup/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

struct Item {
  std::u16string tag;
  MarkupTagKind kind;
  std::u16string run;
  friend bool operator==(const Item &, const Item &) = default;
};

std::vector<Item> Scan(std::u16string_view text) {
  std::vector<Item> out;
  MarkupScanner s(text);
  MarkupTag t;
  while (s.Next(t)) out.push_back({t.text, t.kind, std::u16string(t.run)});
  return out;
}

using K = MarkupTagKind;

TEST(MarkupScanner, TagsRunsAndTextBeforeTheFirstTag) {
  EXPECT_TRUE(Scan(u"no tags at all").empty());
  EXPECT_EQ(Scan(u"lead<b>bold</b>plain<br>"),
            (std::vector<Item>{{u"b", K::Bold, u"bold"},
                               {u"/b", K::BoldOff, u"plain"},
                               {u"br", K::Break, u""}}));
  // No run when the next character is itself "<".
  EXPECT_EQ(Scan(u"<i><u>x"), (std::vector<Item>{{u"i", K::Italic, u""},
                                                 {u"u", K::Underline, u"x"}}));
}

TEST(MarkupScanner, TagTextIsTrimmedAndLowerCased) {
  auto items = Scan(u"< \tFONT SIZE=\"20\" FACE=\"Arial\"\r\n>a< BR >b<  /FONT>");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].tag, u"font size=\"20\" face=\"arial\"");
  EXPECT_EQ(items[0].kind, K::Font);
  EXPECT_EQ(items[1].kind, K::Break);
  EXPECT_EQ(items[2].kind, K::FontReset);
}

TEST(MarkupScanner, BreakWithASlashIsNoBreak) {
  EXPECT_EQ(ClassifyMarkupTag(u"br/"), K::Other);
  EXPECT_EQ(ClassifyMarkupTag(u"br /"), K::Other);
  EXPECT_EQ(ClassifyMarkupTag(u"br"), K::Break);
  EXPECT_EQ(ClassifyMarkupTag(u"basefont"), K::Font);  // "font" anywhere
  EXPECT_EQ(ClassifyMarkupTag(u"/font"), K::FontReset);
  EXPECT_EQ(ClassifyMarkupTag(u"/fonts"), K::Font);
  EXPECT_EQ(ClassifyMarkupTag(u"bold"), K::Other);
}

TEST(MarkupScanner, UnclosedTagEndsTheScan) {
  EXPECT_EQ(Scan(u"<b>one<two<br>three"),
            (std::vector<Item>{{u"b", K::Bold, u"one"}, {u"two<br", K::Other, u"three"}}));
  EXPECT_EQ(Scan(u"<b>one<i two"), (std::vector<Item>{{u"b", K::Bold, u"one"}}));
  EXPECT_TRUE(Scan(u"<").empty());
  EXPECT_TRUE(Scan(u"<<<<").empty());
  EXPECT_EQ(Scan(u"<>"), (std::vector<Item>{{u"", K::Other, u""}}));
  EXPECT_EQ(Scan(u"<>>"), (std::vector<Item>{{u"", K::Other, u">"}}));
}

TEST(MarkupScanner, HugeInputsScanLinearly) {
  std::u16string breaks;
  for (int i = 0; i < 25000; ++i) breaks += u"<br>";
  EXPECT_EQ(Scan(breaks).size(), 25000u);
  EXPECT_TRUE(Scan(std::u16string(100000, u'<')).empty());
  EXPECT_TRUE(Scan(u"<" + std::u16string(100000, u'x')).empty());
}

TEST(MarkupAttributes, SearchStartsFourBehindTheName) {
  EXPECT_EQ(ReadMarkupAttribute(u"font size=\"20\"", u"size"), u"20");
  EXPECT_EQ(ReadMarkupAttribute(u"font color=\"#00ff00\" size=\"3\"", u"color"), u"#00ff00");
  // Without `="` behind the name, the value search starts at position 2 of the tag and picks
  // up whatever stands up to the first quote.
  EXPECT_EQ(ReadMarkupAttribute(u"font color=\"#ff\" size=9", u"size"), u"ont color=");
  // The name's first occurrence counts, even inside another attribute's value.
  EXPECT_EQ(ReadMarkupAttribute(u"font face=\"size\" size=\"7\"", u"size"), u"7");
  EXPECT_FALSE(ReadMarkupAttribute(u"font size=\"20", u"size"));  // no closing quote
  EXPECT_FALSE(ReadMarkupAttribute(u"font size=\"", u"size"));
  EXPECT_FALSE(ReadMarkupAttribute(u"font", u"size"));  // absent name
  EXPECT_FALSE(ReadMarkupAttribute(u"font size=20 color=#ff face=x", u"size"));
  EXPECT_EQ(ReadMarkupAttribute(u"font size=\"\"", u"size"), u"");
}

TEST(MarkupAttributes, SizeColorFace) {
  auto a = ReadMarkupFontAttrs(u"font size=\" 20\" color=\"#0000ff\" face=\"arial\"");
  EXPECT_EQ(a.size, 20);
  EXPECT_EQ(a.color, 0x0000FF);  // 0x00BBGGRR: pure red
  EXPECT_EQ(a.face, u"arial");

  EXPECT_EQ(ReadMarkupFontAttrs(u"font color=\"zff0000\"").color, 0xFF0000);  // pure blue
  EXPECT_EQ(ReadMarkupFontAttrs(u"font color=\"0ff\"").color, 0xFF);  // "0" is dropped
  EXPECT_FALSE(ReadMarkupFontAttrs(u"font color=\"#\"").color);
  EXPECT_FALSE(ReadMarkupFontAttrs(u"font color=\"\"").color);
  EXPECT_FALSE(ReadMarkupFontAttrs(u"font color=\"#red\"").color);
  EXPECT_FALSE(ReadMarkupFontAttrs(u"font color=\"#-12\"").color);
  EXPECT_EQ(ReadMarkupFontAttrs(u"font size=\"$10\"").size, 16);
  EXPECT_EQ(ReadMarkupFontAttrs(u"font size=\"0x10\"").size, 16);
  EXPECT_EQ(ReadMarkupFontAttrs(u"font size=\"x10\"").size, 16);
  EXPECT_FALSE(ReadMarkupFontAttrs(u"font size=\"big\"").size);
  EXPECT_FALSE(ReadMarkupFontAttrs(u"font face=\"\"").face);
  EXPECT_EQ(ReadMarkupFontAttrs(u"font size=\"99999\"").size, kMaxMarkupFontPoints);
  EXPECT_EQ(ReadMarkupFontAttrs(u"font size=\"-99999\"").size, -kMaxMarkupFontPoints);

  auto none = ReadMarkupFontAttrs(u"font size=20 color=#0000ff face=arial");
  EXPECT_FALSE(none.size);
  EXPECT_FALSE(none.color);
  EXPECT_FALSE(none.face);
}

TEST(MarkupEntities, OrderAndExactCase) {
  EXPECT_EQ(ReplaceMarkupEntities(u"&lt;a&gt; &amp; b"), u"<a> & b");
  EXPECT_EQ(ReplaceMarkupEntities(u"&amp;lt;"), u"&lt;");
  EXPECT_EQ(ReplaceMarkupEntities(u"&LT;&quot;&nbsp;"), u"&LT;&quot;&nbsp;");
  EXPECT_EQ(ReplaceMarkupEntities(u"&&lt;;"), u"&<;");
}

}  // namespace
}  // namespace vx
