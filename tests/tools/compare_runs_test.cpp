// The comparison of two runs of a scene: what may differ (pixels inside text boxes) and what
// may not (headers, palettes, pixels elsewhere, text drawn in one run only).
#include <gtest/gtest.h>

#include "compare.h"
#include "scene/frame.h"

namespace vxplay {
namespace {

using namespace vxscene;

InspectedFrame Green() {
  InspectedFrame f;
  f.stream.assign(kFrameStreamBytes, 0);
  f.stream[0] = 0x3E;
  for (std::size_t i = kFramePixelsOffset; i < f.stream.size(); ++i) f.stream[i] = 250;
  return f;
}

void Set(InspectedFrame &f, int x, int y, std::uint8_t index) {
  f.stream[kFramePixelsOffset + static_cast<std::size_t>(y) * kFrameWidth + x] = index;
}

TEST(CompareRunsTest, GlyphsMayDifferInsideTheirBoxOnly) {
  InspectedFrame a = Green(), b = Green();
  a.boxes = {{2, 10, 10, 30, 20, "title"}};
  b.boxes = {{2, 10, 10, 34, 21, "title"}};  // the other glyph source measures wider
  Set(a, 12, 12, 7);
  Set(b, 33, 20, 7);  // inside the second run's box only: still the title's
  FrameComparison c = CompareFrames(a, b);
  EXPECT_TRUE(c.faults.empty()) << c.faults[0];
  EXPECT_EQ(c.text_pixels_differing, 2);

  Set(b, 34, 20, 9);  // just right of both boxes
  c = CompareFrames(a, b);
  ASSERT_EQ(c.faults.size(), 1u);
  EXPECT_NE(c.faults[0].find("1 pixels outside the text boxes differ"), std::string::npos);
  EXPECT_NE(c.faults[0].find("34,20"), std::string::npos) << c.faults[0];
}

TEST(CompareRunsTest, TextMustShowInBothRuns) {
  InspectedFrame a = Green(), b = Green();
  a.boxes = b.boxes = {{1, 0, 440, 640, 470, "news"}};
  Set(a, 100, 450, 7);
  const FrameComparison c = CompareFrames(a, b);
  ASSERT_EQ(c.faults.size(), 1u);
  EXPECT_NE(c.faults[0].find("news (0,440)-(640,470) has ink in the first run only"),
            std::string::npos)
      << c.faults[0];
  // A box empty in both runs (a text that hid itself) is no fault.
  EXPECT_TRUE(CompareFrames(b, b).faults.empty());
}

TEST(CompareRunsTest, HeadersAndPalettesMustBeIdentical) {
  InspectedFrame a = Green(), b = Green();
  b.stream[kFrameHeaderBytes + 4 * 5 + 2] = 0x80;  // Cb of entry 5
  FrameComparison c = CompareFrames(a, b);
  ASSERT_EQ(c.faults.size(), 1u);
  EXPECT_NE(c.faults[0].find("palettes differ at entry 5 (byte 2"), std::string::npos) << c.faults[0];
  b = Green();
  b.stream[3] = 1;
  c = CompareFrames(a, b);
  ASSERT_EQ(c.faults.size(), 1u);
  EXPECT_NE(c.faults[0].find("headers differ at byte 3"), std::string::npos);
  b.stream.pop_back();
  EXPECT_NE(CompareFrames(a, b).faults.at(0).find("frame stream sizes"), std::string::npos);
}

}  // namespace
}  // namespace vxplay
