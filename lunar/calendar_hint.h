#pragma once
// TCalendarHint: the floating window that describes the calendar cell under the mouse
// pointer. The calendar creates it hidden; its text measuring, placing and painting belong
// with the calendar's painting and input.

#include <string>
#include <vector>

namespace vx {

class TYnrCalendar;

class TCalendarHint {
 public:
  explicit TCalendarHint(TYnrCalendar *parent) : parent_(parent) {}
  TCalendarHint(const TCalendarHint &) = delete;
  TCalendarHint &operator=(const TCalendarHint &) = delete;

  TYnrCalendar *Parent() const { return parent_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

  // 0..255; other values and an unchanged value are ignored.
  int Alpha() const { return alpha_; }
  void SetAlpha(int alpha) {
    if (alpha >= 0 && alpha <= 255) alpha_ = alpha;
  }

  std::vector<std::string> Lines;   // code page 936
  std::vector<std::string> Labels;
  int LabelWidth = 0;

 private:
  TYnrCalendar *parent_;
  bool visible_ = false;
  int alpha_ = 0;
};

}  // namespace vx
