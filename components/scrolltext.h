#pragma once
// TOSDScrollText: a text moving through a window of fixed size, step pixels every 40 ms,
// wrapping round when it has left the window, endlessly or for Scroll passes after which it
// hides itself. The text is rendered once per Redraw into the strip; a tick is one fill and
// one copy of the window's size.
//
// Text modes (direction; layout of the strip):
//   1 right to left, 2 left to right, 3 bottom to top, 4 top to bottom: lines as in the text;
//   5 bottom to top, 6 top to bottom: vertical (one CJK character per line).
// Other values never move; their layout is that of the nearest defined mode: below 1 as 1
// (lines as in the text, horizontal gradient), above 6 as 6 (vertical, vertical gradient).
//
// A window set through w and h takes exactly that size; a negative or absurd one (beyond the
// components' caps) leaves the window empty, as for every component. The strip may be far
// wider than a window (a long ticker) and is capped by kMaxStripSide and kMaxStripPixels: a
// longer text shows its beginning.

#include <memory>
#include <string_view>

#include "components/styled_text.h"
#include "platform/timer.h"
#include "platform/types.h"

namespace vx {

class TOSDScrollText : public TOSDStyledText {
 public:
  TOSDScrollText();
  ~TOSDScrollText() override;

  // Stores the flag, then Redraw.
  void SetVisible(bool value);
  void SetText(std::u16string_view value) { text = value; }

  // Sizes the window, renders the strip, puts it at the start offset and starts the timer.
  // Does nothing while hidden.
  void Redraw();
  // One movement step.
  void OnScrollTimer();

  TTimer &scrolltimer() { return *scrolltimer_; }
  TOSDGraphic &strip() { return *strip_; }

  int step = 3;
  int Scroll = 0;  // passes before hiding; 0 or less: endless
  int passcount = 0;
  int max_Scrollw = kFrameWidth;
  int max_Scrollh = kFrameHeight;
  int xpos = 0, ypos = 0;  // the strip's top-left corner in the window
  int textmode = 1;

 private:
  bool Vertical() const { return textmode >= 5; }
  // The pass is over: back to the entering side, count it; true when that was the last one
  // (the component is then hidden and the timer stopped).
  bool EndPass();
  bool PassesDone() const { return Scroll > 0 && passcount >= Scroll; }
  void Finish();

  std::unique_ptr<TTimer> scrolltimer_;
  std::unique_ptr<TOSDGraphic> strip_;
};

// The strip may be far wider than any component (a long ticker) but stays bounded.
constexpr int kMaxStripSide = 1 << 20;
constexpr long long kMaxStripPixels = kMaxComponentPixels;
// Offsets saturate here, so a negative step can run for ever without overflow.
constexpr int kMaxScrollOffset = 1 << 30;

}  // namespace vx
