#pragma once
// The font engine behind TFont: faces resolved and glyphs rendered (binary coverage, or
// anti-aliased for true-colour targets) by the
// system's glyph source (fontconfig and FreeType on Linux, with the substitution table for the
// faces the system names; GDI on Windows), with per-glyph fallback and a bounded glyph cache.
// One lock guards the glyph source and the caches, so fonts may be used from any thread.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

class TFont;

// Pixels per em for a TFont height at 96 DPI: a negative height is the character (em) height,
// a positive one the cell height (ascent + descent), 0 the default. Clamped to 1..kMaxPixelsPerEm.
constexpr int kMaxPixelsPerEm = 2048;

// MulDiv as the original platform rounds it: to nearest, halves away from zero; -1 when the
// divisor is 0.
int MulDiv(int number, int numerator, int denominator);

// One glyph's coverage: one byte per pixel, `width` bytes per row, top-down; binary (0 or 1),
// or anti-aliased (0..255, the share of each pixel the glyph covers) when rendered smooth.
// (left, top) place the image's top-left corner relative to the pen position on the baseline
// (top counts upwards, as in FreeType).
struct GlyphImage {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> coverage;
};

struct FontMetrics {
  int ppem = 0;      // em height in pixels
  int ascent = 0;    // pixels above the baseline
  int descent = 0;   // pixels below the baseline
  int underline_offset = 0;     // top of the underline, pixels below the baseline
  int underline_thickness = 1;
  int strikeout_offset = 0;     // top of the strike-out line, pixels above the baseline
  int strikeout_thickness = 1;
  int Height() const { return ascent + descent; }
};

// A glyph of a text: its advance along the baseline (whole pixels) and its image (null for a
// glyph without ink, such as a space).
struct PlacedGlyph {
  int advance = 0;
  std::shared_ptr<const GlyphImage> image;
};

struct FontFaceSet;

// The unit vector of an escapement (tenths of a degree, counter-clockwise): exact for the
// right angles, so that upright and quarter-turned text lands on whole pixels without
// rounding noise.
void EscapementDirection(int escapement, double &c, double &s);

// A font resolved at one size, style and escapement. Cheap to share; immutable.
class FontInstance {
 public:
  FontInstance(const FontFaceSet *faces, int ppem, bool bold, bool italic, int escapement,
               const FontMetrics &metrics);

  const FontMetrics &Metrics() const { return metrics_; }
  int Escapement() const { return escapement_; }
  // Family name of the primary face (the face the name resolved to).
  std::string FamilyName() const;

  // Advance of each code point in whole pixels (C0 control characters advance 0).
  void Advances(std::u32string_view text, int *out) const;
  int Width(std::u32string_view text) const;
  // Advances and rendered images, in text order. Images are rotated by the escapement.
  void Glyphs(std::u32string_view text, std::vector<PlacedGlyph> &out) const;
  // The rendered image of one code point (null when it has no ink): binary coverage, or
  // anti-aliased with `smooth` (for true-colour targets; cached apart).
  std::shared_ptr<const GlyphImage> Glyph(char32_t ch, bool smooth = false) const;
  // Family of the face that draws code point `ch` (after fallback); for tests and tools.
  std::string FaceFamilyFor(char32_t ch) const;

 private:
  const FontFaceSet *faces_;
  int ppem_;
  bool bold_;
  bool italic_;
  int escapement_;
  FontMetrics metrics_;
};

// The font a TFont describes. Never null: an unknown face resolves to the default face.
std::shared_ptr<const FontInstance> GetFontInstance(const TFont &font);

// Family name a face name resolves to (after substitution and fallback to the default face).
std::string ResolveFamilyName(std::string_view name, bool bold = false, bool italic = false,
                              std::uint8_t charset = 1);

// Pixels per em for a TFont height (see kMaxPixelsPerEm).
int PixelsPerEm(const TFont &font);

// Glyph cache statistics and control, for tests and benchmarks.
struct GlyphCacheStats {
  std::size_t entries = 0;
  std::size_t bytes = 0;
  std::size_t hits = 0;
  std::size_t misses = 0;
};
GlyphCacheStats GetGlyphCacheStats();
void ClearGlyphCache();
// Bounds the rendered glyph cache to `bytes` of coverage (least recently used glyphs go first).
void SetGlyphCacheLimit(std::size_t bytes);

// UTF-16 to code points; a lone surrogate becomes U+FFFD.
std::u32string DecodeUtf16(std::u16string_view text);

}  // namespace vx
