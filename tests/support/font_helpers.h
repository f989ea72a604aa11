#pragma once
// Fonts and glyphs for the font tests of both glyph sources.

#include <algorithm>
#include <string>

#include "platform/canvas.h"
#include "platform/font.h"

namespace vx::test {

inline TFont MakeFont(const std::string &name, int points, TFontStyles style = 0,
                      int escapement = 0) {
  TFont f;
  f.Name = name;
  f.SetSize(points);
  f.Style = style;
  f.Escapement = escapement;
  return f;
}

inline int InkPixels(const GlyphImage &g) {
  return static_cast<int>(std::count(g.coverage.begin(), g.coverage.end(), 1));
}

}  // namespace vx::test
