#include "components/panel.h"

#include <gtest/gtest.h>

#include "tests/support/frame_probe.h"

namespace vx {
namespace {

using test::AllIndex;
using test::IndexAt;

TEST(PanelTest, FreshPanelShownWithoutSizeIsEmpty) {
  TOSDPanel p;
  EXPECT_FALSE(p.visible);
  EXPECT_EQ(p.bkcolor, 0);
  p.SetVisible(true);
  EXPECT_TRUE(p.visible);
  EXPECT_EQ(p.Width(), 0);
  EXPECT_EQ(p.Height(), 0);
}

TEST(PanelTest, DrawsFilledRectangleWithBlackBorder) {
  TOSDPanel p;
  p.w = 20, p.h = 10;
  p.SetColor(clRed, 200);
  EXPECT_EQ(p.bklevel, 200);
  p.SetVisible(true);
  ASSERT_EQ(p.Width(), 20);
  ASSERT_EQ(p.Height(), 10);
  EXPECT_EQ(p.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_TRUE(AllIndex(p, Rect(1, 1, 19, 9), 249));  // red inside
  for (int x = 0; x < 20; ++x) {
    EXPECT_EQ(IndexAt(p, x, 0), 0);
    EXPECT_EQ(IndexAt(p, x, 9), 0);
  }
  for (int y = 0; y < 10; ++y) {
    EXPECT_EQ(IndexAt(p, 0, y), 0);
    EXPECT_EQ(IndexAt(p, 19, y), 0);
  }
}

TEST(PanelTest, ChangesShowOnlyWhenSetVisibleAgain) {
  TOSDPanel p;
  p.w = 8, p.h = 8;
  p.SetColor(clBlue, 255);
  p.SetVisible(true);
  EXPECT_EQ(IndexAt(p, 4, 4), 252);
  p.SetColor(clWhite, 255);
  p.w = 12;
  EXPECT_EQ(IndexAt(p, 4, 4), 252);
  EXPECT_EQ(p.Width(), 8);
  p.SetVisible(true);
  EXPECT_EQ(IndexAt(p, 4, 4), 255);
  EXPECT_EQ(p.Width(), 12);
}

TEST(PanelTest, HidingKeepsPixels) {
  TOSDPanel p;
  p.w = 5, p.h = 5;
  p.SetColor(clYellow, 0);
  p.SetVisible(true);
  p.SetColor(clBlue, 0);
  p.SetVisible(false);
  EXPECT_FALSE(p.visible);
  EXPECT_EQ(IndexAt(p, 2, 2), 251);
}

TEST(PanelTest, NegativeOrAbsurdSizesGiveAnEmptyBitmap) {
  const std::pair<int, int> sizes[] = {{-5, 10},       {10, -5},           {0, 10},
                                       {2000000000, 1}, {1, 2000000000},   {100000, 100000},
                                       {16384, 16384},  {-2147483647 - 1, 3}};
  for (auto [w, h] : sizes) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TOSDPanel p;
    p.w = 4, p.h = 4;
    p.SetVisible(true);
    ASSERT_EQ(p.Width(), 4);
    p.w = w, p.h = h;
    p.SetVisible(true);
    EXPECT_TRUE(p.visible);
    EXPECT_TRUE(p.Empty());
  }
}

}  // namespace
}  // namespace vx
