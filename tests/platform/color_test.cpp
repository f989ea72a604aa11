#include "platform/color.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(ColorToRGB, PlainColoursPassThroughWithTopByteCleared) {
  EXPECT_EQ(ColorToRGB(0x00FF00), 0x00FF00);
  EXPECT_EQ(ColorToRGB(0x12345678), 0x345678);
}

TEST(ColorToRGB, SystemColoursResolveToTheClassicTheme) {
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
  EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
  EXPECT_EQ(ColorToRGB(clInfoBk), RGB(255, 255, 225));
  EXPECT_EQ(ColorToRGB(clActiveCaption), RGB(10, 36, 106));
  EXPECT_EQ(ColorToRGB(clSystemColor | 200), clBlack);  // unknown index
}

}  // namespace
}  // namespace vx
