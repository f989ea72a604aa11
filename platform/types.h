#pragma once
// Plain geometry and integer types shaped on the Windows ones the system was written against.

#include <cstdint>

namespace vx {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint &, const TPoint &) = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const TSize &, const TSize &) = default;
};

// Right and bottom are exclusive, as on the original platform.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(int x, int y) const {
    return x >= Left && x < Right && y >= Top && y < Bottom;
  }
  friend bool operator==(const TRect &, const TRect &) = default;
};

constexpr TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
// a + b held at the ends of the int range instead of overflowing.
constexpr int SaturatedAdd(int a, int b) {
  const long long s = static_cast<long long>(a) + b;
  return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : static_cast<int>(s);
}
// Right and bottom saturate, so a position far off the frame gives a far-off rectangle
// rather than an overflow.
constexpr TRect Bounds(int left, int top, int width, int height) {
  return {left, top, SaturatedAdd(left, width), SaturatedAdd(top, height)};
}
// Intersection; an empty result has Right <= Left or Bottom <= Top.
constexpr TRect IntersectRect(const TRect &a, const TRect &b) {
  TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
          a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
  return r;
}
constexpr TRect OffsetRect(const TRect &r, int dx, int dy) {
  return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

}  // namespace vx
