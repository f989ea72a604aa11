#include "lunar/calcolors.h"

#include "lunar/calendar.h"

namespace vx {

namespace {
TFont MakeFont(const char *name, std::uint8_t charset, TColor color, int size, TFontStyles style) {
  TFont f;
  f.Name = name;
  f.Charset = charset;
  f.Color = color;
  f.SetSize(size);
  f.Style = style;
  return f;
}
}  // namespace

TYnrCalColors::TYnrCalColors(TYnrCalendar *calendar)
    : calendar_(calendar),
      colors_{clActiveCaption, clWindow, clWindow, clInactiveCaptionText, 0x800000, 0x0000FF,
              0x000080,        clActiveCaption, 0xFFFFFF, 0x808080, 0xC0C0C0, 0xFFFFFF},
      fonts_{MakeFont("Arial Black", GB2312_CHARSET, 0xFFFFFF, 14, fsBold),
             MakeFont("宋体", GB2312_CHARSET, clActiveCaption, 12, 0),
             MakeFont("Arial Black", DEFAULT_CHARSET, clWindowText, 10, fsBold),
             MakeFont("宋体", GB2312_CHARSET, clWindowText, 8, 0),
             MakeFont("宋体", GB2312_CHARSET, 0x0000FF, 8, 0),
             MakeFont("Times New Roman", DEFAULT_CHARSET, 0xC0C0C0, 240, fsBold | fsItalic)} {}

TColor TYnrCalColors::GetColor(int index) const {
  return index >= 0 && index < kColorCount ? colors_[static_cast<std::size_t>(index)] : clNone;
}

void TYnrCalColors::SetColor(int index, TColor color) {
  if (index < 0 || index >= kColorCount) return;
  colors_[static_cast<std::size_t>(index)] = color;
  Changed(false);
}

const TFont &TYnrCalColors::GetFont(int index) const {
  static const TFont kDefault;
  return index >= 0 && index < kFontCount ? fonts_[static_cast<std::size_t>(index)] : kDefault;
}

void TYnrCalColors::SetFittedFontSize(int index, int size) {
  if (index >= 0 && index < kFontCount) fonts_[static_cast<std::size_t>(index)].SetSize(size);
}

void TYnrCalColors::SetFont(int index, const TFont &font) {
  if (index < 0 || index >= kFontCount) return;
  fonts_[static_cast<std::size_t>(index)].Assign(font);
  Changed(true);
}

void TYnrCalColors::Assign(const TYnrCalColors &source) {
  if (&source == this) return;
  for (int i : {ciDayBack, ciTitleBack, ciTrailingText, ciLunarTerm, ciSunday, ciSaturday,
                ciHightlightBack, ciHightlightText, ciBorder, ciGrid})
    colors_[static_cast<std::size_t>(i)] = source.colors_[static_cast<std::size_t>(i)];
  for (int i : {fiDayText, fiTitleText, fiBackMonthText})
    fonts_[static_cast<std::size_t>(i)].Assign(source.fonts_[static_cast<std::size_t>(i)]);
  Changed(true);
}

void TYnrCalColors::Changed(bool font_changed) {
  if (calendar_ != nullptr) calendar_->CalColorsChanged(font_changed);
}

}  // namespace vx
