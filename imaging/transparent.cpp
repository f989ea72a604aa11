#include "imaging/transparent.h"

#include <atomic>

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

}  // namespace vx
