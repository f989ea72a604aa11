#include "components/panel.h"

#include "platform/canvas.h"

namespace vx {

void TOSDPanel::SetVisible(bool value) {
  visible = value;
  if (!value) return;
  if (!SetBitmapSize(w, h)) return;  // 0, negative or absurd: nothing to draw
  TCanvas &canvas = Canvas();
  canvas.Brush.Color = bkcolor;
  canvas.Rectangle(0, 0, w, h);
}

}  // namespace vx
