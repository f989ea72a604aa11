#pragma once
// floor((a * b + c) / d) for unsigned 64-bit operands whose product may exceed 64 bits (pixel
// coordinates scaled by extents near the int range). Exact; the quotient must fit in 64 bits.
// The common case is one multiply and one divide; only an overflowing product takes the long
// division, which needs no 128-bit integer type (i686 has none).

#include <cstdint>

namespace vx {

inline std::uint64_t MulAddDiv(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
  if (b == 0 || a <= (UINT64_MAX - c) / b) return (a * b + c) / d;
  // 128-bit product from 32-bit halves: hi:lo.
  const std::uint64_t mask = 0xFFFFFFFFu;
  const std::uint64_t al = a & mask, ah = a >> 32, bl = b & mask, bh = b >> 32;
  std::uint64_t t = al * bl;
  const std::uint64_t w0 = t & mask;
  t = ah * bl + (t >> 32);
  const std::uint64_t w1 = t & mask, w2 = t >> 32;
  t = al * bh + w1;
  std::uint64_t hi = ah * bh + w2 + (t >> 32);
  std::uint64_t lo = (t << 32) | w0;
  lo += c;
  if (lo < c) ++hi;
  // Schoolbook division, one bit at a time; hi < d since the quotient fits in 64 bits.
  std::uint64_t rem = hi % d, q = 0;
  for (int bit = 63; bit >= 0; --bit) {
    const bool carry = (rem >> 63) != 0;
    rem = (rem << 1) | ((lo >> bit) & 1);
    q <<= 1;
    if (carry || rem >= d) {
      rem -= d;
      q |= 1;
    }
  }
  return q;
}

}  // namespace vx
