// GetVxComponent_TextRect through the C interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/lsan_fontconfig.h"
#include "vxosd/vxosd.h"

namespace {

const uint16_t *W(const std::u16string &s) { return reinterpret_cast<const uint16_t *>(s.c_str()); }

class TextRectExport : public ::testing::Test {
 protected:
  void SetUp() override {
    VxOSD_UseManualClock(1);
    InitVxOSD();
  }
  void TearDown() override {
    FreeVxOSD();
    VxOSD_UseManualClock(0);
  }
  const std::u16string face = u"宋体";
};

TEST_F(TextRectExport, MeasuresInTheComponentsFont) {
  ASSERT_EQ(AddVxComponent("t", VXOSD_TEXT), 1);
  ASSERT_EQ(AddVxComponent("s", VXOSD_SCROLLTEXT), 1);
  const std::u16string text = u"中A";
  int32_t small[4] = {-1, -1, -1, -1}, big[4] = {-1, -1, -1, -1}, scroll[4] = {};
  SetVxComponent_Font("t", W(face), 0xFFFFFF, 8);
  ASSERT_EQ(GetVxComponent_TextRect("t", W(text), small), 1);
  SetVxComponent_Font("t", W(face), 0xFFFFFF, 32);
  ASSERT_EQ(GetVxComponent_TextRect("t", W(text), big), 1);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(small[1], 0);
  EXPECT_GT(small[2], 0);
  EXPECT_GT(small[3], 0);
  EXPECT_GT(big[2], 3 * small[2]);
  EXPECT_GT(big[3], 3 * small[3]);
  SetVxComponent_Font("s", W(face), 0xFFFFFF, 32);
  ASSERT_EQ(GetVxComponent_TextRect("s", W(text), scroll), 1);
  EXPECT_EQ(std::vector<int32_t>(scroll, scroll + 4), std::vector<int32_t>(big, big + 4));
}

TEST_F(TextRectExport, MarkupMeasuresWidestLineAndAllLines) {
  ASSERT_EQ(AddVxComponent("t", VXOSD_TEXT), 1);
  SetVxComponent_TextHtml("t", 1);
  int32_t one[4], two[4];
  ASSERT_EQ(GetVxComponent_TextRect("t", W(u"<b>WWWW"), one), 1);
  ASSERT_EQ(GetVxComponent_TextRect("t", W(u"<b>WW<br>WWWW"), two), 1);
  EXPECT_EQ(two[2], one[2]);
  EXPECT_EQ(two[3], 2 * one[3]);
}

TEST_F(TextRectExport, EmptyTextOtherKindsAndNulls) {
  ASSERT_EQ(AddVxComponent("t", VXOSD_TEXT), 1);
  ASSERT_EQ(AddVxComponent("p", VXOSD_PANEL), 1);
  int32_t r[4] = {5, 5, 5, 5};
  ASSERT_EQ(GetVxComponent_TextRect("t", W(u""), r), 1);
  EXPECT_EQ(std::vector<int32_t>(r, r + 4), (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_EQ(GetVxComponent_TextRect("p", W(u"x"), r), 0);
  EXPECT_EQ(GetVxComponent_TextRect("t", nullptr, r), 0);
  EXPECT_EQ(GetVxComponent_TextRect("t", W(u"x"), nullptr), 0);
  EXPECT_EQ(GetVxComponent_TextRect("nobody", W(u"x"), r), 0);
}

}  // namespace
