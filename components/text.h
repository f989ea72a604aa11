#pragma once
// TOSDText: a static text, drawn into a bitmap sized to it on a bkcolor background: plain (in
// the canvas font's colour, or one picked at random from five), as a two-colour gradient
// inside the glyphs, or as markup. It can hide itself showtime ms after it was shown.
//
// Text modes: 1 lays the text out as it stands (lines only at its line breaks), 2 vertically
// (one CJK character per line). Other values take the nearest of the two: below 1 draws as 1,
// above 2 as 2.

#include <array>
#include <memory>
#include <string_view>

#include "components/object.h"
#include "platform/timer.h"
#include "platform/types.h"

namespace vx {

class TOSDText : public TOSDObject {
 public:
  TOSDText();
  ~TOSDText() override;

  // Stores the flag, then Redraw.
  void SetVisible(bool value);
  void SetText(std::u16string_view value) { text = value; }
  // Stores the show time and makes it the timer's interval (a running countdown restarts);
  // the timer's enabled state is left alone. 0 or less: no limit.
  void SetShowTime(int ms);
  void SetColor(TColor color, int level);
  void SetGradual(TColor color1, TColor color2);
  void SetHtml(bool on);
  void SetRandomColor(const std::array<TColor, 5> &colors);
  void SetRandomTextColor(const std::array<TColor, 5> &colors);
  // Measures a given text with the current canvas font (markup measures when html is on);
  // left and top are 0. An empty text gives (0, 0, 0, 0).
  TRect GetTextRect(std::u16string_view value);

  // Draws the component when it is visible and has a text; otherwise does nothing.
  void Redraw();
  // The show timer's event: hides the component and stops the timer.
  void OnShowTimer();

  TTimer &showtimer() { return *showtimer_; }

  int showtime = 0;
  std::array<TColor, 5> randomcolors{};
  std::array<TColor, 5> randomtextcolors{};
  int textmode = 1;
  bool randomtextcolor = false;
  bool randomcolor = false;
  TColor gradualcolor1 = 0x0000FF;
  TColor gradualcolor2 = 0xFFFFFF;
  bool gradual = false;
  bool html = false;

 private:
  void DrawGradual();
  bool Vertical() const { return textmode >= 2; }

  std::unique_ptr<TTimer> showtimer_;
};

// Text measurements and bitmaps of text components stop at these sizes (the beginning of a
// longer text shows).
constexpr int kMaxTextSide = kMaxComponentSide;
constexpr long long kMaxTextPixels = kMaxComponentPixels;

// Measures like GetTextRect: markup (widest line x all lines) or plain DT_CALCRECT.
TRect MeasureComponentText(TCanvas &canvas, std::u16string_view text, bool html);

}  // namespace vx
