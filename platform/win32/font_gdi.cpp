// The GDI glyph source: Windows resolves the faces (CreateFontIndirectW with the face name,
// character set, weight and slant; GDI synthesises bold and italic itself), glyph bitmaps come
// from GetGlyphOutlineW with GGO_BITMAP (one bit per pixel: binary coverage), metrics from
// GetTextMetricsW and GetOutlineTextMetricsW, advances from the glyph metrics. Glyphs are addressed by
// index, so the per-glyph fallback below decides which face draws a character, not GDI.
// Everything here runs under the shared font lock (glyph_source.h).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "platform/glyph_source.h"
#include "platform/win32/wide.h"

namespace vx {

namespace {

// One face as GDI resolved it, in one style and character set. Faces live as long as the
// process (the glyph cache keys on their address); there are only as many as distinct
// resolved families times styles, whatever names the host asks for.
struct GdiFace {
  std::wstring family;  // GDI's name for the face it chose
  BYTE charset = DEFAULT_CHARSET;
  bool bold = false;
  bool italic = false;
};

}  // namespace

// The faces a name resolves to: the primary face and the faces tried per glyph after it.
struct FontFaceSet {
  const GdiFace *primary = nullptr;
  std::vector<const GdiFace *> fallbacks;
};

namespace {

constexpr std::size_t kMaxFaceSets = 512;
constexpr std::size_t kMaxFonts = 64;
constexpr WORD kMissingGlyph = 0xFFFF;

// Faces tried, in order, for characters the requested face lacks: the Song face of a Chinese
// system, other faces with wide coverage, and the shell's Latin face.
struct FallbackRequest {
  const wchar_t *name;
  BYTE charset;
};
constexpr FallbackRequest kFallbacks[] = {
    {L"SimSun", GB2312_CHARSET},         {L"Microsoft YaHei", GB2312_CHARSET},
    {L"Arial Unicode MS", DEFAULT_CHARSET}, {L"Microsoft Sans Serif", DEFAULT_CHARSET},
    {L"Tahoma", DEFAULT_CHARSET},
};

std::wstring LowerWide(std::wstring s) {
  for (wchar_t &c : s)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
}

LOGFONTW MakeLogFont(const std::wstring &name, BYTE charset, bool bold, bool italic, LONG height) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = italic ? TRUE : FALSE;
  lf.lfCharSet = charset;
  // Outline faces only: GetGlyphOutlineW cannot draw the old raster faces ("MS Sans Serif"
  // is one on some systems), and the frame's text must scale.
  lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  // Binary coverage: GGO_BITMAP never blends, and the quality says so for any other call.
  lf.lfQuality = NONANTIALIASED_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::size_t n = std::min<std::size_t>(name.size(), LF_FACESIZE - 1);
  std::copy_n(name.data(), n, lf.lfFaceName);
  lf.lfFaceName[n] = L'\0';
  return lf;
}

FIXED ToFixed(double v) {
  const long fixed = std::lround(v * 65536.0);
  FIXED f;
  f.fract = static_cast<WORD>(fixed & 0xFFFF);
  f.value = static_cast<short>(fixed >> 16);
  return f;
}

class GdiEngine {
 public:
  static GdiEngine &Instance() {
    static GdiEngine engine;
    return engine;
  }

  GdiEngine() : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_) stock_font_ = static_cast<HFONT>(GetCurrentObject(dc_, OBJ_FONT));
  }
  ~GdiEngine() {
    DropFonts();
    if (dc_) DeleteDC(dc_);
  }
  GdiEngine(const GdiEngine &) = delete;
  GdiEngine &operator=(const GdiEngine &) = delete;

  std::shared_ptr<const FontFaceSet> ResolveSet(std::string_view name, bool bold, bool italic,
                                                BYTE charset) {
    const std::wstring wide = win32::Widen(name);
    auto key = std::make_tuple(LowerWide(wide), bold, italic, charset);
    if (auto it = sets_.find(key); it != sets_.end()) return it->second;
    auto set = std::make_shared<FontFaceSet>();
    set->primary = FaceFor(wide, charset, bold, italic);
    for (const FallbackRequest &fb : kFallbacks) {
      const GdiFace *face = FaceFor(fb.name, fb.charset, bold, italic);
      if (face && face != set->primary &&
          std::find(set->fallbacks.begin(), set->fallbacks.end(), face) == set->fallbacks.end())
        set->fallbacks.push_back(face);
    }
    if (sets_.size() >= kMaxFaceSets) sets_.clear();
    sets_.emplace(std::move(key), set);
    return set;
  }

  // Selects the face at `height` (negative: em height; positive: cell height) into the DC.
  bool Select(const GdiFace &face, LONG height) {
    if (!dc_) return false;
    const auto key = std::make_pair(&face, height);
    auto it = fonts_.find(key);
    if (it == fonts_.end()) {
      if (fonts_.size() >= kMaxFonts) DropFonts();
      const LOGFONTW lf = MakeLogFont(face.family, face.charset, face.bold, face.italic, height);
      HFONT font = CreateFontIndirectW(&lf);
      if (!font) return false;
      it = fonts_.emplace(key, font).first;
    }
    if (selected_ != it->second) {
      SelectObject(dc_, it->second);
      selected_ = it->second;
    }
    return true;
  }

  HDC Dc() const { return dc_; }

  WORD GlyphIndex(char32_t ch) {
    if (ch > 0xFFFF) return kMissingGlyph;  // GDI's index lookup takes one UTF-16 unit
    const wchar_t unit = static_cast<wchar_t>(ch);
    WORD index = kMissingGlyph;
    if (GetGlyphIndicesW(dc_, &unit, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
      return kMissingGlyph;
    return index;
  }

  std::string FamilyOf(const GdiFace *face) const {
    return face ? win32::Narrow(face->family) : std::string();
  }

 private:
  // The face GDI chooses for a request, shared by every request that resolves to it.
  const GdiFace *FaceFor(const std::wstring &name, BYTE charset, bool bold, bool italic) {
    if (!dc_) return nullptr;
    const LOGFONTW lf = MakeLogFont(name, charset, bold, italic, -16);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) return nullptr;
    HGDIOBJ old = SelectObject(dc_, font);
    wchar_t family[LF_FACESIZE] = {};
    const int n = GetTextFaceW(dc_, LF_FACESIZE, family);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_, &tm);
    SelectObject(dc_, old);
    selected_ = nullptr;
    DeleteObject(font);
    if (n <= 0) return nullptr;
    auto face = std::make_unique<GdiFace>();
    face->family.assign(family, static_cast<std::size_t>(std::min(n, LF_FACESIZE)));
    while (!face->family.empty() && face->family.back() == L'\0') face->family.pop_back();
    face->charset = tm.tmCharSet;
    face->bold = bold;
    face->italic = italic;
    auto key = std::make_tuple(LowerWide(face->family), face->charset, bold, italic);
    auto [it, fresh] = faces_.try_emplace(std::move(key), nullptr);
    if (fresh) it->second = std::move(face);
    return it->second.get();
  }

  void DropFonts() {
    if (dc_ && stock_font_) SelectObject(dc_, stock_font_);
    selected_ = nullptr;
    for (auto &[key, font] : fonts_) DeleteObject(font);
    fonts_.clear();
  }

  HDC dc_ = nullptr;
  HFONT stock_font_ = nullptr;
  HFONT selected_ = nullptr;
  std::map<std::tuple<std::wstring, BYTE, bool, bool>, std::unique_ptr<GdiFace>> faces_;
  std::map<std::tuple<std::wstring, bool, bool, BYTE>, std::shared_ptr<const FontFaceSet>> sets_;
  std::map<std::pair<const GdiFace *, LONG>, HFONT> fonts_;
};

const GdiFace &Face(glyph_source::GlyphRef ref) { return *static_cast<const GdiFace *>(ref.face); }

// The em height asked of GDI: the character height, as a negative LOGFONT height.
LONG EmHeight(int ppem) { return -static_cast<LONG>(ppem); }

}  // namespace

namespace glyph_source {

std::shared_ptr<const FontFaceSet> Resolve(std::string_view name, bool bold, bool italic,
                                           std::uint8_t charset) {
  return GdiEngine::Instance().ResolveSet(name, bold, italic, charset);
}

std::string PrimaryFamily(const FontFaceSet &set) {
  return GdiEngine::Instance().FamilyOf(set.primary);
}

FontMetrics Metrics(const FontFaceSet &set, int ppem, bool, bool) {
  FontMetrics m;
  m.ppem = ppem;
  m.ascent = (ppem * 7 + 4) / 8;  // without a face: proportions of a typical Latin face
  m.descent = ppem - m.ascent;
  m.underline_offset = 1;
  m.strikeout_offset = ppem / 3;
  GdiEngine &e = GdiEngine::Instance();
  if (!set.primary || !e.Select(*set.primary, EmHeight(ppem))) return m;
  TEXTMETRICW tm{};
  if (!GetTextMetricsW(e.Dc(), &tm)) return m;
  m.ascent = std::max<int>(1, tm.tmAscent);
  m.descent = std::max<int>(0, tm.tmDescent);
  OUTLINETEXTMETRICW otm{};
  otm.otmSize = sizeof(otm);
  if (GetOutlineTextMetricsW(e.Dc(), sizeof(otm), &otm) != 0) {
    m.underline_thickness = std::max<int>(1, static_cast<int>(otm.otmsUnderscoreSize));
    m.underline_offset = std::max(1, -otm.otmsUnderscorePosition - m.underline_thickness / 2);
    if (m.underline_offset + m.underline_thickness > m.descent)
      m.underline_offset = std::max(1, m.descent - m.underline_thickness);
    m.strikeout_thickness = std::max<int>(1, static_cast<int>(otm.otmsStrikeoutSize));
    m.strikeout_offset = otm.otmsStrikeoutPosition > 0
                             ? static_cast<int>(otm.otmsStrikeoutPosition)
                             : (m.ascent * 3 + 5) / 10 + m.strikeout_thickness;
  } else {
    m.strikeout_offset = (m.ascent * 3 + 5) / 10 + m.strikeout_thickness;
  }
  return m;
}

int PixelsPerEmForCell(const FontFaceSet &set, int cell_height, bool, bool) {
  // GDI maps a positive height to the cell itself; the em is the cell less the internal leading.
  GdiEngine &e = GdiEngine::Instance();
  TEXTMETRICW tm{};
  if (!set.primary || !e.Select(*set.primary, cell_height) || !GetTextMetricsW(e.Dc(), &tm))
    return cell_height;
  return static_cast<int>(tm.tmHeight - tm.tmInternalLeading);
}

GlyphRef Map(const FontFaceSet &set, char32_t ch) {
  GdiEngine &e = GdiEngine::Instance();
  // The size does not change which glyphs a face has.
  constexpr LONG kProbeHeight = -16;
  if (set.primary && e.Select(*set.primary, kProbeHeight)) {
    const WORD g = e.GlyphIndex(ch);
    if (g != kMissingGlyph) return {set.primary, g};
  }
  for (const GdiFace *face : set.fallbacks) {
    if (!e.Select(*face, kProbeHeight)) continue;
    const WORD g = e.GlyphIndex(ch);
    if (g != kMissingGlyph) return {face, g};
  }
  // No face has it: the primary face's missing-glyph box.
  return set.primary ? GlyphRef{set.primary, 0} : GlyphRef{};
}

std::string Family(const FontFaceSet &, GlyphRef ref) {
  return ref.face ? GdiEngine::Instance().FamilyOf(&Face(ref)) : std::string();
}

std::uint8_t StyleKey(const FontFaceSet &, GlyphRef, bool, bool) {
  return 0;  // every face of a set is resolved in the set's style: the face tells styles apart
}

int Advance(const FontFaceSet &, GlyphRef ref, int ppem, bool, bool) {
  GdiEngine &e = GdiEngine::Instance();
  if (!e.Select(Face(ref), EmHeight(ppem))) return 0;
  // The cell increment is the advance TextOutW uses; the ABC widths of the hinted glyph can
  // differ from it by a pixel (seen with Wine), which would shift every following glyph.
  static const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  GLYPHMETRICS gm{};
  if (GetGlyphOutlineW(e.Dc(), ref.glyph, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr,
                       &identity) == GDI_ERROR) {
    ABC abc{};
    if (!GetCharABCWidthsI(e.Dc(), ref.glyph, 1, nullptr, &abc)) return 0;
    return abc.abcA + static_cast<int>(abc.abcB) + abc.abcC;
  }
  return gm.gmCellIncX;
}

std::shared_ptr<const GlyphImage> Render(const FontFaceSet &, GlyphRef ref, int ppem, bool,
                                         bool, int escapement, bool smooth) {
  GdiEngine &e = GdiEngine::Instance();
  if (!e.Select(Face(ref), EmHeight(ppem))) return nullptr;
  double c, s;
  EscapementDirection(escapement, c, s);
  // Counter-clockwise in GDI's y-up glyph space: x' = c x - s y, y' = s x + c y.
  const MAT2 turn = {ToFixed(c), ToFixed(s), ToFixed(-s), ToFixed(c)};
  GLYPHMETRICS gm{};
  // Smooth glyphs: GDI's 65 grey levels (0..64), rows of bytes padded to DWORDs.
  const UINT format = (smooth ? GGO_GRAY8_BITMAP : GGO_BITMAP) | GGO_GLYPH_INDEX;
  const DWORD size = GetGlyphOutlineW(e.Dc(), ref.glyph, format, &gm, 0, nullptr, &turn);
  if (size == GDI_ERROR || size == 0 || gm.gmBlackBoxX == 0 || gm.gmBlackBoxY == 0)
    return nullptr;
  const int width = static_cast<int>(gm.gmBlackBoxX);
  const int height = static_cast<int>(gm.gmBlackBoxY);
  const std::size_t pitch = smooth ? ((static_cast<std::size_t>(width) + 3) / 4) * 4
                                   : ((static_cast<std::size_t>(width) + 31) / 32) * 4;  // DWORD rows
  if (size < pitch * static_cast<std::size_t>(height)) return nullptr;
  std::vector<BYTE> bits(size);
  if (GetGlyphOutlineW(e.Dc(), ref.glyph, format, &gm, size, bits.data(), &turn) == GDI_ERROR)
    return nullptr;
  auto image = std::make_shared<GlyphImage>();
  image->left = gm.gmptGlyphOrigin.x;
  image->top = gm.gmptGlyphOrigin.y;
  image->width = width;
  image->height = height;
  image->coverage.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  bool any = false;
  for (int y = 0; y < height; ++y) {
    const BYTE *row = bits.data() + pitch * static_cast<std::size_t>(y);
    std::uint8_t *out = image->coverage.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const std::uint8_t on =
          smooth ? static_cast<std::uint8_t>((std::min<unsigned>(row[x], 64) * 255 + 32) / 64)
                 : static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
      out[x] = on;
      any |= on != 0;
    }
  }
  if (!any) return nullptr;
  return image;
}

}  // namespace glyph_source

}  // namespace vx
