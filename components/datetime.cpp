#include "components/datetime.h"

#include <string>

#include "lunar/calendar.h"
#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/sysutils.h"

namespace vx {

namespace {

// The locale's formats give system code page text.
std::u16string DatePart() { return ToUtf16(FormatDateTime(ShortDateFormat(), Now())); }
std::u16string TimePart() { return ToUtf16(FormatDateTime(LongTimeFormat(), Now())); }

std::u16string NowPart() {
  const TDateTime now = Now();
  std::u16string s = ToUtf16(FormatDateTime(ShortDateFormat(), now));
  const TDateParts p = DecodeDateTime(now);
  if (p.Hour != 0 || p.Minute != 0 || p.Second != 0) {
    // Appended piece by piece: gcc 12 -O3 reports a false -Wrestrict on u" " + string.
    s += u' ';
    s += ToUtf16(FormatDateTime(LongTimeFormat(), now));
  }
  return s;
}

std::u16string WeekPart() {
  // 0 = Sunday .. 6 = Saturday.
  return u"week:" + ToUtf16(std::to_string(DayOfWeek(Now()) - 1));
}

}  // namespace

TOSDDateTime::TOSDDateTime()
    : calendar_(std::make_unique<TYnrCalendar>()), clocktimer_(std::make_unique<TTimer>()) {
  clocktimer_->SetEnabled(false);
  clocktimer_->SetInterval(1000);
  clocktimer_->OnTimer = [this] { OnClockTimer(); };
}

// The timer goes first, so no tick can reach a component being destroyed.
TOSDDateTime::~TOSDDateTime() { clocktimer_.reset(); }

void TOSDDateTime::SetVisible(bool value) {
  visible = value;
  Redraw();
}

void TOSDDateTime::SetShowtime(int ms) {
  showtime = ms / 1000;
  tickcount = 0;
}

void TOSDDateTime::OnClockTimer() {
  ++tickcount;
  if (showtime == 0 || showtime > tickcount) {
    Redraw();
  } else {
    visible = false;
    clocktimer_->SetEnabled(false);
    tickcount = 0;
  }
}

std::u16string TOSDDateTime::BuildText(int mode) {
  if (mode < 1 || mode > 11) return text;
  // The calendar's names are code page 936 whatever the system code page is; the parts are
  // joined as UTF-16.
  auto lunar = [this] {
    calendar_->SetDate(Now());
    // Days before the lunar table starts (1900-01-01..30) give an empty line.
    return ToUtf16(TYnrCalendar::LunarDateName(TYnrCalendar::SolarToLunar(calendar_->Date())), CP_GBK);
  };
  auto festival = [this] {
    calendar_->SetDate(Now());
    return ToUtf16(calendar_->FestivalText(calendar_->Date()), CP_GBK);
  };
  const std::u16string_view s = kClockLineSeparator;
  switch (mode) {
    case 1: return NowPart();
    case 2: return DatePart();
    case 3: return TimePart();
    case 4: return DatePart() + std::u16string(s) + TimePart();
    case 5: return DatePart() + std::u16string(s) + TimePart() + std::u16string(s) + WeekPart();
    case 6: return lunar() + std::u16string(s) + DatePart() + std::u16string(s) + TimePart();
    case 7: return lunar();
    case 8: return lunar() + std::u16string(s) + TimePart();
    case 9: return lunar() + std::u16string(s) + festival();
    case 10: return lunar() + std::u16string(s) + festival() + std::u16string(s) + TimePart();
    default:
      return lunar() + std::u16string(s) + festival() + std::u16string(s) + DatePart() +
             std::u16string(s) + TimePart() + std::u16string(s) + WeekPart();
  }
}

void TOSDDateTime::Redraw() {
  if (!visible) return;
  clocktimer_->SetEnabled(true);  // a running timer keeps its rhythm
  text = BuildText(textmode);
  if (text.empty()) return;
  TCanvas &canvas = Canvas();
  TRect r{0, 0, 0, 0};
  canvas.DrawText(text, r, DT_CALCRECT | DT_VCENTER | DT_CENTER);
  if (!SetBitmapSize(r.Width(), r.Height())) return;
  canvas.Brush.Style = TBrushStyle::bsSolid;
  canvas.Brush.Color = bkcolor;
  canvas.FillRect(r);
  canvas.DrawText(text, r, DT_WORDBREAK | DT_VCENTER | DT_CENTER);
}

}  // namespace vx
