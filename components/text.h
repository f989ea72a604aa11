#pragma once
// TOSDText: a static text, drawn into a bitmap sized to it on a bkcolor background: plain (in
// the canvas font's colour, or one picked at random from five), as a two-colour gradient
// inside the glyphs, or as markup. It can hide itself showtime ms after it was shown.
//
// Text modes: 1 lays the text out as it stands (lines only at its line breaks), 2 vertically
// (one CJK character per line). Other values take the nearest of the two: below 1 draws as 1,
// above 2 as 2.

#include <memory>
#include <string_view>

#include "components/styled_text.h"
#include "platform/timer.h"
#include "platform/types.h"

namespace vx {

class TOSDText : public TOSDStyledText {
 public:
  TOSDText();
  ~TOSDText() override;

  // Stores the flag, then Redraw.
  void SetVisible(bool value);
  void SetText(std::u16string_view value) { text = value; }
  // Stores the show time and makes it the timer's interval (a running countdown restarts);
  // the timer's enabled state is left alone. 0 or less: no limit.
  void SetShowTime(int ms);

  // Draws the component when it is visible and has a text; otherwise does nothing.
  void Redraw();
  // The show timer's event: hides the component and stops the timer.
  void OnShowTimer();

  TTimer &showtimer() { return *showtimer_; }

  int showtime = 0;
  int textmode = 1;

 private:
  void DrawGradual();
  bool Vertical() const { return textmode >= 2; }

  std::unique_ptr<TTimer> showtimer_;
};

// Text measurements and bitmaps of text components stop at these sizes (the beginning of a
// longer text shows).
constexpr int kMaxTextSide = kMaxComponentSide;
constexpr long long kMaxTextPixels = kMaxComponentPixels;

}  // namespace vx
