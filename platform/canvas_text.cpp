// TCanvas text: TextOut, TextRect, TextExtent, DrawText and DrawTextW, over the font engine
// and the layout stages. Glyphs are painted through PaintCoverage (binary coverage, or
// anti-aliased on a true-colour bitmap), or recorded into the canvas's path while one is open.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "platform/canvas_text_access.h"
#include "platform/font.h"
#include "platform/text_layout.h"

namespace vx {

namespace {

int ClampToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

void EscapementDirection(int escapement, double &c, double &s) {
  switch (escapement) {
    case 0: c = 1; s = 0; return;
    case 900: c = 0; s = 1; return;
    case 1800: c = -1; s = 0; return;
    case 2700: c = 0; s = -1; return;
    default: {
      const double t = escapement * std::numbers::pi / 1800.0;
      c = std::cos(t);
      s = std::sin(t);
    }
  }
}

TextTarget::TextTarget(TCanvas &canvas, const TRect *limit)
    : canvas_(canvas),
      recording_(CanvasTextAccess::InPath(canvas)),
      smooth_(canvas.Bitmap().PixelFormat() == TPixelFormat::pfARGB32) {
  TBitmap &bitmap = canvas.Bitmap();
  const TRect whole{0, 0, std::max(bitmap.Width(), 0), std::max(bitmap.Height(), 0)};
  limit_ = limit ? IntersectRect(whole, *limit) : whole;
  if (recording_) {
    mask_width_ = whole.Right;
    auto &mask = CanvasTextAccess::PathMask(canvas);
    const std::size_t size = static_cast<std::size_t>(whole.Right) * whole.Bottom;
    if (mask.size() != size) mask.assign(size, 0);  // the bitmap was resized mid-path
  }
}

void TextTarget::Coverage(int x, int y, const std::uint8_t *coverage, int w, int h, int pitch,
                          TColor color) {
  if (!coverage || w <= 0 || h <= 0 || limit_.IsEmpty()) return;
  const long long x0 = std::max<long long>(x, limit_.Left);
  const long long y0 = std::max<long long>(y, limit_.Top);
  const long long x1 = std::min<long long>(static_cast<long long>(x) + w, limit_.Right);
  const long long y1 = std::min<long long>(static_cast<long long>(y) + h, limit_.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  const std::uint8_t *first = coverage + (y0 - y) * pitch + (x0 - x);
  if (!recording_) {
    canvas_.PaintCoverage(static_cast<int>(x0), static_cast<int>(y0), first,
                          static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), pitch, color);
    return;
  }
  auto &mask = CanvasTextAccess::PathMask(canvas_);
  for (long long row = y0; row < y1; ++row) {
    const std::uint8_t *src = first + (row - y0) * pitch;
    std::uint8_t *dst = mask.data() + row * mask_width_;
    for (long long col = x0; col < x1; ++col)
      if (src[col - x0]) dst[col] = smooth_ ? std::max(dst[col], src[col - x0]) : 1;
  }
}

void TextTarget::Span(long long x0, long long x1, long long y, TColor color) {
  if (y < limit_.Top || y >= limit_.Bottom) return;
  x0 = std::max<long long>(x0, limit_.Left);
  x1 = std::min<long long>(x1, limit_.Right);
  if (x0 >= x1) return;
  if (!recording_) {
    canvas_.FillSpan(static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y), color);
    return;
  }
  auto &mask = CanvasTextAccess::PathMask(canvas_);
  std::fill(mask.begin() + y * mask_width_ + x0, mask.begin() + y * mask_width_ + x1,
            smooth_ ? 255 : 1);
}

void TextTarget::Parallelogram(double ox, double oy, double ux, double uy, double vx,
                               double vy, TColor color) {
  const double px[4] = {ox, ox + ux, ox + ux + vx, ox + vx};
  const double py[4] = {oy, oy + uy, oy + uy + vy, oy + vy};
  const double top = std::min({py[0], py[1], py[2], py[3]});
  const double bottom = std::max({py[0], py[1], py[2], py[3]});
  const long long y0 = std::max<long long>(static_cast<long long>(std::floor(top)), limit_.Top);
  const long long y1 =
      std::min<long long>(static_cast<long long>(std::ceil(bottom)), limit_.Bottom);
  for (long long y = y0; y < y1; ++y) {
    const double cy = y + 0.5;
    double lo = INFINITY, hi = -INFINITY;
    for (int i = 0; i < 4; ++i) {
      const int j = (i + 1) % 4;
      if ((py[i] <= cy && cy < py[j]) || (py[j] <= cy && cy < py[i])) {
        const double x = px[i] + (cy - py[i]) * (px[j] - px[i]) / (py[j] - py[i]);
        lo = std::min(lo, x);
        hi = std::max(hi, x);
      }
    }
    if (!(lo < hi)) continue;
    // Pixels whose centres lie inside.
    Span(static_cast<long long>(std::ceil(lo - 0.5)), static_cast<long long>(std::ceil(hi - 0.5)),
         y, color);
  }
}

int DrawTextRun(TextTarget &target, const FontInstance &font, int x, int y,
                std::u32string_view text, TColor color, bool underline, bool strikeout,
                bool opaque, TColor background) {
  const FontMetrics &m = font.Metrics();
  std::vector<int> advances(text.size());
  font.Advances(text, advances.data());
  long long total = 0;
  for (int a : advances) total += a;

  double c, s;
  EscapementDirection(font.Escapement(), c, s);
  // Along the baseline (c, -s); down the cell (s, c). y grows downwards.
  const double dx = c, dy = -s, nx = s, ny = c;
  const double width = static_cast<double>(total);
  if (opaque && !target.Recording())
    target.Parallelogram(x, y, width * dx, width * dy, m.Height() * nx, m.Height() * ny,
                         background);

  const double bx = x + m.ascent * nx;
  const double by = y + m.ascent * ny;
  // Glyphs are rendered one at a time and only near the visible area: a long text mostly off
  // the bitmap (a scrolling strip) or at a huge size never holds more than one image.
  const TRect &limit = target.Limit();
  const long long reach = 2LL * m.ppem + m.Height() + 8;
  long long pen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const long long px = std::llround(bx + pen * dx);
    const long long py = std::llround(by + pen * dy);
    pen += advances[i];
    if (px + reach < limit.Left || px - reach >= limit.Right || py + reach < limit.Top ||
        py - reach >= limit.Bottom)
      continue;
    const auto image = font.Glyph(text[i], target.Smooth());
    if (!image) continue;
    target.Coverage(ClampToInt(px + image->left), ClampToInt(py - image->top),
                    image->coverage.data(), image->width, image->height, image->width, color);
  }
  if (underline)
    target.Parallelogram(bx + m.underline_offset * nx, by + m.underline_offset * ny, width * dx,
                         width * dy, m.underline_thickness * nx, m.underline_thickness * ny,
                         color);
  if (strikeout)
    target.Parallelogram(bx - m.strikeout_offset * nx, by - m.strikeout_offset * ny, width * dx,
                         width * dy, m.strikeout_thickness * nx, m.strikeout_thickness * ny,
                         color);
  return ClampToInt(total);
}

namespace {

bool OpaqueText(const TCanvas &canvas, const TBrush &brush) {
  return canvas.BkMode() == OPAQUE && brush.Style == TBrushStyle::bsSolid;
}

}  // namespace

void TCanvas::TextOut(int x, int y, std::u16string_view text) {
  const auto font = GetFontInstance(Font);
  const std::u32string cps = DecodeUtf16(text);
  TextTarget target(*this, nullptr);
  const int width =
      DrawTextRun(target, *font, x, y, cps, ColorToRGB(Font.Color), (Font.Style & fsUnderline) != 0,
                  (Font.Style & fsStrikeOut) != 0, OpaqueText(*this, Brush), ColorToRGB(Brush.Color));
  PenPos = {ClampToInt(static_cast<long long>(x) + width), y};
  bitmap_.Changed();
}

void TCanvas::TextRect(const TRect &rect, int x, int y, std::u16string_view text) {
  const auto font = GetFontInstance(Font);
  const std::u32string cps = DecodeUtf16(text);
  TextTarget target(*this, &rect);
  // The rectangle is the opaque area, whatever the background mode, unless the brush is clear.
  if (Brush.Style == TBrushStyle::bsSolid && !target.Recording())
    for (long long row = rect.Top; row < rect.Bottom; ++row)
      target.Span(rect.Left, rect.Right, row, ColorToRGB(Brush.Color));
  DrawTextRun(target, *font, x, y, cps, ColorToRGB(Font.Color), (Font.Style & fsUnderline) != 0,
              (Font.Style & fsStrikeOut) != 0, false, 0);
  bitmap_.Changed();
}

TSize TCanvas::TextExtent(std::u16string_view text) {
  const auto font = GetFontInstance(Font);
  return {font->Width(DecodeUtf16(text)), font->Metrics().Height()};
}

int TCanvas::DrawText(std::u16string_view text, TRect &rect, unsigned format) {
  const auto font = GetFontInstance(Font);
  const std::u32string cps = DecodeUtf16(text);
  const int line_height = font->Metrics().Height();
  if (cps.empty()) {
    // As the original platform: an empty text measures no width, and one line only when single.
    if (format & DT_CALCRECT) {
      rect.Right = rect.Left;
      rect.Bottom = (format & DT_SINGLELINE) ? ClampToInt(static_cast<long long>(rect.Top) + line_height)
                                             : rect.Top;
    }
    return line_height;
  }
  std::vector<int> advances(cps.size());
  font->Advances(cps, advances.data());
  const TextLayout layout = LayoutText(cps, advances.data(), line_height, rect.Width(), format);
  if (format & DT_CALCRECT) {
    rect.Right = ClampToInt(static_cast<long long>(rect.Left) + layout.width);
    rect.Bottom = ClampToInt(static_cast<long long>(rect.Top) + layout.height);
    return layout.height;
  }
  const std::vector<TPoint> origins = AlignLines(layout, rect, format);
  TextTarget target(*this, (format & DT_NOCLIP) ? nullptr : &rect);
  const bool opaque = OpaqueText(*this, Brush);
  for (std::size_t i = 0; i < layout.lines.size(); ++i) {
    const TextLine &line = layout.lines[i];
    DrawTextRun(target, *font, origins[i].X, origins[i].Y,
                std::u32string_view(cps).substr(line.begin, line.end - line.begin),
                ColorToRGB(Font.Color), (Font.Style & fsUnderline) != 0,
                (Font.Style & fsStrikeOut) != 0, opaque, ColorToRGB(Brush.Color));
  }
  bitmap_.Changed();
  return layout.height;
}

int DrawTextW(HDC dc, const char16_t *text, int length, TRect *rect, unsigned format) {
  if (!dc || !rect) return 0;
  std::u16string_view view;
  if (text) view = length < 0 ? std::u16string_view(text) : std::u16string_view(text, length);
  return dc->DrawText(view, *rect, format);
}

}  // namespace vx
