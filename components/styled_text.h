#pragma once
// TOSDStyledText: what the text and the scrolling text component share. Both draw their text
// plain (in the font's colour, or one picked at random from five), as a two-colour gradient
// inside the glyphs, or as markup, over a background colour that may be picked at random too;
// this class holds those settings, their setters, and the measuring behind
// GetVxComponent_TextRect. Setters only store; each component draws in its own Redraw.

#include <array>
#include <string_view>

#include "components/object.h"
#include "platform/types.h"

namespace vx {

class TOSDStyledText : public TOSDObject {
 public:
  // Stores the colour pair and switches both random colour modes off.
  void SetColor(TColor color, int level);
  // Two different colours draw a gradient; two equal ones plain text.
  void SetGradual(TColor color1, TColor color2);
  // Markup on switches the gradient off (a later SetGradual switches it on again).
  void SetHtml(bool on);
  // Each redraw picks the background colour from these.
  void SetRandomColor(const std::array<TColor, 5> &colors);
  // Each plain redraw picks the font colour from these.
  void SetRandomTextColor(const std::array<TColor, 5> &colors);
  // Measures a given text with the current canvas font (markup measures when html is on);
  // left and top are 0. An empty text gives (0, 0, 0, 0).
  TRect GetTextRect(std::u16string_view value);

  std::array<TColor, 5> randomcolors{};
  std::array<TColor, 5> randomtextcolors{};
  bool randomtextcolor = false;
  bool randomcolor = false;
  TColor gradualcolor1;
  TColor gradualcolor2;
  bool gradual = false;
  bool html = false;

 protected:
  // The background starts as the key colour, so that only the glyphs show in the frame. The
  // gradient's default colours differ between the two components.
  TOSDStyledText(TColor gradual1, TColor gradual2);
};

}  // namespace vx
