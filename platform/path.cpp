// Text paths. Between BeginPath and EndPath, text is recorded as glyph coverage in a
// bitmap-sized mask instead of being drawn. SelectClipPath turns the mask into the canvas
// clip (and consumes the path); StrokeAndFillPath paints it (and consumes it too).

#include <algorithm>

#include "platform/canvas_text_access.h"

namespace vx {

namespace {

bool PathMatchesBitmap(TCanvas &canvas) {
  const auto &mask = CanvasTextAccess::PathMask(canvas);
  const TBitmap &bitmap = canvas.Bitmap();
  return !mask.empty() && bitmap.Width() > 0 && bitmap.Height() > 0 &&
         mask.size() == static_cast<std::size_t>(bitmap.Width()) * bitmap.Height();
}

}  // namespace

void TCanvas::BeginPath() {
  in_path_ = true;
  const std::size_t size = static_cast<std::size_t>(std::max(bitmap_.Width(), 0)) *
                           static_cast<std::size_t>(std::max(bitmap_.Height(), 0));
  path_mask_.assign(size, 0);
}

void TCanvas::EndPath() { in_path_ = false; }

bool TCanvas::SelectClipPath(int mode) {
  if (in_path_ || !PathMatchesBitmap(*this)) return false;
  if (mode != RGN_COPY && mode != RGN_AND) return false;
  const int width = bitmap_.Width();
  const int height = bitmap_.Height();
  std::vector<std::uint8_t> mask = std::move(path_mask_);
  path_mask_.clear();
  if (mode == RGN_AND) {
    // Keep only what the current clip (rectangle and mask) lets through; the rectangle stays.
    const TClipRegion &current = Clip();
    const TRect bounds = current.Bounds();
    const bool had_mask = current.HasMask();
    for (int y = 0; y < height; ++y) {
      std::uint8_t *row = mask.data() + static_cast<std::size_t>(y) * width;
      const std::uint8_t *clip_row = had_mask ? current.MaskRow(y) : nullptr;
      for (int x = 0; x < width; ++x)
        if (!bounds.Contains(x, y) || (had_mask && (!clip_row || !clip_row[x]))) row[x] = 0;
    }
  } else {
    clip_set_ = false;  // the path replaces the whole clip
    clip_rect_ = {};
  }
  clip_.SetMask(std::move(mask), width);
  return true;
}

void TCanvas::SelectClipRgn(std::nullptr_t) { ResetClip(); }

void TCanvas::StrokeAndFillPath() {
  if (in_path_ || !PathMatchesBitmap(*this)) {
    path_mask_.clear();
    return;
  }
  const std::vector<std::uint8_t> mask = std::move(path_mask_);
  path_mask_.clear();
  const int width = bitmap_.Width();
  const int height = bitmap_.Height();
  if (Brush.Style == TBrushStyle::bsSolid) {
    const TColor fill = ColorToRGB(Brush.Color);
    for (int y = 0; y < height; ++y) {
      const std::uint8_t *row = mask.data() + static_cast<std::size_t>(y) * width;
      for (int x = 0; x < width;) {
        if (!row[x]) {
          ++x;
          continue;
        }
        int end = x;
        while (end < width && row[end]) ++end;
        FillSpan(x, end, y, fill);
        x = end;
      }
    }
  }
  if (Pen.Style != TPenStyle::psClear && Pen.Width > 0) {
    // The outline: path pixels with a 4-neighbour outside the path.
    std::vector<std::uint8_t> edge(mask.size(), 0);
    const std::uint8_t whole = bitmap_.PixelFormat() == TPixelFormat::pfARGB32 ? 255 : 1;
    auto inside = [&](int x, int y) {
      return x >= 0 && y >= 0 && x < width && y < height &&
             mask[static_cast<std::size_t>(y) * width + x] != 0;
    };
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (inside(x, y) &&
            (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1)))
          edge[static_cast<std::size_t>(y) * width + x] = whole;
    PaintCoverage(0, 0, edge.data(), width, height, width, ColorToRGB(Pen.Color));
  }
  bitmap_.Changed();
}

}  // namespace vx
