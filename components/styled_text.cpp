#include "components/styled_text.h"

#include "components/textpaint.h"
#include "markup/markup.h"

namespace vx {

TOSDStyledText::TOSDStyledText(TColor gradual1, TColor gradual2)
    : gradualcolor1(gradual1), gradualcolor2(gradual2) {
  bkcolor = kKeyColor;
  bklevel = 0;
}

void TOSDStyledText::SetColor(TColor color, int level) {
  TOSDObject::SetColor(color, level);
  randomtextcolor = false;
  randomcolor = false;
}

void TOSDStyledText::SetGradual(TColor color1, TColor color2) {
  gradualcolor1 = color1;
  gradualcolor2 = color2;
  gradual = color1 != color2;
}

void TOSDStyledText::SetHtml(bool on) {
  html = on;
  if (on) gradual = false;
}

void TOSDStyledText::SetRandomColor(const std::array<TColor, 5> &colors) {
  randomcolors = colors;
  randomcolor = true;
}

void TOSDStyledText::SetRandomTextColor(const std::array<TColor, 5> &colors) {
  randomtextcolors = colors;
  randomtextcolor = true;
}

TRect TOSDStyledText::GetTextRect(std::u16string_view value) {
  if (value.empty()) return {};
  if (html) return {0, 0, MarkupWidth(value, -1), MarkupLineHeight(value, -1)};
  return MeasureText(Canvas(), value, HorizontalLayout());
}

}  // namespace vx
