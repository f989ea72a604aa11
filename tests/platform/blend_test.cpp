// The true-colour pixel operators (platform/blend.h) against plain per-pixel formulas, and
// what fills, copies and keyed copies put on a premultiplied ARGB bitmap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "platform/bitmap.h"
#include "platform/blend.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"

namespace vx {
namespace {

// A premultiplied pixel: every colour byte at most the alpha.
void RandomPixel(std::mt19937 &rng, std::uint8_t *p) {
  const unsigned a = rng() % 4 == 0 ? (rng() % 2) * 255 : rng() % 256;  // many 0 and 255
  for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(a == 0 ? 0 : rng() % (a + 1));
  p[3] = static_cast<std::uint8_t>(a);
}

unsigned RandomMask(std::mt19937 &rng) { return rng() % 3 == 0 ? 255 : rng() % 256; }

TEST(BlendOperators, Mul255IsRoundedProductForEveryPairOfBytes) {
  for (unsigned a = 0; a < 256; ++a)
    for (unsigned b = 0; b < 256; ++b)
      ASSERT_EQ(blend::Mul255(a, b), static_cast<unsigned>(std::lround(a * b / 255.0))) << a << " " << b;
}

TEST(BlendOperators, OverMatchesThePorterDuffFormulaWithAMask) {
  std::mt19937 rng(7);
  for (int i = 0; i < 200000; ++i) {
    std::uint8_t s[4], d[4];
    RandomPixel(rng, s);
    RandomPixel(rng, d);
    const unsigned m = RandomMask(rng);
    std::uint8_t out[4] = {d[0], d[1], d[2], d[3]};
    blend::Over(out, s, m);
    const double k = m / 255.0, sa = s[3] / 255.0 * k;
    for (int c = 0; c < 4; ++c) {
      const double expect = s[c] * k + d[c] * (1.0 - sa);
      // Two rounded products (the masked source, the kept destination): within 1.5.
      ASSERT_LE(std::abs(out[c] - expect), 1.5) << "channel " << c << " mask " << m;
    }
    ASSERT_LE(std::max({out[0], out[1], out[2]}), out[3] + 1);  // still premultiplied
  }
}

TEST(BlendOperators, SrcReplacesTheDestinationByTheMaskShare) {
  std::mt19937 rng(8);
  for (int i = 0; i < 200000; ++i) {
    std::uint8_t s[4], d[4];
    RandomPixel(rng, s);
    RandomPixel(rng, d);
    const unsigned m = RandomMask(rng);
    std::uint8_t out[4] = {d[0], d[1], d[2], d[3]};
    blend::Src(out, s, m);
    const double k = m / 255.0;
    for (int c = 0; c < 4; ++c)
      ASSERT_LE(std::abs(out[c] - (s[c] * k + d[c] * (1.0 - k))), 1.5) << "channel " << c;
  }
}

TEST(BlendOperators, UnpremultiplyGivesTheColourBack) {
  std::uint8_t p[4];
  blend::Premultiply(p, 200, 100, 50, 128);
  const std::uint32_t c = blend::Unpremultiply(p);
  EXPECT_NEAR(static_cast<int>(c & 0xFF), 200, 2);
  EXPECT_NEAR(static_cast<int>((c >> 8) & 0xFF), 100, 2);
  EXPECT_NEAR(static_cast<int>((c >> 16) & 0xFF), 50, 2);
  p[3] = 0;
  EXPECT_EQ(blend::Unpremultiply(p), 0u);
}

// Green transparent, one colour at half alpha, the rest opaque.
class TestAlpha final : public TColorAlpha {
 public:
  std::uint8_t AlphaOf(TColor rgb) const override {
    return rgb == 0x00FF00 ? 0 : rgb == 0x0000FF ? 128 : 255;
  }
};

void MakeArgb(TBitmap &b, int w, int h) {
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetColorAlpha(std::make_shared<TestAlpha>());
  b.SetSize(w, h);
}

const std::uint8_t *Px(TBitmap &b, int x, int y) { return b.ScanLine(y) + 4 * x; }

TEST(TrueColourCanvas, ColoursAreDrawnWithTheirAlphaAndTheKeyIsTransparent) {
  TBitmap b;
  MakeArgb(b, 8, 4);
  TCanvas &c = b.Canvas();
  c.Brush.Color = 0xFFFFFF;
  c.FillRect({0, 0, 8, 4});
  EXPECT_EQ(Px(b, 3, 2)[3], 255);
  EXPECT_EQ(Px(b, 3, 2)[0], 255);
  c.Brush.Color = 0x00FF00;  // the key
  c.FillRect({0, 0, 4, 4});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Px(b, 1, 1)[i], 0) << i;
  c.Brush.Color = 0x0000FF;  // red at half alpha, premultiplied
  c.FillRect({4, 0, 8, 4});
  EXPECT_EQ(Px(b, 5, 1)[3], 128);
  EXPECT_EQ(Px(b, 5, 1)[2], 128);
  EXPECT_EQ(Px(b, 5, 1)[0], 0);
  EXPECT_EQ(b.GetPixel(5, 1), static_cast<TColor>(0x0000FF));
}

TEST(TrueColourCanvas, ABitmapWithoutColourAlphaDrawsOpaque) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetSize(2, 2);
  b.Canvas().Brush.Color = 0x00FF00;
  b.Canvas().FillRect({0, 0, 2, 2});
  EXPECT_EQ(Px(b, 0, 0)[1], 255);
  EXPECT_EQ(Px(b, 0, 0)[3], 255);
}

TEST(TrueColourCopies, KeyedCopyOfATrueColourSourceIsOverForEveryPixel) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    const int w = 1 + static_cast<int>(rng() % 23), h = 1 + static_cast<int>(rng() % 9);
    TBitmap src, dst;
    MakeArgb(src, w, h);
    MakeArgb(dst, w + 5, h + 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) RandomPixel(rng, src.ScanLine(y) + 4 * x);
    for (int y = 0; y < dst.Height(); ++y)
      for (int x = 0; x < dst.Width(); ++x) RandomPixel(rng, dst.ScanLine(y) + 4 * x);
    TBitmap expect;
    expect.Assign(dst);
    const int ox = static_cast<int>(rng() % 6), oy = static_cast<int>(rng() % 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (ox + x < expect.Width() && oy + y < expect.Height())
          blend::Over(expect.ScanLine(oy + y) + 4 * (ox + x), src.ScanLine(y) + 4 * x, 255);
    TransparentBlt(dst.Canvas().Handle(), ox, oy, w, h, src.Canvas().Handle(), 0, 0, w, h,
                   src.TransparentColor());
    for (int y = 0; y < dst.Height(); ++y)
      ASSERT_EQ(0, std::memcmp(dst.ScanLine(y), expect.ScanLine(y), 4 * dst.Width())) << "row " << y;
  }
}

TEST(TrueColourCopies, APictureWithoutAlphaIsOpaqueAndItsKeyLeftOut) {
  TBitmap pic;
  pic.SetPixelFormat(TPixelFormat::pf24bit);
  pic.SetSize(3, 1);
  pic.SetPixel(0, 0, 0xFFFFFF);
  pic.SetPixel(1, 0, 0x123456);
  pic.SetPixel(2, 0, 0xFFFFFF);
  TBitmap dst;
  MakeArgb(dst, 3, 1);
  TransparentBlt(dst.Canvas().Handle(), 0, 0, 3, 1, pic.Canvas().Handle(), 0, 0, 3, 1, 0xFFFFFF);
  EXPECT_EQ(Px(dst, 0, 0)[3], 0);
  EXPECT_EQ(Px(dst, 1, 0)[3], 255);
  EXPECT_EQ(dst.GetPixel(1, 0), static_cast<TColor>(0x123456));
  BitBlt(dst.Canvas().Handle(), 0, 0, 3, 1, pic.Canvas().Handle(), 0, 0, SRCCOPY);
  EXPECT_EQ(Px(dst, 0, 0)[3], 255);
}

TEST(TrueColourCopies, ConvertingAPictureKeepsItsAlphaOrKeysItsColour) {
  TBitmap keyed;
  keyed.SetPixelFormat(TPixelFormat::pf24bit);
  keyed.SetSize(2, 1);
  keyed.SetPixel(0, 0, 0xFF00FF);
  keyed.SetPixel(1, 0, 0x00FF00);
  keyed.ConvertToPremultiplied(0xFF00FF);
  ASSERT_EQ(keyed.PixelFormat(), TPixelFormat::pfARGB32);
  EXPECT_EQ(Px(keyed, 0, 0)[3], 0);
  EXPECT_EQ(Px(keyed, 1, 0)[3], 255);

  TBitmap straight;
  straight.SetPixelFormat(TPixelFormat::pf32bit);
  straight.SetSize(1, 1);
  std::uint8_t *p = straight.ScanLine(0);
  p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 64;
  straight.SetAlphaChannel(true);
  straight.ConvertToPremultiplied(clNone);
  const std::uint8_t *q = Px(straight, 0, 0);
  EXPECT_EQ(q[3], 64);
  EXPECT_EQ(q[0], blend::Mul255(200, 64));
  EXPECT_EQ(q[2], blend::Mul255(50, 64));
}

TEST(TrueColourCopies, ATrueColourFrameMayBeAsLargeAs7680By4320) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  EXPECT_THROW(b.SetSize(8192, 4097), EOutOfResources);  // over 128 MiB
  TBitmap c;
  c.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_THROW(c.SetSize(7680, 4320), EOutOfResources);  // other formats keep the 64 MiB limit
  // 127 MiB at once: only where the address space has room for it (not a 32-bit process).
  if constexpr (sizeof(void *) == 8) {
    EXPECT_NO_THROW(b.SetSize(7680, 4320));
  }
}

}  // namespace
}  // namespace vx
