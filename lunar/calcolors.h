#pragma once
// TYnrCalColors: the calendar's twelve colours and six fonts. Setting one stores it and, when
// the calendar has a window, recolours and repaints the calendar.

#include <array>

#include "platform/canvas.h"
#include "platform/color.h"

namespace vx {

class TYnrCalendar;

class TYnrCalColors {
 public:
  enum ColorIndex {
    ciTitleBack, ciWeekBack, ciDayBack, ciTrailingText, ciLunarTerm, ciSunday, ciSaturday,
    ciHightlightBack, ciHightlightText, ciBorder, ciGrid, ciArrow, kColorCount
  };
  enum FontIndex { fiTitleText, fiWeekText, fiDayText, fiLunarText, fiFtvText, fiBackMonthText, kFontCount };

  explicit TYnrCalColors(TYnrCalendar *calendar = nullptr);
  TYnrCalColors(const TYnrCalColors &) = delete;
  TYnrCalColors &operator=(const TYnrCalColors &) = delete;

  TYnrCalendar *Calendar() const { return calendar_; }

  // By index; an index outside the table reads clNone / the default font and writes nothing.
  TColor GetColor(int index) const;
  void SetColor(int index, TColor color);
  const TFont &GetFont(int index) const;
  // Copies the given font's settings into the owned font.
  void SetFont(int index, const TFont &font);
  // Sets a font's size without the repaint that SetFont asks for: the calendar's own fitting
  // of sizes during layout. A bad index changes nothing.
  void SetFittedFontSize(int index, int size);

  TColor TitleBackColor() const { return colors_[ciTitleBack]; }
  TColor WeekBackColor() const { return colors_[ciWeekBack]; }
  TColor DayBackColor() const { return colors_[ciDayBack]; }
  TColor TrailingTextColor() const { return colors_[ciTrailingText]; }
  TColor LunarTermColor() const { return colors_[ciLunarTerm]; }
  TColor SundayColor() const { return colors_[ciSunday]; }
  TColor SaturdayColor() const { return colors_[ciSaturday]; }
  TColor HightlightBackColor() const { return colors_[ciHightlightBack]; }
  TColor HightlightTextColor() const { return colors_[ciHightlightText]; }
  TColor BorderColor() const { return colors_[ciBorder]; }
  TColor GridColor() const { return colors_[ciGrid]; }
  TColor ArrowColor() const { return colors_[ciArrow]; }
  void SetTitleBackColor(TColor c) { SetColor(ciTitleBack, c); }
  void SetWeekBackColor(TColor c) { SetColor(ciWeekBack, c); }
  void SetDayBackColor(TColor c) { SetColor(ciDayBack, c); }
  void SetTrailingTextColor(TColor c) { SetColor(ciTrailingText, c); }
  void SetLunarTermColor(TColor c) { SetColor(ciLunarTerm, c); }
  void SetSundayColor(TColor c) { SetColor(ciSunday, c); }
  void SetSaturdayColor(TColor c) { SetColor(ciSaturday, c); }
  void SetHightlightBackColor(TColor c) { SetColor(ciHightlightBack, c); }
  void SetHightlightTextColor(TColor c) { SetColor(ciHightlightText, c); }
  void SetBorderColor(TColor c) { SetColor(ciBorder, c); }
  void SetGridColor(TColor c) { SetColor(ciGrid, c); }
  void SetArrowColor(TColor c) { SetColor(ciArrow, c); }

  const TFont &TitleTextFont() const { return fonts_[fiTitleText]; }
  const TFont &WeekTextFont() const { return fonts_[fiWeekText]; }
  const TFont &DayTextFont() const { return fonts_[fiDayText]; }
  const TFont &LunarTextFont() const { return fonts_[fiLunarText]; }
  const TFont &FtvTextFont() const { return fonts_[fiFtvText]; }
  const TFont &BackMonthTextFont() const { return fonts_[fiBackMonthText]; }
  void SetTitleTextFont(const TFont &f) { SetFont(fiTitleText, f); }
  void SetWeekTextFont(const TFont &f) { SetFont(fiWeekText, f); }
  void SetDayTextFont(const TFont &f) { SetFont(fiDayText, f); }
  void SetLunarTextFont(const TFont &f) { SetFont(fiLunarText, f); }
  void SetFtvTextFont(const TFont &f) { SetFont(fiFtvText, f); }
  void SetBackMonthTextFont(const TFont &f) { SetFont(fiBackMonthText, f); }

  // Copies DayBackColor, TitleBackColor, TrailingTextColor, LunarTermColor .. GridColor and
  // the day, title and back-month fonts; the week and arrow colours and the week, lunar and
  // festival fonts stay.
  void Assign(const TYnrCalColors &source);

 private:
  void Changed(bool font_changed);

  TYnrCalendar *calendar_;
  std::array<TColor, kColorCount> colors_;
  std::array<TFont, kFontCount> fonts_;
};

}  // namespace vx
