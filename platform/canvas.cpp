// TCanvas: clip, fills, shapes and lines. Copies live in blit.cpp; text in canvas_text.cpp.

#include "platform/canvas.h"

#include <algorithm>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/blend.h"
#include "platform/palette_map.h"
#include "platform/pixels.h"
#include "platform/wide_div.h"

namespace vx {

// --- TClipRegion ---

const std::uint8_t *TClipRegion::MaskRow(int y) const {
  if (mask_.empty() || mask_width_ <= 0) return nullptr;
  const std::size_t rows = mask_.size() / static_cast<std::size_t>(mask_width_);
  if (y < 0 || static_cast<std::size_t>(y) >= rows) return nullptr;
  return mask_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(mask_width_);
}

bool TClipRegion::Visible(int x, int y) const {
  if (!bounds_.Contains(x, y)) return false;
  if (!HasMask()) return true;
  const std::uint8_t *row = MaskRow(y);
  return row && x >= 0 && x < mask_width_ && row[x] != 0;
}

void TClipRegion::SetMask(std::vector<std::uint8_t> mask, int width) {
  if (width <= 0 || mask.size() < static_cast<std::size_t>(width)) {
    // A mask that covers nothing: keep one empty row so that HasMask() still clips all.
    mask_.assign(1, 0);
    mask_width_ = 1;
    return;
  }
  mask_ = std::move(mask);
  mask_width_ = width;
}

TRect TClipRegion::MaskBounds() const {
  if (mask_.empty() || mask_width_ <= 0) return {};
  return {0, 0, mask_width_, static_cast<int>(mask_.size() / static_cast<std::size_t>(mask_width_))};
}

// --- drawing helpers ---

namespace {

enum class InkOp { kCopy, kXor, kNot };

// What one pixel write does on this bitmap: the value in the bitmap's own format and the op.
struct Ink {
  int bytes = 3;
  std::uint32_t value = 0;  // palette index, or packed B | G << 8 | R << 16
  bool alpha = false;       // a pfARGB32 target: `pixel` is put with the mask as coverage
  std::uint8_t pixel[4] = {0, 0, 0, 0};  // premultiplied B, G, R, A
  InkOp op = InkOp::kCopy;
  bool dotted = false;      // only pixels with (x + y) even
};

Ink MakeInk(const TBitmap &bitmap, TColor color, InkOp op) {
  Ink ink;
  ink.bytes = BytesPerPixel(bitmap.PixelFormat());
  ink.op = op;
  if (op == InkOp::kNot) {
    ink.value = ink.bytes == 1 ? 0xFFu : 0xFFFFFFu;
  } else {
    const TColor rgb = ColorToRGB(color);
    ink.value = ink.bytes == 1 ? bitmap.NearestIndex(rgb) : PackedOf(rgb);
    if (op == InkOp::kXor && ink.bytes != 1) ink.value &= 0xFFFFFFu;
  }
  if (bitmap.PixelFormat() == TPixelFormat::pfARGB32 && op == InkOp::kCopy) {
    const TColor rgb = ColorToRGB(color);
    ink.alpha = true;
    blend::Premultiply(ink.pixel, GetRValue(rgb), GetGValue(rgb), GetBValue(rgb),
                       bitmap.AlphaOf(rgb));
  }
  return ink;
}

Ink PenInk(const TBitmap &bitmap, const TPen &pen) {
  const InkOp op = pen.Mode == TPenMode::pmXor ? InkOp::kXor
                   : pen.Mode == TPenMode::pmNot ? InkOp::kNot
                                                 : InkOp::kCopy;
  Ink ink = MakeInk(bitmap, pen.Color, op);
  ink.dotted = pen.Style == TPenStyle::psDot;
  return ink;
}

// One pixel of the ink; `cover` (0..255) is the share of the pixel it covers, which only a
// true-colour target can show (elsewhere any cover paints the whole pixel).
inline void Put(std::uint8_t *p, const Ink &ink, unsigned cover = 255) {
  if (ink.alpha) {
    blend::Src(p, ink.pixel, cover);
    return;
  }
  if (ink.bytes == 1) {
    *p = ink.op == InkOp::kCopy ? static_cast<std::uint8_t>(ink.value)
                                : static_cast<std::uint8_t>(*p ^ ink.value);
    return;
  }
  if (ink.op == InkOp::kCopy) {
    p[0] = static_cast<std::uint8_t>(ink.value);
    p[1] = static_cast<std::uint8_t>(ink.value >> 8);
    p[2] = static_cast<std::uint8_t>(ink.value >> 16);
    if (ink.bytes == 4) p[3] = 0;
  } else {
    p[0] ^= static_cast<std::uint8_t>(ink.value);
    p[1] ^= static_cast<std::uint8_t>(ink.value >> 8);
    p[2] ^= static_cast<std::uint8_t>(ink.value >> 16);
  }
}

// Paints [x0, x1) of row y, clipped to the region (rectangle and mask).
void Run(const Surface &s, const TClipRegion &clip, long long y, long long x0, long long x1,
         const Ink &ink) {
  const TRect &b = clip.Bounds();
  if (y < b.Top || y >= b.Bottom) return;
  const int a = static_cast<int>(std::max<long long>(x0, b.Left));
  const int e = static_cast<int>(std::min<long long>(x1, b.Right));
  if (a >= e) return;
  const int row_y = static_cast<int>(y);
  std::uint8_t *row = s.Row(row_y);
  const std::uint8_t *m = nullptr;
  if (clip.HasMask()) {
    m = clip.MaskRow(row_y);
    if (!m) return;
  }
  if (!m && !ink.dotted && ink.op == InkOp::kCopy && ink.bytes == 1) {
    std::memset(row + a, static_cast<int>(ink.value), static_cast<std::size_t>(e - a));
    return;
  }
  if (!m && !ink.dotted && ink.alpha) {
    // A whole run of one true-colour pixel (clearing a frame): no blend per pixel.
    std::uint32_t pixel;
    std::memcpy(&pixel, ink.pixel, 4);
    for (std::uint8_t *p = row + static_cast<std::ptrdiff_t>(a) * 4, *end = row + static_cast<std::ptrdiff_t>(e) * 4;
         p < end; p += 4)
      std::memcpy(p, &pixel, 4);
    return;
  }
  for (int x = a; x < e; ++x) {
    if (m && !m[x]) continue;
    if (ink.dotted && ((x + row_y) & 1)) continue;
    Put(row + static_cast<std::ptrdiff_t>(x) * ink.bytes, ink, m ? m[x] : 255);
  }
}

// A border `w` pixels thick inside [x1, x2) x [y1, y2), each pixel painted once.
void Border(const Surface &s, const TClipRegion &clip, long long x1, long long y1, long long x2,
            long long y2, long long w, const Ink &ink) {
  const TRect &b = clip.Bounds();
  const long long top = std::max<long long>(y1, b.Top), bottom = std::min<long long>(y2, b.Bottom);
  for (long long y = top; y < bottom; ++y) {
    if (y < y1 + w || y >= y2 - w || x1 + w >= x2 - w) {
      Run(s, clip, y, x1, x2, ink);
    } else {
      Run(s, clip, y, x1, x1 + w, ink);
      Run(s, clip, y, x2 - w, x2, ink);
    }
  }
}

void Fill(const Surface &s, const TClipRegion &clip, long long x1, long long y1, long long x2,
          long long y2, const Ink &ink) {
  const TRect &b = clip.Bounds();
  const long long top = std::max<long long>(y1, b.Top), bottom = std::min<long long>(y2, b.Bottom);
  if (top < bottom && !clip.HasMask() && !ink.dotted && ink.op == InkOp::kCopy &&
      ink.bytes == 1 && x1 <= b.Left && x2 >= b.Right && b.Left == 0 && b.Right == s.width &&
      s.stride == s.width) {
    // Whole 8-bit rows without padding (clearing the frame): one block.
    std::memset(s.Row(static_cast<int>(top)), static_cast<int>(ink.value),
                static_cast<std::size_t>(bottom - top) * static_cast<std::size_t>(s.stride));
    return;
  }
  for (long long y = top; y < bottom; ++y) Run(s, clip, y, x1, x2, ink);
}

}  // namespace

// --- TCanvas ---

TCanvas::TCanvas(TBitmap &bitmap) : bitmap_(bitmap) {}

int TCanvas::SetBkMode(int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) return 0;
  const int old = bk_mode_;
  bk_mode_ = mode;
  return old;
}

int SetBkMode(HDC dc, int mode) { return dc ? dc->SetBkMode(mode) : 0; }

const TClipRegion &TCanvas::Clip() const {
  TRect b{0, 0, bitmap_.Width(), bitmap_.Height()};
  if (clip_set_) b = IntersectRect(b, clip_rect_);
  if (clip_.HasMask()) b = IntersectRect(b, clip_.MaskBounds());
  if (b.IsEmpty()) b = {};
  clip_.SetBounds(b);
  return clip_;
}

TRect TCanvas::ClipRect() const { return Clip().Bounds(); }

void TCanvas::SetClipRect(const TRect &rect) {
  clip_rect_ = rect;
  clip_set_ = true;
  clip_.ClearMask();
}

void TCanvas::SetClipMask(std::vector<std::uint8_t> mask, int width) {
  clip_.SetMask(std::move(mask), width);
}

void TCanvas::ResetClip() {
  clip_set_ = false;
  clip_rect_ = {};
  clip_.ClearMask();
}

void TCanvas::FillRect(const TRect &rect) {
  if (Brush.Style == TBrushStyle::bsClear) return;
  Fill(SurfaceOf(bitmap_), Clip(), rect.Left, rect.Top, rect.Right, rect.Bottom,
       MakeInk(bitmap_, Brush.Color, InkOp::kCopy));
  bitmap_.Changed();
}

void TCanvas::FillSpan(int x0, int x1, int y, TColor color) {
  Run(SurfaceOf(bitmap_), Clip(), y, x0, x1, MakeInk(bitmap_, color, InkOp::kCopy));
  bitmap_.Changed();
}

void TCanvas::PaintCoverage(int x, int y, const std::uint8_t *coverage, int w, int h, int pitch,
                            TColor color) {
  if (!coverage || w <= 0 || h <= 0 || pitch < w) return;
  const TClipRegion &clip = Clip();
  const TRect &b = clip.Bounds();
  const long long j0 = std::max<long long>(0, static_cast<long long>(b.Top) - y);
  const long long j1 = std::min<long long>(h, static_cast<long long>(b.Bottom) - y);
  const long long i0 = std::max<long long>(0, static_cast<long long>(b.Left) - x);
  const long long i1 = std::min<long long>(w, static_cast<long long>(b.Right) - x);
  if (j0 >= j1 || i0 >= i1) return;
  const Surface s = SurfaceOf(bitmap_);
  const Ink ink = MakeInk(bitmap_, color, InkOp::kCopy);
  for (long long j = j0; j < j1; ++j) {
    const int py = static_cast<int>(y + j);
    const std::uint8_t *c = coverage + j * pitch;
    const std::uint8_t *m = clip.HasMask() ? clip.MaskRow(py) : nullptr;
    if (clip.HasMask() && !m) continue;
    std::uint8_t *row = s.Row(py);
    for (long long i = i0; i < i1; ++i) {
      if (!c[i]) continue;
      const int px = static_cast<int>(x + i);
      if (m && !m[px]) continue;
      const unsigned cover = m ? blend::Mul255(c[i], m[px]) : c[i];
      Put(row + static_cast<std::ptrdiff_t>(px) * ink.bytes, ink, cover);
    }
  }
  bitmap_.Changed();
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  long long l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
  if (l == r || t == b) return;
  const Surface s = SurfaceOf(bitmap_);
  const TClipRegion &clip = Clip();
  if (Pen.Style == TPenStyle::psClear) {
    // Without a pen the filled area is one pixel smaller, as on the original platform.
    if (Brush.Style != TBrushStyle::bsClear)
      Fill(s, clip, l, t, r - 1, b - 1, MakeInk(bitmap_, Brush.Color, InkOp::kCopy));
  } else {
    const long long w = std::max(1, Pen.Width);
    if (Brush.Style != TBrushStyle::bsClear)
      Fill(s, clip, l + w, t + w, r - w, b - w, MakeInk(bitmap_, Brush.Color, InkOp::kCopy));
    Border(s, clip, l, t, r, b, w, PenInk(bitmap_, Pen));
  }
  bitmap_.Changed();
}

void TCanvas::FrameRect(const TRect &rect) {
  if (Brush.Style == TBrushStyle::bsClear || rect.IsEmpty()) return;
  Border(SurfaceOf(bitmap_), Clip(), rect.Left, rect.Top, rect.Right, rect.Bottom, 1,
         MakeInk(bitmap_, Brush.Color, InkOp::kCopy));
  bitmap_.Changed();
}

void TCanvas::DrawFocusRect(const TRect &rect) {
  if (rect.IsEmpty()) return;
  // Every other pixel of the one-pixel outline inverted (XOR with white), so that drawing
  // the same rectangle twice removes it.
  Ink ink = MakeInk(bitmap_, clWhite, InkOp::kXor);
  ink.dotted = true;
  Border(SurfaceOf(bitmap_), Clip(), rect.Left, rect.Top, rect.Right, rect.Bottom, 1, ink);
  bitmap_.Changed();
}

void TCanvas::MoveTo(int x, int y) { PenPos = {x, y}; }

namespace {
// Minor-axis offset of step k of a line with major extent n and minor extent m (both >= 0):
// the nearest pixel to the exact line, halves rounded up, as Bresenham's walk gives it.
long long MinorAt(long long k, long long n, long long m) {
  return static_cast<long long>(MulAddDiv(2 * static_cast<std::uint64_t>(k), static_cast<std::uint64_t>(m),
                                          static_cast<std::uint64_t>(n), 2 * static_cast<std::uint64_t>(n)));
}
}  // namespace

void TCanvas::LineTo(int x, int y) {
  const TPoint from = PenPos;
  PenPos = {x, y};
  if (Pen.Style == TPenStyle::psClear) return;
  const long long dx = static_cast<long long>(x) - from.X, dy = static_cast<long long>(y) - from.Y;
  const long long adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const long long n = std::max(adx, ady);  // points drawn: the end point is left out
  if (n == 0) return;
  const bool x_major = adx >= ady;
  const long long m = x_major ? ady : adx;
  const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  const int w = std::max(1, Pen.Width);
  const TClipRegion &clip = Clip();
  const TRect &b = clip.Bounds();
  if (b.IsEmpty()) return;
  // Steps whose pixel (or pen square) can touch the clip: the major axis gives a range
  // directly, the minor axis (monotonic in k) narrows it by binary search.
  const long long lo_major = (x_major ? b.Left : b.Top) - w, hi_major = (x_major ? b.Right : b.Bottom) + w;
  const long long lo_minor = (x_major ? b.Top : b.Left) - w, hi_minor = (x_major ? b.Bottom : b.Right) + w;
  const long long major0 = x_major ? from.X : from.Y, minor0 = x_major ? from.Y : from.X;
  const int smaj = x_major ? sx : sy, smin = x_major ? sy : sx;
  long long k0, k1;  // [k0, k1)
  if (smaj > 0) {
    k0 = std::max(0LL, lo_major - major0);
    k1 = std::min(n, hi_major - major0);
  } else {
    k0 = std::max(0LL, major0 - hi_major + 1);
    k1 = std::min(n, major0 - lo_major + 1);
  }
  if (k0 >= k1) return;
  auto minor = [&](long long k) { return minor0 + smin * MinorAt(k, n, m); };
  auto inside_before = [&](long long k) {  // true while the minor coordinate has not yet reached the clip
    const long long v = minor(k);
    return smin > 0 ? v < lo_minor : v >= hi_minor;
  };
  auto inside_after = [&](long long k) {  // true once the minor coordinate has left the clip
    const long long v = minor(k);
    return smin > 0 ? v >= hi_minor : v < lo_minor;
  };
  {
    long long lo = k0, hi = k1;  // first k with !inside_before
    while (lo < hi) {
      const long long mid = lo + (hi - lo) / 2;
      if (inside_before(mid)) lo = mid + 1; else hi = mid;
    }
    k0 = lo;
  }
  {
    long long lo = k0, hi = k1;  // first k with inside_after
    while (lo < hi) {
      const long long mid = lo + (hi - lo) / 2;
      if (inside_after(mid)) hi = mid; else lo = mid + 1;
    }
    k1 = lo;
  }
  const Surface s = SurfaceOf(bitmap_);
  Ink ink = PenInk(bitmap_, Pen);
  const bool dotted = ink.dotted;
  ink.dotted = false;
  for (long long k = k0; k < k1; ++k) {
    if (dotted && (k & 1)) continue;
    const long long maj = major0 + smaj * k, mn = minor(k);
    const long long px = x_major ? maj : mn, py = x_major ? mn : maj;
    if (w == 1) {
      Run(s, clip, py, px, px + 1, ink);
    } else {
      for (long long yy = py - w / 2; yy < py - w / 2 + w; ++yy) Run(s, clip, yy, px - w / 2, px - w / 2 + w, ink);
    }
  }
  bitmap_.Changed();
}

TColor TCanvas::GetPixel(int x, int y) const { return bitmap_.GetPixel(x, y); }

void TCanvas::SetPixel(int x, int y, TColor color) {
  Run(SurfaceOf(bitmap_), Clip(), y, x, static_cast<long long>(x) + 1,
      MakeInk(bitmap_, color, InkOp::kCopy));
  bitmap_.Changed();
}

}  // namespace vx
