// The month calendar's layout and painting: title with arrows, weekday row, 6 x 7 day cells
// with lunar texts, solar terms, stem-branches and festivals. Texts go through the canvas, or
// through smooth text when SmoothText is on.

#include <algorithm>
#include <cmath>
#include <memory>

#include "aatext/aafont.h"
#include "lunar/calendar.h"
#include "lunar/calendar_text.h"
#include "platform/codepage.h"
#include "platform/forms.h"
#include "platform/sysutils.h"

namespace vx {
namespace {

// DrawCellText placement flags.
constexpr unsigned kHCenter = 1, kRight = 2, kVCenter = 4, kBottom = 8;

std::u16string Gbk(std::string_view s) { return ToUtf16(s, CP_GBK); }
std::u16string Utf8(std::string_view s) { return Utf8ToUtf16(s); }

int RoundEven(double v) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9) return 0;
  return static_cast<int>(std::nearbyint(v));
}

int MonthOf(TDateTime date) {
  int y = 0, m = 0, d = 0;
  DecodeDate(date, y, m, d);
  return m;
}

}  // namespace

// Text output of one paint: plain canvas text, or smooth text on the same canvas.
class CellTextWriter {
 public:
  CellTextWriter(TCanvas &canvas, bool smooth, bool shadow) : canvas_(canvas) {
    if (smooth) {
      aa_ = std::make_unique<TAAFontEx>(&canvas);
      aa_->SetQuality(0);
      aa_->Effect().Shadow().SetEnabled(shadow);
    }
  }

  TCanvas &Canvas() { return canvas_; }

  TSize Extent(std::u16string_view text) {
    return aa_ ? aa_->TextExtent(text) : canvas_.TextExtent(text);
  }

  void Out(int x, int y, std::u16string_view text) {
    canvas_.Brush.Style = TBrushStyle::bsClear;
    canvas_.SetBkMode(TRANSPARENT);
    if (aa_) {
      aa_->TextOut(x, y, text);
    } else {
      canvas_.TextOut(x, y, text);
    }
  }

  // Places text in rect: centred (1), right-aligned (2), vertically centred (4),
  // bottom-aligned (8); left and top otherwise.
  void DrawCellText(const TRect &rect, std::u16string_view text, unsigned flags) {
    if (text.empty()) return;
    const TSize size = Extent(text);
    int x = rect.Left, y = rect.Top;
    if (flags & kHCenter) x = rect.Left + (rect.Width() - size.cx) / 2;
    else if (flags & kRight) x = rect.Right - size.cx;
    if (flags & kVCenter) y = rect.Top + (rect.Height() - size.cy) / 2;
    else if (flags & kBottom) y = rect.Bottom - size.cy;
    Out(x, y, text);
  }

 private:
  TCanvas &canvas_;
  std::unique_ptr<TAAFontEx> aa_;
};

namespace {

void FillRectColor(TCanvas &canvas, const TRect &rect, TColor color) {
  canvas.Brush.Style = TBrushStyle::bsSolid;
  canvas.Brush.Color = color;
  canvas.FillRect(rect);
}

// One character per line downward, at most three, for vertical texts in a right column.
void DrawVertical(CellTextWriter &w, const TRect &part, std::u16string_view text) {
  const int line_height = w.Extent(u"九").cy;
  int y = part.Top + part.Height() / 3 - line_height;
  for (std::size_t i = 0; i < text.size() && i < 3; ++i, y += line_height)
    w.Out(part.Left + 2, y, text.substr(i, 1));
}

}  // namespace

int TYnrCalendar::FitFontSize(TCanvas &canvas, const TFont &font, std::u16string_view text,
                              int max_w, int max_h) {
  canvas.Font = font;
  auto fits = [&](int size) {
    canvas.Font.SetSize(size);
    const TSize e = canvas.TextExtent(text);
    return e.cx <= max_w && e.cy <= max_h;
  };
  if (!fits(5)) return 4;
  // Text extents grow with the size, so the largest fitting size can be searched for.
  int lo = 5, hi = 1000;
  if (fits(hi)) return hi;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (fits(mid) ? lo : hi) = mid;
  }
  return lo;
}

std::string TYnrCalendar::EnWeekDayName(int n, bool long_name) { return vx::EnWeekDayName(n, long_name); }
std::string TYnrCalendar::EnMonthName(int month, bool long_name) { return vx::EnMonthName(month, long_name); }
int TYnrCalendar::WeekNumber(TDateTime date) const { return CalendarWeekNumber(date, use_iso8601_); }
std::u16string TYnrCalendar::CellHintText(TDateTime date) const {
  return CalendarHintText(*ftv_list_, date, use_iso8601_);
}

void TYnrCalendar::CalcLayout() {
  layout_pending_ = false;
  TBitmap screen;  // measuring surface
  screen.SetSize(1, 1);
  TCanvas &c = screen.Canvas();
  c.Font = Font;

  const TRect client = ClientRect();
  const int cw = client.Width() / 7, ch = client.Height() / 8;
  FCellWidth = cw;
  FCellHeight = ch;
  FTitleRect = Rect(0, 0, client.Width(), ch);
  FWeekRect = Rect(0, ch, client.Width(), 2 * ch);
  FDaysRect = Rect(0, FWeekRect.Bottom, client.Width(), client.Height());

  const int rt = RoundEven(ch / vertical_scale_);
  const int ro = RoundEven(cw / horizon_scale_);
  const TRect full = Bounds(0, 0, cw, ch);
  const TRect number_bottom = Bounds(0, 0, cw, ch - rt);
  const TRect number_right = Bounds(0, 0, cw - ro, ch);
  const TRect number_both = Bounds(0, 0, cw - ro, ch - rt);
  const TRect band = Bounds(0, ch - rt, cw, rt);          // bottom band
  const TRect column = Bounds(cw - ro, 0, ro, ch);        // right column
  const TRect column_short = Bounds(cw - ro, 0, ro, ch - rt);
  const TRect none{};
  const TYnrCalStyle ls = lunar_cal_style_, fs = ftv_cal_style_;
  if (ls == csBottom) {
    FLunarRect = band;
    FNumberRect = fs == csRight ? number_both : number_bottom;
    FFestivalRect = fs == csBottom ? band : fs == csRight ? column_short : none;
  } else if (ls == csRight) {
    if (fs == csBottom) {
      FNumberRect = number_both;
      FLunarRect = column_short;
      FFestivalRect = band;
    } else {
      FNumberRect = number_right;
      FLunarRect = column;
      FFestivalRect = fs == csRight ? column : none;
    }
  } else {
    FLunarRect = none;
    FNumberRect = fs == csBottom ? number_bottom : fs == csRight ? number_right : full;
    FFestivalRect = fs == csBottom ? band : fs == csRight ? column : none;
  }

  if (auto_font_size_) {
    TYnrCalColors &cc = *cal_colors_;
    auto fit = [&](int index, std::u16string_view text, int w, int h) {
      cc.SetFittedFontSize(index, FitFontSize(c, cc.GetFont(index), text, w, h));
    };
    fit(TYnrCalColors::fiBackMonthText, u"9", FDaysRect.Right, RoundEven(0.9 * FDaysRect.Height()));
    fit(TYnrCalColors::fiTitleText, Utf8(FormatDateTime("yyyy年mm月", date_)), FTitleRect.Right,
        RoundEven(0.8 * FTitleRect.Height()));
    // The short day name as the row shows it: English with EnWeekName, else Chinese.
    const std::u16string day_name = en_week_name_
                                        ? Utf8(EnWeekDayName(DayOfWeek(date_) - 1, false))
                                        : Gbk(vx::ChineseWeekName(DayOfWeek(date_) - 1));
    fit(TYnrCalColors::fiWeekText, day_name, RoundEven(0.9 * cw), ch);
    fit(TYnrCalColors::fiDayText, Utf8(FormatDateTime("dd", date_)), FNumberRect.Right,
        FNumberRect.Bottom);
    if (!FLunarRect.IsEmpty()) {
      if (ls == csRight && show_vertical_)
        fit(TYnrCalColors::fiLunarText, u"九", FLunarRect.Width(), FLunarRect.Height() / 3);
      else
        fit(TYnrCalColors::fiLunarText, u"九九九", FLunarRect.Width(), FLunarRect.Height());
    }
    if (!FFestivalRect.IsEmpty()) {
      if (fs != csRight)
        fit(TYnrCalColors::fiFtvText, u"九九九九九九", FFestivalRect.Width(), FFestivalRect.Height());
      else if (show_vertical_)
        fit(TYnrCalColors::fiFtvText, u"九", FFestivalRect.Width(), FFestivalRect.Height() / 3);
      else
        fit(TYnrCalColors::fiFtvText, u"九九九", FFestivalRect.Width(), FFestivalRect.Height());
    }
  }

  FMaxFtvBytes = 6;
  if (!FFestivalRect.IsEmpty() && (fs != csRight || !show_vertical_)) {
    c.Font = Font;
    c.Font.SetSize(cal_colors_->FtvTextFont().Size());
    std::u16string text = u"九九九";
    // Bounded: a festival part wider than 200 characters keeps the last length tried.
    while (text.size() < 200 && c.TextWidth(text) <= FFestivalRect.Width()) text += u"九";
    FMaxFtvBytes = static_cast<int>(text.size()) * 2 - 2;
  }

  FPrevYearRect = FPrevMonthRect = FNextMonthRect = FNextYearRect = TRect{};
  if (show_arrow_) {
    c.Font = cal_colors_->TitleTextFont();
    c.Font.SetSize(c.Font.Size() * 3 / 5);
    const TSize arrow = c.TextExtent(u"《");
    const int top = (FTitleRect.Height() - arrow.cy) / 2;
    FPrevYearRect = Bounds(FTitleRect.Left + 5, top, arrow.cx, arrow.cy);
    FPrevMonthRect = Bounds(FPrevYearRect.Right + 1, top, arrow.cx, arrow.cy);
    FNextYearRect = Bounds(FTitleRect.Right - 5 - arrow.cx, top, arrow.cx, arrow.cy);
    FNextMonthRect = Bounds(FNextYearRect.Left - 1 - arrow.cx, top, arrow.cx, arrow.cy);
  }
}

void TYnrCalendar::Paint(TCanvas &canvas) {
  update_rect_ = {};
  if (layout_pending_ || FCellWidth == 0) CalcLayout();
  const TRect area = ClientRect();
  InvalidateRect(area);
  PaintUpdate(canvas);
}

TRect TYnrCalendar::PaintUpdate(TCanvas &canvas) {
  if (layout_pending_) CalcLayout();
  TRect area = TakeUpdateRect();
  if (area.IsEmpty()) return area;
  const TRect old_clip = canvas.ClipRect();
  canvas.SetClipRect(area);
  auto touches = [&](const TRect &r) { return !IntersectRect(r, area).IsEmpty(); };

  canvas.Font = Font;
  CellTextWriter writer(canvas, smooth_text_, shadow_font_);
  struct Reset {
    TCanvas &canvas;
    TRect clip;
    ~Reset() { canvas.SetClipRect(clip); }
  } reset{canvas, old_clip};
  const TYnrCalColors &cc = *cal_colors_;
  const TRect client = ClientRect();
  const int shift = use_iso8601_ ? 1 : 0;

  // Title.
  if (touches(FTitleRect)) {
    FillRectColor(canvas, FTitleRect, cc.TitleBackColor());
    canvas.Font = cc.TitleTextFont();
    std::u16string title;
    if (chinese_ear_) {
      const TGanZhiIndex gz = vx::DateToGanZhi(date_);
      title = Gbk(vx::GanZhiName(gz.YearIndex) + "(" + vx::ZodiacName(gz.YearIndex) + ")") +
              u"年" + Gbk(vx::GanZhiName(gz.MonthIndex)) + u"月";
    } else if (en_week_name_) {
      title = Utf8(EnMonthName(month_, true) + " " + std::to_string(year_));
    } else {
      title = Utf8(FormatDateTime("yyyy年m月", date_));
    }
    writer.DrawCellText(FTitleRect, title, kHCenter | kVCenter);
    if (show_arrow_) {
      canvas.Font.Color = cc.ArrowColor();
      canvas.Font.SetSize(cc.TitleTextFont().Size() * 3 / 5);
      writer.DrawCellText(FPrevYearRect, u"《", kHCenter | kVCenter);
      writer.DrawCellText(FPrevMonthRect, u"〈", kHCenter | kVCenter);
      writer.DrawCellText(FNextMonthRect, u"〉", kHCenter | kVCenter);
      writer.DrawCellText(FNextYearRect, u"》", kHCenter | kVCenter);
    }
  }

  // Weekday row.
  if (touches(FWeekRect)) {
    FillRectColor(canvas, FWeekRect, cc.WeekBackColor());
    for (int i = 0; i < 7; ++i) {
      const int b = i + shift;
      canvas.Font = cc.WeekTextFont();
      if (b == 0 || b == 7) canvas.Font.Color = cc.SundayColor();
      else if (b == 6) canvas.Font.Color = cc.SaturdayColor();
      const std::u16string name = en_week_name_ ? Utf8(EnWeekDayName(b, false))
                                                : Gbk(vx::ChineseWeekName(b % 7));
      writer.DrawCellText(Bounds(i * FCellWidth, FWeekRect.Top, FCellWidth, FCellHeight), name,
                          kHCenter | kVCenter);
    }
    if (!show_grid_) {
      canvas.Pen.Color = cc.WeekTextFont().Color;
      canvas.Pen.Style = TPenStyle::psSolid;
      canvas.Pen.Width = 1;
      canvas.MoveTo(2, FWeekRect.Bottom - 2);
      canvas.LineTo(FWeekRect.Right - 2, FWeekRect.Bottom - 2);
    }
  }

  // Day area background, back image and back month.
  if (touches(FDaysRect)) {
    FillRectColor(canvas, FDaysRect, color_);
    if (show_back_image_ && back_image_ && !back_image_->Picture().Empty())
      canvas.StretchDraw(FDaysRect, back_image_->Picture());
    if (show_back_month_) {
      canvas.Font = cc.BackMonthTextFont();
      writer.DrawCellText(Rect(0, FDaysRect.Top, client.Width(), FDaysRect.Bottom),
                          Utf8(std::to_string(month_)), kHCenter | kVCenter);
    }
  }

  if (show_border_) {
    canvas.Brush.Style = TBrushStyle::bsSolid;
    canvas.Brush.Color = cc.BorderColor();
    canvas.FrameRect(client);
  }

  if (show_grid_) {
    canvas.Pen.Color = cc.GridColor();
    canvas.Pen.Style = TPenStyle::psSolid;
    canvas.Pen.Width = 1;
    for (int k = 1; k <= 6; ++k) {
      canvas.MoveTo(k * FCellWidth, FWeekRect.Top);
      canvas.LineTo(k * FCellWidth, FDaysRect.Bottom);
    }
    for (int k = 0; k <= 5; ++k) {
      canvas.MoveTo(0, FWeekRect.Bottom + k * FCellHeight);
      canvas.LineTo(FDaysRect.Right, FWeekRect.Bottom + k * FCellHeight);
    }
  }

  // The 42 day cells.
  const TDateTime today = std::floor(vx::Date());
  for (int i = 0; i < 42; ++i) {
    const TDateTime day = first_date_ + i;
    const TRect cell = Bounds(FDaysRect.Left + (i % 7) * FCellWidth,
                              FDaysRect.Top + (i / 7) * FCellHeight, FCellWidth, FCellHeight);
    if (!touches(cell)) continue;
    const int b = i % 7 + shift;
    const bool same_month = MonthOf(day) == month_;
    canvas.Font = cc.DayTextFont();
    if (!same_month) canvas.Font.Color = cc.TrailingTextColor();
    else if (b == 0 || b == 7) canvas.Font.Color = cc.SundayColor();
    else if (b == 6) canvas.Font.Color = cc.SaturdayColor();

    const std::int32_t mark = FestivalMarkColor(day);
    if (mark >= 0) FillRectColor(canvas, cell, mark);
    if (day == date_) {
      FillRectColor(canvas, cell, cc.HightlightBackColor());
      canvas.Font.Color = cc.HightlightTextColor();
      FSelectedRect = cell;
      canvas.DrawFocusRect(Rect(cell.Left + 2, cell.Top + 2, cell.Right - 2, cell.Bottom - 2));
    }
    if (day == today) {
      canvas.Brush.Style = TBrushStyle::bsSolid;
      canvas.Brush.Color = clRed;
      canvas.FrameRect(cell);
    }
    int y = 0, m = 0, d = 0;
    DecodeDate(day, y, m, d);
    writer.DrawCellText(OffsetRect(FNumberRect, cell.Left, cell.Top), Utf8(std::to_string(d)),
                        kHCenter | kVCenter);

    const TRect lunar = OffsetRect(FLunarRect, cell.Left, cell.Top);
    const TRect festival = OffsetRect(FFestivalRect, cell.Left, cell.Top);
    if (FFestivalRect.IsEmpty() || lunar_cal_style_ != ftv_cal_style_) {
      if (!FLunarRect.IsEmpty()) DrawLunarText(writer, lunar, day, same_month);
      if (!FFestivalRect.IsEmpty()) DrawFestivalText(writer, festival, day, same_month);
    } else if (!FestivalText(day).empty()) {
      DrawFestivalText(writer, festival, day, same_month);
    } else {
      DrawLunarText(writer, lunar, day, same_month);
    }
  }
  return area;
}

void TYnrCalendar::DrawLunarText(TCanvas &canvas, const TRect &part, TDateTime date,
                                 bool same_month) {
  CellTextWriter writer(canvas, smooth_text_, shadow_font_);
  DrawLunarText(writer, part, date, same_month);
}

void TYnrCalendar::DrawFestivalText(TCanvas &canvas, const TRect &part, TDateTime date,
                                    bool same_month) {
  CellTextWriter writer(canvas, smooth_text_, shadow_font_);
  DrawFestivalText(writer, part, date, same_month);
}

void TYnrCalendar::DrawLunarText(CellTextWriter &w, const TRect &part, TDateTime date,
                                 bool same_month) {
  TCanvas &canvas = w.Canvas();
  const TYnrCalColors &cc = *cal_colors_;
  canvas.Font = cc.LunarTextFont();
  std::string text = vx::SolarTermName(date);
  if (!text.empty()) {
    canvas.Font.Color = cc.LunarTermColor();
  } else if (chinese_ear_) {
    const TGanZhiIndex gz = vx::DateToGanZhi(date);
    // Days before 1900 have no stem-branch: such cells stay empty.
    if (gz.DayIndex != 0) text = vx::GanZhiName(gz.DayIndex);
  } else {
    const TLunarDate lunar = vx::SolarToLunar(date);
    if (lunar.Day == 0) return;  // outside the conversion range
    text = lunar.Day == 1 ? vx::LunarMonthName(lunar.Month, lunar.IsLeap) : vx::LunarDayName(lunar.Day);
  }
  if (text.empty()) return;
  if (!same_month) canvas.Font.Color = cc.TrailingTextColor();
  const std::u16string u = Gbk(text);
  if (lunar_cal_style_ == csRight && show_vertical_) DrawVertical(w, part, u);
  else w.DrawCellText(part, u, lunar_cal_style_ == csRight ? kVCenter : kHCenter);
}

void TYnrCalendar::DrawFestivalText(CellTextWriter &w, const TRect &part, TDateTime date,
                                    bool same_month) {
  const TFestival festival = GetFestival(date);
  if (festival.Text.empty()) return;
  TCanvas &canvas = w.Canvas();
  const TYnrCalColors &cc = *cal_colors_;
  canvas.Font = cc.FtvTextFont();
  if (!same_month) canvas.Font.Color = cc.TrailingTextColor();
  else if (festival.Color >= 0) canvas.Font.Color = festival.Color;
  const std::u16string u = Gbk(CutFestivalText(festival.Text, FMaxFtvBytes));
  if (ftv_cal_style_ == csRight && show_vertical_) DrawVertical(w, part, u);
  else w.DrawCellText(part, u, ftv_cal_style_ == csRight ? kVCenter : kHCenter);
}

}  // namespace vx
