#pragma once
// TCalendarHint: the floating window that describes the calendar cell under the mouse
// pointer. Its text is "label= value" lines; labels show in red before the values. Without a
// window system it is a pop-up surface of its own: a position in screen coordinates, a size,
// a visible flag and a bitmap that Paint draws into, which a host (or a test) can show.

#include <string>
#include <string_view>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/types.h"

namespace vx {

class TYnrCalendar;

class TCalendarHint {
 public:
  explicit TCalendarHint(TYnrCalendar *parent = nullptr);
  TCalendarHint(const TCalendarHint &) = delete;
  TCalendarHint &operator=(const TCalendarHint &) = delete;

  // Setting a changed text measures it; a non-empty size resizes and shows the window,
  // an empty one hides it; then it repaints.
  const std::u16string &Text() const { return text_; }
  void SetText(std::u16string_view text);
  // Splits the text into lines and labels and sets Width and Height from them.
  void MeasureText();

  // Moves to the cursor plus 16 pixels right and down, kept inside the screen's right and
  // bottom edges (screen coordinates).
  void PlaceAtCursor(TPoint cursor, TSize screen);

  // Constant opacity 0..255 of the layered window; other values and unchanged ones are
  // ignored. The first accepted value makes the window layered.
  int Alpha() const { return alpha_; }
  void SetAlpha(int value);
  bool Layered() const { return layered_; }

  TYnrCalendar *Parent() const { return parent_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  void Show() { visible_ = true; }
  void Hide() { visible_ = false; }

  // Window position and size, in screen coordinates.
  int Left = 0, Top = 0, Width = 0, Height = 0;
  TColor Color;  // the info-tip background
  // Where the parent's client area lies on the screen, and the screen's size: the parent
  // places the hint at its cursor with them.
  TPoint ClientOrigin{};
  TSize Screen{1024, 768};

  // The hint font (the system hint font); measuring and painting use it.
  TFont &Font() { return surface_.Canvas().Font; }
  const std::vector<std::u16string> &Lines() const { return lines_; }
  const std::vector<std::u16string> &Labels() const { return labels_; }
  int LabelWidth() const { return label_width_; }

  // Draws border, labels and values into the window's surface (Width x Height).
  void Paint();
  TBitmap &Surface() { return surface_; }

 private:
  TYnrCalendar *parent_;
  std::u16string text_;
  std::vector<std::u16string> lines_;   // values (whole lines when there are no labels)
  std::vector<std::u16string> labels_;  // with ":"; empty for a line without "="
  int label_width_ = 0;
  int alpha_ = 0;
  bool layered_ = false;
  bool visible_ = false;
  TBitmap surface_;
};

}  // namespace vx
