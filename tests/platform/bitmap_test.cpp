#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/palette_map.h"
#include "tests/support/bitmaps.h"

namespace vx {
namespace {

using testing::MakeBitmap;

TEST(BitmapSize, ZeroWidthWithRowsResizesAndAssignsCleanly) {
  // Height first, as the panel sizes itself: rows exist before any column does.
  TBitmap bmp;
  bmp.SetPixelFormat(TPixelFormat::pf8bit);
  bmp.SetHeight(5);
  EXPECT_TRUE(bmp.Empty());
  TBitmap copy;
  copy.Assign(bmp);
  EXPECT_EQ(copy.Height(), 5);
  EXPECT_EQ(copy.Width(), 0);
  for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    bmp.SetPixelFormat(f);
    TBitmap loaded;  // saved and loaded again as it is: rows, no columns
    loaded.LoadFromBytes(bmp.SaveToBytes());
    EXPECT_EQ(loaded.Height(), 5);
    EXPECT_EQ(loaded.Width(), 0);
  }
  bmp.SetPixelFormat(TPixelFormat::pf8bit);
  bmp.SetWidth(3);
  EXPECT_EQ(bmp.GetPixel(2, 4), clBlack);
  bmp.SetWidth(0);
  bmp.SetHeight(2);
  EXPECT_TRUE(bmp.Empty());
}

TEST(BitmapSize, ResizeKeepsOldPixelsTopLeftAndZeroesNewOnes) {
  for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TPalette pal{};
    pal[7] = {10, 20, 30, 0};
    auto bmp = MakeBitmap(3, 2, f, RGB(10, 20, 30), &pal);
    bmp->SetSize(5, 4);
    EXPECT_EQ(bmp->Width(), 5);
    EXPECT_EQ(bmp->Height(), 4);
    EXPECT_EQ(bmp->BytesPerScanLine() % 4, 0);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(bmp->GetPixel(x, y), x < 3 && y < 2 ? RGB(10, 20, 30) : clBlack) << x << "," << y;
    bmp->SetWidth(2);
    bmp->SetHeight(1);
    EXPECT_EQ(bmp->GetPixel(1, 0), RGB(10, 20, 30));
    EXPECT_EQ(bmp->GetPixel(2, 0), -1);
  }
}

TEST(BitmapSize, NegativeSizesCountAsZero) {
  TBitmap bmp;
  bmp.SetSize(-5, 7);
  EXPECT_EQ(bmp.Width(), 0);
  EXPECT_TRUE(bmp.Empty());
  EXPECT_THROW(bmp.ScanLine(0), EInvalidOperation);
}

TEST(BitmapSize, OverTheCapIsRefusedAndLeavesTheBitmapAsItWas) {
  auto bmp = MakeBitmap(4, 4, TPixelFormat::pf24bit, clRed);
  EXPECT_THROW(bmp->SetSize(5000, 5000), EOutOfResources);  // 75 MB at 24 bits
  EXPECT_THROW(bmp->SetSize(1 << 30, 1), EOutOfResources);
  EXPECT_THROW(bmp->SetWidth(0x7FFFFFFF), EOutOfResources);
  EXPECT_EQ(bmp->Width(), 4);
  EXPECT_EQ(bmp->Height(), 4);
  EXPECT_EQ(bmp->GetPixel(3, 3), clRed);
  // 8-bit fits, 32-bit of the same size does not: the format change is refused.
  TBitmap big;
  big.SetPixelFormat(TPixelFormat::pf8bit);
  big.SetSize(8192, 8192);  // exactly 64 MiB
  EXPECT_THROW(big.SetPixelFormat(TPixelFormat::pf32bit), EOutOfResources);
  EXPECT_EQ(big.PixelFormat(), TPixelFormat::pf8bit);
}

TEST(BitmapFormat, ConversionsGoThroughRgbAndTheNearestEntry) {
  TPalette pal{};
  pal[0] = {0, 0, 0, 0};
  pal[1] = {255, 0, 0, 0};
  pal[2] = {0, 0, 250, 0};
  auto bmp = MakeBitmap(2, 1, TPixelFormat::pf24bit);
  bmp->SetPixel(0, 0, RGB(250, 10, 0));
  bmp->SetPixel(1, 0, RGB(0, 0, 255));
  bmp->SetPalette(pal);
  bmp->SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(bmp->ScanLine(0)[0], 1);
  EXPECT_EQ(bmp->ScanLine(0)[1], 2);
  bmp->SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(bmp->GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bmp->GetPixel(1, 0), RGB(0, 0, 250));
  bmp->SetPixelFormat(TPixelFormat::pf24bit);
  EXPECT_EQ(bmp->BytesPerScanLine(), 8);
  const std::uint8_t *row = bmp->ScanLine(0);
  EXPECT_EQ(row[0], 0);   // B
  EXPECT_EQ(row[2], 255);  // R
}

TEST(BitmapPalette, NearestIndexPrefersExactMatchThenLowestIndexOnTies) {
  TBitmap bmp;
  TPalette pal{};
  for (auto &e : pal) e = {100, 100, 100, 0};
  pal[3] = {10, 0, 0, 0};
  pal[4] = {30, 0, 0, 0};
  pal[9] = {20, 0, 0, 0};
  pal[12] = {20, 0, 0, 0};
  bmp.SetPalette(pal);
  EXPECT_EQ(bmp.NearestIndex(RGB(20, 0, 0)), 9);
  EXPECT_EQ(bmp.NearestIndex(RGB(15, 0, 0)), 3);  // tie between 3 and 9
  EXPECT_EQ(bmp.NearestIndex(RGB(100, 100, 100)), 0);
  EXPECT_EQ(bmp.NearestIndex(clWindow), 0);  // system colours are resolved first
  // Changing the palette drops the cache.
  pal[1] = {20, 0, 0, 0};
  bmp.SetPalette(pal);
  EXPECT_EQ(bmp.NearestIndex(RGB(20, 0, 0)), 1);
}

TEST(BitmapPalette, CachedSearchAgreesWithAPlainSearch) {
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 40; ++round) {
    TPalette pal = testing::RandomPalette(rng);
    if (round % 4 == 1)  // a coarse grid: many cells with several candidates
      for (int i = 0; i < 256; ++i) pal[i] = {static_cast<std::uint8_t>((i & 7) * 32),
                                              static_cast<std::uint8_t>(((i >> 3) & 7) * 32),
                                              static_cast<std::uint8_t>((i >> 6) * 64), 0};
    if (round % 4 == 2)  // few distinct colours close together: long candidate lists
      for (int i = 0; i < 256; ++i) pal[i] = {static_cast<std::uint8_t>(120 + i % 9),
                                              static_cast<std::uint8_t>(120 + i % 7),
                                              static_cast<std::uint8_t>(120 + i % 5), 0};
    TBitmap bmp;
    bmp.SetPalette(pal);
    for (int k = 0; k < 3000; ++k) {
      const int r = byte(rng), g = byte(rng), b = byte(rng);
      ASSERT_EQ(bmp.NearestIndex(RGB(r, g, b)), NearestIndexReference(pal, r, g, b))
          << "round " << round << " colour " << r << "," << g << "," << b;
    }
    for (int i = 0; i < 256; ++i) {  // every entry's own colour maps to its first holder
      const TPaletteEntry &e = pal[i];
      ASSERT_EQ(bmp.NearestIndex(RGB(e.peRed, e.peGreen, e.peBlue)),
                NearestIndexReference(pal, e.peRed, e.peGreen, e.peBlue));
    }
  }
}

// A cell is filled all at once when its first colour is asked for; every colour of it must
// then read back the answer of a plain search, whichever colour came first. Colours are drawn
// near each other so that cells are reused as well as filled, and whole cells at the cube's
// faces and corners are swept.
TEST(BitmapPalette, MapAgreesWithAPlainSearchOverWholeCells) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<int> byte(0, 255), near(-12, 12);
  for (int round = 0; round < 6; ++round) {
    TPalette pal = testing::RandomPalette(rng);
    if (round == 1)  // two clusters near opposite corners: long candidate lists in between
      for (int i = 0; i < 256; ++i) {
        const int base = i % 2 ? 250 : 0;
        pal[i] = {static_cast<std::uint8_t>(base + i % 5), static_cast<std::uint8_t>(base + i % 3),
                  static_cast<std::uint8_t>(base + i % 4), 0};
      }
    const PaletteMap map(pal);
    int r = byte(rng), g = byte(rng), b = byte(rng);
    for (int k = 0; k < 20000; ++k) {
      if (k % 50 == 0) r = byte(rng), g = byte(rng), b = byte(rng);
      const int rr = std::clamp(r + near(rng), 0, 255), gg = std::clamp(g + near(rng), 0, 255),
                bb = std::clamp(b + near(rng), 0, 255);
      ASSERT_EQ(map.Nearest(rr, gg, bb), NearestIndexReference(pal, rr, gg, bb))
          << rr << "," << gg << "," << bb;
    }
    for (int corner = 0; corner < 8; ++corner) {
      const int r0 = corner & 1 ? 252 : 0, g0 = corner & 2 ? 252 : 0, b0 = corner & 4 ? 252 : 0;
      for (int i = 63; i >= 0; --i) {  // last colour first: the fill must not depend on it
        const int rr = r0 + (i >> 4), gg = g0 + ((i >> 2) & 3), bb = b0 + (i & 3);
        ASSERT_EQ(map.Nearest(rr, gg, bb), NearestIndexReference(pal, rr, gg, bb))
            << rr << "," << gg << "," << bb;
      }
    }
  }
}

// A map takes memory for the colours asked of it, not for its whole table: a 32-bit process
// can hold the maps of many palettes at once (64 whole tables would be a gigabyte of address
// space) and still map every colour exactly.
TEST(BitmapPalette, ManyMapsLiveAtOnce) {
  std::mt19937 rng(7);
  std::vector<TPalette> palettes;
  std::vector<std::unique_ptr<const PaletteMap>> maps;
  for (int i = 0; i < 64; ++i) {
    palettes.push_back(testing::RandomPalette(rng));
    maps.push_back(std::make_unique<const PaletteMap>(palettes.back()));
  }
  for (int k = 0; k < 64; ++k) {
    const int r = (k * 37) & 255, g = (k * 101) & 255, b = (k * 211) & 255;
    for (std::size_t i = 0; i < maps.size(); ++i)
      ASSERT_EQ(maps[i]->Nearest(r, g, b), NearestIndexReference(palettes[i], r, g, b)) << i;
  }
}

TEST(BitmapPixels, ScanLinesAreTopDownWithBgrOrder) {
  auto bmp = MakeBitmap(3, 3, TPixelFormat::pf24bit);
  bmp->SetPixel(1, 0, RGB(1, 2, 3));
  const std::uint8_t *row = bmp->ScanLine(0);
  EXPECT_EQ(row[3], 3);
  EXPECT_EQ(row[4], 2);
  EXPECT_EQ(row[5], 1);
  EXPECT_THROW(bmp->ScanLine(3), EInvalidOperation);
  EXPECT_THROW(bmp->ScanLine(-1), EInvalidOperation);
  EXPECT_EQ(bmp->GetPixel(-1, 0), -1);
  bmp->SetPixel(99, 99, clRed);  // ignored
  bmp->SetPixel(-1, 0, clRed);
  EXPECT_EQ(testing::CountColor(*bmp, clRed), 0);
}

TEST(BitmapTransparency, DefaultsToTheBottomLeftPixel) {
  TBitmap empty;
  EXPECT_EQ(empty.TransparentColor(), clNone);
  auto bmp = MakeBitmap(4, 3, TPixelFormat::pf24bit, clWhite);
  bmp->SetPixel(0, 2, clLime);
  EXPECT_EQ(bmp->TransparentColor(), clLime);
  bmp->SetTransparentColor(clRed);
  EXPECT_EQ(bmp->TransparentColor(), clRed);
  bmp->ResetTransparentColor();
  bmp->SetPixel(0, 2, clBlue);
  EXPECT_EQ(bmp->TransparentColor(), clBlue);
}

TEST(BitmapAssign, CopiesEverythingAndIsIndependent) {
  std::mt19937 rng(5);
  TPalette pal = testing::RandomPalette(rng);
  auto src = MakeBitmap(7, 5, TPixelFormat::pf8bit, clBlack, &pal);
  testing::FillRandom(*src, rng);
  src->SetTransparentColor(clAqua);
  TBitmap dst;
  dst.Assign(*src);
  EXPECT_EQ(dst.Width(), 7);
  EXPECT_EQ(dst.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(dst.Palette(), pal);
  EXPECT_EQ(dst.TransparentColor(), clAqua);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(dst.ScanLine(y)[x], src->ScanLine(y)[x]);
  src->ScanLine(0)[0] ^= 1;
  EXPECT_NE(dst.ScanLine(0)[0], src->ScanLine(0)[0]);
  dst.Assign(dst);  // self-assignment is harmless
  EXPECT_EQ(dst.Width(), 7);
}

TEST(BitmapExternal, WrapsCallerMemoryAndRefusesResizing) {
  std::vector<std::uint8_t> mem(16 * 4, 0);
  TBitmap bmp;
  bmp.AttachExternal(mem.data(), 4, 4, 16, TPixelFormat::pf32bit);
  EXPECT_TRUE(bmp.IsExternal());
  bmp.SetPixel(1, 2, RGB(9, 8, 7));
  EXPECT_EQ(mem[2 * 16 + 4 + 2], 9);
  bmp.Canvas().Brush.Color = clWhite;
  bmp.Canvas().FillRect(Rect(-10, -10, 100, 1));
  EXPECT_EQ(mem[0], 255);
  EXPECT_THROW(bmp.SetSize(5, 5), EInvalidOperation);
  EXPECT_THROW(bmp.SetPixelFormat(TPixelFormat::pf8bit), EInvalidOperation);
  EXPECT_EQ(bmp.Width(), 4);
  TBitmap other;
  EXPECT_THROW(other.AttachExternal(mem.data(), 4, 4, 8, TPixelFormat::pf32bit), EInvalidOperation);
  EXPECT_THROW(other.AttachExternal(nullptr, 4, 4, 16, TPixelFormat::pf32bit), EInvalidOperation);
  EXPECT_THROW(other.AttachExternal(mem.data(), -1, 4, 16, TPixelFormat::pf32bit), EInvalidOperation);
  EXPECT_FALSE(other.IsExternal());
}

TEST(BitmapChanges, EveryChangeBumpsTheCounter) {
  TBitmap bmp;
  auto c0 = bmp.ChangeCount();
  bmp.SetSize(2, 2);
  auto c1 = bmp.ChangeCount();
  EXPECT_GT(c1, c0);
  bmp.Canvas().FillRect(Rect(0, 0, 1, 1));
  EXPECT_GT(bmp.ChangeCount(), c1);
}

}  // namespace
}  // namespace vx
