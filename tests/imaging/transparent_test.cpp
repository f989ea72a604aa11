// The keyed copy: what shows through, the opaque fallback, scaling, clipping.

#include "imaging/transparent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/osd_graphic.h"
#include "platform/pixels.h"
#include "tests/support/frame_probe.h"

namespace vx::test {
namespace {

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF;
constexpr int kRedIndex = 249;
constexpr int kWhiteIndex = 255;

// A green frame of the given size.
void MakeFrame(TOSDGraphic &frame, int w = 16, int h = 16) {
  frame.SetSize(w, h);
  frame.Canvas().Brush.Color = kKeyColor;
  frame.Canvas().FillRect(Rect(0, 0, w, h));
}

// A white 24-bit 4 x 4 picture with two red pixels; its bottom-left pixel is white.
void MakePicture(TBitmap &picture) {
  picture.SetPixelFormat(TPixelFormat::pf24bit);
  picture.SetSize(4, 4);
  picture.Canvas().Brush.Color = kWhite;
  picture.Canvas().FillRect(Rect(0, 0, 4, 4));
  picture.SetPixel(1, 1, kRed);
  picture.SetPixel(2, 1, kRed);
}

class KeyedCopy : public ::testing::Test {
 protected:
  void TearDown() override { SetHasTransparentBlt(true); }
};

TEST_F(KeyedCopy, PixelsOfTheBottomLeftColourLeaveTheFrameGreen) {
  TOSDGraphic frame;
  MakeFrame(frame);
  TBitmap picture;
  MakePicture(picture);
  ASSERT_TRUE(HasTransparentBlt());
  DrawBitmapTransparent(picture, frame.Canvas().Handle(), 5, 5, 4, 4);
  EXPECT_EQ(IndexAt(frame, 6, 6), kRedIndex);
  EXPECT_EQ(IndexAt(frame, 7, 6), kRedIndex);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 16, 16), kKeyIndex), 16 * 16 - 2);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 16, 16), kWhiteIndex), 0);
}

TEST_F(KeyedCopy, WithoutTheKeyedCopyThePictureCoversItsRectangle) {
  SetHasTransparentBlt(false);
  TOSDGraphic frame;
  MakeFrame(frame);
  TBitmap picture;
  MakePicture(picture);
  DrawBitmapTransparent(picture, frame.Canvas().Handle(), 5, 5, 4, 4);
  EXPECT_EQ(CountIndex(frame, Rect(5, 5, 9, 9), kWhiteIndex), 14);
  EXPECT_EQ(CountIndex(frame, Rect(5, 5, 9, 9), kRedIndex), 2);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 16, 16), kKeyIndex), 16 * 16 - 16);
}

TEST_F(KeyedCopy, FallbackCopiesTheDestinationSizeUnscaled) {
  SetHasTransparentBlt(false);
  TOSDGraphic frame;
  MakeFrame(frame);
  TBitmap picture;
  MakePicture(picture);
  // Source size and key are unused: 2 x 2 from (1, 1), no stretching to 8 x 8.
  TransparentCopy(frame.Canvas().Handle(), 0, 0, 2, 2, picture.Canvas().Handle(), 1, 1, 8, 8,
                  kWhite);
  EXPECT_EQ(IndexAt(frame, 0, 0), kRedIndex);
  EXPECT_EQ(IndexAt(frame, 1, 0), kRedIndex);
  EXPECT_EQ(IndexAt(frame, 0, 1), kWhiteIndex);
  EXPECT_EQ(IndexAt(frame, 2, 0), kKeyIndex);
  EXPECT_EQ(IndexAt(frame, 0, 2), kKeyIndex);
}

TEST_F(KeyedCopy, OwnSizeIsNotScaledAndOtherSizesStretch) {
  TOSDGraphic frame;
  MakeFrame(frame);
  TBitmap picture;
  MakePicture(picture);
  DrawBitmapTransparent(picture, frame.Canvas().Handle(), 0, 0, 4, 4);
  EXPECT_EQ(InkBounds(frame, kKeyIndex), Rect(1, 1, 3, 2));

  MakeFrame(frame);
  DrawBitmapTransparent(picture, frame.Canvas().Handle(), 0, 0, 8, 8);
  EXPECT_EQ(InkBounds(frame, kKeyIndex), Rect(2, 2, 6, 4));
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 16, 16), kRedIndex), 8);
}

TEST_F(KeyedCopy, AnExplicitTransparentColourWins) {
  TOSDGraphic frame;
  MakeFrame(frame);
  TBitmap picture;
  MakePicture(picture);
  picture.SetTransparentColor(kRed);
  DrawBitmapTransparent(picture, frame.Canvas().Handle(), 0, 0, 4, 4);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 4, 4), kWhiteIndex), 14);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 4, 4), kKeyIndex), 2);
}

TEST_F(KeyedCopy, EmptyPicturesAndMissingContextsDrawNothing) {
  TOSDGraphic frame;
  MakeFrame(frame);
  TBitmap empty;
  DrawBitmapTransparent(empty, frame.Canvas().Handle(), 0, 0, 4, 4);
  TBitmap picture;
  MakePicture(picture);
  DrawBitmapTransparent(picture, nullptr, 0, 0, 4, 4);
  TransparentCopy(frame.Canvas().Handle(), 0, 0, 4, 4, nullptr, 0, 0, 4, 4, kWhite);
  SetHasTransparentBlt(false);
  TransparentCopy(frame.Canvas().Handle(), 0, 0, 4, 4, nullptr, 0, 0, 4, 4, kWhite);
  EXPECT_TRUE(AllIndex(frame, Rect(0, 0, 16, 16), kKeyIndex));
}

// Differential: 8-bit pictures keyed onto the frame at random places (partly outside it),
// against a plain per-pixel copy.
TEST_F(KeyedCopy, MatchesAPerPixelReferenceAtAnyPlace) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 80; ++round) {
    const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 40);
    TOSDGraphic picture;
    picture.SetSize(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        picture.ScanLine(y)[x] = static_cast<std::uint8_t>(rng() % 4 == 0 ? 255 : rng() % 256);
    picture.Changed();
    TOSDGraphic frame;
    MakeFrame(frame, 48, 32);
    const int px = static_cast<int>(rng() % 80) - 30, py = static_cast<int>(rng() % 60) - 25;

    std::vector<std::uint8_t> expected(48 * 32, kKeyIndex);
    const std::uint8_t key = picture.ScanLine(h - 1)[0];
    // The key is matched by colour: every index with the key's colour is left out.
    const TPaletteEntry &k = FramePalette()[key];
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int fx = px + x, fy = py + y;
        if (fx < 0 || fy < 0 || fx >= 48 || fy >= 32) continue;
        const std::uint8_t v = picture.ScanLine(y)[x];
        const TPaletteEntry &e = FramePalette()[v];
        if (e.peRed == k.peRed && e.peGreen == k.peGreen && e.peBlue == k.peBlue) continue;
        expected[fy * 48 + fx] = v;
      }
    DrawBitmapTransparent(picture, frame.Canvas().Handle(), px, py, w, h);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 48; ++x)
        ASSERT_EQ(frame.ScanLine(y)[x], expected[y * 48 + x])
            << "round " << round << " at " << x << "," << y;
  }
}

// The cached keyed copy draws what the plain keyed copy draws, maps once per change of the
// picture, and follows changes of the picture.
TEST_F(KeyedCopy, CacheDrawsWhatTheKeyedCopyDrawsAndMapsOncePerChange) {
  std::mt19937 rng(99);
  TKeyedCopyCache cache;
  TBitmap picture;
  picture.SetPixelFormat(TPixelFormat::pf24bit);
  for (int round = 0; round < 30; ++round) {
    if (round % 3 == 0) {  // a new picture every third round
      const int w = 1 + static_cast<int>(rng() % 50), h = 1 + static_cast<int>(rng() % 50);
      picture.SetSize(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          picture.SetPixel(x, y, rng() % 3 == 0 ? kWhite : static_cast<TColor>(rng() & 0xFFFFFF));
    }
    const int px = static_cast<int>(rng() % 90) - 30, py = static_cast<int>(rng() % 70) - 30;
    TOSDGraphic expected, actual;
    MakeFrame(expected, 60, 40);
    MakeFrame(actual, 60, 40);
    DrawBitmapTransparent(picture, expected.Canvas().Handle(), px, py, picture.Width(),
                          picture.Height());
    cache.Draw(picture, actual, px, py);
    for (int y = 0; y < 40; ++y)
      ASSERT_EQ(0, std::memcmp(expected.ScanLine(y), actual.ScanLine(y), 60))
          << "round " << round << " row " << y;
  }
  EXPECT_EQ(cache.Rebuilds(), 10u);
}

// The runs of drawn pixels: pictures with long keyed and drawn stretches, whole keyed rows,
// 8-bit and 24-bit sources, placed anywhere (partly or wholly off the frame); compared with
// the plain keyed copy done pixel by pixel (no 1:1 shortcut either).
TEST_F(KeyedCopy, CacheRunsDrawWhatThePlainKeyedCopyDraws) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    TBitmap picture;
    picture.SetPixelFormat(round % 2 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    const int w = 1 + static_cast<int>(rng() % 90), h = 1 + static_cast<int>(rng() % 60);
    const TColor colours[3] = {kWhite, kRed, static_cast<TColor>(rng() & 0xFFFFFF)};
    if (picture.PixelFormat() == TPixelFormat::pf8bit) {
      TPalette pal{};
      for (int i = 0; i < 3; ++i)
        pal[i] = {static_cast<std::uint8_t>(GetRValue(colours[i])),
                  static_cast<std::uint8_t>(GetGValue(colours[i])),
                  static_cast<std::uint8_t>(GetBValue(colours[i])), 0};
      picture.SetPalette(pal);
    }
    picture.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
      const bool keyed_row = rng() % 5 == 0;
      bool keyed = rng() % 2 == 0;
      for (int x = 0; x < w; ++x) {
        if (rng() % 6 == 0) keyed = !keyed;  // stretches of either kind
        const int c = keyed_row || keyed ? 0 : 1 + (x & 1);
        if (picture.PixelFormat() == TPixelFormat::pf8bit)
          picture.ScanLine(y)[x] = static_cast<std::uint8_t>(c);
        else
          picture.SetPixel(x, y, colours[c]);
      }
    }
    picture.SetTransparentColor(kWhite);
    const int px = static_cast<int>(rng() % 200) - 100, py = static_cast<int>(rng() % 140) - 70;
    TOSDGraphic expected, actual;
    MakeFrame(expected, 64, 48);
    MakeFrame(actual, 64, 48);
    SetUnscaledBlitFastPath(false);
    DrawBitmapTransparent(picture, expected.Canvas().Handle(), px, py, w, h);
    SetUnscaledBlitFastPath(true);
    TKeyedCopyCache cache;
    cache.Draw(picture, actual, px, py);
    cache.Draw(picture, actual, px, py);  // drawn twice: the same, mapped once
    EXPECT_EQ(cache.Rebuilds(), 1u);
    for (int y = 0; y < 48; ++y)
      ASSERT_EQ(0, std::memcmp(expected.ScanLine(y), actual.ScanLine(y), 64))
          << "round " << round << " row " << y << " at " << px << "," << py << " " << w << "x"
          << h;
  }
}

TEST_F(KeyedCopy, CacheFallsBackWhereTheShortcutDoesNotApply) {
  TBitmap picture;
  MakePicture(picture);
  TKeyedCopyCache cache;
  TOSDGraphic frame;
  MakeFrame(frame);
  frame.Canvas().SetClipRect(Rect(0, 0, 6, 16));
  cache.Draw(picture, frame, 5, 0);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 16, 16), kRedIndex), 0);  // clipped away
  frame.Canvas().ResetClip();
  SetHasTransparentBlt(false);
  cache.Draw(picture, frame, 0, 0);
  EXPECT_EQ(CountIndex(frame, Rect(0, 0, 4, 4), kWhiteIndex), 14);
  EXPECT_EQ(cache.Rebuilds(), 0u);
}

}  // namespace
}  // namespace vx::test
