// The FreeType glyph source: the faces fontconfig resolves the system's face names to, and
// fallback between the faces the packages install. (The GDI glyph source's own expectations
// are in win32/font_gdi_test.cpp.)
#include "platform/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/canvas.h"
#include "tests/support/font_helpers.h"

namespace vx {
namespace {

using test::InkPixels;
using test::MakeFont;

TEST(FontResolve, SongNamesResolveToTheCjkFaceCaseInsensitively) {
  const std::string song = ResolveFamilyName("宋体");
  EXPECT_EQ(song, "AR PL UMing CN");
  EXPECT_EQ(ResolveFamilyName("simsun"), song);
  EXPECT_EQ(ResolveFamilyName("SimSun"), song);
  EXPECT_EQ(ResolveFamilyName("SIMSUN"), song);
  EXPECT_EQ(ResolveFamilyName("新宋体"), song);
  EXPECT_EQ(ResolveFamilyName("NSimSun"), song);
  EXPECT_EQ(ResolveFamilyName("宋体-18030"), song);
}

TEST(FontResolve, LatinNamesResolveToMetricCompatibleFaces) {
  EXPECT_EQ(ResolveFamilyName("Arial"), "Liberation Sans");
  EXPECT_EQ(ResolveFamilyName("arial"), "Liberation Sans");
  EXPECT_EQ(ResolveFamilyName("Times New Roman"), "Liberation Serif");
  EXPECT_EQ(ResolveFamilyName("Courier New"), "Liberation Mono");
  EXPECT_EQ(ResolveFamilyName("MS Sans Serif"), "Liberation Sans");
  EXPECT_EQ(ResolveFamilyName("Tahoma"), "Liberation Sans");
  EXPECT_EQ(ResolveFamilyName("liberation serif"), "Liberation Serif");
}

TEST(FontResolve, UnknownFaceFallsBackToTheDefault) {
  EXPECT_EQ(ResolveFamilyName("No Such Face 12345"), "Liberation Sans");
  EXPECT_EQ(ResolveFamilyName(""), "Liberation Sans");
  // With the Chinese character set the default is the CJK face, as a GB2312 font asks for.
  EXPECT_EQ(ResolveFamilyName("No Such Face 12345", false, false, GB2312_CHARSET),
            "AR PL UMing CN");
}

TEST(FontResolve, ArialBlackIsBold) {
  auto black = GetFontInstance(MakeFont("Arial Black", 20));
  auto plain = GetFontInstance(MakeFont("Arial", 20));
  EXPECT_EQ(black->FamilyName(), "Liberation Sans");
  std::vector<PlacedGlyph> b, p;
  black->Glyphs(U"M", b);
  plain->Glyphs(U"M", p);
  ASSERT_TRUE(b[0].image && p[0].image);
  EXPECT_GT(InkPixels(*b[0].image), InkPixels(*p[0].image) * 5 / 4);
}

TEST(FontFallback, EachGlyphComesFromAFaceThatHasIt) {
  auto latin = GetFontInstance(MakeFont("Arial", 12));
  EXPECT_EQ(latin->FaceFamilyFor(U'A'), "Liberation Sans");
  EXPECT_EQ(latin->FaceFamilyFor(U'宋'), "AR PL UMing CN");
  auto song = GetFontInstance(MakeFont("宋体", 12));
  EXPECT_EQ(song->FaceFamilyFor(U'宋'), "AR PL UMing CN");

  // CJK in a Latin face and Latin in the CJK face both draw ink.
  std::vector<PlacedGlyph> glyphs;
  latin->Glyphs(U"中A", glyphs);
  ASSERT_EQ(glyphs.size(), 2u);
  ASSERT_TRUE(glyphs[0].image && glyphs[1].image);
  EXPECT_GT(InkPixels(*glyphs[0].image), 10);
  song->Glyphs(U"Ab", glyphs);
  ASSERT_TRUE(glyphs[0].image && glyphs[1].image);
  EXPECT_GT(InkPixels(*glyphs[1].image), 5);
}

}  // namespace
}  // namespace vx
