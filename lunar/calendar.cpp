#include "lunar/calendar.h"

#include <algorithm>
#include <cmath>

#include "platform/sysutils.h"

namespace vx {

namespace {

const TDateTime kFirstDay = lunar_detail::EncodeDay(1900, 1, 1);
const TDateTime kLastDay = lunar_detail::EncodeDay(2100, 12, 31);

template <class T>
bool Update(T &field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

TRect UnionRect(const TRect &a, const TRect &b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}

}  // namespace

TYnrCalendar::TYnrCalendar()
    : cal_colors_(std::make_unique<TYnrCalColors>(this)),
      ftv_list_(std::make_unique<TFestivalList>(this)),
      hint_(std::make_unique<TCalendarHint>(this)),
      color_(cal_colors_->DayBackColor()) {
  Font.Name = "宋体";
  Font.Charset = GB2312_CHARSET;
  // Today, kept inside the years the calendar accepts whatever the clock says.
  TDateTime today = std::trunc(vx::Now());
  if (!(today >= kFirstDay)) today = kFirstDay;
  if (today > kLastDay) today = kLastDay;
  date_ = today;
  lunar_detail::YMD d;
  lunar_detail::DecodeDay(date_, d);
  year_ = static_cast<std::uint16_t>(d.Year);
  month_ = static_cast<std::uint16_t>(d.Month);
  day_ = static_cast<std::uint16_t>(d.Day);
  CalcFirstDate();
}

TYnrCalendar::~TYnrCalendar() = default;

void TYnrCalendar::CalcFirstDate() {
  const TDateTime first = lunar_detail::EncodeDay(year_, month_, 1);
  const int weekday = lunar_detail::WeekDay(first);  // 0 = Sunday
  // Column of the 1st, counted from 1: Sunday first, or Monday first with ISO 8601.
  const int w = use_iso8601_ ? (weekday == 0 ? 7 : weekday) : weekday + 1;
  // A month starting in the grid's first column starts in its second row.
  first_date_ = w == 1 ? first - 7 : first + 1 - w;
}

void TYnrCalendar::SetDate(TDateTime date) {
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d) || d.Year < 1900 || d.Year > 2100) return;
  const TDateTime day = std::trunc(date);
  if (day == date_) return;
  date_ = day;
  year_ = static_cast<std::uint16_t>(d.Year);
  month_ = static_cast<std::uint16_t>(d.Month);
  day_ = static_cast<std::uint16_t>(d.Day);
  const TDateTime old_first = first_date_;
  CalcFirstDate();
  const TRect old_selected = FSelectedRect;
  Change();
  if (first_date_ != old_first) {
    InvalidateRect(FTitleRect);
    InvalidateRect(FDaysRect);
  } else if (FUserSelect) {
    InvalidateRect(old_selected);
    InvalidateRect(DateCellRect(date_));
  } else if (chinese_ear_) {
    InvalidateRect(FTitleRect);  // the title shows the date's stem-branches
  }
}

void TYnrCalendar::Change() {
  if (OnChange) OnChange(*this);
}

void TYnrCalendar::SetBounds(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  RequestLayout();
}

void TYnrCalendar::SetBorderWidth(int width) {
  if (Update(border_width_, std::max(width, 0))) RequestLayout();
}

TRect TYnrCalendar::ClientRect() const {
  return {0, 0, std::max(0, width_ - 2 * border_width_), std::max(0, height_ - 2 * border_width_)};
}

void TYnrCalendar::SetColor(TColor color) {
  if (Update(color_, color)) Invalidate();
}

void TYnrCalendar::SetLunarCalStyle(TYnrCalStyle style) {
  if (Update(lunar_cal_style_, style)) RequestLayout();
}
void TYnrCalendar::SetFtvCalStyle(TYnrCalStyle style) {
  if (Update(ftv_cal_style_, style)) RequestLayout();
}
void TYnrCalendar::SetBackImage(TImage *image) {
  if (Update(back_image_, image)) Invalidate();
}
void TYnrCalendar::SetShowVertical(bool v) {
  if (Update(show_vertical_, v)) Invalidate();
}
void TYnrCalendar::SetChineseEar(bool v) {
  if (Update(chinese_ear_, v)) Invalidate();
}
void TYnrCalendar::SetUseISO8601(bool v) {
  if (!Update(use_iso8601_, v)) return;
  CalcFirstDate();
  Invalidate();
}
void TYnrCalendar::SetShowBackMonth(bool v) {
  if (Update(show_back_month_, v)) Invalidate();
}
void TYnrCalendar::SetShowBackImage(bool v) {
  if (Update(show_back_image_, v)) Invalidate();
}
void TYnrCalendar::SetShowArrow(bool v) {
  if (Update(show_arrow_, v)) Invalidate();
}
void TYnrCalendar::SetVerticalScale(double v) {
  if (!(std::fabs(v) >= 0.001) || !std::isfinite(v)) return;
  if (Update(vertical_scale_, v)) RequestLayout();
}
void TYnrCalendar::SetHorizonScale(double v) {
  if (!(std::fabs(v) >= 0.001) || !std::isfinite(v)) return;
  if (Update(horizon_scale_, v)) RequestLayout();
}
void TYnrCalendar::SetAutoFontSize(bool v) {
  if (Update(auto_font_size_, v)) RequestLayout();
}
void TYnrCalendar::SetShowBorder(bool v) {
  if (Update(show_border_, v)) Invalidate();
}
void TYnrCalendar::SetShowGrid(bool v) {
  if (Update(show_grid_, v)) Invalidate();
}
void TYnrCalendar::SetEnWeekName(bool v) {
  if (Update(en_week_name_, v)) Invalidate();
}
void TYnrCalendar::SetSmoothText(bool v) {
  if (Update(smooth_text_, v)) Invalidate();
}
void TYnrCalendar::SetShadowFont(bool v) {
  if (Update(shadow_font_, v)) Invalidate();
}

void TYnrCalendar::CreateWnd() {
  if (handle_allocated_) return;
  handle_allocated_ = true;
  color_ = cal_colors_->DayBackColor();
  RequestLayout();
}

void TYnrCalendar::RequestLayout() {
  if (!handle_allocated_) return;
  layout_pending_ = true;
  Invalidate();
}

void TYnrCalendar::Invalidate() { InvalidateRect(ClientRect()); }

void TYnrCalendar::InvalidateRect(const TRect &rect) {
  if (!handle_allocated_) return;
  const TRect r = IntersectRect(rect, ClientRect());
  if (r.IsEmpty()) return;
  update_rect_ = UnionRect(update_rect_, r);
}

TRect TYnrCalendar::TakeUpdateRect() {
  const TRect r = update_rect_;
  update_rect_ = {};
  return r;
}

TRect TYnrCalendar::DateCellRect(TDateTime date) const {
  const double days = std::trunc(date - first_date_);
  if (!(std::fabs(days) < 1e6)) return {};
  const int n = static_cast<int>(days);
  return Bounds(FDaysRect.Left + (n % 7) * FCellWidth, FDaysRect.Top + (n / 7) * FCellHeight,
                FCellWidth, FCellHeight);
}

void TYnrCalendar::CalColorsChanged(bool font_changed) {
  if (!handle_allocated_) return;
  color_ = cal_colors_->DayBackColor();
  if (font_changed) Font.Assign(cal_colors_->DayTextFont());
  Invalidate();
}

}  // namespace vx
