#include "aatext/aamask.h"

#include <gtest/gtest.h>

#include <set>

namespace vx {
namespace {

void Fill(TAAMask &m, std::uint8_t v) {
  for (int y = 0; y < m.Height(); ++y)
    for (int x = 0; x < m.Width(); ++x) m.ScanLine(y)[x] = v;
}

TEST(AAMaskQuality, QualityGivesTheScale) {
  TAAMask m;
  EXPECT_EQ(m.Quality(), 0);
  EXPECT_EQ(m.Scale(), 4);
  const int scales[] = {4, 3, 2, 1};
  for (int q = 0; q <= 3; ++q) {
    m.SetQuality(q);
    EXPECT_EQ(m.Scale(), scales[q]);
  }
  m.SetQuality(9);
  EXPECT_EQ(m.Quality(), 3);
  m.SetQuality(-4);
  EXPECT_EQ(m.Quality(), 0);
}

TEST(AAMaskRows, RowsAreStoredBottomFirstWithAStrideOfFour) {
  TAAMask m;
  m.SetSize(5, 3);
  EXPECT_EQ(m.Stride(), 8);
  ASSERT_EQ(m.Bits().size(), 24u);
  m.ScanLine(0)[1] = 7;  // top row of the text ...
  EXPECT_EQ(m.Bits()[2 * 8 + 1], 7);  // ... is the last row in memory
  m.ScanLine(2)[4] = 9;
  EXPECT_EQ(m.Bits()[4], 9);
  EXPECT_EQ(m.Pixel(4, 2), 9);
  EXPECT_EQ(m.Pixel(5, 2), 0);
  EXPECT_EQ(m.Pixel(-1, 0), 0);
}

TEST(AAMaskRows, ARowOutsideTheMaskRaisesInvalidLine) {
  TAAMask m;
  m.SetSize(4, 2);
  EXPECT_THROW(m.ScanLine(2), EInvalidLine);
  EXPECT_THROW(m.ScanLine(-1), EInvalidLine);
  try {
    m.ScanLine(5);
    FAIL();
  } catch (const EInvalidLine &e) {
    EXPECT_STREQ(e.what(), "Invalid line!");
  }
  TAAMask empty;
  EXPECT_THROW(empty.ScanLine(0), EInvalidLine);
}

TEST(AAMaskRows, AbsurdSizesAreRefused) {
  TAAMask m;
  m.SetSize(-3, 10);
  EXPECT_EQ(m.Width(), 0);
  EXPECT_EQ(m.Height(), 0);
  EXPECT_THROW(m.SetSize(100000, 100000), EOutOfResources);
  EXPECT_EQ(m.Width(), 0);
}

TEST(AAMaskAssign, CopiesQualitySizeAndBytes) {
  TAAMask a, b;
  a.SetQuality(2);
  a.SetSize(3, 2);
  a.ScanLine(1)[2] = 200;
  b.Assign(a);
  EXPECT_EQ(b.Quality(), 2);
  EXPECT_EQ(b.Scale(), 2);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Stride(), 4);
  EXPECT_EQ(b.Pixel(2, 1), 200);
}

TEST(AAMaskBlur, Strength100ReplacesEachPixelByItsBoxMean) {
  TAAMask m;
  m.SetSize(9, 9);
  m.ScanLine(4)[4] = 255;
  m.Blur(100);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) {
      bool inside = std::abs(x - 4) <= 2 && std::abs(y - 4) <= 2;
      EXPECT_EQ(m.Pixel(x, y), inside ? 10 : 0) << x << "," << y;  // round(255 / 25)
    }
}

TEST(AAMaskBlur, BordersCountTheEdgePixelSeveralTimes) {
  TAAMask m;
  m.SetSize(6, 6);
  m.ScanLine(0)[0] = 255;
  m.Blur(100);
  // Corner: offsets 0,0,0,1,2 in both directions count the corner 3 x 3 times.
  EXPECT_EQ(m.Pixel(0, 0), 92);  // round(255 * 9 / 25)
  // Second column: offsets -1,-1,0,1,2 count column 0 twice.
  EXPECT_EQ(m.Pixel(1, 0), 61);  // round(255 * 6 / 25)
  EXPECT_EQ(m.Pixel(2, 0), 31);  // round(255 * 3 / 25)
  EXPECT_EQ(m.Pixel(3, 0), 0);
  EXPECT_EQ(m.Pixel(1, 1), 41);  // round(255 * 4 / 25)
}

TEST(AAMaskBlur, Strength50MovesHalfwayInSteps) {
  TAAMask m;
  m.SetSize(7, 7);
  Fill(m, 200);
  m.ScanLine(3)[3] = 0;
  m.Blur(50);  // k = round(127.5) = 128
  // Mean of the hole's box: round(200 * 24 / 25) = 192; halfway from 0 is 96.
  EXPECT_EQ(m.Pixel(3, 3), 96);
  // Its neighbours: mean 192 from 200, (-8 * 128) >> 8 = -4.
  EXPECT_EQ(m.Pixel(2, 3), 196);
  EXPECT_EQ(m.Pixel(6, 6), 200);
}

TEST(AAMaskBlur, ZeroStrengthAndTinyMasksAreSafe) {
  TAAMask m;
  m.SetSize(3, 3);
  m.ScanLine(1)[1] = 90;
  m.Blur(0);
  EXPECT_EQ(m.Pixel(1, 1), 90);
  TAAMask one;
  one.SetSize(1, 1);
  one.ScanLine(0)[0] = 250;
  one.Blur(100);
  EXPECT_EQ(one.Pixel(0, 0), 250);  // all 25 offsets clamp onto the one pixel
  TAAMask empty;
  empty.Blur(100);
  empty.Outline();
  empty.Spray(10);
  empty.HorzMirror();
  empty.VertMirror();
}

TEST(AAMaskOutline, InnerPixelsBecomeTheGradientBordersStay) {
  TAAMask m;
  m.SetSize(5, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 2; x < 5; ++x) m.ScanLine(y)[x] = 255;
  m.Outline();
  // At (2, 2): |255-0| + |255-255| + |255-0| + |0-255| = 765 -> 191.
  EXPECT_EQ(m.Pixel(2, 2), 191);
  EXPECT_EQ(m.Pixel(1, 2), 191);
  EXPECT_EQ(m.Pixel(3, 2), 0);  // flat inside
  EXPECT_EQ(m.Pixel(4, 2), 255);  // border column keeps its value
  EXPECT_EQ(m.Pixel(2, 0), 255);  // border row too
  EXPECT_EQ(m.Pixel(0, 2), 0);
}

TEST(AAMaskMirror, HorizontalReversesRowsVerticalSwapsThem) {
  TAAMask m;
  m.SetSize(3, 3);
  m.ScanLine(0)[0] = 1;
  m.ScanLine(1)[2] = 2;
  m.HorzMirror();
  EXPECT_EQ(m.Pixel(2, 0), 1);
  EXPECT_EQ(m.Pixel(0, 1), 2);
  EXPECT_EQ(m.Pixel(0, 0), 0);
  m.VertMirror();
  EXPECT_EQ(m.Pixel(2, 2), 1);
  EXPECT_EQ(m.Pixel(0, 1), 2);  // the middle row stays
  EXPECT_EQ(m.Pixel(2, 0), 0);
}

TEST(AAMaskSpray, TakesValuesFromNearbyPixelsOnly) {
  AARandomize(7);
  TAAMask m;
  m.SetSize(20, 10);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) m.ScanLine(y)[x] = x < 10 ? 10 : 250;
  m.Spray(3);
  std::set<int> seen;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      seen.insert(m.Pixel(x, y));
      // In the first row every pixel to the right is still unwritten, and a pixel looks at
      // most 3 columns away.
      if (y == 0 && x <= 6) {
        EXPECT_EQ(m.Pixel(x, y), 10);
      }
    }
  EXPECT_EQ(seen, (std::set<int>{10, 250}));
  TAAMask same;
  same.SetSize(4, 4);
  Fill(same, 33);
  same.Spray(0);
  EXPECT_EQ(same.Pixel(2, 2), 33);
}

}  // namespace
}  // namespace vx
