// The month calendar's mouse and keyboard handling and its hint. Handlers take client
// coordinates; dates move through SetDate, so navigation stops at 1900 and 2100.

#include <algorithm>
#include <cmath>

#include "lunar/calendar.h"
#include "platform/sysutils.h"

namespace vx {
namespace {

// Calendar month arithmetic: the day is clipped to the new month's length. Dates that leave
// the years 1 .. 9999 come back unchanged (SetDate refuses them anyway outside 1900..2100).
TDateTime IncMonth(TDateTime date, int months) {
  int y = 0, m = 0, d = 0;
  DecodeDate(date, y, m, d);
  int total = y * 12 + (m - 1) + months;
  int ny = total / 12, nm = total % 12 + 1;
  if (ny < 1899 || ny > 2101) return date;
  return EncodeDate(ny, nm, std::min(d, DaysInMonth(ny, nm)));
}

}  // namespace

void TYnrCalendar::SelectCellAt(int x, int y) {
  if (!FDaysRect.Contains(x, y) || FCellWidth <= 0 || FCellHeight <= 0) return;
  // The last pixels of a client width (or height) that does not divide evenly belong to the
  // last column (row), not to the next row's first cell.
  const int col = std::min((x - FDaysRect.Left) / FCellWidth, 6);
  const int row = std::min((y - FDaysRect.Top) / FCellHeight, 5);
  const TDateTime date = first_date_ + col + 7 * row;
  if (date == date_) return;
  FUserSelect = true;
  SetDate(date);
}

void TYnrCalendar::MouseDown(TMouseButton button, TShiftState, int x, int y) {
  FFocused = true;
  if (button != mbLeft) return;
  if (FDaysRect.Contains(x, y)) {
    SelectCellAt(x, y);
  } else if (show_arrow_) {
    if (FPrevYearRect.Contains(x, y)) SetDate(IncMonth(date_, -12));
    else if (FPrevMonthRect.Contains(x, y)) SetDate(IncMonth(date_, -1));
    else if (FNextMonthRect.Contains(x, y)) SetDate(IncMonth(date_, 1));
    else if (FNextYearRect.Contains(x, y)) SetDate(IncMonth(date_, 12));
  }
}

void TYnrCalendar::MouseMove(TShiftState shift, int x, int y) {
  if (shift & ssLeft) SelectCellAt(x, y);
  TCalendarHint &hint = *hint_;
  const TPoint cursor{hint.ClientOrigin.X + x, hint.ClientOrigin.Y + y};
  if (!ShowHint) {
    hint.Hide();
    return;
  }
  if (FDaysRect.Contains(x, y) && FCellWidth > 0 && FCellHeight > 0) {
    const int col = std::min((x - FDaysRect.Left) / FCellWidth, 6);
    const int row = std::min((y - FDaysRect.Top) / FCellHeight, 5);
    const TDateTime date = first_date_ + col + 7 * row;
    const TRect cell = DateCellRect(date);
    hint.Show();
    if (cell != FHintCellRect) {
      FHintCellRect = cell;
      // Placed after the text is measured: the screen edges hold only for the new size.
      hint.SetText(CellHintText(date));
      hint.PlaceAtCursor(cursor, hint.Screen);
    }
    return;
  }
  const char16_t *arrow = nullptr;
  if (show_arrow_) {
    if (FPrevYearRect.Contains(x, y)) arrow = u"上一年";
    else if (FPrevMonthRect.Contains(x, y)) arrow = u"上一月";
    else if (FNextMonthRect.Contains(x, y)) arrow = u"下一月";
    else if (FNextYearRect.Contains(x, y)) arrow = u"下一年";
  }
  // Leaving the cells forgets the cell described, so coming back describes it again.
  FHintCellRect = {};
  if (arrow) {
    hint.Show();
    hint.SetText(arrow);
    hint.PlaceAtCursor(cursor, hint.Screen);
  } else {
    hint.Hide();
  }
}

void TYnrCalendar::MouseUp(TMouseButton button, TShiftState, int, int) {
  if (button == mbLeft) FUserSelect = false;
}

void TYnrCalendar::MouseLeave() {
  hint_->Hide();
  FHintCellRect = {};
}

bool TYnrCalendar::KeyDown(WORD key, TShiftState shift) {
  if (shift != 0) return false;
  switch (key) {
    case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME:
    case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
      break;
    case VK_RETURN:
      if (OnClick) OnClick(*this);
      return true;
    default:
      return false;
  }
  FUserSelect = true;
  switch (key) {
    case VK_PRIOR: SetDate(IncMonth(date_, -1)); break;
    case VK_NEXT: SetDate(IncMonth(date_, 1)); break;
    case VK_END: SetDate(EncodeDate(year_, month_, DaysInMonth(year_, month_))); break;
    case VK_HOME: SetDate(EncodeDate(year_, month_, 1)); break;
    case VK_LEFT: SetDate(date_ - 1); break;
    case VK_UP: SetDate(date_ - 7); break;
    case VK_RIGHT: SetDate(date_ + 1); break;
    case VK_DOWN: SetDate(date_ + 7); break;
    default: break;
  }
  return true;
}

}  // namespace vx
