#pragma once
// Premultiplied B, G, R, A pixels (the bytes of a pfARGB32 bitmap, in memory order) and the
// two ways a pixel is put on one, each written once here: `Src` (the source replaces the
// destination where the mask covers it: fills, copies, text in a colour) and `Over` (the
// source composited over the destination: keyed copies of pictures with alpha). The mask is a
// coverage 0..255 (a glyph's edge, a clip path); 255 is a whole pixel.

#include <algorithm>
#include <cstdint>

namespace vx::blend {

// a * b / 255, rounded to nearest, exact for every pair of bytes.
inline unsigned Mul255(unsigned a, unsigned b) {
  const unsigned t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

// The premultiplied pixel of an opaque colour (r, g, b) drawn with alpha a.
inline void Premultiply(std::uint8_t *p, unsigned r, unsigned g, unsigned b, unsigned a) {
  p[0] = static_cast<std::uint8_t>(Mul255(b, a));
  p[1] = static_cast<std::uint8_t>(Mul255(g, a));
  p[2] = static_cast<std::uint8_t>(Mul255(r, a));
  p[3] = static_cast<std::uint8_t>(a);
}

// dst = src * m + dst * (1 - m).
inline void Src(std::uint8_t *d, const std::uint8_t *s, unsigned m) {
  if (m >= 255) {
    d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = s[3];
    return;
  }
  const unsigned keep = 255 - m;
  for (int c = 0; c < 4; ++c)
    d[c] = static_cast<std::uint8_t>(std::min(255u, Mul255(s[c], m) + Mul255(d[c], keep)));
}

// dst = src * m + dst * (1 - src.a * m): Porter-Duff over with a coverage mask.
inline void Over(std::uint8_t *d, const std::uint8_t *s, unsigned m) {
  const unsigned sa = m >= 255 ? s[3] : Mul255(s[3], m);
  if (sa == 0) return;
  if (sa == 255 && m >= 255) {
    d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
    return;
  }
  const unsigned keep = 255 - sa;
  for (int c = 0; c < 4; ++c) {
    const unsigned sc = m >= 255 ? s[c] : Mul255(s[c], m);
    d[c] = static_cast<std::uint8_t>(std::min(255u, sc + Mul255(d[c], keep)));
  }
}

// The straight colour of a premultiplied pixel as 0x00BBGGRR (black for alpha 0).
inline std::uint32_t Unpremultiply(const std::uint8_t *p) {
  const unsigned a = p[3];
  if (a == 0) return 0;
  auto un = [a](unsigned c) { return std::min(255u, (c * 255 + a / 2) / a); };
  return un(p[2]) | (un(p[1]) << 8) | (un(p[0]) << 16);
}

}  // namespace vx::blend
