#include "components/textpaint.h"

#include <algorithm>
#include <vector>

#include "platform/bitmap.h"
#include "platform/timer.h"

namespace vx {

TTextLayout HorizontalLayout(unsigned extra_flags) {
  return {false, Rect(0, 0, 0, 0), DT_CALCRECT | DT_VCENTER | extra_flags,
          DT_WORDBREAK | DT_VCENTER | extra_flags};
}

TTextLayout VerticalLayout(unsigned extra_flags) {
  return {true, Rect(0, 0, 1, 0),
          DT_EDITCONTROL | DT_CALCRECT | DT_WORDBREAK | DT_VCENTER | extra_flags,
          DT_EDITCONTROL | DT_WORDBREAK | DT_VCENTER | extra_flags};
}

TRect MeasureText(TCanvas &canvas, std::u16string_view text, const TTextLayout &layout) {
  if (text.empty()) return {};
  TRect r = layout.measure_from;
  canvas.DrawText(text, r, layout.measure_flags);
  return {0, 0, std::max(r.Right, 0), std::max(r.Bottom, 0)};
}

void FitBitmapSize(TBitmap &bitmap, int width, int height, int max_side, long long max_pixels) {
  long long w = std::clamp(width, 0, max_side);
  long long h = std::clamp(height, 0, max_side);
  if (w * h > max_pixels) {
    if (w >= h)
      w = max_pixels / h;
    else
      h = max_pixels / w;
  }
  bitmap.SetHeight(static_cast<int>(h));
  bitmap.SetWidth(static_cast<int>(w));
}

void FillBitmap(TBitmap &bitmap, TColor color) {
  if (bitmap.Empty()) return;
  TCanvas &c = bitmap.Canvas();
  c.Brush.Color = color;
  c.Brush.Style = TBrushStyle::bsSolid;
  c.FillRect(Rect(0, 0, bitmap.Width(), bitmap.Height()));
}

TColor PickRandomColor(const std::array<TColor, 5> &colors) {
  // splitmix64 of the clock: neighbouring milliseconds give unrelated picks.
  std::uint64_t z = static_cast<std::uint64_t>(MessageLoop::Current().GetClock().NowMs());
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return colors[z % 5];
}

std::vector<TColor> GradientRamp(TColor c1, TColor c2, int length) {
  std::vector<TColor> ramp(static_cast<std::size_t>(std::max(length, 0)));
  c1 = ColorToRGB(c1);
  c2 = ColorToRGB(c2);
  const long long r1 = GetRValue(c1), g1 = GetGValue(c1), b1 = GetBValue(c1);
  const long long dr = GetRValue(c2) - r1, dg = GetGValue(c2) - g1, db = GetBValue(c2) - b1;
  for (int i = 0; i < length; ++i)
    ramp[i] = RGB(static_cast<int>(r1 + dr * i / length), static_cast<int>(g1 + dg * i / length),
                  static_cast<int>(b1 + db * i / length));
  return ramp;
}

void DrawGradientText(TCanvas &canvas, std::u16string_view text, const TRect &rect,
                      unsigned draw_flags, bool vertical_ramp, TColor c1, TColor c2) {
  canvas.SetBkMode(TRANSPARENT);
  canvas.BeginPath();
  TRect r = rect;
  canvas.DrawText(text, r, draw_flags);
  canvas.EndPath();
  canvas.SelectClipPath(RGN_COPY);
  // The ramp goes straight through the glyph clip: the same pixels as copying a 24-bit ramp
  // bitmap, without allocating one as large as the text. Everything outside the mask (and
  // outside the bitmap) stays as it is.
  TBitmap &bitmap = canvas.Bitmap();
  const int width = std::min(rect.Width(), bitmap.Width());
  const int height = std::min(rect.Height(), bitmap.Height());
  if (width > 0 && height > 0) {
    const auto ramp = GradientRamp(c1, c2, vertical_ramp ? rect.Height() : rect.Width());
    const TClipRegion &clip = canvas.Clip();
    if (bitmap.PixelFormat() == TPixelFormat::pf8bit && clip.HasMask()) {
      // The component case: palette indices straight into the rows under the glyph mask.
      std::vector<std::uint8_t> index(ramp.size());
      for (std::size_t i = 0; i < ramp.size(); ++i) index[i] = bitmap.NearestIndex(ramp[i]);
      const TRect b = clip.Bounds();
      const int x0 = std::max(0, b.Left), x1 = std::min(width, b.Right);
      for (int y = std::max(0, b.Top); y < std::min(height, b.Bottom); ++y) {
        const std::uint8_t *mask = clip.MaskRow(y);
        if (!mask) continue;
        std::uint8_t *row = bitmap.ScanLine(y);
        for (int x = x0; x < x1; ++x)
          if (mask[x]) row[x] = index[vertical_ramp ? y : x];
      }
      bitmap.Changed();
    } else if (vertical_ramp) {
      for (int y = 0; y < height; ++y) canvas.FillSpan(0, width, y, ramp[y]);
    } else {
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width;) {
          int end = x + 1;
          while (end < width && ramp[end] == ramp[x]) ++end;
          canvas.FillSpan(x, end, y, ramp[x]);
          x = end;
        }
    }
  }
  canvas.SelectClipRgn(nullptr);
}

}  // namespace vx
