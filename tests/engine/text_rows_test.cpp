// The engine's rows for text and scrolling text: a host's script through TOSD, read back from
// the components and the composed frame.
#include <gtest/gtest.h>

#include <memory>

#include "components/scrolltext.h"
#include "components/text.h"
#include "engine/osd.h"
#include "platform/clock.h"
#include "platform/timer.h"

namespace vx {
namespace {

class TextRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLoop::Current().SetClock(std::make_shared<ManualClock>());
    osd = std::make_unique<TOSD>();
  }
  void TearDown() override {
    osd.reset();
    MessageLoop::Current().SetClock(std::make_shared<RealClock>());
  }
  int InkIn(const TRect &r) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += osd->Frame().GetPixel(x, y) != kKeyColor;
    return n;
  }
  std::unique_ptr<TOSD> osd;
};

TEST_F(TextRowsTest, TextRowsReachTheComponent) {
  ASSERT_TRUE(osd->AddComponent("title", eOSDText));
  auto *t = dynamic_cast<TOSDText *>(osd->Registry().Find("title"));
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(osd->SetComponent_Font("title", u"宋体", clWhite, 24));
  EXPECT_TRUE(osd->SetComponent_Text("title", u"标题 Title"));
  EXPECT_TRUE(osd->SetComponent_Time("title", 3000));
  EXPECT_EQ(t->showtime, 3000);
  EXPECT_TRUE(osd->SetComponent_TextMode("title", 2));
  EXPECT_EQ(t->textmode, 2);
  EXPECT_TRUE(osd->SetComponent_TextGradual("title", clRed, clBlue));
  EXPECT_TRUE(t->gradual);
  EXPECT_TRUE(osd->SetComponent_TextHtml("title", true));
  EXPECT_FALSE(t->gradual);
  EXPECT_TRUE(osd->SetComponent_RandomTextColor("title", {1, 2, 3, 4, 5}));
  EXPECT_TRUE(t->randomtextcolor);
  EXPECT_TRUE(osd->SetComponent_Color("title", 0x112233, 9));
  EXPECT_FALSE(t->randomtextcolor);
  // Scrolling-only rows do not apply.
  EXPECT_FALSE(osd->SetComponent_TextStep("title", 5));
  EXPECT_FALSE(osd->SetComponent_TextScroll("title", 5));
}

TEST_F(TextRowsTest, ScrollRowsAndFrameSizedLimits) {
  ASSERT_TRUE(osd->AddComponent("news", eOSDScrollText));
  auto *s = dynamic_cast<TOSDScrollText *>(osd->Registry().Find("news"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->max_Scrollw, 640);
  EXPECT_EQ(s->max_Scrollh, 480);
  EXPECT_TRUE(osd->SetComponent_TextStep("news", 7));
  EXPECT_TRUE(osd->SetComponent_TextScroll("news", 2));
  EXPECT_TRUE(osd->SetComponent_TextMode("news", 4));
  EXPECT_EQ(s->step, 7);
  EXPECT_EQ(s->Scroll, 2);
  EXPECT_EQ(s->textmode, 4);
  EXPECT_FALSE(osd->SetComponent_Time("news", 100));  // no show time on a scrolling text
}

TEST_F(TextRowsTest, TextRectMeasuresInTheComponentFont) {
  ASSERT_TRUE(osd->AddComponent("t", eOSDText));
  ASSERT_TRUE(osd->AddComponent("p", eosdPanel));
  osd->SetComponent_Font("t", u"宋体", clWhite, 8);
  TRect small{}, big{};
  ASSERT_TRUE(osd->GetComponent_TextRect("t", u"中文 text", small));
  osd->SetComponent_Font("t", u"宋体", clWhite, 32);
  ASSERT_TRUE(osd->GetComponent_TextRect("t", u"中文 text", big));
  EXPECT_EQ(small.Left, 0);
  EXPECT_EQ(small.Top, 0);
  EXPECT_GT(big.Right, 2 * small.Right);
  EXPECT_GT(big.Bottom, 2 * small.Bottom);
  TRect r{1, 2, 3, 4};
  EXPECT_FALSE(osd->GetComponent_TextRect("p", u"x", r));
  EXPECT_EQ(r, (TRect{1, 2, 3, 4}));
}

TEST_F(TextRowsTest, VisibleTextAndTickerAppearInTheFrame) {
  osd->AddComponent("title", eOSDText);
  osd->SetComponent_Pos("title", 20, 400, 0, 0);
  osd->SetComponent_Font("title", u"宋体", clWhite, 24);
  osd->SetComponent_Text("title", u"标题");
  osd->SetComponent_Visible("title", false, true);
  osd->AddComponent("news", eOSDScrollText);
  osd->SetComponent_Pos("news", 0, 0, 0, 0);
  osd->SetComponent_Font("news", u"宋体", clYellow, 24);
  osd->SetComponent_Text("news", u"新闻");
  osd->SetComponent_TextStep("news", 40);
  osd->SetComponent_Visible("news", false, true);
  osd->ComposeFrame();
  EXPECT_GT(InkIn({20, 400, 120, 440}), 0);
  EXPECT_EQ(InkIn({0, 0, 640, 30}), 0);  // the ticker starts outside its window
  MessageLoop::Current().Advance(400);   // ten ticks: 400 pixels in
  osd->ComposeFrame();
  EXPECT_GT(InkIn({240, 0, 340, 40}), 0);
  EXPECT_EQ(InkIn({0, 0, 200, 40}), 0);
}

}  // namespace
}  // namespace vx
