// The library through its C header, as a host drives it, on the manual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "drivers/virtualcard/virtualcard.h"
#include "tests/support/host_scene.h"
#include "vxosd/vxosd.h"

namespace vx::test {
namespace {

constexpr int kKey = 250;         // palette index of the key colour
constexpr uint32_t kGreen = 0x00FF00;  // 0x00RRGGBB of the key colour

TEST(ExportsTest, WithoutCardTheFrameIsKeyColourAndHasTheRootLevel) {
  HostScene s;
  EXPECT_FALSE(s.card());
  EXPECT_EQ(s.frames(), 0);
  EXPECT_EQ(s.Advance(60), 1u);
  ASSERT_EQ(s.frames(), 1);
  ASSERT_EQ(s.stream().size(), HostScene::kStreamBytes);
  const uint8_t header[8] = {0x3E, 0x04, 0xB4, 0x08, 0x02, 0x80, 0x01, 0xE0};
  EXPECT_EQ(0, std::memcmp(s.stream().data(), header, 8));
  EXPECT_EQ(s.Count(0, 0, 640, 480, kKey), 640L * 480);
  EXPECT_EQ(s.Level(kKey), 0);    // "root" gave the key colour level 0
  EXPECT_EQ(s.Level(249), 255);   // every other colour keeps 255
  s.CopyFrame();
  for (int y : {0, 239, 479})
    for (int x : {0, 320, 639}) EXPECT_EQ(s.Rgb(x, y), kGreen) << x << "," << y;
}

TEST(ExportsTest, CycleRunsEvery60Ms) {
  HostScene s;
  s.Advance(59);
  EXPECT_EQ(s.frames(), 0);
  s.Advance(1);
  EXPECT_EQ(s.frames(), 1);
  s.Advance(600);
  EXPECT_EQ(s.frames(), 11);
}

// A card that stops completing frames: the host's thread waits once (the wait limit, in real
// time), the host is told why, its own view of the frame stays live, and the card gets frames
// again once it completes the one it held.
TEST(ExportsTest, AStalledCardCostsOneWaitIsReportedAndRecovers) {
  VxVirtualCardOptions options;
  VxVirtualCard_DefaultOptions(&options);
  options.faults = VXVC_FAULT_NO_COMPLETION;
  ASSERT_EQ(VxVirtualCard_Install(&options), 1);
  struct Uninstall {
    ~Uninstall() {
      VxVirtualCard_Uninstall();
      VxOSD_SetCardWaitLimit(20000);
    }
  } uninstall;
  auto frames = [] {
    VxVirtualCardCounters c;
    VxVirtualCard_GetCounters(&c);
    return c.frames_received;
  };

  ASSERT_EQ(VxOSD_SetCardWaitLimit(30), 1);  // the wait is real time, on either clock
  HostScene s;
  ASSERT_TRUE(s.card());
  EXPECT_EQ(VxOSD_GetStatus(), VXOSD_STATUS_CARD);
  s.Advance(60);
  EXPECT_EQ(HostScene::LastError().rfind(
                "VxOSD cycle: the capture card did not complete a frame within 30 ms", 0),
            0u)
      << HostScene::LastError();
  ASSERT_TRUE(HostScene::Panel("p", 100, 50, 40, 30, 0x0000FF));
  EXPECT_GE(s.Advance(600), 10u);  // every cycle ran: none waited for the card
  EXPECT_EQ(frames(), 1u);
  s.CopyFrame();
  EXPECT_EQ(s.Rgb(120, 60), 0xFF0000u);  // composed all the same

  VxVirtualCard_SetFaults(0);  // the card completes the frame it held
  s.Advance(60);
  EXPECT_EQ(frames(), 2u);
  std::vector<uint8_t> sent(HostScene::kStreamBytes);
  ASSERT_EQ(VxVirtualCard_LastFrame(sent.data(), sent.size()), HostScene::kStreamBytes);
  EXPECT_EQ(sent[1032 + 60 * 640 + 120], 249);  // the panel reached the card
  s.Advance(600);
  EXPECT_EQ(frames(), 12u);
}

TEST(ExportsTest, ShownPanelAppearsAndHiddenLeavesNoHole) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("p", 100, 50, 40, 30, 0x0000FF));  // red
  s.Advance(60);
  EXPECT_EQ(s.Count(101, 51, 139, 79, 249), 38L * 28);
  EXPECT_EQ(s.Index(100, 50), 0);  // black border
  EXPECT_EQ(s.Index(99, 50), kKey);
  EXPECT_EQ(s.Index(140, 50), kKey);
  EXPECT_EQ(SetVxComponent_Visible("p", 1, 0), 1);  // the third argument decides
  s.Advance(60);
  EXPECT_EQ(s.Count(0, 0, 640, 480, kKey), 640L * 480);
  EXPECT_EQ(SetVxComponent_Visible("p", 0, 0x100), 1);  // low byte 0: still hidden
  s.Advance(60);
  EXPECT_EQ(s.Count(0, 0, 640, 480, kKey), 640L * 480);
}

TEST(ExportsTest, DeletingTheLastComponentClearsTheNextFrame) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("p", 0, 0, 10, 10, 0xFFFFFF));
  s.Advance(60);
  EXPECT_NE(s.Index(5, 5), kKey);
  EXPECT_EQ(DelVxComponent("p"), 1);
  s.Advance(60);
  EXPECT_EQ(s.Count(0, 0, 640, 480, kKey), 640L * 480);
}

TEST(ExportsTest, BackOfRegistryIsOnTop) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("first", 10, 10, 50, 50, 0x0000FF));   // red, added first
  ASSERT_TRUE(HostScene::Panel("second", 30, 30, 50, 50, 0xFF0000));  // blue
  s.Advance(60);
  EXPECT_EQ(s.Index(40, 40), 249);  // overlap: the earlier one covers
  EXPECT_EQ(s.Index(70, 70), 252);
}

TEST(ExportsTest, ComponentsAreClippedAtEveryEdge) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("right", 600, 100, 100, 20, 0x0000FF));
  ASSERT_TRUE(HostScene::Panel("left", -30, 200, 60, 20, 0xFF0000));
  ASSERT_TRUE(HostScene::Panel("top", 300, -10, 20, 30, 0xFFFFFF));
  ASSERT_TRUE(HostScene::Panel("bottom", 400, 470, 20, 30, 0x00FFFF));  // yellow
  ASSERT_TRUE(HostScene::Panel("far", 5000, -5000, 20, 20, 0xFF00FF));
  ASSERT_TRUE(HostScene::Panel("max", 2147483647 - 5, 2147483647 - 5, 20, 20, 0xFF00FF));
  ASSERT_TRUE(HostScene::Panel("min", -2147483647 - 1, -2147483647 - 1, 20, 20, 0xFF00FF));
  s.Advance(60);
  EXPECT_EQ(s.Count(601, 101, 640, 119, 249), 39L * 18);  // cut at the right edge
  EXPECT_EQ(s.Count(0, 0, 600, 480, 249), 0);             // nothing wrapped round
  EXPECT_EQ(s.Count(0, 201, 29, 219, 252), 29L * 18);     // cut at the left edge
  EXPECT_EQ(s.Index(29, 210), 0);                         // its right border
  EXPECT_EQ(s.Count(301, 0, 319, 19, 255), 18L * 19);     // cut at the top
  EXPECT_EQ(s.Count(401, 471, 419, 480, 251), 18L * 9);   // cut at the bottom
  EXPECT_EQ(s.Count(0, 0, 640, 480, 253), 0);             // far away: nowhere
}

TEST(ExportsTest, KindIsReadFromTheLowByte) {
  HostScene s;
  EXPECT_EQ(AddVxComponent("k", 256), 1);
  EXPECT_EQ(SetVxComponent_Pos("k", 0, 0, 4, 4), 1);
  EXPECT_EQ(AddVxComponent("k5", 5), 0);
  EXPECT_EQ(AddVxComponent("root", 0), 0);
  EXPECT_NE(HostScene::LastError().find("root"), std::string::npos);
  EXPECT_EQ(AddVxComponent("Root", 0), 1);
}

TEST(ExportsTest, TextFileChangesNothing) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("p", 0, 0, 10, 10, 0xFFFFFF));
  s.Advance(60);
  const std::vector<uint8_t> before = s.stream();
  EXPECT_EQ(SetVxComponent_TextFile("p", 12345), 1);
  EXPECT_EQ(SetVxComponent_TextFile("nobody", 12345), 0);
  s.Advance(60);
  EXPECT_EQ(s.stream(), before);
}

TEST(ExportsTest, ColourLevelsTravelInTheFrameStream) {
  HostScene s;
  ASSERT_EQ(AddVxComponent("p", 0), 1);
  EXPECT_EQ(SetVxComponent_Color("p", 0x0000FF, 0x40), 1);
  EXPECT_EQ(SetVxComponent_Color("ghost", 0xFF0000, 0x10), 0);  // records nothing
  s.Advance(60);
  EXPECT_EQ(s.Level(249), 0x40);
  EXPECT_EQ(s.Level(252), 255);
  EXPECT_EQ(DelVxComponent("P"), 0);  // no component, but its levels go (case ignored)
  s.Advance(60);
  EXPECT_EQ(s.Level(249), 255);
  EXPECT_EQ(s.Level(kKey), 0);
}

TEST(ExportsTest, DebugViewNeedsTheExactCode) {
  HostScene s;
  EXPECT_EQ(SetVxOSD_DebugView(W("WQZBMK").data()), 0);
  EXPECT_EQ(SetVxOSD_DebugView(W("wqzbm").data()), 0);
  EXPECT_EQ(SetVxOSD_DebugView(W("wqzbmk").data()), 1);
  EXPECT_EQ(SetVxOSD_DebugView(W("wqzbmk").data()), 1);  // shown again
  ASSERT_TRUE(HostScene::Panel("p", 0, 0, 10, 10, 0xFFFFFF));
  s.Advance(120);  // the cycle also feeds the view
  EXPECT_EQ(s.frames(), 2);
}

TEST(ExportsTest, DebugCopyWorksWithoutACycle) {
  HostScene s;
  s.CopyFrame();  // nothing composed yet: the frame is still blank (index 0, black)
  EXPECT_EQ(s.Rgb(10, 10), 0u);
  ASSERT_TRUE(HostScene::Panel("p", 10, 10, 20, 20, 0xFF0000));
  s.Advance(60);
  s.CopyFrame();
  EXPECT_EQ(s.Rgb(20, 20), 0x0000FFu);  // 0x00RRGGBB of blue
  EXPECT_EQ(s.Rgb(5, 5), kGreen);
}

TEST(ExportsTest, FreeThenInitGivesAFreshLibrary) {
  // Many times over, each library drawing: a host may free and re-init all day, and a 32-bit
  // process must not run out of address space doing so.
  for (int round = 0; round < 24; ++round) {
    HostScene s;
    ASSERT_TRUE(HostScene::Panel("p", 0, 0, 10, 10, 0x102030 * (round + 1)));
    ASSERT_EQ(s.Advance(60), 1u) << round;
  }
  HostScene s;
  EXPECT_EQ(SetVxComponent_Pos("p", 1, 1, 1, 1), 0);
  EXPECT_EQ(s.Advance(60), 1u);
  ASSERT_EQ(s.frames(), 1);
  EXPECT_EQ(s.Count(0, 0, 640, 480, kKey), 640L * 480);
}

TEST(ExportsTest, SecondInitFreesTheFirst) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("p", 0, 0, 10, 10, 0xFFFFFF));
  EXPECT_EQ(InitVxOSD(), 0);  // no card; a fresh library
  EXPECT_EQ(SetVxComponent_Pos("p", 1, 1, 1, 1), 0);
  EXPECT_EQ(s.Advance(60), 1u);  // exactly one engine cycles
  EXPECT_EQ(s.Count(0, 0, 640, 480, kKey), 640L * 480);
}

TEST(ExportsTest, EveryCallIsRefusedBeforeInitAndAfterFree) {
  auto all_refused = [] {
    int32_t rect[4] = {0, 0, 0, 0};
    const auto t = W("x");
    std::vector<uint8_t> results = {
        FreeVxOSD(),
        AddVxComponent("a", 0),
        DelVxComponent("a"),
        SetVxComponent_Pos("a", 0, 0, 1, 1),
        SetVxComponent_Color("root", 0, 0),
        SetVxComponent_Font("a", t.data(), 0, 10),
        SetVxComponent_Visible("a", 1, 1),
        SetVxComponent_Text("a", t.data()),
        SetVxComponent_Time("a", 1),
        GetVxComponent_TextRect("a", t.data(), rect),
        SetVxComponent_TextStep("a", 1),
        SetVxComponent_TextScroll("a", 1),
        SetVxComponent_TextMode("a", 1),
        SetVxComponent_TextGradual("a", 1, 2),
        SetVxComponent_TextHtml("a", 1),
        SetVxComponent_RandomColor("a", 1, 2, 3, 4, 5),
        SetVxComponent_RandomTextColor("a", 1, 2, 3, 4, 5),
        SetVxComponent_TextFile("a", 1),
        SetVxComponent_PicFile("a", t.data()),
        SetVxComponent_PicSplitFile("a", t.data(), 2),
        SetVxComponent_PicSplitTextPos("a", 1, 2),
        SetVxComponent_PicSplitShow("a", 1),
        SetVxComponent_PicMovie("a", t.data(), 1, 2),
        SetVxComponent_PicTime("a", 1),
        SetVxComponent_MovieTime("a", 1, 1),
        SetVxOSD_DebugView(W("wqzbmk").data()),
    };
    for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], 0) << "call " << i;
    EXPECT_EQ(VxOSD_AdvanceClock(60), 0u);
  };
  all_refused();
  EXPECT_NE(HostScene::LastError().find("not initialised"), std::string::npos);
  std::vector<uint32_t> px(4, 0x12345678);
  HDC dc = VxOSD_CreateBufferDC(px.data(), 2, 2, 8);
  SetVxOSD_Debug(dc);  // nothing to copy from: the buffer stays as it was
  EXPECT_EQ(px[0], 0x12345678u);
  {
    HostScene s;
  }
  all_refused();
  VxOSD_DeleteDC(dc);
}

// One library per thread: a thread without one is refused, and saying so; InitVxOSD there
// starts a library of its own, which leaves the first one alone.
TEST(ExportsTest, AThreadWithoutALibraryIsRefusedAndMayStartItsOwn) {
  HostScene s;
  ASSERT_TRUE(HostScene::Panel("p", 0, 0, 10, 10, 0xFFFFFF));
  uint8_t add = 9, pos = 9, free_result = 9, init = 9, own_add = 9, own_free = 9;
  int32_t status_before = 9, status_after = 9;
  uint32_t advanced = 9;
  std::string message;
  std::thread other([&] {
    add = AddVxComponent("q", 0);
    pos = SetVxComponent_Pos("p", 1, 1, 1, 1);
    advanced = VxOSD_AdvanceClock(60);
    free_result = FreeVxOSD();
    message = HostScene::LastError();
    status_before = VxOSD_GetStatus();
    init = InitVxOSD();  // this thread's own library, without a card
    status_after = VxOSD_GetStatus();
    own_add = AddVxComponent("q", 0) && SetVxComponent_Pos("p", 1, 1, 1, 1) == 0;
    own_free = FreeVxOSD();
  });
  other.join();
  EXPECT_EQ(add, 0);
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(advanced, 0u);
  EXPECT_EQ(free_result, 0);
  EXPECT_NE(message.find("no library on this thread"), std::string::npos) << message;
  EXPECT_EQ(status_before, VXOSD_STATUS_NONE);
  EXPECT_EQ(init, 0);
  EXPECT_EQ(status_after, VXOSD_STATUS_NO_CARD);
  EXPECT_EQ(own_add, 1);  // its own registry: "p" is not there
  EXPECT_EQ(own_free, 1);
  // The library still runs here, unchanged.
  EXPECT_EQ(VxOSD_GetStatus(), VXOSD_STATUS_NO_CARD);
  EXPECT_EQ(SetVxComponent_Pos("p", 0, 0, 10, 10), 1);
  EXPECT_EQ(SetVxComponent_Pos("q", 0, 0, 10, 10), 0);
  EXPECT_EQ(s.Advance(60), 1u);
  EXPECT_EQ(s.frames(), 1);
}

// InitVxOSD's 0 means "running without a card" or "refused"; the status tells which, and a
// success leaves no old message behind.
TEST(ExportsTest, EveryCallStartsWithoutAnOldMessage) {
  EXPECT_EQ(DelVxComponent(nullptr), 0);
  EXPECT_NE(VxOSD_GetLastError(nullptr, 0), 0u);
  {
    HostScene s;
    EXPECT_FALSE(s.card());
    EXPECT_EQ(VxOSD_GetStatus(), VXOSD_STATUS_NO_CARD);
    ASSERT_EQ(AddVxComponent("p", 0), 1);
    EXPECT_EQ(DelVxComponent("nothing"), 0);
    EXPECT_NE(VxOSD_GetLastError(nullptr, 0), 0u);
    EXPECT_EQ(SetVxComponent_Pos("p", 1, 2, 3, 4), 1);
    EXPECT_EQ(VxOSD_GetLastError(nullptr, 0), 0u) << HostScene::LastError();
    EXPECT_EQ(SetVxComponent_Pos("p", 1, 2, 3, 4), 1);
    EXPECT_EQ(VxOSD_SetCardWaitLimit(0), 0);
    EXPECT_EQ(VxOSD_SetCardWaitLimit(20001), 0);
    EXPECT_EQ(VxOSD_SetCardWaitLimit(20000), 1);
    EXPECT_EQ(VxOSD_GetLastError(nullptr, 0), 0u);
  }
  EXPECT_EQ(VxOSD_GetStatus(), VXOSD_STATUS_NONE);
}

TEST(ExportsTest, NullArgumentsAreRefused) {
  HostScene s;
  ASSERT_EQ(AddVxComponent("p", 0), 1);
  int32_t rect[4] = {1, 2, 3, 4};
  const auto t = W("x");
  EXPECT_EQ(AddVxComponent(nullptr, 0), 0);
  EXPECT_EQ(DelVxComponent(nullptr), 0);
  EXPECT_EQ(SetVxComponent_Pos(nullptr, 0, 0, 0, 0), 0);
  EXPECT_EQ(SetVxComponent_Font("p", nullptr, 0, 10), 0);
  EXPECT_EQ(SetVxComponent_Text("p", nullptr), 0);
  EXPECT_EQ(GetVxComponent_TextRect("p", t.data(), nullptr), 0);
  EXPECT_EQ(GetVxComponent_TextRect("p", nullptr, rect), 0);
  EXPECT_EQ(SetVxComponent_PicFile("p", nullptr), 0);
  EXPECT_EQ(SetVxComponent_PicMovie("p", nullptr, 1, 2), 0);
  EXPECT_EQ(SetVxOSD_DebugView(nullptr), 0);
  EXPECT_NE(HostScene::LastError().find("null"), std::string::npos);
  SetVxOSD_Debug(nullptr);
  int not_a_dc = 0;
  SetVxOSD_Debug(reinterpret_cast<HDC>(&not_a_dc));  // refused, never written to
  EXPECT_EQ(not_a_dc, 0);
  EXPECT_EQ(rect[0], 1);
  EXPECT_EQ(SetVxComponent_Pos("p", 0, 0, 1, 1), 1);  // the library is unharmed
}

TEST(ExportsTest, BufferDCRefusesBadArguments) {
  std::vector<uint32_t> px(16);
  EXPECT_EQ(VxOSD_CreateBufferDC(nullptr, 4, 4, 16), nullptr);
  EXPECT_EQ(VxOSD_CreateBufferDC(px.data(), 0, 4, 16), nullptr);
  EXPECT_EQ(VxOSD_CreateBufferDC(px.data(), 4, -1, 16), nullptr);
  EXPECT_EQ(VxOSD_CreateBufferDC(px.data(), 4, 4, 15), nullptr);
  EXPECT_EQ(VxOSD_CreateBufferDC(px.data(), 1 << 20, 1 << 20, 1 << 22), nullptr);
  HDC dc = VxOSD_CreateBufferDC(px.data(), 4, 4, 16);
  EXPECT_NE(dc, nullptr);
  VxOSD_DeleteDC(dc);
  VxOSD_DeleteDC(dc);  // a second delete is ignored
  VxOSD_DeleteDC(nullptr);
}

TEST(ExportsTest, LastErrorTruncatesAndReportsFullLength) {
  DelVxComponent(nullptr);
  char small[8];
  const uint32_t full = VxOSD_GetLastError(small, sizeof small);
  EXPECT_GT(full, 7u);
  EXPECT_EQ(std::strlen(small), 7u);
  EXPECT_EQ(VxOSD_GetLastError(nullptr, 0), full);
}

TEST(ExportsTest, LastErrorIsCutAtACharacterBoundary) {
  HostScene s;
  EXPECT_EQ(DelVxComponent("\xE5\xAD\x97\xE5\xB9\x95"), 0);  // 字幕: no such component
  char whole[256];
  const uint32_t full = VxOSD_GetLastError(whole, sizeof whole);
  ASSERT_LT(full, sizeof whole);
  const std::string message(whole);
  const std::size_t at = message.find("\xE5\xAD\x97");
  ASSERT_NE(at, std::string::npos) << message;
  for (std::size_t room = 1; room <= 6; ++room) {  // 1 to 3 bytes of each character fit
    char cut[256];
    EXPECT_EQ(VxOSD_GetLastError(cut, static_cast<uint32_t>(at + room + 1)), full);
    EXPECT_EQ(std::strlen(cut), at + room / 3 * 3) << room;
    EXPECT_EQ(std::string(cut), message.substr(0, at + room / 3 * 3)) << room;
  }
}

TEST(ExportsTest, FreeInsideTheFrameCallbackIsRefused) {
  struct Probe {
    uint8_t free_result = 9;
    uint8_t del_result = 9;
  } probe;
  VxOSD_UseManualClock(1);
  VxOSD_SetFrameCallback(
      [](const uint8_t *, uint32_t, void *user) {
        auto *p = static_cast<Probe *>(user);
        p->free_result = FreeVxOSD();
        p->del_result = DelVxComponent("p");
      },
      &probe);
  InitVxOSD();
  ASSERT_EQ(AddVxComponent("p", 0), 1);
  EXPECT_EQ(VxOSD_AdvanceClock(60), 1u);
  EXPECT_EQ(probe.free_result, 0);
  EXPECT_EQ(probe.del_result, 1);  // other calls are fine there
  EXPECT_EQ(FreeVxOSD(), 1);
  VxOSD_SetFrameCallback(nullptr, nullptr);
  VxOSD_UseManualClock(0);
}

TEST(ExportsTest, ManualClockStartsAtTheHostsDateTime) {
  EXPECT_EQ(VxOSD_SetManualClockStart(1.0), 0);  // before 1900
  EXPECT_EQ(VxOSD_SetManualClockStart(73416.0), 0);  // after 2100
  EXPECT_EQ(VxOSD_SetManualClockStart(std::nan("")), 0);
  // A clock showing the time (text mode 3) at 00:00:00 and at 12:00:00 of one day.
  auto clock_frame = [](double start) {
    EXPECT_EQ(VxOSD_SetManualClockStart(start), 1);
    HostScene s;
    EXPECT_TRUE(AddVxComponent("clock", 4) && SetVxComponent_Pos("clock", 0, 0, 0, 0) &&
                SetVxComponent_Font("clock", W("Arial").data(), 0xFFFFFF, 20) &&
                SetVxComponent_TextMode("clock", 3) && SetVxComponent_Visible("clock", 0, 1));
    s.Advance(60);
    return s.stream();
  };
  const auto midnight = clock_frame(36526.0), again = clock_frame(36526.0), noon = clock_frame(36526.5);
  VxOSD_SetManualClockStart(36526.0);
  ASSERT_FALSE(midnight.empty());
  EXPECT_EQ(midnight, again);
  EXPECT_NE(midnight, noon);
}

// Before InitVxOSD the helper sets where the next manual clock starts; on a running library it
// moves the clock components to the local time now (a clock left at 2000-01-01 shows another
// date).
TEST(ExportsTest, ManualClockStartsAtTheLocalTimeNow) {
  auto clock_frame = [](bool now_before, bool now_while_running) {
    VxOSD_SetManualClockStart(36526.0);
    if (now_before) {
      EXPECT_EQ(VxOSD_SetManualClockStartNow(), 1);
    }
    HostScene s;
    EXPECT_TRUE(AddVxComponent("clock", 4) && SetVxComponent_Pos("clock", 0, 0, 0, 0) &&
                SetVxComponent_Font("clock", W("Arial").data(), 0xFFFFFF, 20) &&
                SetVxComponent_TextMode("clock", 11) && SetVxComponent_Visible("clock", 0, 1));
    s.Advance(60);
    if (now_while_running) {
      EXPECT_EQ(VxOSD_SetManualClockStartNow(), 1);
    }
    s.Advance(1000);
    return s.stream();
  };
  const auto in_2000 = clock_frame(false, false), again = clock_frame(false, false);
  const auto started_now = clock_frame(true, false), moved_now = clock_frame(false, true);
  VxOSD_SetManualClockStart(36526.0);
  ASSERT_FALSE(in_2000.empty());
  EXPECT_EQ(in_2000, again);
  EXPECT_NE(started_now, in_2000);
  EXPECT_NE(moved_now, in_2000);
}

TEST(ExportsTest, ExceptionsStayInsideTheLibrary) {
  HostScene s;
  if (!AddVxComponent("pic", 3)) GTEST_SKIP() << "no picture component in this build";
  // An existing file that is no picture: reading it raises inside the library.
  const std::string path = testing::TempDir() + "vxosd_not_a_picture.bmp";
  FILE *f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("BM this is not a bitmap", f);
  std::fclose(f);
  EXPECT_EQ(SetVxComponent_PicFile("pic", W(path.c_str()).data()), 0);
  std::remove(path.c_str());
  EXPECT_FALSE(HostScene::LastError().empty());
  EXPECT_EQ(SetVxComponent_Pos("pic", 0, 0, 1, 1), 1);
}

}  // namespace
}  // namespace vx::test
