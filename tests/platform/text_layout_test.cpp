// The layout stages with made-up advances (Latin 10 px, CJK 20 px, space 5 px): no fonts.
#include "platform/text_layout.h"

#include <gtest/gtest.h>

#include "platform/canvas.h"

namespace vx {
namespace {

std::vector<int> Advances(std::u32string_view text) {
  std::vector<int> adv;
  for (char32_t c : text) adv.push_back(c == U' ' ? 5 : c < 0x20 ? 0 : IsCjk(c) ? 20 : 10);
  return adv;
}

std::vector<std::u32string> Texts(std::u32string_view text, const std::vector<TextLine> &lines) {
  std::vector<std::u32string> out;
  for (const TextLine &l : lines) out.emplace_back(text.substr(l.begin, l.end - l.begin));
  return out;
}

TextLayout Layout(std::u32string_view text, int max_width, unsigned format) {
  const auto adv = Advances(text);
  return LayoutText(text, adv.data(), 16, max_width, format);
}

using Lines = std::vector<std::u32string>;

TEST(SplitLines, EachBreakPairCountsOnce) {
  EXPECT_EQ(Texts(U"a\r\nb", SplitLines(U"a\r\nb")), (Lines{U"a", U"b"}));
  EXPECT_EQ(Texts(U"a\n\rb", SplitLines(U"a\n\rb")), (Lines{U"a", U"b"}));
  EXPECT_EQ(Texts(U"a\rb", SplitLines(U"a\rb")), (Lines{U"a", U"b"}));
  EXPECT_EQ(Texts(U"a\nb", SplitLines(U"a\nb")), (Lines{U"a", U"b"}));
  // Two of the same kind are two breaks; so are CR LF CR LF.
  EXPECT_EQ(Texts(U"a\n\nb", SplitLines(U"a\n\nb")), (Lines{U"a", U"", U"b"}));
  EXPECT_EQ(Texts(U"a\r\n\r\nb", SplitLines(U"a\r\n\r\nb")), (Lines{U"a", U"", U"b"}));
  EXPECT_EQ(Texts(U"a\n\r\n\rb", SplitLines(U"a\n\r\n\rb")), (Lines{U"a", U"", U"b"}));
  // A trailing break adds no line; a leading one does.
  EXPECT_EQ(Texts(U"a\r\n", SplitLines(U"a\r\n")), (Lines{U"a"}));
  EXPECT_EQ(Texts(U"\na", SplitLines(U"\na")), (Lines{U"", U"a"}));
  EXPECT_TRUE(SplitLines(U"").empty());
}

TEST(WrapLine, BreaksAtSpacesAndDropsThemAtTheBreak) {
  const std::u32string t = U"aaa bbb ccc";
  const auto adv = Advances(t);
  // "aaa bbb" is 65 px.
  const auto lines = WrapLine(t, adv.data(), 0, t.size(), 65, false);
  EXPECT_EQ(Texts(t, lines), (Lines{U"aaa bbb", U"ccc"}));
  EXPECT_EQ(lines[0].width, 65);
  EXPECT_EQ(Texts(t, WrapLine(t, adv.data(), 0, t.size(), 64, false)),
            (Lines{U"aaa", U"bbb", U"ccc"}));
}

TEST(WrapLine, AWordWiderThanTheLineStaysWholeUnlessEditControl) {
  const std::u32string t = U"ab abcdefgh cd";
  const auto adv = Advances(t);
  const auto whole = WrapLine(t, adv.data(), 0, t.size(), 30, false);
  EXPECT_EQ(Texts(t, whole), (Lines{U"ab", U"abcdefgh", U"cd"}));
  EXPECT_EQ(whole[1].width, 80);
  EXPECT_EQ(Texts(t, WrapLine(t, adv.data(), 0, t.size(), 30, true)),
            (Lines{U"ab", U"abc", U"def", U"gh", U"cd"}));
}

TEST(WrapLine, BreaksBetweenCjkCharactersButNotBeforeClosingPunctuation) {
  const std::u32string t = U"中文字，好";
  const auto adv = Advances(t);
  EXPECT_EQ(Texts(t, WrapLine(t, adv.data(), 0, t.size(), 40, false)),
            (Lines{U"中文", U"字，", U"好"}));
  // Latin next to CJK may break too; a Latin word does not.
  const std::u32string m = U"ab中cd";
  const auto madv = Advances(m);
  EXPECT_EQ(Texts(m, WrapLine(m, madv.data(), 0, m.size(), 25, false)),
            (Lines{U"ab", U"中", U"cd"}));
}

TEST(LayoutText, OnePixelEditControlGivesOneCharacterPerLine) {
  const std::u32string t = U"春眠不觉晓";
  const auto layout = Layout(t, 1, DT_WORDBREAK | DT_EDITCONTROL);
  ASSERT_EQ(layout.lines.size(), 5u);
  for (const TextLine &l : layout.lines) EXPECT_EQ(l.end - l.begin, 1u);
  EXPECT_EQ(layout.width, 20);
  EXPECT_EQ(layout.height, 80);
  // Latin too, character by character.
  EXPECT_EQ(Layout(U"ab cd", 1, DT_WORDBREAK | DT_EDITCONTROL).lines.size(), 4u);
  // Without edit control a word stays whole and widens the layout.
  const auto words = Layout(U"abcd ef", 1, DT_WORDBREAK);
  EXPECT_EQ(Texts(U"abcd ef", words.lines), (Lines{U"abcd", U"ef"}));
  EXPECT_EQ(words.width, 40);
}

TEST(LayoutText, WithoutWordBreakLinesBreakOnlyAtLineBreaks) {
  const auto layout = Layout(U"aaa bbb\r\ncc", 0, DT_VCENTER);
  EXPECT_EQ(Texts(U"aaa bbb\r\ncc", layout.lines), (Lines{U"aaa bbb", U"cc"}));
  EXPECT_EQ(layout.width, 65);
  EXPECT_EQ(layout.height, 32);
}

TEST(LayoutText, SingleLineIgnoresBreaks) {
  const auto layout = Layout(U"ab\r\ncd", 0, DT_SINGLELINE | DT_WORDBREAK);
  ASSERT_EQ(layout.lines.size(), 1u);
  EXPECT_EQ(layout.width, 40);
  EXPECT_EQ(layout.height, 16);
}

TEST(LayoutText, ALineThatFitsExactlyIsNotBroken) {
  // Text measured without word break and drawn into the measured width keeps its lines.
  const std::u32string t = U"aaa bbb\nc";
  const auto measured = Layout(t, 0, 0);
  const auto drawn = Layout(t, measured.width, DT_WORDBREAK);
  EXPECT_EQ(drawn.lines, measured.lines);
}

TEST(AlignLines, CentreRightAndVerticalCentreOfASingleLine) {
  const std::u32string t = U"ab\nabcd";
  const auto layout = Layout(t, 0, 0);
  const TRect r{10, 20, 110, 120};
  auto o = AlignLines(layout, r, DT_CENTER);
  EXPECT_EQ(o[0], (TPoint{50, 20}));
  EXPECT_EQ(o[1], (TPoint{40, 36}));
  o = AlignLines(layout, r, DT_RIGHT);
  EXPECT_EQ(o[0], (TPoint{90, 20}));
  // DT_VCENTER moves only single-line text.
  o = AlignLines(layout, r, DT_VCENTER);
  EXPECT_EQ(o[0].Y, 20);
  const auto single = Layout(U"ab", 0, DT_SINGLELINE);
  EXPECT_EQ(AlignLines(single, r, DT_SINGLELINE | DT_VCENTER)[0].Y, 62);
  EXPECT_EQ(AlignLines(single, r, DT_SINGLELINE | DT_BOTTOM)[0].Y, 104);
}

}  // namespace
}  // namespace vx
