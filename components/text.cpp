#include "components/text.h"

#include <algorithm>

#include "components/textpaint.h"
#include "markup/markup.h"

namespace vx {

TOSDText::TOSDText()
    : TOSDStyledText(0x0000FF, 0xFFFFFF), showtimer_(std::make_unique<TTimer>()) {
  showtimer_->SetEnabled(false);
  showtimer_->SetInterval(2000);
  showtimer_->OnTimer = [this] { OnShowTimer(); };
}

TOSDText::~TOSDText() = default;

void TOSDText::SetVisible(bool value) {
  visible = value;
  Redraw();
}

void TOSDText::SetShowTime(int ms) {
  showtime = ms;
  showtimer_->SetInterval(static_cast<std::uint32_t>(std::max(ms, 0)));
}

void TOSDText::Redraw() {
  if (!visible || text.empty()) return;
  if (randomcolor) bkcolor = PickRandomColor(randomcolors);
  FillBitmap(*this, bkcolor);
  TCanvas &canvas = Canvas();
  if (gradual) {
    DrawGradual();
  } else if (html) {
    FitBitmapSize(*this, MarkupWidth(text, -1), MarkupLineHeight(text, -1), kMaxTextSide,
                  kMaxTextPixels);
    FillBitmap(*this, bkcolor);
    DrawMarkup(canvas, 0, 0, text);
  } else {
    if (randomtextcolor) canvas.Font.Color = PickRandomColor(randomtextcolors);
    const auto layout = Vertical() ? VerticalLayout() : HorizontalLayout();
    TRect r = MeasureText(canvas, text, layout);
    FitBitmapSize(*this, r.Right, r.Bottom, kMaxTextSide, kMaxTextPixels);
    FillBitmap(*this, bkcolor);
    canvas.DrawText(text, r, layout.draw_flags);
  }
  showtimer_->SetEnabled(visible && showtime > 0);
  Changed();
}

void TOSDText::DrawGradual() {
  TCanvas &canvas = Canvas();
  const auto layout = Vertical() ? VerticalLayout() : HorizontalLayout();
  const TRect r = MeasureText(canvas, text, layout);
  FitBitmapSize(*this, r.Right, r.Bottom, kMaxTextSide, kMaxTextPixels);
  FillBitmap(*this, bkcolor);
  DrawGradientText(canvas, text, r, layout.draw_flags, layout.vertical, gradualcolor1,
                   gradualcolor2);
}

void TOSDText::OnShowTimer() {
  SetVisible(false);
  showtimer_->SetEnabled(false);
}

}  // namespace vx
