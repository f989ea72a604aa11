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

TEST(MulDiv, RoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(8, 96, 72), 11);   // 10.67
  EXPECT_EQ(MulDiv(9, 96, 72), 12);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);      // 1.5
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 1, 0), -1);
  EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), INT32_MAX);  // saturates rather than wrapping
}

TEST(FontSize, PointsAt96DpiGiveNegativeEmHeight) {
  TFont f;
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  f.SetSize(24);
  EXPECT_EQ(f.Height(), -32);
  EXPECT_EQ(f.Size(), 24);
  f.SetSize(9);
  EXPECT_EQ(f.Height(), -12);
  f.SetSize(10);
  EXPECT_EQ(f.Height(), -13);  // 13.33
  EXPECT_EQ(PixelsPerEm(f), 13);
  f.SetSize(100000);  // absurd sizes are clamped, not allocated
  EXPECT_EQ(PixelsPerEm(f), kMaxPixelsPerEm);
}

TEST(FontSize, PositiveHeightIsTheCellHeight) {
  TFont f = MakeFont("宋体", 24);
  auto em = GetFontInstance(f);
  TFont cell = f;
  cell.SetHeight(em->Metrics().Height());
  EXPECT_NEAR(PixelsPerEm(cell), 32, 1);
}

TEST(FontResolve, NamesAreCutAt31Characters) {
  // The name as the original platform keeps it: 31 characters, then the rest is ignored.
  const std::string name31 = "一二三四五六七八九十" + std::string(21, 'x');  // 31 characters
  EXPECT_EQ(GetFontInstance(MakeFont(name31 + "tail", 12)), GetFontInstance(MakeFont(name31, 12)));
  EXPECT_NE(GetFontInstance(MakeFont(name31.substr(0, name31.size() - 1) + "y", 12)),
            GetFontInstance(MakeFont(name31, 12)));
  const std::string huge(1 << 20, 'x');
  EXPECT_EQ(ResolveFamilyName(huge), "Liberation Sans");
  EXPECT_GT(GetFontInstance(MakeFont(huge, 12))->Width(U"abc"), 0);
}

TEST(FontFallback, UnknownFaceStillDrawsInk) {
  auto f = GetFontInstance(MakeFont("No Such Face 12345", 16));
  std::vector<PlacedGlyph> glyphs;
  f->Glyphs(U"Hi中", glyphs);
  ASSERT_EQ(glyphs.size(), 3u);
  for (const auto &g : glyphs) {
    ASSERT_TRUE(g.image);
    EXPECT_GT(InkPixels(*g.image), 0);
    EXPECT_GT(g.advance, 0);
  }
}

TEST(FontMetricsTest, CjkCharactersAreOneEmWideAndTheCellCoversTheEm) {
  auto f = GetFontInstance(MakeFont("宋体", 24));
  EXPECT_EQ(f->Metrics().ppem, 32);
  EXPECT_EQ(f->Width(U"中"), 32);
  EXPECT_EQ(f->Width(U"中文字"), 96);
  EXPECT_GE(f->Metrics().Height(), 32);
  EXPECT_LE(f->Metrics().Height(), 40);
  auto arial = GetFontInstance(MakeFont("Arial", 12));
  EXPECT_EQ(arial->Metrics().ppem, 16);
  EXPECT_GE(arial->Metrics().Height(), 17);
  EXPECT_LE(arial->Metrics().Height(), 19);
  EXPECT_GT(arial->Metrics().ascent, arial->Metrics().descent);
}

TEST(FontGlyphs, CoverageIsBinary) {
  auto f = GetFontInstance(MakeFont("宋体", 20, fsBold | fsItalic, 450));
  std::vector<PlacedGlyph> glyphs;
  f->Glyphs(U"永A", glyphs);
  for (const auto &g : glyphs) {
    ASSERT_TRUE(g.image);
    for (std::uint8_t c : g.image->coverage) ASSERT_LE(c, 1);
  }
}

TEST(FontGlyphs, SyntheticBoldWidensAndInks) {
  // The CJK face has no bold: bold is synthesised.
  auto plain = GetFontInstance(MakeFont("宋体", 24));
  auto bold = GetFontInstance(MakeFont("宋体", 24, fsBold));
  std::vector<PlacedGlyph> p, b;
  plain->Glyphs(U"永", p);
  bold->Glyphs(U"永", b);
  ASSERT_TRUE(p[0].image && b[0].image);
  EXPECT_GT(InkPixels(*b[0].image), InkPixels(*p[0].image));
  EXPECT_GT(b[0].advance, p[0].advance);
}

TEST(FontGlyphs, SyntheticItalicLeansRight) {
  auto plain = GetFontInstance(MakeFont("宋体", 36));
  auto italic = GetFontInstance(MakeFont("宋体", 36, fsItalic));
  std::vector<PlacedGlyph> p, i;
  plain->Glyphs(U"l", p);
  italic->Glyphs(U"l", i);
  ASSERT_TRUE(p[0].image && i[0].image);
  // The stem of the slanted "l" stands further right at the top than at the bottom.
  auto lean = [](const GlyphImage &g) {
    auto centre = [&g](int y0, int y1) {
      long sum = 0, n = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = 0; x < g.width; ++x)
          if (g.coverage[y * g.width + x]) sum += x, ++n;
      return n ? static_cast<double>(sum) / n : 0.0;
    };
    return centre(3, g.height / 3) - centre(g.height * 2 / 3, g.height - 3);
  };
  EXPECT_LT(std::abs(lean(*p[0].image)), 1.0);
  EXPECT_GT(lean(*i[0].image), 3.0);
  EXPECT_EQ(i[0].advance, p[0].advance);
}

TEST(FontGlyphs, EscapementRotatesTheImage) {
  auto flat = GetFontInstance(MakeFont("Arial", 24));
  auto up = GetFontInstance(MakeFont("Arial", 24, 0, 900));
  std::vector<PlacedGlyph> f, u;
  flat->Glyphs(U"-", f);
  up->Glyphs(U"-", u);
  ASSERT_TRUE(f[0].image && u[0].image);
  // A dash lies flat; turned by 90 degrees it stands upright.
  EXPECT_GT(f[0].image->width, f[0].image->height);
  EXPECT_GT(u[0].image->height, u[0].image->width);
  EXPECT_EQ(u[0].advance, f[0].advance);
}

TEST(FontGlyphs, SpacesAndControlsHaveNoInk) {
  auto f = GetFontInstance(MakeFont("Arial", 12));
  std::vector<PlacedGlyph> g;
  f->Glyphs(U" \t\r", g);
  ASSERT_EQ(g.size(), 3u);
  EXPECT_FALSE(g[0].image);
  EXPECT_GT(g[0].advance, 0);
  EXPECT_EQ(g[1].advance, 0);
  EXPECT_EQ(g[2].advance, 0);
}

TEST(GlyphCache, HitsAfterFirstUseAndStaysWithinItsLimit) {
  ClearGlyphCache();
  auto f = GetFontInstance(MakeFont("宋体", 30));
  std::vector<PlacedGlyph> g;
  f->Glyphs(U"一二三", g);
  GlyphCacheStats s = GetGlyphCacheStats();
  EXPECT_EQ(s.misses, 3u);
  EXPECT_EQ(s.hits, 0u);
  f->Glyphs(U"一二三", g);
  s = GetGlyphCacheStats();
  EXPECT_EQ(s.hits, 3u);
  EXPECT_EQ(s.entries, 3u);

  SetGlyphCacheLimit(4096);
  auto big = GetFontInstance(MakeFont("宋体", 40));
  big->Glyphs(U"春夏秋冬东南西北", g);
  EXPECT_LE(GetGlyphCacheStats().bytes, 4096u);
  // Glyphs handed out stay valid after eviction.
  for (const auto &p : g) ASSERT_TRUE(p.image && !p.image->coverage.empty());
  SetGlyphCacheLimit(std::size_t{8} << 20);
}

TEST(FontThreads, ConcurrentUseIsSafe) {
  auto work = [](int seed) {
    for (int i = 0; i < 20; ++i) {
      auto f = GetFontInstance(MakeFont(seed % 2 ? "宋体" : "Arial", 10 + (i + seed) % 7));
      std::vector<PlacedGlyph> g;
      f->Glyphs(U"Hello 你好", g);
      ASSERT_EQ(g.size(), 8u);
    }
  };
  // This thread is the second worker: one thread more than the test's own is enough for
  // the race, and qemu-i386 runs Wine's guest threads reliably only a few at a time.
  std::thread other(work, 1);
  work(2);
  other.join();
}

TEST(DecodeUtf16, PairsJoinAndLoneSurrogatesBecomeReplacement) {
  EXPECT_EQ(DecodeUtf16(u"a\U0001F600b"), U"a\U0001F600b");
  const char16_t lone_high[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(DecodeUtf16(lone_high), U"a\uFFFDb");
  const char16_t lone_low[] = {0xDC00, 0xD800, 0};
  EXPECT_EQ(DecodeUtf16(lone_low), U"\uFFFD\uFFFD");
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// How much the end of the stroke of 一 swells over its middle. Song and Ming faces end their
// horizontal strokes in a triangular serif, two or more times the stroke's thickness; Hei
// (sans) faces end them square.
double SerifSwell(const FontInstance &font) {
  const auto g = font.Glyph(U'一');
  if (!g || g->width < 8) return 0;
  auto column = [&](int x) {
    int ink = 0;
    for (int y = 0; y < g->height; ++y)
      ink += g->coverage[static_cast<std::size_t>(y) * g->width + x];
    return ink;
  };
  int middle = g->height, end = 0;
  for (int x = g->width * 3 / 8; x < g->width * 5 / 8; ++x) middle = std::min(middle, column(x));
  for (int x = g->width * 3 / 4; x < g->width; ++x) end = std::max(end, column(x));
  return middle > 0 ? static_cast<double>(end) / middle : 0;
}

TEST(FontResolve, BroadcastCjkNamesResolveToFacesOfTheirStyleThatCoverChinese) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows resolves these faces itself (the substitution table is fontconfig's)";
#endif
  const struct {
    const char *style;
    std::vector<const char *> names;
    double min_swell, max_swell;
  } groups[] = {
      {"serif",
       {"宋体", "SimSun", "新宋体", "NSimSun", "仿宋", "FangSong", "仿宋_GB2312"},
       2.0,
       10},
      {"sans", {"黑体", "SimHei", "微软雅黑", "Microsoft YaHei"}, 0.5, 1.4},
      {"kai", {"楷体", "KaiTi", "楷体_GB2312"}, 1.5, 10},  // a brush end, not a square one
  };
  // Common characters of news, weather and festival captions, and GB2312's first and last.
  const std::u32string sample = U"中文字幕新闻天气预报春节快乐国庆体育财经直播今日啊齄";
  std::vector<std::string> families;
  for (const auto &group : groups) {
    std::string family;
    for (const char *name : group.names) {
      const auto font = GetFontInstance(MakeFont(name, 48));
      if (family.empty()) family = font->FamilyName();
      EXPECT_EQ(font->FamilyName(), family) << group.style << ": " << name;
      for (char32_t ch : sample)
        EXPECT_EQ(font->FaceFamilyFor(ch), family)
            << name << " lacks U+" << std::hex << unsigned(ch);
      const double swell = SerifSwell(*font);
      EXPECT_GE(swell, group.min_swell) << name << " in " << family;
      EXPECT_LE(swell, group.max_swell) << name << " in " << family;
    }
    families.push_back(family);
  }
  EXPECT_NE(families[2], families[0]) << "Kai has a face of its own";
}

}  // namespace
}  // namespace vx
