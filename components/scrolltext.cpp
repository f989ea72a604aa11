#include "components/scrolltext.h"

#include <algorithm>

#include "components/textpaint.h"
#include "markup/markup.h"

namespace vx {

TOSDScrollText::TOSDScrollText()
    : TOSDStyledText(0, 0),
      scrolltimer_(std::make_unique<TTimer>()),
      strip_(std::make_unique<TOSDGraphic>()) {
  scrolltimer_->SetEnabled(false);
  scrolltimer_->SetInterval(40);
  scrolltimer_->OnTimer = [this] { OnScrollTimer(); };
}

TOSDScrollText::~TOSDScrollText() = default;

void TOSDScrollText::SetVisible(bool value) {
  visible = value;
  Redraw();
}

void TOSDScrollText::Redraw() {
  if (!visible) return;
  TCanvas &canvas = Canvas();
  // 1. The window.
  // Centred in both layouts: a narrow character stands in the middle of a vertical column.
  const auto plain_layout = Vertical() ? VerticalLayout(DT_CENTER) : HorizontalLayout(DT_CENTER);
  if (w != 0) {
    SetBitmapSize(w, h);
  } else {
    const TRect m = MeasureText(canvas, text, plain_layout);
    if (textmode <= 2)
      SetBitmapSize(max_Scrollw, std::min(m.Bottom, max_Scrollh));
    else
      SetBitmapSize(std::min(m.Right, max_Scrollw), max_Scrollh);
  }
  // 2, 3. Background, strip font.
  if (randomcolor) bkcolor = PickRandomColor(randomcolors);
  FillBitmap(*this, bkcolor);
  TOSDGraphic &strip = *strip_;
  strip.FollowFormat(*this);
  FillBitmap(strip, bkcolor);
  TCanvas &sc = strip.Canvas();
  sc.Font.Assign(canvas.Font);
  // 4. The strip.
  if (gradual) {
    xpos = 0;
    ypos = 0;
    const auto layout = Vertical() ? VerticalLayout() : HorizontalLayout();
    const TRect r = MeasureText(canvas, text, layout);
    FitBitmapSize(strip, r.Right, r.Bottom, kMaxStripSide, kMaxStripPixels);
    FillBitmap(strip, bkcolor);
    DrawGradientText(sc, text, r, layout.draw_flags, layout.vertical, gradualcolor1,
                     gradualcolor2);
  } else if (html) {
    FitBitmapSize(strip, MarkupWidth(text, -1), MarkupLineHeight(text, -1), kMaxStripSide,
                  kMaxStripPixels);
    FillBitmap(strip, bkcolor);
    DrawMarkup(sc, 0, 0, text);
  } else {
    if (randomtextcolor) sc.Font.Color = PickRandomColor(randomtextcolors);
    TRect r = MeasureText(canvas, text, plain_layout);
    FitBitmapSize(strip, r.Right, r.Bottom, kMaxStripSide, kMaxStripPixels);
    FillBitmap(strip, bkcolor);
    if (!text.empty()) sc.DrawText(text, r, plain_layout.draw_flags);
  }
  // 5. Start just outside the entering side.
  switch (textmode) {
    case 1: xpos = Width(); ypos = 0; break;
    case 2: xpos = -strip.Width(); ypos = 0; break;
    case 3: case 5: xpos = 0; ypos = Height(); break;
    case 4: case 6: xpos = 0; ypos = -strip.Height(); break;
    default: break;
  }
  // 6.
  passcount = 0;
  scrolltimer_->SetEnabled(true);
}

void TOSDScrollText::Finish() {
  SetVisible(false);
  scrolltimer_->SetEnabled(false);
}

bool TOSDScrollText::EndPass() {
  if (Scroll > 0) ++passcount;
  if (PassesDone()) {
    Finish();
    return true;
  }
  return false;
}

namespace {
int Move(int pos, long long by) {
  const long long next = pos + by;
  return static_cast<int>(std::clamp<long long>(next, -kMaxScrollOffset, kMaxScrollOffset));
}
}  // namespace

void TOSDScrollText::OnScrollTimer() {
  if (PassesDone()) {
    Finish();
    return;
  }
  const TOSDGraphic &strip = *strip_;
  switch (textmode) {
    case 1:
      if (xpos < -strip.Width()) {
        xpos = Width();
        if (EndPass()) return;
      }
      xpos = Move(xpos, -static_cast<long long>(step));
      break;
    case 2:
      if (xpos > Width()) {
        xpos = -strip.Width();
        if (EndPass()) return;
      }
      xpos = Move(xpos, step);
      break;
    case 3: case 5:
      if (ypos < -strip.Height()) {
        ypos = Height();
        if (EndPass()) return;
      }
      ypos = Move(ypos, -static_cast<long long>(step));
      break;
    case 4: case 6:
      if (ypos > Height()) {
        ypos = -strip.Height();
        if (EndPass()) return;
      }
      ypos = Move(ypos, step);
      break;
    default: break;
  }
  FillBitmap(*this, bkcolor);
  if (!Empty() && !strip_->Empty())
    BitBlt(Canvas().Handle(), xpos, ypos, strip_->Width(), strip_->Height(),
           strip_->Canvas().Handle(), 0, 0, SRCCOPY);
}

}  // namespace vx
