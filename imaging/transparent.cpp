#include "imaging/transparent.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace vx {
namespace {
std::atomic<bool> g_has_transparent_blt{true};
}  // namespace

bool HasTransparentBlt() { return g_has_transparent_blt.load(std::memory_order_relaxed); }
void SetHasTransparentBlt(bool available) {
  g_has_transparent_blt.store(available, std::memory_order_relaxed);
}

void TransparentCopy(HDC dest, int x, int y, int w, int h, HDC source, int sx, int sy, int sw,
                     int sh, TColor transparent) {
  if (dest == nullptr || source == nullptr) return;
  if (HasTransparentBlt())
    TransparentBlt(dest, x, y, w, h, source, sx, sy, sw, sh, static_cast<UINT>(transparent));
  else
    BitBlt(dest, x, y, w, h, source, sx, sy, SRCCOPY);
}

void DrawBitmapTransparent(TBitmap &bitmap, HDC dest, int x, int y, int w, int h) {
  TransparentCopy(dest, x, y, w, h, bitmap.Canvas().Handle(), 0, 0, bitmap.Width(),
                  bitmap.Height(), bitmap.TransparentColor());
}

namespace {

// The source pixel's colour as 0x00BBGGRR, by pixel format.
inline TColor PixelColor(const std::uint8_t *row, int x, TPixelFormat format,
                         const TPalette &palette) {
  switch (format) {
    case TPixelFormat::pf8bit: {
      const TPaletteEntry &e = palette[row[x]];
      return static_cast<TColor>(e.peRed | (e.peGreen << 8) | (e.peBlue << 16));
    }
    case TPixelFormat::pf24bit: {
      const std::uint8_t *p = row + 3 * x;
      return static_cast<TColor>(p[2] | (p[1] << 8) | (p[0] << 16));
    }
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfARGB32: {
      const std::uint8_t *p = row + 4 * x;
      return static_cast<TColor>(p[2] | (p[1] << 8) | (p[0] << 16));
    }
  }
  return 0;
}

// Entries are four plain bytes: compared as one block, checked on every draw.
bool SamePalette(const TPalette &a, const TPalette &b) {
  static_assert(sizeof(TPaletteEntry) == 4);
  return std::memcmp(a.data(), b.data(), sizeof(TPalette)) == 0;
}

}  // namespace

bool TKeyedCopyCache::Fresh(const TBitmap &source, const TBitmap &dest) const {
  return source_ == &source && change_ == source.ChangeCount() && width_ == source.Width() &&
         height_ == source.Height() && format_ == source.PixelFormat() &&
         key_ == (source.TransparentColor() & 0xFFFFFF) &&
         (format_ != TPixelFormat::pf8bit || SamePalette(source_palette_, source.Palette())) &&
         SamePalette(dest_palette_, dest.Palette());
}

void TKeyedCopyCache::Rebuild(TBitmap &source, const TBitmap &dest) {
  const int w = source.Width(), h = source.Height();
  // The platform's own copy maps the colours, so the indices are those the keyed copy makes.
  TBitmap mapped;
  mapped.SetPixelFormat(TPixelFormat::pf8bit);
  mapped.SetPalette(dest.Palette());
  mapped.SetSize(w, h);
  mapped.Canvas().Draw(0, 0, source);
  const TColor key = source.TransparentColor() & 0xFFFFFF;
  indices_.resize(static_cast<std::size_t>(w) * h);
  runs_.clear();
  row_runs_.assign(static_cast<std::size_t>(h) + 1, 0);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t *src = source.ScanLine(y);
    std::memcpy(&indices_[static_cast<std::size_t>(y) * w], mapped.ScanLine(y),
                static_cast<std::size_t>(w));
    row_runs_[static_cast<std::size_t>(y)] = static_cast<std::uint32_t>(runs_.size());
    int start = -1;
    for (int x = 0; x < w; ++x) {
      const bool opaque = PixelColor(src, x, source.PixelFormat(), source.Palette()) != key;
      if (opaque && start < 0) start = x;
      if (!opaque && start >= 0) {
        runs_.push_back({start, x - start});
        start = -1;
      }
    }
    if (start >= 0) runs_.push_back({start, w - start});
  }
  row_runs_[static_cast<std::size_t>(h)] = static_cast<std::uint32_t>(runs_.size());
  source_ = &source;
  change_ = source.ChangeCount();
  width_ = w;
  height_ = h;
  format_ = source.PixelFormat();
  key_ = key;
  source_palette_ = source.Palette();
  dest_palette_ = dest.Palette();
  ++rebuilds_;
}

void TKeyedCopyCache::Draw(TBitmap &source, TBitmap &dest, int x, int y) {
  if (source.Empty() || dest.Empty()) return;
  TCanvas &canvas = dest.Canvas();
  const TRect whole = Rect(0, 0, dest.Width(), dest.Height());
  if (!HasTransparentBlt() || dest.PixelFormat() != TPixelFormat::pf8bit ||
      canvas.Clip().HasMask() || canvas.ClipRect() != whole) {
    DrawBitmapTransparent(source, canvas.Handle(), x, y, source.Width(), source.Height());
    return;
  }
  if (!Fresh(source, dest)) Rebuild(source, dest);
  const TRect area = IntersectRect(whole, Bounds(x, y, width_, height_));
  if (area.IsEmpty()) return;
  // Source columns that land inside the frame.
  const int lo = area.Left - x, hi = area.Right - x;
  for (int row = area.Top; row < area.Bottom; ++row) {
    const std::size_t r = static_cast<std::size_t>(row - y);
    const std::uint8_t *idx = &indices_[r * static_cast<std::size_t>(width_)];
    std::uint8_t *out = dest.ScanLine(row) + area.Left;  // source column lo
    for (std::uint32_t k = row_runs_[r]; k < row_runs_[r + 1]; ++k) {
      const int a = std::max(runs_[k].start, lo);
      const int b = std::min(runs_[k].start + runs_[k].length, hi);
      if (a < b) std::memcpy(out + (a - lo), idx + a, static_cast<std::size_t>(b - a));
    }
  }
  dest.Changed();
}

}  // namespace vx
