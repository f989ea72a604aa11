// The glyph source on Linux: fontconfig resolves faces, FreeType renders them.
#include "platform/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/canvas.h"
#include "platform/glyph_source.h"

#include "platform/lsan_fontconfig.h"
#include "platform/sysutils.h"

namespace vx {

namespace {

constexpr const char *kCjkFamily = "AR PL UMing CN";
constexpr const char *kDefaultFamily = "Liberation Sans";

struct Substitute {
  const char *family;
  bool bold;
};

// The faces the system names, mapped to the faces the packages install. Keys are lower case.
const std::unordered_map<std::string, Substitute> &SubstitutionTable() {
  static const std::unordered_map<std::string, Substitute> table = [] {
    std::unordered_map<std::string, Substitute> t;
    // CJK faces by style: Song/Ming and FangSong (serif) to the Ming face, Hei and YaHei
    // (sans) to the Hei face, Kai to the Kai face. Broadcast overlays use all three.
    for (const char *n :
         {"宋体", "simsun", "新宋体", "nsimsun", "宋体-18030", "新宋体-18030", "simsun-18030",
          "nsimsun-18030", "仿宋", "仿宋_gb2312", "fangsong", "fangsong_gb2312", "细明体",
          "新细明体", "細明體", "新細明體", "mingliu", "pmingliu", "simsun-extb"})
      t[n] = {kCjkFamily, false};
    for (const char *n : {"黑体", "simhei", "微软雅黑", "microsoft yahei", "microsoft yahei ui",
                          "幼圆", "youyuan"})
      t[n] = {"WenQuanYi Zen Hei", false};
    for (const char *n : {"楷体", "楷体_gb2312", "kaiti", "kaiti_gb2312", "标楷体", "dfkai-sb"})
      t[n] = {"AR PL UKai CN", false};
    for (const char *n : {"arial", "helvetica", "ms sans serif", "microsoft sans serif",
                          "ms shell dlg", "ms shell dlg 2", "tahoma", "verdana", "segoe ui",
                          "system", "arial narrow"})
      t[n] = {kDefaultFamily, false};
    t["arial black"] = {kDefaultFamily, true};
    for (const char *n : {"times new roman", "times", "ms serif", "georgia"})
      t[n] = {"Liberation Serif", false};
    for (const char *n : {"courier new", "courier", "lucida console", "consolas", "fixedsys"})
      t[n] = {"Liberation Mono", false};
    return t;
  }();
  return table;
}

}  // namespace

// A loaded face file. Lives as long as the engine.
struct FaceRec {
  FT_Face face = nullptr;
  std::string family;
  bool is_bold = false;
  bool is_italic = false;
  int current_ppem = -1;
};

// The faces a name resolves to: the primary face and the fallbacks tried per glyph.
struct FontFaceSet {
  FaceRec *primary = nullptr;
  std::vector<FaceRec *> fallbacks;
  bool force_bold = false;
};

namespace {

constexpr std::size_t kMaxFaceSets = 512;
constexpr std::size_t kMaxFallbackEntries = 1 << 14;

class FontEngine {
 public:
  static FontEngine &Instance() {
    static FontEngine engine;
    return engine;
  }

  FontEngine() {
    if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
    // A configuration of our own rather than fontconfig's process-wide one: destroying it
    // at exit releases everything it loaded (a host's leak checker sees nothing left), and
    // does not pull the configuration from under a host that uses fontconfig itself.
    config_ = FcInitLoadConfigAndFonts();
  }
  ~FontEngine() {
    for (auto &[key, rec] : faces_)
      if (rec->face) FT_Done_Face(rec->face);
    if (library_) FT_Done_FreeType(library_);
    if (config_) FcConfigDestroy(config_);
  }

  // --- resolution (callers hold the mutex) ---

  std::shared_ptr<const FontFaceSet> ResolveSet(std::string_view name, bool bold, bool italic,
                                                std::uint8_t charset) {
    const std::string lower = LowerCase(name);
    std::string key = lower;
    key += '\0';
    key += char('0' + (bold ? 1 : 0) + (italic ? 2 : 0));
    key += char(charset == GB2312_CHARSET ? 'g' : 'a');
    if (auto it = sets_.find(key); it != sets_.end()) return it->second;

    auto set = std::make_shared<FontFaceSet>();
    std::string family(name);
    if (auto it = SubstitutionTable().find(lower); it != SubstitutionTable().end()) {
      family = it->second.family;
      set->force_bold = it->second.bold;
    }
    const bool want_bold = bold || set->force_bold;
    if (!family.empty()) set->primary = MatchFamily(family, want_bold, italic);
    if (!set->primary)
      set->primary = MatchFamily(charset == GB2312_CHARSET ? kCjkFamily : kDefaultFamily,
                                 want_bold, italic);
    if (!set->primary) set->primary = MatchAny(want_bold, italic);
    for (const char *fb : {kCjkFamily, kDefaultFamily}) {
      FaceRec *rec = MatchFamily(fb, false, false);
      if (rec && rec != set->primary &&
          std::find(set->fallbacks.begin(), set->fallbacks.end(), rec) == set->fallbacks.end())
        set->fallbacks.push_back(rec);
    }
    if (sets_.size() >= kMaxFaceSets) sets_.clear();
    sets_[key] = set;
    return set;
  }

  // The face that draws `ch` and its glyph index; glyph 0 of the primary face when no face has it.
  std::pair<FaceRec *, FT_UInt> MapChar(const FontFaceSet &set, char32_t ch) {
    if (set.primary && set.primary->face) {
      if (FT_UInt g = FT_Get_Char_Index(set.primary->face, ch)) return {set.primary, g};
    }
    for (FaceRec *rec : set.fallbacks)
      if (FT_UInt g = FT_Get_Char_Index(rec->face, ch)) return {rec, g};
    if (FaceRec *rec = FallbackFor(ch))
      if (FT_UInt g = FT_Get_Char_Index(rec->face, ch)) return {rec, g};
    return {set.primary, 0};
  }

  FontMetrics ComputeMetrics(const FaceRec *rec, int ppem) {
    FontMetrics m;
    m.ppem = ppem;
    if (!rec || !rec->face) {
      m.ascent = (ppem * 7 + 4) / 8;
      m.descent = ppem - m.ascent;
      m.underline_offset = 1;
      m.strikeout_offset = ppem / 3;
      return m;
    }
    FT_Face face = rec->face;
    const double upem = face->units_per_EM > 0 ? face->units_per_EM : 1000.0;
    const double scale = ppem / upem;
    auto px = [scale](double units) { return static_cast<int>(std::lround(units * scale)); };
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (!FT_IS_SCALABLE(face)) {
      SetSize(const_cast<FaceRec *>(rec), ppem);
      m.ascent = static_cast<int>(face->size->metrics.ascender >> 6);
      m.descent = static_cast<int>(-(face->size->metrics.descender >> 6));
    } else if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
      m.ascent = px(os2->usWinAscent);
      m.descent = px(os2->usWinDescent);
    } else {
      m.ascent = px(face->ascender);
      m.descent = px(-face->descender);
    }
    m.ascent = std::max(m.ascent, 1);
    m.descent = std::max(m.descent, 0);
    m.underline_thickness = std::max(1, px(face->underline_thickness));
    m.underline_offset = std::max(1, px(-face->underline_position) - m.underline_thickness / 2);
    if (m.underline_offset + m.underline_thickness > m.descent)
      m.underline_offset = std::max(1, m.descent - m.underline_thickness);
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutPosition > 0) {
      m.strikeout_thickness = std::max(1, px(os2->yStrikeoutSize));
      m.strikeout_offset = px(os2->yStrikeoutPosition);
    } else {
      m.strikeout_thickness = m.underline_thickness;
      m.strikeout_offset = (m.ascent * 3 + 5) / 10 + m.strikeout_thickness;
    }
    return m;
  }

  std::string FamilyOf(const FaceRec *rec) const { return rec ? rec->family : std::string(); }

  // --- glyphs (callers hold the mutex) ---

  int Advance(FaceRec *rec, FT_UInt g, int ppem, std::uint8_t flags) {
    int advance = 0;
    LoadGlyph(rec, g, ppem, flags, 0, false, &advance);
    return advance;
  }

  std::shared_ptr<const GlyphImage> Render(FaceRec *rec, FT_UInt g, int ppem, std::uint8_t flags,
                                           int escapement, bool smooth) {
    int advance = 0;
    return LoadGlyph(rec, g, ppem, flags, escapement, true, &advance, smooth);
  }

 public:
  static std::uint8_t StyleFlags(const FaceRec &rec, const FontFaceSet &set, bool bold,
                                 bool italic) {
    std::uint8_t flags = 0;
    if ((bold || set.force_bold) && !rec.is_bold) flags |= 1;
    if (italic && !rec.is_italic) flags |= 2;
    return flags;
  }

 private:
  bool SetSize(FaceRec *rec, int ppem) {
    if (rec->current_ppem == ppem) return true;
    FT_Face face = rec->face;
    if (FT_IS_SCALABLE(face)) {
      if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return false;
    } else if (face->num_fixed_sizes > 0) {
      int best = 0;
      for (int i = 1; i < face->num_fixed_sizes; ++i)
        if (std::abs(face->available_sizes[i].height - ppem) <
            std::abs(face->available_sizes[best].height - ppem))
          best = i;
      if (FT_Select_Size(face, best) != 0) return false;
    } else {
      return false;
    }
    rec->current_ppem = ppem;
    return true;
  }

  // Loads (and with `render`, rasterises) one glyph; *advance gets the advance in pixels.
  std::shared_ptr<const GlyphImage> LoadGlyph(FaceRec *rec, FT_UInt g, int ppem,
                                              std::uint8_t flags, int escapement, bool render,
                                              int *advance, bool smooth = false) {
    *advance = 0;
    if (!SetSize(rec, ppem)) return nullptr;
    FT_Face face = rec->face;
    // The auto-hinter: the Latin faces' own instructions give uneven stems and advances in
    // monochrome (a bold "M" narrower than the regular one).
    // Smooth glyphs: the light auto-hinter keeps the outline's shape (and its advance) and
    // only snaps it vertically; embedded bitmaps are binary and are left out.
    const FT_Int32 target = smooth ? FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP : FT_LOAD_TARGET_MONO;
    FT_Int32 load = target | FT_LOAD_FORCE_AUTOHINT;
    if (flags != 0 || escapement != 0) load |= FT_LOAD_NO_BITMAP;
    if (FT_Load_Glyph(face, g, load) != 0 &&
        FT_Load_Glyph(face, g, target | FT_LOAD_FORCE_AUTOHINT) != 0)
      return nullptr;
    FT_GlyphSlot slot = face->glyph;
    long adv = slot->advance.x;
    const bool outline = slot->format == FT_GLYPH_FORMAT_OUTLINE;
    FT_Pos bold_strength = 0;
    if (outline && (flags & 1)) bold_strength = std::max(1, (ppem + 12) / 24) * 64;
    adv += bold_strength;
    *advance = static_cast<int>((adv + 32) >> 6);
    if (!render) return nullptr;

    if (outline) {
      if (bold_strength) FT_Outline_EmboldenXY(&slot->outline, bold_strength, 0);
      if (flags & 2) {
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
        FT_Outline_Transform(&slot->outline, &shear);
      }
      if (escapement != 0) {
        double dc, ds;
        EscapementDirection(escapement, dc, ds);
        const FT_Fixed c = static_cast<FT_Fixed>(std::lround(dc * 65536.0));
        const FT_Fixed s = static_cast<FT_Fixed>(std::lround(ds * 65536.0));
        FT_Matrix rot{c, -s, s, c};
        FT_Outline_Transform(&slot->outline, &rot);
      }
      if (FT_Render_Glyph(slot, smooth ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
        return nullptr;
    }
    const FT_Bitmap &bm = slot->bitmap;
    if (bm.width == 0 || bm.rows == 0 || bm.buffer == nullptr) return nullptr;
    auto image = std::make_shared<GlyphImage>();
    image->left = slot->bitmap_left;
    image->top = slot->bitmap_top;
    image->width = static_cast<int>(bm.width);
    image->height = static_cast<int>(bm.rows);
    image->coverage.assign(static_cast<std::size_t>(image->width) * image->height, 0);
    bool any = false;
    for (int y = 0; y < image->height; ++y) {
      const unsigned char *row =
          bm.pitch >= 0 ? bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch
                        : bm.buffer + static_cast<std::ptrdiff_t>(image->height - 1 - y) * -bm.pitch;
      std::uint8_t *out = image->coverage.data() + static_cast<std::size_t>(y) * image->width;
      if (smooth) {
        for (int x = 0; x < image->width; ++x) {
          std::uint8_t c = 0;
          switch (bm.pixel_mode) {
            case FT_PIXEL_MODE_MONO: c = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0; break;
            case FT_PIXEL_MODE_GRAY: c = row[x]; break;
            case FT_PIXEL_MODE_BGRA: c = row[x * 4 + 3]; break;
            default: break;
          }
          out[x] = c;
          any |= c != 0;
        }
        continue;
      }
      for (int x = 0; x < image->width; ++x) {
        bool on = false;
        switch (bm.pixel_mode) {
          case FT_PIXEL_MODE_MONO: on = (row[x >> 3] >> (7 - (x & 7))) & 1; break;
          case FT_PIXEL_MODE_GRAY: on = row[x] >= 128; break;
          case FT_PIXEL_MODE_BGRA: on = row[x * 4 + 3] >= 128; break;
          default: on = false; break;
        }
        out[x] = on ? 1 : 0;
        any |= on;
      }
    }
    if (!any) return nullptr;
    return image;
  }

  FaceRec *LoadFace(const char *file, int index) {
    std::string key = std::string(file) + '#' + std::to_string(index);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second.get();
    auto rec = std::make_unique<FaceRec>();
    if (!library_ || FT_New_Face(library_, file, index, &rec->face) != 0) {
      faces_[key] = nullptr;
      return nullptr;
    }
    FT_Select_Charmap(rec->face, FT_ENCODING_UNICODE);
    rec->is_bold = (rec->face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
    rec->is_italic = (rec->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    FaceRec *raw = rec.get();
    faces_[key] = std::move(rec);
    return raw;
  }

  FaceRec *LoadMatch(FcPattern *match, const char *family) {
    FcChar8 *file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FaceRec *rec = LoadFace(reinterpret_cast<const char *>(file), index);
    if (rec && rec->family.empty()) {
      FcChar8 *fam = nullptr;
      if (family) {
        rec->family = family;
      } else if (FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch) {
        rec->family = reinterpret_cast<const char *>(fam);
      } else if (rec->face->family_name) {
        rec->family = rec->face->family_name;
      }
    }
    return rec;
  }

  static void AddStyle(FcPattern *pattern, bool bold, bool italic) {
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  }

  // fontconfig's best match for `pattern`, which this destroys; null when nothing matches.
  // The caller destroys the match.
  FcPattern *BestMatch(FcPattern *pattern) {
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult res = FcResultNoMatch;
    FcPattern *match = FcFontMatch(config_, pattern, &res);
    FcPatternDestroy(pattern);
    return match;
  }

  // A face of exactly this family (case-insensitive), in the style closest to the one asked.
  FaceRec *MatchFamily(const std::string &family, bool bold, bool italic) {
    const std::string key = LowerCase(family) + char('0' + (bold ? 1 : 0) + (italic ? 2 : 0));
    if (auto it = family_cache_.find(key); it != family_cache_.end()) return it->second;
    FaceRec *result = nullptr;
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family.c_str()));
    AddStyle(pattern, bold, italic);
    if (FcPattern *match = BestMatch(pattern)) {
      FcChar8 *fam = nullptr;
      for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &fam) == FcResultMatch; ++i) {
        if (FcStrCmpIgnoreCase(fam, reinterpret_cast<const FcChar8 *>(family.c_str())) == 0) {
          result = LoadMatch(match, reinterpret_cast<const char *>(fam));
          break;
        }
      }
      FcPatternDestroy(match);
    }
    if (family_cache_.size() >= kMaxFaceSets) family_cache_.clear();
    family_cache_[key] = result;
    return result;
  }

  // Whatever fontconfig offers for a sans-serif face: the last resort when even the default
  // face is not installed.
  FaceRec *MatchAny(bool bold, bool italic) {
    FaceRec *result = nullptr;
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>("sans-serif"));
    AddStyle(pattern, bold, italic);
    if (FcPattern *match = BestMatch(pattern)) {
      result = LoadMatch(match, nullptr);
      FcPatternDestroy(match);
    }
    return result;
  }

  // A face that has `ch`, by fontconfig's character sets (cached per character).
  FaceRec *FallbackFor(char32_t ch) {
    if (auto it = fallback_.find(ch); it != fallback_.end()) return it->second;
    FaceRec *result = nullptr;
    FcCharSet *charset = FcCharSetCreate();
    FcCharSetAddChar(charset, ch);
    FcPattern *pattern = FcPatternCreate();
    FcPatternAddCharSet(pattern, FC_CHARSET, charset);
    if (FcPattern *match = BestMatch(pattern)) {
      FcCharSet *have = nullptr;
      if (FcPatternGetCharSet(match, FC_CHARSET, 0, &have) == FcResultMatch &&
          FcCharSetHasChar(have, ch))
        result = LoadMatch(match, nullptr);
      FcPatternDestroy(match);
    }
    FcCharSetDestroy(charset);
    if (fallback_.size() >= kMaxFallbackEntries) fallback_.clear();
    fallback_[ch] = result;
    return result;
  }

  FT_Library library_ = nullptr;
  FcConfig *config_ = nullptr;
  std::unordered_map<std::string, std::unique_ptr<FaceRec>> faces_;
  std::unordered_map<std::string, FaceRec *> family_cache_;
  std::unordered_map<std::string, std::shared_ptr<const FontFaceSet>> sets_;
  std::unordered_map<char32_t, FaceRec *> fallback_;
};

}  // namespace

namespace glyph_source {

namespace {
FaceRec *Face(GlyphRef ref) { return const_cast<FaceRec *>(static_cast<const FaceRec *>(ref.face)); }
}  // namespace

std::shared_ptr<const FontFaceSet> Resolve(std::string_view name, bool bold, bool italic,
                                           std::uint8_t charset) {
  return FontEngine::Instance().ResolveSet(name, bold, italic, charset);
}

std::string PrimaryFamily(const FontFaceSet &set) {
  return FontEngine::Instance().FamilyOf(set.primary);
}

FontMetrics Metrics(const FontFaceSet &set, int ppem, bool, bool) {
  return FontEngine::Instance().ComputeMetrics(set.primary, ppem);
}

int PixelsPerEmForCell(const FontFaceSet &set, int cell_height, bool, bool) {
  const FontMetrics m = FontEngine::Instance().ComputeMetrics(set.primary, 1000);
  return m.Height() > 0 ? MulDiv(cell_height, 1000, m.Height()) : cell_height;
}

GlyphRef Map(const FontFaceSet &set, char32_t ch) {
  auto [rec, g] = FontEngine::Instance().MapChar(set, ch);
  if (!rec || !rec->face) return {};
  return {rec, g};
}

std::string Family(const FontFaceSet &, GlyphRef ref) {
  return FontEngine::Instance().FamilyOf(Face(ref));
}

std::uint8_t StyleKey(const FontFaceSet &set, GlyphRef ref, bool bold, bool italic) {
  return FontEngine::StyleFlags(*Face(ref), set, bold, italic);
}

int Advance(const FontFaceSet &set, GlyphRef ref, int ppem, bool bold, bool italic) {
  return FontEngine::Instance().Advance(Face(ref), ref.glyph, ppem,
                                        StyleKey(set, ref, bold, italic));
}

std::shared_ptr<const GlyphImage> Render(const FontFaceSet &set, GlyphRef ref, int ppem,
                                         bool bold, bool italic, int escapement, bool smooth) {
  return FontEngine::Instance().Render(Face(ref), ref.glyph, ppem,
                                       StyleKey(set, ref, bold, italic), escapement, smooth);
}

}  // namespace glyph_source

}  // namespace vx
