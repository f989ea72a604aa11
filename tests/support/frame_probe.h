#pragma once
// Reading frames and component bitmaps in tests: which palette indices lie where.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/bitmap.h"
#include "platform/codepage.h"
#include "platform/types.h"

namespace vx::test {

// Palette index at (x, y) of an 8-bit bitmap; -1 outside it.
inline int IndexAt(const TBitmap &b, int x, int y) {
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return -1;
  return b.ScanLine(y)[x];
}

// How many pixels of the rectangle (clipped to the bitmap) hold index.
inline long CountIndex(const TBitmap &b, TRect r, int index) {
  r = IntersectRect(r, Rect(0, 0, b.Width(), b.Height()));
  long n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) n += b.ScanLine(y)[x] == index;
  return n;
}

// Whether every pixel of the rectangle (clipped to the bitmap) holds index.
inline bool AllIndex(const TBitmap &b, const TRect &r, int index) {
  const TRect c = IntersectRect(r, Rect(0, 0, b.Width(), b.Height()));
  if (c.IsEmpty()) return true;
  return CountIndex(b, c, index) == static_cast<long>(c.Width()) * c.Height();
}

// Bounding box of the pixels that do not hold background; empty when there are none.
inline TRect InkBounds(const TBitmap &b, int background) {
  TRect r{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.ScanLine(y)[x] != background) {
        if (x < r.Left) r.Left = x;
        if (y < r.Top) r.Top = y;
        if (x + 1 > r.Right) r.Right = x + 1;
        if (y + 1 > r.Bottom) r.Bottom = y + 1;
      }
  return r.IsEmpty() ? TRect{} : r;
}

// Index -> pixel count over the whole bitmap.
inline std::map<int, long> Histogram(const TBitmap &b) {
  std::map<int, long> h;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) ++h[b.ScanLine(y)[x]];
  return h;
}

inline std::u16string U16(std::string_view utf8) { return Utf8ToUtf16(utf8); }

}  // namespace vx::test
