// Copies against a plain per-pixel version over random formats, palettes, sizes, positions,
// stretches, clips and masks.

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/palette_map.h"
#include "platform/pixels.h"
#include "tests/support/bitmaps.h"

namespace vx {
namespace {

using testing::MakeBitmap;

// Source index of destination offset i for extents dw -> sw (both > 0): centre sampling.
long long MapRef(long long i, long long dw, long long sw, bool mirror) {
  long long j = ((2 * i + 1) * sw) / (2 * dw);
  return mirror ? sw - 1 - j : j;
}

struct Clip {
  bool has_rect = false;
  TRect rect;
  std::vector<std::uint8_t> mask;  // empty: none
};

// The reference: every destination pixel on its own, through GetPixel and the plain search.
void ReferenceCopy(TBitmap &dst, const TBitmap &src, const Clip &clip, long long dx, long long dy,
                   long long dw, long long dh, long long sx, long long sy, long long sw,
                   long long sh, bool keyed, TColor key) {
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
  const bool mx = (dw < 0) != (sw < 0), my = (dh < 0) != (sh < 0);
  if (dw < 0) { dx += dw; dw = -dw; }
  if (dh < 0) { dy += dh; dh = -dh; }
  if (sw < 0) { sx += sw; sw = -sw; }
  if (sh < 0) { sy += sh; sh = -sh; }
  const bool same8 = dst.PixelFormat() == TPixelFormat::pf8bit &&
                     src.PixelFormat() == TPixelFormat::pf8bit && dst.Palette() == src.Palette();
  for (int y = 0; y < dst.Height(); ++y)
    for (int x = 0; x < dst.Width(); ++x) {
      if (x < dx || x >= dx + dw || y < dy || y >= dy + dh) continue;
      if (clip.has_rect && !clip.rect.Contains(x, y)) continue;
      if (!clip.mask.empty() && !clip.mask[static_cast<std::size_t>(y * dst.Width() + x)]) continue;
      const long long px = sx + MapRef(x - dx, dw, sw, mx), py = sy + MapRef(y - dy, dh, sh, my);
      if (px < 0 || py < 0 || px >= src.Width() || py >= src.Height()) continue;
      const TColor c = src.GetPixel(static_cast<int>(px), static_cast<int>(py));
      if (keyed && c == key) continue;
      if (same8) {
        dst.ScanLine(y)[x] = src.ScanLine(static_cast<int>(py))[px];
      } else if (dst.PixelFormat() == TPixelFormat::pf8bit) {
        dst.ScanLine(y)[x] = NearestIndexReference(dst.Palette(), GetRValue(c), GetGValue(c), GetBValue(c));
      } else {
        std::uint8_t *p = dst.ScanLine(y) + x * (dst.PixelFormat() == TPixelFormat::pf24bit ? 3 : 4);
        p[0] = static_cast<std::uint8_t>(GetBValue(c));
        p[1] = static_cast<std::uint8_t>(GetGValue(c));
        p[2] = static_cast<std::uint8_t>(GetRValue(c));
        if (dst.PixelFormat() == TPixelFormat::pf32bit)
          p[3] = src.PixelFormat() == TPixelFormat::pf32bit ? src.ScanLine(static_cast<int>(py))[px * 4 + 3] : 0;
      }
    }
}

bool SameRows(const TBitmap &a, const TBitmap &b) {
  const int row = a.Width() * TBitmap::BitsPerPixel(a.PixelFormat()) / 8;
  for (int y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<std::size_t>(row)) != 0) return false;
  return true;
}

TPixelFormat AnyFormat(std::mt19937 &rng) {
  return static_cast<TPixelFormat>(std::uniform_int_distribution<int>(0, 2)(rng));
}

enum class Op { kBitBlt, kStretchBlt, kTransparentBlt };

// unscaled: source extents equal to the destination's (the 1:1 rows and columns).
void RandomRound(std::mt19937 &rng, Op op, int round, bool unscaled = false) {
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  TPalette pal = testing::RandomPalette(rng);
  TPalette pal2 = rnd(0, 1) ? pal : testing::RandomPalette(rng);
  // A small palette of few colours makes keyed pixels and exact matches common.
  for (int i = 0; i < 256; ++i) pal[i] = pal[i % 16];
  auto src = MakeBitmap(rnd(1, 30), rnd(1, 30), AnyFormat(rng), clBlack, &pal);
  auto dst = MakeBitmap(rnd(1, 30), rnd(1, 30), AnyFormat(rng), clBlack, &pal2);
  testing::FillRandom(*src, rng);
  if (src->PixelFormat() == TPixelFormat::pf8bit)  // only the first 16 indices
    for (int y = 0; y < src->Height(); ++y)
      for (int x = 0; x < src->Width(); ++x) src->ScanLine(y)[x] &= 15;
  testing::FillRandom(*dst, rng);
  TBitmap expect;
  expect.Assign(*dst);

  Clip clip;
  TCanvas &c = dst->Canvas();
  if (rnd(0, 2) == 0) {
    clip.has_rect = true;
    clip.rect = Rect(rnd(-5, 20), rnd(-5, 20), rnd(0, 35), rnd(0, 35));
    c.SetClipRect(clip.rect);
  }
  if (rnd(0, 3) == 0) {
    clip.mask.resize(static_cast<std::size_t>(dst->Width() * dst->Height()));
    for (auto &m : clip.mask) m = static_cast<std::uint8_t>(rnd(0, 1));
    c.SetClipMask(clip.mask, dst->Width());
  }
  const int x = rnd(-40, 40), y = rnd(-40, 40), sx = rnd(-10, 35), sy = rnd(-10, 35);
  int cx = rnd(-10, 45), cy = rnd(-10, 45), scx = rnd(-10, 45), scy = rnd(-10, 45);
  if (unscaled) {
    scx = cx;
    scy = cy;
  }
  bool keyed = false;
  TColor key = 0;
  switch (op) {
    case Op::kBitBlt:
      BitBlt(c.Handle(), x, y, cx, cy, src->Canvas().Handle(), sx, sy, SRCCOPY);
      scx = cx;
      scy = cy;
      break;
    case Op::kStretchBlt:
      StretchBlt(c.Handle(), x, y, cx, cy, src->Canvas().Handle(), sx, sy, scx, scy, SRCCOPY);
      break;
    case Op::kTransparentBlt:
      cx = std::abs(cx);
      cy = std::abs(cy);
      scx = std::abs(scx);
      scy = std::abs(scy);
      keyed = true;
      key = src->GetPixel(rnd(0, src->Width() - 1), rnd(0, src->Height() - 1));
      TransparentBlt(c.Handle(), x, y, cx, cy, src->Canvas().Handle(), sx, sy, scx, scy,
                     static_cast<UINT>(key));
      break;
  }
  ReferenceCopy(expect, *src, clip, x, y, cx, cy, sx, sy, scx, scy, keyed, key);
  ASSERT_TRUE(SameRows(*dst, expect))
      << "round " << round << " op " << static_cast<int>(op) << " src " << src->Width() << "x"
      << src->Height() << " f" << static_cast<int>(src->PixelFormat()) << " dst " << dst->Width()
      << "x" << dst->Height() << " f" << static_cast<int>(dst->PixelFormat()) << " at " << x << ","
      << y << " " << cx << "x" << cy << " from " << sx << "," << sy << " " << scx << "x" << scy;
}

TEST(BlitDifferential, BitBltMatchesThePlainCopy) {
  std::mt19937 rng(11);
  for (int i = 0; i < 600; ++i) RandomRound(rng, Op::kBitBlt, i);
}

TEST(BlitDifferential, StretchBltMatchesThePlainCopy) {
  std::mt19937 rng(12);
  for (int i = 0; i < 600; ++i) RandomRound(rng, Op::kStretchBlt, i);
}

TEST(BlitDifferential, TransparentBltMatchesThePlainKeyedCopy) {
  std::mt19937 rng(13);
  for (int i = 0; i < 600; ++i) RandomRound(rng, Op::kTransparentBlt, i);
}

// Copies of equal extents take the 1:1 mapping; with and without it they match the plain copy.
TEST(BlitDifferential, UnscaledCopiesMatchThePlainCopyWithAndWithoutTheFastPath) {
  for (bool fast : {true, false}) {
    SetUnscaledBlitFastPath(fast);
    std::mt19937 rng(fast ? 21 : 22);
    for (int i = 0; i < 400; ++i) RandomRound(rng, Op::kBitBlt, i, true);
    for (int i = 0; i < 400; ++i) RandomRound(rng, Op::kStretchBlt, i, true);
    for (int i = 0; i < 400; ++i) RandomRound(rng, Op::kTransparentBlt, i, true);
  }
  SetUnscaledBlitFastPath(true);
}

// A frame-sized copy of 8-bit indices lands exactly, whatever the offset and clip.
TEST(BlitDifferential, UnscaledFrameSizedCopiesMatchTheGeneralMapping) {
  std::mt19937 rng(23);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  TPalette pal = testing::RandomPalette(rng);
  for (int round = 0; round < 20; ++round) {
    auto src = MakeBitmap(rnd(1, 700), rnd(1, 500), TPixelFormat::pf8bit, clBlack, &pal);
    testing::FillRandom(*src, rng);
    auto fast = MakeBitmap(640, 480, TPixelFormat::pf8bit, clBlack, &pal);
    TBitmap plain;
    plain.Assign(*fast);
    const TRect clip = Rect(rnd(-50, 300), rnd(-50, 200), rnd(300, 700), rnd(200, 530));
    const int x = rnd(-700, 700), y = rnd(-500, 500);
    const int sx = rnd(-20, 20), sy = rnd(-20, 20);
    fast->Canvas().SetClipRect(clip);
    plain.Canvas().SetClipRect(clip);
    SetUnscaledBlitFastPath(true);
    BitBlt(fast->Canvas().Handle(), x, y, src->Width(), src->Height(), src->Canvas().Handle(), sx,
           sy, SRCCOPY);
    SetUnscaledBlitFastPath(false);
    BitBlt(plain.Canvas().Handle(), x, y, src->Width(), src->Height(), src->Canvas().Handle(), sx,
           sy, SRCCOPY);
    SetUnscaledBlitFastPath(true);
    ASSERT_TRUE(SameRows(*fast, plain)) << "round " << round;
  }
}

TEST(Blit, SamePaletteEightBitCopiesIndicesEvenForDuplicateColours) {
  TPalette pal{};
  pal[3] = {9, 9, 9, 0};
  pal[7] = {9, 9, 9, 0};  // same colour as 3: only a byte copy keeps 7
  auto src = MakeBitmap(4, 4, TPixelFormat::pf8bit, clBlack, &pal);
  src->ScanLine(1)[2] = 7;
  auto dst = MakeBitmap(4, 4, TPixelFormat::pf8bit, clBlack, &pal);
  BitBlt(dst->Canvas().Handle(), 0, 0, 4, 4, src->Canvas().Handle(), 0, 0, SRCCOPY);
  EXPECT_EQ(dst->ScanLine(1)[2], 7);
}

TEST(Blit, HugeAndNegativeCoordinatesAreSafe) {
  auto src = MakeBitmap(8, 8, TPixelFormat::pf24bit, clRed);
  TPalette pal{};
  pal[1] = {255, 0, 0, 0};
  auto dst = MakeBitmap(8, 8, TPixelFormat::pf8bit, clBlack, &pal);
  HDC d = dst->Canvas().Handle(), s = src->Canvas().Handle();
  const int values[] = {INT_MIN, INT_MIN + 1, -1000000, -9, -1, 0, 1, 7, 8, 1000000, INT_MAX - 1, INT_MAX};
  for (int a : values)
    for (int b : values) {
      BitBlt(d, a, b, b, a, s, b, a, SRCCOPY);
      StretchBlt(d, a, 0, b, 8, s, 0, b, a, 8, SRCCOPY);
      StretchBlt(d, 0, a, 8, b, s, a, 0, 8, b, SRCCOPY);
      TransparentBlt(d, a, b, INT_MAX, INT_MAX, s, a, b, INT_MAX, INT_MAX, 0);
    }
  EXPECT_EQ(BitBlt(nullptr, 0, 0, 1, 1, s, 0, 0, SRCCOPY), 0);
  EXPECT_EQ(BitBlt(d, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY), 0);
  EXPECT_EQ(TransparentBlt(d, 0, 0, -1, 1, s, 0, 0, 1, 1, 0), 0);
  // A 1-pixel source stretched over an enormous rectangle fills the whole target.
  dst->Canvas().Brush.Color = clBlack;
  dst->Canvas().FillRect(Rect(0, 0, 8, 8));
  StretchBlt(d, INT_MIN, INT_MIN, INT_MAX, INT_MAX, s, 0, 0, 1, 1, SRCCOPY);
  StretchBlt(d, -1, -1, INT_MAX, INT_MAX, s, 0, 0, 1, 1, SRCCOPY);
  EXPECT_EQ(testing::CountColor(*dst, clBlack), 0);
}

TEST(Blit, OverlappingCopyWithinOneBitmap) {
  auto bmp = MakeBitmap(6, 1, TPixelFormat::pf24bit);
  for (int x = 0; x < 6; ++x) bmp->SetPixel(x, 0, RGB(x, 0, 0));
  HDC dc = bmp->Canvas().Handle();
  BitBlt(dc, 1, 0, 5, 1, dc, 0, 0, SRCCOPY);
  for (int x = 1; x < 6; ++x) EXPECT_EQ(bmp->GetPixel(x, 0), RGB(x - 1, 0, 0));
}

TEST(Blit, KeyedCopyLeavesTheKeyColourOut) {
  // A picture whose bottom-left pixel is white, drawn onto green: its white stays green.
  auto pic = MakeBitmap(4, 4, TPixelFormat::pf24bit, clWhite);
  pic->SetPixel(1, 1, clRed);
  auto frame = MakeBitmap(10, 10, TPixelFormat::pf24bit, clLime);
  TransparentBlt(frame->Canvas().Handle(), 2, 2, 4, 4, pic->Canvas().Handle(), 0, 0, 4, 4,
                 static_cast<UINT>(pic->TransparentColor()));
  EXPECT_EQ(testing::CountColor(*frame, clLime), 99);
  EXPECT_EQ(frame->GetPixel(3, 3), clRed);
  // Stretched twice as large: the red pixel covers 2 x 2.
  TransparentBlt(frame->Canvas().Handle(), 0, 0, 8, 8, pic->Canvas().Handle(), 0, 0, 4, 4,
                 static_cast<UINT>(clWhite));
  EXPECT_EQ(testing::CountColor(*frame, clRed), 4);  // covers the first copy's red pixel
  EXPECT_EQ(frame->GetPixel(2, 2), clRed);
  EXPECT_EQ(frame->GetPixel(3, 3), clRed);
}

TEST(Blit, DrawStretchDrawAndCopyRect) {
  auto pic = MakeBitmap(2, 2, TPixelFormat::pf32bit, clBlue);
  auto bmp = MakeBitmap(8, 8, TPixelFormat::pf24bit, clBlack);
  bmp->Canvas().Draw(7, 7, *pic);
  EXPECT_EQ(testing::CountColor(*bmp, clBlue), 1);
  bmp->Canvas().StretchDraw(Rect(0, 0, 4, 2), *pic);
  EXPECT_EQ(testing::CountColor(*bmp, clBlue), 9);
  bmp->Canvas().CopyRect(Rect(4, 4, 6, 6), pic->Canvas(), Rect(0, 0, 2, 2));
  EXPECT_EQ(testing::CountColor(*bmp, clBlue), 13);
}

}  // namespace
}  // namespace vx
