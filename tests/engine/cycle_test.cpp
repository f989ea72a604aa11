// The engine as an object on the manual clock: activation, the 60 ms cycle and its outputs,
// with and without the software card, and destruction.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "card/card.h"
#include "drivers/virtualcard/virtualcard.h"
#include "engine/osd.h"
#include "platform/clock.h"
#include "platform/timer.h"
#include "tests/support/frame_probe.h"

namespace vx {
namespace {

using test::AllIndex;
using test::CountIndex;
using test::U16;

class CycleTest : public ::testing::Test {
 protected:
  void SetUp() override { MessageLoop::Current().SetClock(std::make_shared<ManualClock>()); }
  void TearDown() override { MessageLoop::Current().SetClock(std::make_shared<RealClock>()); }
  static std::uint32_t Advance(std::int64_t ms) { return MessageLoop::Current().Advance(ms); }
  static void Panel(TOSD &osd, const char *name, int x, int y, int w, int h, TColor color) {
    ASSERT_TRUE(osd.AddComponent(name, eosdPanel));
    osd.SetComponent_Pos(name, x, y, w, h);
    osd.SetComponent_Color(name, color, 255);
    osd.SetComponent_Visible(name, false, true);
  }
  static std::vector<std::uint8_t> StreamOf(TOSDGraphic &g) {
    std::vector<std::uint8_t> out(g.FrameStreamBytes());
    g.SaveToFrameBytes({reinterpret_cast<std::byte *>(out.data()), out.size()});
    return out;
  }
};

TEST_F(CycleTest, ConstructedInactiveWithoutCard) {
  TOSD osd;
  EXPECT_FALSE(osd.CheckCard());
  EXPECT_FALSE(osd.DMABuff());
  EXPECT_FALSE(osd.Active());
  EXPECT_TRUE(osd.clearroot());
  EXPECT_EQ(osd.image(), nullptr);
  EXPECT_EQ(osd.DebugView(), nullptr);
  EXPECT_EQ(Advance(600), 0u);  // the timer is disabled
  EXPECT_TRUE(AllIndex(osd.Frame(), Rect(0, 0, 640, 480), 0));  // never cleared
}

TEST_F(CycleTest, ActiveComposesAndInactiveStops) {
  TOSD osd;
  osd.SetActive(true);
  EXPECT_EQ(Advance(60), 1u);
  EXPECT_TRUE(AllIndex(osd.Frame(), Rect(0, 0, 640, 480), kKeyIndex));
  osd.SetActive(false);
  EXPECT_FALSE(osd.Active());
  Panel(osd, "p", 0, 0, 50, 50, clRed);
  EXPECT_EQ(Advance(600), 0u);
  EXPECT_TRUE(AllIndex(osd.Frame(), Rect(0, 0, 640, 480), kKeyIndex));  // the last frame stays
  osd.SetActive(true);
  Advance(60);
  EXPECT_EQ(CountIndex(osd.Frame(), Rect(1, 1, 49, 49), 249), 48 * 48);
}

TEST_F(CycleTest, PictureControlReceivesEachCardlessFrame) {
  TOSD osd;
  TImage image;
  int changes = 0;
  image.OnChange = [&] { ++changes; };
  osd.SetImage(&image);
  osd.SetActive(true);
  Panel(osd, "p", 10, 10, 20, 20, clBlue);
  Advance(180);
  EXPECT_EQ(changes, 3);
  const TBitmap &pic = image.Picture();
  ASSERT_EQ(pic.Width(), 640);
  ASSERT_EQ(pic.Height(), 480);
  EXPECT_EQ(pic.GetPixel(15, 15), clBlue);
  EXPECT_EQ(pic.GetPixel(100, 100), kKeyColor);
  osd.SetImage(nullptr);
  Advance(60);
  EXPECT_EQ(changes, 3);
}

TEST_F(CycleTest, DestroyedEngineNeverFiresAgain) {
  auto osd = std::make_unique<TOSD>();
  osd->SetActive(true);
  Panel(*osd, "p", 0, 0, 5, 5, clRed);
  EXPECT_EQ(Advance(60), 1u);
  osd.reset();
  EXPECT_EQ(Advance(600), 0u);
}

TEST_F(CycleTest, CopyFrameAndDebugView) {
  TOSD osd;
  osd.SetActive(true);
  EXPECT_FALSE(osd.ShowDebugView(U16("WQZBMK")));
  EXPECT_EQ(osd.DebugView(), nullptr);
  ASSERT_TRUE(osd.ShowDebugView(U16("wqzbmk")));
  TFrm_dbg *view = osd.DebugView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Caption, "Debug View");
  EXPECT_EQ(view->ClientWidth(), 640);
  EXPECT_EQ(view->ClientHeight(), 480);
  EXPECT_EQ(view->BorderStyle, TFormBorderStyle::bsSingle);
  EXPECT_EQ(view->BorderIcons, static_cast<TBorderIcons>(biSystemMenu));
  EXPECT_TRUE(view->Visible());
  Panel(osd, "p", 100, 100, 30, 30, clYellow);
  Advance(60);
  EXPECT_EQ(view->Canvas().GetPixel(110, 110), clYellow);
  EXPECT_EQ(view->Canvas().GetPixel(5, 5), kKeyColor);
  view->Hide();  // the user closed it: the next accepted call shows the same form
  ASSERT_TRUE(osd.ShowDebugView(U16("wqzbmk")));
  EXPECT_EQ(osd.DebugView(), view);
  EXPECT_TRUE(view->Visible());

  TBitmap host;
  host.SetPixelFormat(TPixelFormat::pf32bit);
  host.SetSize(640, 480);
  EXPECT_TRUE(osd.CopyFrame(host.Canvas().Handle()));
  EXPECT_EQ(host.GetPixel(110, 110), clYellow);
  EXPECT_FALSE(osd.CopyFrame(nullptr));
}

class CardCycleTest : public CycleTest {
 protected:
  void SetUp() override {
    CycleTest::SetUp();
    ASSERT_TRUE(VxVirtualCard_Install(nullptr));
  }
  void TearDown() override {
    VxVirtualCard_Uninstall();
    CycleTest::TearDown();
  }
  static VxVirtualCardCounters Counters() {
    VxVirtualCardCounters c{};
    VxVirtualCard_GetCounters(&c);
    return c;
  }
  static std::vector<std::uint8_t> LastFrame() {
    std::vector<std::uint8_t> f(kFrameStreamBytes);
    f.resize(VxVirtualCard_LastFrame(f.data(), f.size()));
    return f;
  }
};

TEST_F(CardCycleTest, EachCycleSendsTheFrameStream) {
  TOSD osd;
  EXPECT_TRUE(osd.CheckCard());
  EXPECT_TRUE(osd.DMABuff());
  osd.SetActive(true);
  EXPECT_EQ(Counters().started, 1u);
  osd.SetComponent_Color("root", kKeyColor, 0);
  Panel(osd, "p", 600, 0, 100, 10, clRed);
  Advance(120);
  EXPECT_EQ(Counters().frames_received, 2u);
  EXPECT_EQ(osd.FrameSize(), kFrameStreamBytes);
  const auto sent = LastFrame();
  EXPECT_EQ(sent, StreamOf(osd.Frame()));
  EXPECT_EQ(sent[8 + 4 * kKeyIndex], 0);
}

TEST_F(CardCycleTest, WithoutClearrootTheBufferKeepsItsContentButIsStillSent) {
  TOSD osd;
  osd.SetActive(true);
  Advance(60);
  const auto before = LastFrame();
  osd.SetClearroot(false);
  Panel(osd, "p", 0, 0, 100, 100, clWhite);
  Advance(120);
  EXPECT_EQ(Counters().frames_received, 3u);
  EXPECT_EQ(LastFrame(), before);
  EXPECT_EQ(osd.Frame().ScanLine(50)[50], 255);  // composed all the same
}

TEST_F(CardCycleTest, InactiveEngineLeavesTheStreamRunningAndTheLastFrame) {
  TOSD osd;
  osd.SetActive(true);
  Advance(60);
  osd.SetActive(false);
  Advance(600);
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(Counters().started, 1u);
}

TEST_F(CardCycleTest, ACardThatStopsCompletingCostsOneWaitPerStall) {
  auto clock = std::dynamic_pointer_cast<ManualClock>(MessageLoop::Current().ClockPtr());
  ASSERT_TRUE(clock);
  TOSDCard::SetWaitLimit(30);
  TOSD osd;
  std::vector<std::string> reports;
  osd.OnCycleError = [&](const std::string &message) { reports.push_back(message); };
  osd.SetActive(true);
  VxVirtualCard_SetFaults(VXVC_FAULT_NO_COMPLETION);
  const auto waited_from = std::chrono::steady_clock::now();
  Advance(60);  // the push waits its whole limit, in real time; the manual clock stays
  EXPECT_GE(std::chrono::steady_clock::now() - waited_from, std::chrono::milliseconds(30));
  EXPECT_EQ(clock->NowMs(), 60);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("did not complete a frame within 30 ms"), std::string::npos);

  // A minute of cycles on the stalled card: no second wait, nothing sent, the frame composed.
  Panel(osd, "p", 0, 0, 10, 10, clRed);
  std::int64_t before = clock->NowMs();
  EXPECT_GE(Advance(60000), 1000u);
  EXPECT_EQ(clock->NowMs(), before + 60000);
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(osd.Frame().ScanLine(5)[5], NearestPaletteIndex(clRed));

  VxVirtualCard_SetFaults(0);  // the card completes the frame it held: sending resumes
  Advance(600);
  EXPECT_EQ(Counters().frames_received, 11u);
  EXPECT_EQ(LastFrame(), StreamOf(osd.Frame()));

  // A second stall costs one more wait, and only one.
  VxVirtualCard_SetFaults(VXVC_FAULT_NO_COMPLETION);
  Advance(6000);
  EXPECT_EQ(Counters().frames_received, 12u);
  EXPECT_EQ(reports.size(), 2u);
  TOSDCard::SetWaitLimit(kCardPushWaitMs);
}

TEST_F(CardCycleTest, DestructionStopsTheStreamAndReleasesTheCard) {
  {
    TOSD osd;
    osd.SetActive(true);
    Advance(60);
  }
  EXPECT_EQ(Counters().started, 0u);
  EXPECT_EQ(Counters().dma_buffers, 0u);
  EXPECT_EQ(VxVirtualCard_LiveObjects(), 0u);
}

}  // namespace
}  // namespace vx
