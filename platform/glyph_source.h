#pragma once
// The seam between the shared font code (font_cache.cpp: font instances, the glyph cache, the
// lock) and the system's glyph source: FreeType with fontconfig on Linux, GDI on Windows.
// Each glyph source defines FontFaceSet and these functions; the shared code calls them with
// the font lock held, so a glyph source needs no lock of its own.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/font.h"

namespace vx::glyph_source {

// A glyph of one face of a set: `face` identifies the face (it keys the glyph cache), `glyph`
// the glyph in it. A face without the character gives its missing-glyph glyph.
struct GlyphRef {
  const void *face = nullptr;
  std::uint32_t glyph = 0;
};

// The faces a face name (already cut to the platform's length) resolves to. Never null.
std::shared_ptr<const FontFaceSet> Resolve(std::string_view name, bool bold, bool italic,
                                           std::uint8_t charset);
// Family name of the set's primary face.
std::string PrimaryFamily(const FontFaceSet &set);
// Metrics of the primary face at `ppem` pixels per em.
FontMetrics Metrics(const FontFaceSet &set, int ppem, bool bold, bool italic);
// Pixels per em of the primary face whose cell (ascent + descent) is `cell_height` pixels.
int PixelsPerEmForCell(const FontFaceSet &set, int cell_height, bool bold, bool italic);

// The face of the set that draws `ch` (after per-glyph fallback).
GlyphRef Map(const FontFaceSet &set, char32_t ch);
std::string Family(const FontFaceSet &set, GlyphRef ref);
// Bits that tell apart renderings of one glyph of one face at one size (synthetic styles).
std::uint8_t StyleKey(const FontFaceSet &set, GlyphRef ref, bool bold, bool italic);
// Advance in whole pixels along the baseline.
int Advance(const FontFaceSet &set, GlyphRef ref, int ppem, bool bold, bool italic);
// Coverage rotated by `escapement` (tenths of a degree, 0..3599): binary (0 or 1), or with
// `smooth` anti-aliased (0..255, from the system's grey-level rendering); null without ink.
// Advances and metrics do not depend on `smooth`: text lays out the same either way.
std::shared_ptr<const GlyphImage> Render(const FontFaceSet &set, GlyphRef ref, int ppem,
                                         bool bold, bool italic, int escapement, bool smooth);

}  // namespace vx::glyph_source
