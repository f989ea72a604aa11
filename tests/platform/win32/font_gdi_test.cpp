// The GDI glyph source against GDI itself: the glyphs and advances it hands the project's text
// layout must be what GDI draws with the same font, in binary coverage.
// The platform headers come before <windows.h>: some of their names are macros there.
#include "platform/canvas.h"
#include "platform/font.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace vx {
namespace {

TFont FontOf(const std::string &face, int points, bool bold, bool italic, int escapement = 0,
             std::uint8_t charset = DEFAULT_CHARSET) {
  TFont f;
  f.Charset = charset;
  f.Name = face;
  f.SetSize(points);
  f.Style = (bold ? TFontStyles{fsBold} : 0u) | (italic ? TFontStyles{fsItalic} : 0u);
  f.Escapement = escapement;
  return f;
}

int Ink(const GlyphImage &g) { return static_cast<int>(std::count(g.coverage.begin(), g.coverage.end(), 1)); }

// What GDI's own TextOutW draws for `text` with the font the glyph source resolved: a 1-bit
// picture, ink = 1, pen at (x, baseline).
struct GdiPicture {
  int width, height;
  std::vector<std::uint8_t> ink;
  bool At(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && ink[static_cast<std::size_t>(y) * width + x];
  }
};

GdiPicture DrawWithGdi(const std::string &face, int ppem, bool bold, bool italic,
                       const std::wstring &text, int x, int baseline, int width, int height) {
  LOGFONTW lf{};
  lf.lfHeight = -ppem;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = italic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  lf.lfQuality = NONANTIALIASED_QUALITY;
  const std::wstring name = win32::Widen(face);
  std::copy_n(name.c_str(), std::min<std::size_t>(name.size() + 1, LF_FACESIZE), lf.lfFaceName);
  ::HDC dc = CreateCompatibleDC(nullptr);
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colors[256];
  } info{};
  info.h.biSize = sizeof(info.h);
  info.h.biWidth = width;
  info.h.biHeight = -height;
  info.h.biPlanes = 1;
  info.h.biBitCount = 8;
  info.h.biClrUsed = 256;
  for (int i = 0; i < 256; ++i) info.colors[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
  void *bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old_bmp = SelectObject(dc, bmp);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old_font = SelectObject(dc, font);
  RECT all{0, 0, width, height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  SetTextAlign(dc, TA_BASELINE | TA_LEFT);
  TextOutW(dc, x, baseline, text.c_str(), static_cast<int>(text.size()));
  GdiFlush();
  GdiPicture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
  const int stride = (width + 3) & ~3;
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < width; ++i)
      p.ink[static_cast<std::size_t>(y) * width + i] = static_cast<const BYTE *>(bits)[y * stride + i] > 127;
  SelectObject(dc, old_font);
  SelectObject(dc, old_bmp);
  DeleteObject(font);
  DeleteObject(bmp);
  DeleteDC(dc);
  return p;
}

// The glyph source's images placed along the baseline, as the project's text layout does.
GdiPicture DrawWithGlyphs(const FontInstance &font, std::u32string_view text, int x, int baseline,
                          int width, int height) {
  GdiPicture p{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
  std::vector<PlacedGlyph> glyphs;
  font.Glyphs(text, glyphs);
  int pen = x;
  for (const PlacedGlyph &g : glyphs) {
    if (g.image)
      for (int gy = 0; gy < g.image->height; ++gy)
        for (int gx = 0; gx < g.image->width; ++gx) {
          const int px = pen + g.image->left + gx, py = baseline - g.image->top + gy;
          if (g.image->coverage[static_cast<std::size_t>(gy) * g.image->width + gx] && px >= 0 &&
              py >= 0 && px < width && py < height)
            p.ink[static_cast<std::size_t>(py) * width + px] = 1;
        }
    pen += g.advance;
  }
  return p;
}

int Difference(const GdiPicture &a, const GdiPicture &b) {
  int n = 0;
  for (std::size_t i = 0; i < a.ink.size(); ++i) n += a.ink[i] != b.ink[i];
  return n;
}

int Count(const GdiPicture &a) { return static_cast<int>(std::count(a.ink.begin(), a.ink.end(), 1)); }

TEST(GdiGlyphs, ImagesAndAdvancesAreWhatGdiDraws) {
  struct Case {
    const char *face;
    int points;
    bool bold, italic;
    std::uint8_t charset;
    std::u32string text;
    std::wstring wide;
  };
  const Case cases[] = {
      {"Arial", 12, false, false, DEFAULT_CHARSET, U"Hag fly", L"Hag fly"},
      {"Arial", 20, true, false, DEFAULT_CHARSET, U"Bold Mg", L"Bold Mg"},
      {"Times New Roman", 16, false, true, DEFAULT_CHARSET, U"Italic", L"Italic"},
      {"宋体", 24, false, false, GB2312_CHARSET, U"宋体测试", L"宋体测试"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.face);
    auto font = GetFontInstance(FontOf(c.face, c.points, c.bold, c.italic, 0, c.charset));
    const std::string family = font->FamilyName();
    ASSERT_FALSE(family.empty());
    // Glyph by glyph (where a whole string's glyphs land is the layout's business, and Wine's
    // TextOutW places them by fractional advances that its own extents do not report).
    for (std::size_t i = 0; i < c.text.size(); ++i) {
      SCOPED_TRACE(i);
      const GdiPicture mine = DrawWithGlyphs(*font, c.text.substr(i, 1), 4, 40, 64, 64);
      const GdiPicture gdi = DrawWithGdi(family, font->Metrics().ppem, c.bold, c.italic,
                                         c.wide.substr(i, 1), 4, 40, 64, 64);
      if (c.text[i] != U' ') {
        EXPECT_GT(Count(gdi), 8);
      }
      EXPECT_EQ(Difference(mine, gdi), 0);
    }

    // The advances add up to GDI's own extent of the text.
    ::HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -font->Metrics().ppem;
    lf.lfWeight = c.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = c.italic;
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    const std::wstring name = win32::Widen(family);
    std::copy_n(name.c_str(), std::min<std::size_t>(name.size() + 1, LF_FACESIZE), lf.lfFaceName);
    HFONT h = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, h);
    SIZE extent{};
    int fit = 0;
    std::vector<int> partial(c.wide.size());
    GetTextExtentExPointW(dc, c.wide.c_str(), static_cast<int>(c.wide.size()), INT_MAX, &fit,
                          partial.data(), &extent);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(h);
    DeleteDC(dc);
    EXPECT_EQ(font->Width(c.text), extent.cx);
    std::vector<int> advances(c.text.size());
    font->Advances(c.text, advances.data());
    for (std::size_t i = 1; i < advances.size(); ++i) advances[i] += advances[i - 1];
    EXPECT_EQ(advances, partial);
    EXPECT_EQ(font->Metrics().ascent, tm.tmAscent);
    EXPECT_EQ(font->Metrics().Height(), tm.tmHeight);
  }
}

TEST(GdiGlyphs, CoverageIsBinaryAndStylesShowInTheInk) {
  auto plain = GetFontInstance(FontOf("Arial", 24, false, false));
  auto bold = GetFontInstance(FontOf("Arial", 24, true, false));
  auto italic = GetFontInstance(FontOf("Arial", 36, false, true));
  auto upright = GetFontInstance(FontOf("Arial", 36, false, false));
  for (const auto &f : {plain, bold, italic}) {
    auto g = f->Glyph(U'M');
    ASSERT_TRUE(g);
    for (std::uint8_t c : g->coverage) ASSERT_LE(c, 1);
  }
  EXPECT_GT(Ink(*bold->Glyph(U'M')), Ink(*plain->Glyph(U'M')) * 9 / 8);
  EXPECT_GE(bold->Width(U"M"), plain->Width(U"M"));
  // The slanted "l" stands further right at its top than at its bottom.
  auto lean = [](const GlyphImage &g) {
    auto centre = [&g](int y0, int y1) {
      long sum = 0, n = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = 0; x < g.width; ++x)
          if (g.coverage[static_cast<std::size_t>(y) * g.width + x]) sum += x, ++n;
      return n ? static_cast<double>(sum) / n : 0.0;
    };
    return centre(0, g.height / 3) - centre(g.height * 2 / 3, g.height);
  };
  EXPECT_LT(std::abs(lean(*upright->Glyph(U'l'))), 1.0);
  EXPECT_GT(lean(*italic->Glyph(U'l')), 3.0);
}

TEST(GdiGlyphs, EscapementTurnsTheImageAndKeepsTheAdvance) {
  auto flat = GetFontInstance(FontOf("Arial", 24, false, false));
  auto up = GetFontInstance(FontOf("Arial", 24, false, false, 900));
  auto f = flat->Glyph(U'-'), u = up->Glyph(U'-');
  ASSERT_TRUE(f && u);
  EXPECT_GT(f->width, f->height);
  EXPECT_EQ(u->width, f->height);
  EXPECT_EQ(u->height, f->width);
  EXPECT_EQ(Ink(*u), Ink(*f));
  EXPECT_EQ(up->Width(U"-"), flat->Width(U"-"));
  // A quarter turn counter-clockwise: the dash, right of the pen and above the baseline when
  // flat, stands above the pen and left of the turned baseline.
  EXPECT_GT(u->top, 0);
  EXPECT_LT(u->left + u->width, 1);
}

TEST(GdiFaces, ResolvedByGdiCaseInsensitivelyWithFallbackPerGlyph) {
  EXPECT_EQ(ResolveFamilyName("ARIAL"), ResolveFamilyName("arial"));
  EXPECT_FALSE(ResolveFamilyName("No Such Face 12345").empty());
  EXPECT_FALSE(ResolveFamilyName(std::string(1 << 16, 'x')).empty());

  // The Song face draws Chinese itself; a Latin face gets its Chinese from a fallback face.
  // (Which face a Chinese name gets with the default character set depends on the system:
  // SimSun on a Chinese Windows, the default face elsewhere, with Chinese by fallback.)
  auto song = GetFontInstance(FontOf("宋体", 12, false, false, 0, GB2312_CHARSET));
  EXPECT_EQ(song->FaceFamilyFor(U'宋'), song->FamilyName());
  auto latin = GetFontInstance(FontOf("Arial", 12, false, false));
  EXPECT_EQ(latin->FaceFamilyFor(U'A'), latin->FamilyName());
  EXPECT_NE(latin->FaceFamilyFor(U'宋'), latin->FamilyName());
  auto han = latin->Glyph(U'中');
  ASSERT_TRUE(han);
  EXPECT_GT(Ink(*han), 10);

  // Spaces advance without ink; controls neither advance nor draw.
  std::vector<PlacedGlyph> g;
  latin->Glyphs(U" \t\r", g);
  ASSERT_EQ(g.size(), 3u);
  EXPECT_FALSE(g[0].image);
  EXPECT_GT(g[0].advance, 0);
  EXPECT_EQ(g[1].advance + g[2].advance, 0);
  // Beyond the 16-bit plane, and lone surrogates: a box or nothing, never a crash.
  latin->Glyphs(U"\U0001F600\uFFFD", g);
  EXPECT_EQ(g.size(), 2u);
}

TEST(GdiFaces, PositiveHeightIsTheCellAndAbsurdSizesAreClamped) {
  TFont em = FontOf("宋体", 24, false, false);
  auto f = GetFontInstance(em);
  EXPECT_EQ(f->Metrics().ppem, 32);
  EXPECT_EQ(f->Width(U"中"), 32);
  TFont cell = em;
  cell.SetHeight(f->Metrics().Height());
  EXPECT_NEAR(PixelsPerEm(cell), 32, 1);
  TFont huge = FontOf("Arial", 100000, false, false);
  EXPECT_EQ(PixelsPerEm(huge), kMaxPixelsPerEm);
}

TEST(GdiGlyphCache, HitsAfterFirstUseAndStaysWithinItsLimit) {
  ClearGlyphCache();
  auto f = GetFontInstance(FontOf("宋体", 30, false, false));
  std::vector<PlacedGlyph> g;
  f->Glyphs(U"一二三", g);
  EXPECT_EQ(GetGlyphCacheStats().misses, 3u);
  f->Glyphs(U"一二三", g);
  EXPECT_EQ(GetGlyphCacheStats().hits, 3u);
  SetGlyphCacheLimit(4096);
  GetFontInstance(FontOf("宋体", 40, false, false))->Glyphs(U"春夏秋冬东南西北", g);
  EXPECT_LE(GetGlyphCacheStats().bytes, 4096u);
  for (const auto &p : g) ASSERT_TRUE(p.image && !p.image->coverage.empty());
  SetGlyphCacheLimit(std::size_t{8} << 20);
}

}  // namespace
}  // namespace vx
