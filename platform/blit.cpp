// Copies between bitmaps: source copy, stretching and the colour-keyed copy. A copy is
// planned once (clipped to the target, its clip and the source; source column and row per
// destination pixel), then one kernel chosen by the two pixel formats walks the rows.

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/blend.h"
#include "platform/canvas.h"
#include "platform/palette_map.h"
#include "platform/pixels.h"
#include "platform/wide_div.h"

namespace vx {

namespace {

std::atomic<bool> g_unscaled_fast_path{true};

bool SamePalette(const TPalette &a, const TPalette &b) {
  for (int i = 0; i < 256; ++i)
    if (a[i].peRed != b[i].peRed || a[i].peGreen != b[i].peGreen || a[i].peBlue != b[i].peBlue)
      return false;
  return true;
}

std::uint32_t LoadPacked(const std::uint8_t *p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16);
}
void StorePacked(std::uint8_t *p, std::uint32_t c) {
  p[0] = static_cast<std::uint8_t>(c);
  p[1] = static_cast<std::uint8_t>(c >> 8);
  p[2] = static_cast<std::uint8_t>(c >> 16);
}

struct Tables {
  std::uint32_t pal[256];   // 8-bit source: packed colour per index
  std::uint8_t lut[256];    // 8-bit source onto 8-bit target: target index per source index
  bool is_key[256];         // 8-bit source: index whose colour is keyed out
};

// One pixel from sp to dp; kKeyed leaves out the key colour.
template <int SB, int DB, bool kKeyed>
inline void CopyPixel(const std::uint8_t *sp, std::uint8_t *dp, const PaletteMap *map,
                      const Tables &t, std::uint32_t key) {
  if constexpr (SB == 1) {
    const std::uint8_t idx = *sp;
    if (kKeyed && t.is_key[idx]) return;
    if constexpr (DB == 1) {
      *dp = t.lut[idx];
    } else {
      StorePacked(dp, t.pal[idx]);
      if constexpr (DB == 4) dp[3] = 0;
    }
  } else {
    if (kKeyed && LoadPacked(sp) == key) return;
    if constexpr (DB == 1) {
      *dp = map->Nearest(sp[2], sp[1], sp[0]);
    } else {
      dp[0] = sp[0];
      dp[1] = sp[1];
      dp[2] = sp[2];
      if constexpr (DB == 4) dp[3] = SB == 4 ? sp[3] : 0;
    }
  }
}

// kUnscaled: the source columns follow each other (a 1:1 copy), so the row is walked
// directly instead of through the column table. kPlain: no key and no clip mask, so the
// row loop carries no per-pixel test.
template <int SB, int DB, bool kUnscaled, bool kPlain>
void Kernel(const Surface &dst, const PaletteMap *map, const Surface &src, const BlitPlan &plan,
            const Tables &t) {
  const std::size_t n = plan.xs.size();
  const int *xs = plan.xs.data();
  const std::uint32_t key = plan.key;
  const bool keyed = plan.keyed;  // a local: stores through d could alias plan
  for (std::size_t j = 0; j < plan.ys.size(); ++j) {
    const int y = plan.y0 + static_cast<int>(j);
    const std::uint8_t *s = src.Row(plan.ys[j]);
    if constexpr (kUnscaled) s += static_cast<std::ptrdiff_t>(xs[0]) * SB;
    std::uint8_t *d = dst.Row(y) + static_cast<std::ptrdiff_t>(plan.x0) * DB;
    if constexpr (kPlain) {
      if constexpr (kUnscaled && SB != 1 && DB == 1) {
        map->MapRow<SB>(s, d, n);
      } else {
        for (std::size_t i = 0; i < n; ++i)
          CopyPixel<SB, DB, false>(s + (kUnscaled ? static_cast<std::ptrdiff_t>(i) : xs[i]) * SB,
                                   d + i * DB, map, t, key);
      }
      continue;
    }
    const std::uint8_t *m = nullptr;
    if (plan.mask) {
      m = plan.mask->MaskRow(y);
      if (!m) continue;
      m += plan.x0;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (m && !m[i]) continue;
      const std::uint8_t *sp = s + (kUnscaled ? static_cast<std::ptrdiff_t>(i) : xs[i]) * SB;
      if (keyed)
        CopyPixel<SB, DB, true>(sp, d + i * DB, map, t, key);
      else
        CopyPixel<SB, DB, false>(sp, d + i * DB, map, t, key);
    }
  }
}

template <int SB, int DB>
void Kernel(const Surface &dst, const PaletteMap *map, const Surface &src, const BlitPlan &plan,
            const Tables &t, bool unscaled) {
  const bool plain = !plan.keyed && !plan.mask;
  if (unscaled)
    plain ? Kernel<SB, DB, true, true>(dst, map, src, plan, t)
          : Kernel<SB, DB, true, false>(dst, map, src, plan, t);
  else
    plain ? Kernel<SB, DB, false, true>(dst, map, src, plan, t)
          : Kernel<SB, DB, false, false>(dst, map, src, plan, t);
}

// Onto a true-colour (pfARGB32) target. Every source pixel becomes a premultiplied pixel:
// opaque from a source without alpha (keyed pixels left out), as it is from a true-colour
// source. A keyed copy of a true-colour source composites it over the target (its alpha is
// its key); any other copy replaces the target, the clip mask being the coverage.
template <int SB, bool kSrcAlpha>
void AlphaKernel(const Surface &dst, const Surface &src, const BlitPlan &plan, const Tables &t) {
  const bool keyed = plan.keyed;
  const std::uint32_t key = plan.key;
  for (std::size_t j = 0; j < plan.ys.size(); ++j) {
    const int y = plan.y0 + static_cast<int>(j);
    const std::uint8_t *s = src.Row(plan.ys[j]);
    std::uint8_t *d = dst.Row(y) + static_cast<std::ptrdiff_t>(plan.x0) * 4;
    const std::uint8_t *m = nullptr;
    if (plan.mask) {
      m = plan.mask->MaskRow(y);
      if (!m) continue;
      m += plan.x0;
    }
    for (std::size_t i = 0; i < plan.xs.size(); ++i, d += 4) {
      const unsigned cover = m ? m[i] : 255;
      if (cover == 0) continue;
      const std::uint8_t *sp = s + static_cast<std::ptrdiff_t>(plan.xs[i]) * SB;
      if constexpr (kSrcAlpha) {
        if (keyed)
          blend::Over(d, sp, cover);
        else
          blend::Src(d, sp, cover);
      } else {
        std::uint8_t p[4];
        if constexpr (SB == 1) {
          if (keyed && t.is_key[*sp]) continue;
          StorePacked(p, t.pal[*sp]);
        } else {
          if (keyed && LoadPacked(sp) == key) continue;
          p[0] = sp[0], p[1] = sp[1], p[2] = sp[2];
        }
        p[3] = 255;
        blend::Src(d, p, cover);
      }
    }
  }
}

// Destination columns [lo, hi) clipped, mapped onto source columns; returns false when empty.
// d, w: destination start and extent (w > 0); s, sw: source start and extent (sw > 0).
bool MapAxis(long long d, long long w, long long s, long long sw, bool mirror, int lo, int hi,
             int limit, int &first, std::vector<int> &out) {
  const long long a = std::max<long long>(d, lo);
  const long long b = std::min<long long>(d + w, hi);
  if (a >= b) return false;
  out.clear();
  if (w == sw && !mirror && g_unscaled_fast_path.load(std::memory_order_relaxed)) {
    // 1:1: destination x takes source s + (x - d), no division needed; the valid source
    // columns [0, limit) are the destination columns [d - s, d - s + limit).
    const long long first_x = std::max(a, d - s);
    const long long end_x = std::min(b, d - s + limit);
    if (first_x >= end_x) return false;
    out.resize(static_cast<std::size_t>(end_x - first_x));
    const int s0 = static_cast<int>(s + (first_x - d));
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = s0 + static_cast<int>(k);
    first = static_cast<int>(first_x);
    return true;
  }
  out.reserve(static_cast<std::size_t>(b - a));
  long long start = -1;
  for (long long x = a; x < b; ++x) {
    const auto i = static_cast<std::uint64_t>(x - d);  // x >= a >= d
    long long j = static_cast<long long>(
        MulAddDiv(2 * i + 1, static_cast<std::uint64_t>(sw), 0, 2 * static_cast<std::uint64_t>(w)));
    if (mirror) j = sw - 1 - j;
    const long long sx = s + j;
    if (sx < 0 || sx >= limit) {
      if (start >= 0) break;  // monotonic: the valid columns are one run
      continue;
    }
    if (start < 0) start = x;
    out.push_back(static_cast<int>(sx));
  }
  if (out.empty()) return false;
  first = static_cast<int>(start);
  return true;
}

}  // namespace

void SetUnscaledBlitFastPath(bool on) { g_unscaled_fast_path.store(on, std::memory_order_relaxed); }

void RunBlit(const Surface &dst, const PaletteMap *dst_map, const Surface &src,
             const BlitPlan &plan) {
  const std::size_t n = plan.xs.size();
  if (n == 0 || plan.ys.empty()) return;
  const bool same_palette =
      src.bytes == 1 && dst.bytes == 1 && SamePalette(*src.palette, *dst.palette);
  bool contiguous = true;
  for (std::size_t i = 1; i < n && contiguous; ++i) contiguous = plan.xs[i] == plan.xs[0] + static_cast<int>(i);
  if (contiguous && !plan.keyed && !plan.mask && src.bytes == dst.bytes &&
      (src.bytes != 1 || same_palette) && (!dst.alpha || src.alpha)) {
    for (std::size_t j = 0; j < plan.ys.size(); ++j)
      std::memmove(dst.Row(plan.y0 + static_cast<int>(j)) + static_cast<std::ptrdiff_t>(plan.x0) * dst.bytes,
                   src.Row(plan.ys[j]) + static_cast<std::ptrdiff_t>(plan.xs[0]) * src.bytes,
                   n * static_cast<std::size_t>(dst.bytes));
    return;
  }
  Tables t;
  if (src.bytes == 1) {
    for (int i = 0; i < 256; ++i) {
      const TPaletteEntry &e = (*src.palette)[i];
      t.pal[i] = static_cast<std::uint32_t>(e.peBlue) | (static_cast<std::uint32_t>(e.peGreen) << 8) |
                 (static_cast<std::uint32_t>(e.peRed) << 16);
      t.is_key[i] = plan.keyed && t.pal[i] == plan.key;
      if (dst.bytes == 1)
        t.lut[i] = same_palette ? static_cast<std::uint8_t>(i) : dst_map->NearestPacked(t.pal[i]);
    }
  }
  if (dst.alpha) {
    switch (src.bytes) {
      case 1: AlphaKernel<1, false>(dst, src, plan, t); break;
      case 3: AlphaKernel<3, false>(dst, src, plan, t); break;
      case 4:
        src.alpha ? AlphaKernel<4, true>(dst, src, plan, t) : AlphaKernel<4, false>(dst, src, plan, t);
        break;
      default: break;
    }
    return;
  }
  switch (src.bytes * 8 + dst.bytes) {
    case 1 * 8 + 1: Kernel<1, 1>(dst, dst_map, src, plan, t, contiguous); break;
    case 1 * 8 + 3: Kernel<1, 3>(dst, dst_map, src, plan, t, contiguous); break;
    case 1 * 8 + 4: Kernel<1, 4>(dst, dst_map, src, plan, t, contiguous); break;
    case 3 * 8 + 1: Kernel<3, 1>(dst, dst_map, src, plan, t, contiguous); break;
    case 3 * 8 + 3: Kernel<3, 3>(dst, dst_map, src, plan, t, contiguous); break;
    case 3 * 8 + 4: Kernel<3, 4>(dst, dst_map, src, plan, t, contiguous); break;
    case 4 * 8 + 1: Kernel<4, 1>(dst, dst_map, src, plan, t, contiguous); break;
    case 4 * 8 + 3: Kernel<4, 3>(dst, dst_map, src, plan, t, contiguous); break;
    case 4 * 8 + 4: Kernel<4, 4>(dst, dst_map, src, plan, t, contiguous); break;
    default: break;
  }
}

namespace {

// The one entry for every copy. Extents may be negative (mirroring where the signs differ)
// and coordinates any value; the plan keeps only what lands inside target, clip and source.
void CopyCore(TCanvas &dest, TBitmap &source, long long dx, long long dy, long long dw,
              long long dh, long long sx, long long sy, long long sw, long long sh, bool keyed,
              std::uint32_t key) {
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0 || source.Empty()) return;
  const bool mirror_x = (dw < 0) != (sw < 0);
  const bool mirror_y = (dh < 0) != (sh < 0);
  if (dw < 0) { dx += dw; dw = -dw; }
  if (dh < 0) { dy += dh; dh = -dh; }
  if (sw < 0) { sx += sw; sw = -sw; }
  if (sh < 0) { sy += sh; sh = -sh; }
  const TClipRegion &clip = dest.Clip();
  const TRect &b = clip.Bounds();
  if (b.IsEmpty()) return;
  BlitPlan plan;
  if (!MapAxis(dx, dw, sx, sw, mirror_x, b.Left, b.Right, source.Width(), plan.x0, plan.xs) ||
      !MapAxis(dy, dh, sy, sh, mirror_y, b.Top, b.Bottom, source.Height(), plan.y0, plan.ys))
    return;
  plan.keyed = keyed;
  plan.key = key;
  plan.mask = clip.HasMask() ? &clip : nullptr;
  TBitmap &target = dest.Bitmap();
  const PaletteMap *map =
      target.PixelFormat() == TPixelFormat::pf8bit ? &PaletteMapOf(target) : nullptr;
  if (&source == &target) {
    // Copying within one bitmap: read from a snapshot so overlapping areas come out right.
    TBitmap snapshot;
    snapshot.Assign(source);
    RunBlit(SurfaceOf(target), map, SurfaceOf(snapshot), plan);
  } else {
    RunBlit(SurfaceOf(target), map, SurfaceOf(source), plan);
  }
  target.Changed();
}

}  // namespace

void TCanvas::Draw(int x, int y, TBitmap &source) {
  CopyCore(*this, source, x, y, source.Width(), source.Height(), 0, 0, source.Width(),
           source.Height(), false, 0);
}

void TCanvas::StretchDraw(const TRect &dest, TBitmap &source) {
  CopyCore(*this, source, dest.Left, dest.Top, static_cast<long long>(dest.Right) - dest.Left,
           static_cast<long long>(dest.Bottom) - dest.Top, 0, 0, source.Width(), source.Height(),
           false, 0);
}

void TCanvas::CopyRect(const TRect &dest, TCanvas &source, const TRect &src) {
  CopyCore(*this, source.Bitmap(), dest.Left, dest.Top,
           static_cast<long long>(dest.Right) - dest.Left,
           static_cast<long long>(dest.Bottom) - dest.Top, src.Left, src.Top,
           static_cast<long long>(src.Right) - src.Left,
           static_cast<long long>(src.Bottom) - src.Top, false, 0);
}

BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, DWORD rop) {
  if (!dest || !source || rop != SRCCOPY) return 0;
  CopyCore(*dest, source->Bitmap(), x, y, cx, cy, sx, sy, cx, cy, false, 0);
  return 1;
}

BOOL StretchBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, int scx,
                int scy, DWORD rop) {
  if (!dest || !source || rop != SRCCOPY) return 0;
  CopyCore(*dest, source->Bitmap(), x, y, cx, cy, sx, sy, scx, scy, false, 0);
  return 1;
}

BOOL TransparentBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, int scx,
                    int scy, UINT transparent) {
  // As on the original platform, negative extents (mirroring) are refused.
  if (!dest || !source || cx < 0 || cy < 0 || scx < 0 || scy < 0) return 0;
  const TColor key = static_cast<TColor>(transparent & 0xFFFFFFu);
  CopyCore(*dest, source->Bitmap(), x, y, cx, cy, sx, sy, scx, scy, true, PackedOf(key));
  return 1;
}

}  // namespace vx
