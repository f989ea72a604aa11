#pragma once
// TYnrCalendar: the month-calendar control's object: its date, colours, fonts, festival list
// and display settings, plus the lunar and festival operations (forwarding to lunardate.h and
// festival.h). It works without a window (the clock uses it only to convert dates): repaint
// and relayout requests are dropped until a window is created.
//
// Painting, layout and input live in separate files on top of this class; they use the
// protected layout fields below, take the pending repaint area from UpdateRect() and run
// CalcLayout when LayoutPending() is set.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "lunar/calcolors.h"
#include "lunar/calendar_hint.h"
#include "lunar/calendar_input.h"
#include "lunar/festival.h"
#include "lunar/lunardate.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/types.h"

namespace vx {

class TImage;
class CellTextWriter;

// Where a day cell's lunar or festival text goes.
enum TYnrCalStyle : std::uint8_t { csBottom = 0, csRight = 1, csNone = 2 };

class TYnrCalendar {
 public:
  TYnrCalendar();
  virtual ~TYnrCalendar();
  TYnrCalendar(const TYnrCalendar &) = delete;
  TYnrCalendar &operator=(const TYnrCalendar &) = delete;

  // ---- date ----
  // The selected day (whole days, 1900-01-01..2100-12-31; today when created).
  TDateTime Date() const { return date_; }
  // Ignores dates outside the Gregorian years 1900..2100 (and NaN) and the current day;
  // otherwise stores the day, recomputes FirstDate and fires OnChange.
  void SetDate(TDateTime date);
  int Year() const { return year_; }
  int Month() const { return month_; }
  int Day() const { return day_; }
  // The date in the grid's first cell.
  TDateTime FirstDate() const { return first_date_; }
  std::function<void(TYnrCalendar &sender)> OnChange;

  // ---- colours, fonts, festivals ----
  TYnrCalColors &CalColors() { return *cal_colors_; }
  const TYnrCalColors &CalColors() const { return *cal_colors_; }
  void SetCalColors(const TYnrCalColors &colors) { cal_colors_->Assign(colors); }
  TFestivalList &FtvList() { return *ftv_list_; }
  const TFestivalList &FtvList() const { return *ftv_list_; }
  void SetFtvList(const TFestivalList &list) { ftv_list_->Assign(list); }
  TCalendarHint &Hint() { return *hint_; }

  // ---- framework properties ----
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Resizing lays the calendar out again.
  void SetBounds(int width, int height);
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int width);
  TRect ClientRect() const;
  bool ShowHint = true;
  bool TabStop = true;
  bool Enabled = true;
  // The control's colour: DayBackColor, set again when the colours change with a window.
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFont Font;  // "宋体", character set 134

  // ---- display settings (each setter ignores an unchanged value) ----
  TYnrCalStyle LunarCalStyle() const { return lunar_cal_style_; }
  void SetLunarCalStyle(TYnrCalStyle style);
  TYnrCalStyle FtvCalStyle() const { return ftv_cal_style_; }
  void SetFtvCalStyle(TYnrCalStyle style);
  TImage *BackImage() const { return back_image_; }
  void SetBackImage(TImage *image);  // not owned
  bool ShowVertical() const { return show_vertical_; }
  void SetShowVertical(bool v);
  bool ChineseEar() const { return chinese_ear_; }
  void SetChineseEar(bool v);
  bool UseISO8601() const { return use_iso8601_; }
  void SetUseISO8601(bool v);
  bool ShowBackMonth() const { return show_back_month_; }
  void SetShowBackMonth(bool v);
  bool ShowBackImage() const { return show_back_image_; }
  void SetShowBackImage(bool v);
  bool ShowArrow() const { return show_arrow_; }
  void SetShowArrow(bool v);
  // Ignored when the absolute value is below 0.001.
  double VerticalScale() const { return vertical_scale_; }
  void SetVerticalScale(double v);
  double HorizonScale() const { return horizon_scale_; }
  void SetHorizonScale(double v);
  bool AutoFontSize() const { return auto_font_size_; }
  void SetAutoFontSize(bool v);
  bool ShowBorder() const { return show_border_; }
  void SetShowBorder(bool v);
  bool ShowGrid() const { return show_grid_; }
  void SetShowGrid(bool v);
  bool EnWeekName() const { return en_week_name_; }
  void SetEnWeekName(bool v);
  bool SmoothText() const { return smooth_text_; }
  void SetSmoothText(bool v);
  bool ShadowFont() const { return shadow_font_; }
  void SetShadowFont(bool v);

  // ---- lunar operations (depend only on their arguments) ----
  static int LunarYearDays(int year) { return vx::LunarYearDays(year); }
  static int LunarLeapMonth(int year) { return vx::LunarLeapMonth(year); }
  static int LunarLeapDays(int year) { return vx::LunarLeapDays(year); }
  static int LunarMonthDays(int year, int month) { return vx::LunarMonthDays(year, month); }
  static TLunarDate SolarToLunar(TDateTime date) { return vx::SolarToLunar(date); }
  static TDateTime SolarTermDate(int year, int term) { return vx::SolarTermDate(year, term); }
  static std::string SolarTermName(TDateTime date) { return vx::SolarTermName(date); }
  static TGanZhiIndex DateToGanZhi(TDateTime date) { return vx::DateToGanZhi(date); }
  static std::string GanZhiName(int index) { return vx::GanZhiName(index); }
  static std::string ZodiacName(int index) { return vx::ZodiacName(index); }
  static std::string LunarYearName(int year) { return vx::LunarYearName(year); }
  static std::string LunarMonthName(int month, bool leap) { return vx::LunarMonthName(month, leap); }
  static std::string LunarDayName(int day) { return vx::LunarDayName(day); }
  static std::string LunarDateName(const TLunarDate &date) { return vx::LunarDateName(date); }
  static std::string ChineseWeekName(int weekday) { return vx::ChineseWeekName(weekday); }

  // ---- festivals of a day, from FtvList ----
  TFestival GetFestival(TDateTime date) const { return vx::GetFestival(*ftv_list_, date); }
  std::string FestivalText(TDateTime date) const { return vx::FestivalText(*ftv_list_, date); }
  std::int32_t FestivalMarkColor(TDateTime date) const {
    return vx::FestivalMarkColor(*ftv_list_, date);
  }

  // ---- window seam ----
  // Gives the calendar its window: from now on setters request repaints and relayouts, and
  // the control takes DayBackColor as its colour.
  void CreateWnd();
  bool HandleAllocated() const { return handle_allocated_; }
  // The area waiting to be repainted (empty when none), and whether CalcLayout must run first.
  const TRect &UpdateRect() const { return update_rect_; }
  bool LayoutPending() const { return layout_pending_; }
  // Taken by the paint cycle: returns the pending area and clears it.
  TRect TakeUpdateRect();
  void Invalidate();
  void InvalidateRect(const TRect &rect);
  // The cell showing a date in the grid (relative to DaysRect and the cell size).
  TRect DateCellRect(TDateTime date) const;

  // Layout as last computed (all empty until the calendar is laid out).
  const TRect &TitleRect() const { return FTitleRect; }
  const TRect &WeekRect() const { return FWeekRect; }
  const TRect &DaysRect() const { return FDaysRect; }
  const TRect &SelectedRect() const { return FSelectedRect; }
  int CellWidth() const { return FCellWidth; }
  int CellHeight() const { return FCellHeight; }

  // ---- layout, painting and input (calendar_paint.cpp, calendar_input.cpp) ----
  // Lays out title, weekday row, day cells, cell parts and arrows for the client size, and
  // fits the font sizes when AutoFontSize is on.
  void CalcLayout();
  // Paints the whole client area onto a canvas of the client's size (laying out first when a
  // layout is pending); PaintUpdate paints only the pending update area and returns it.
  void Paint(TCanvas &canvas);
  TRect PaintUpdate(TCanvas &canvas);
  // Draws a day's lunar text (solar term, stem-branch or lunar day) or festival text into a
  // part of a cell (client coordinates); same_month tells whether the day is in Date's month.
  void DrawLunarText(TCanvas &canvas, const TRect &part, TDateTime date, bool same_month);
  void DrawFestivalText(TCanvas &canvas, const TRect &part, TDateTime date, bool same_month);
  // Week number of a date: ISO 8601 with UseISO8601, else weeks starting on Sunday.
  int WeekNumber(TDateTime date) const;
  static std::string EnWeekDayName(int n, bool long_name);
  static std::string EnMonthName(int month, bool long_name);
  // The hint lines of a day (UTF-16).
  std::u16string CellHintText(TDateTime date) const;
  // Largest font size (5..1000, 4 when 5 does not fit) at which text fits max_w x max_h.
  static int FitFontSize(TCanvas &canvas, const TFont &font, std::u16string_view text,
                         int max_w, int max_h);

  // Input, in client coordinates.
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y);
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void MouseLeave();
  // Handles Page Up/Down, Home, End and the arrow keys (and Enter as a click) when no
  // modifier is held; returns whether the key was used.
  bool KeyDown(WORD key, TShiftState shift);
  // Selects the cell under (x, y) inside DaysRect.
  void SelectCellAt(int x, int y);
  bool Focused() const { return FFocused; }
  std::function<void(TYnrCalendar &sender)> OnClick;

  const TRect &NumberRect() const { return FNumberRect; }
  const TRect &LunarRect() const { return FLunarRect; }
  const TRect &FestivalRect() const { return FFestivalRect; }
  const TRect &PrevYearRect() const { return FPrevYearRect; }
  const TRect &PrevMonthRect() const { return FPrevMonthRect; }
  const TRect &NextMonthRect() const { return FNextMonthRect; }
  const TRect &NextYearRect() const { return FNextYearRect; }
  const TRect &HintCellRect() const { return FHintCellRect; }
  int MaxFtvBytes() const { return FMaxFtvBytes; }
  bool UserSelect() const { return FUserSelect; }

  // Called by SetDate after every accepted change.
  void Change();

 protected:
  // Setters' follow-up: lay out again and repaint everything, or only repaint.
  void RequestLayout();
  void CalcFirstDate();
  friend class TYnrCalColors;
  void CalColorsChanged(bool font_changed);

  // Layout and input state, in client coordinates unless noted; filled by the layout and
  // painting code.
  TRect FTitleRect{}, FWeekRect{}, FDaysRect{};
  TRect FSelectedRect{};  // cell of Date at the last paint
  TRect FHintCellRect{};  // cell last described by the hint
  TRect FNumberRect{}, FLunarRect{}, FFestivalRect{};  // relative to a cell's top-left
  TRect FPrevYearRect{}, FPrevMonthRect{}, FNextMonthRect{}, FNextYearRect{};
  bool FUserSelect = false;  // while the user selects with mouse or keys
  int FCellWidth = 0, FCellHeight = 0;
  int FMaxFtvBytes = 6;
  bool FFocused = false;

 private:
  // The cell texts, drawn with the text writer of the paint in progress.
  void DrawLunarText(CellTextWriter &writer, const TRect &part, TDateTime date, bool same_month);
  void DrawFestivalText(CellTextWriter &writer, const TRect &part, TDateTime date, bool same_month);

  TDateTime date_ = 0;
  std::uint16_t year_ = 0, month_ = 0, day_ = 0;
  std::unique_ptr<TYnrCalColors> cal_colors_;
  bool smooth_text_ = false, shadow_font_ = false, chinese_ear_ = false;
  TYnrCalStyle lunar_cal_style_ = csRight, ftv_cal_style_ = csBottom;
  std::unique_ptr<TFestivalList> ftv_list_;
  bool show_vertical_ = false, show_back_month_ = true, show_back_image_ = false;
  bool show_arrow_ = true, use_iso8601_ = false;
  double vertical_scale_ = 4.0, horizon_scale_ = 2.5;
  bool auto_font_size_ = true;
  TImage *back_image_ = nullptr;
  bool show_border_ = false, show_grid_ = false, en_week_name_ = false;
  std::unique_ptr<TCalendarHint> hint_;
  TDateTime first_date_ = 0;

  int width_ = 300, height_ = 210, border_width_ = 0;
  TColor color_;
  bool handle_allocated_ = false;
  bool layout_pending_ = false;
  TRect update_rect_{};
};

}  // namespace vx
