// TOSDCard against the software card: probe, flags, buffers, pushes, the bounded wait, close.

#include "card/card.h"

#include <chrono>
#include <cstring>
#include <memory>

#include "card_fixture.h"
#include "platform/clock.h"
#include "platform/timer.h"

namespace vx::test {
namespace {

using ::testing::HasSubstr;

TEST(CardAbsent, NothingRegisteredMeansNoCardAndNoBlocking) {
  ASSERT_EQ(VxVirtualCard_Installed(), 0);
  TOSDCard::SetWaitLimit(kCardPushWaitMs);  // a push that did wait would take 20 s
  TOSDCard card;
  EXPECT_FALSE(card.Present());
  EXPECT_FALSE(card.Started());
  card.Start();
  EXPECT_FALSE(card.Started());
  std::uint8_t *buffer = card.GetBuffer();
  ASSERT_NE(buffer, nullptr);
  const auto frame = KeyFrame();
  std::memcpy(buffer, frame.data(), frame.size());
  const auto before = std::chrono::steady_clock::now();
  card.PushFrame();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  card.SetDMABuff(true);
  EXPECT_FALSE(card.DMABuff());
}

TEST_F(CardTest, ProbeOpensTheOsdPinAndStartsTheStream) {
  Install();
  {
    TOSDCard card;
    EXPECT_TRUE(card.Present());
    EXPECT_TRUE(card.Started());
    EXPECT_EQ(card.BufferSize(), 308232u);
    EXPECT_EQ(CardLog(),
              "CreateInstance\n"
              "GetPin 0 -2 CATEGORY_PIN_OSD\n"
              "Release IVxDevice\n"
              "Connect\n"
              "GetProperty 446\n"
              "GetProperty 422\n"
              "SetProperty 422 0x80000001\n"
              "Run\n");
    EXPECT_EQ(Counters().started, 1u);
    card.Start();  // already running: no second Run
    EXPECT_EQ(CardLog().find("Run\n"), CardLog().rfind("Run\n"));
  }
}

struct FlagCase {
  std::uint32_t version;
  std::uint32_t flags;
  std::uint32_t expected;
};

class CardFlags : public CardTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(CardFlags, Property422IsAdjustedOnceAtOpen) {
  options_.version = GetParam().version;
  options_.flags = GetParam().flags;
  Install();
  TOSDCard card;
  std::uint32_t value = 0;
  ASSERT_EQ(VxVirtualCard_GetProperty(422, &value), 1);
  EXPECT_EQ(value, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    VersionBelowAndAtNine, CardFlags,
    ::testing::Values(FlagCase{8, 0x60, 0x21},                  // 0x40 cleared, 0x01 set
                      FlagCase{8, 0xFFFFFFFF, 0xFFFFFFBF},      // other bits kept
                      FlagCase{0xFFFFFFFF, 0x60, 0x21},         // -1: signed, below 9
                      FlagCase{9, 0x60, 0x80000001},            // extended: 0x20 cleared too
                      FlagCase{9, 0, 0x80000001}, FlagCase{200, 0x7FFFFFFF, 0xFFFFFF9F}));

TEST_F(CardTest, HeapBuffersAreFreshEachCallAndDriverBufferIsStable) {
  Install();
  TOSDCard card;
  std::uint8_t *a = card.GetBuffer();
  ASSERT_NE(a, nullptr);
  std::memset(a, 0xAB, 308232);  // the whole frame stream fits (sanitizers watch)
  std::uint8_t *b = card.GetBuffer();
  ASSERT_NE(b, nullptr);
  std::memset(b, 0xCD, 308232);
  EXPECT_EQ(card.GetBuffer(0x7FFFFFFF), nullptr);  // absurd sizes are refused

  card.SetDMABuff(true);
  ASSERT_TRUE(card.DMABuff());
  EXPECT_EQ(Counters().dma_buffers, 1u);
  std::uint8_t *dma = card.GetBuffer();
  EXPECT_EQ(card.GetBuffer(0), dma);
  EXPECT_EQ(card.GetBuffer(308233), nullptr);  // larger than the mapped buffer
  VxVirtualCard_ClearLog();
  card.SetDMABuff(true);  // unchanged: no second allocation
  EXPECT_EQ(CardLog(), "");

  card.SetDMABuff(false);
  EXPECT_FALSE(card.DMABuff());
  EXPECT_EQ(Counters().dma_buffers, 0u);
  EXPECT_EQ(CardLog(), "Free\n");
  EXPECT_NE(card.GetBuffer(), nullptr);
}

TEST_F(CardTest, FailedDmaAllocationFallsBackToHeapBuffers) {
  options_.faults = VXVC_FAULT_DMA;
  Install();
  TOSDCard card;
  card.SetDMABuff(true);
  EXPECT_FALSE(card.DMABuff());
  EXPECT_FALSE(card.Busy());
  std::uint8_t *buffer = card.GetBuffer();
  ASSERT_NE(buffer, nullptr);
  const auto frame = KeyFrame();
  std::memcpy(buffer, frame.data(), frame.size());
  card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 1u);
}

TEST_F(CardTest, PushSendsTheExactRecordAndRectangle) {
  Install();
  TOSDCard card;
  card.SetDMABuff(true);
  std::uint8_t *buffer = card.GetBuffer();
  const auto frame = MakeFrameStream(640, 480, [](int x, int y) {
    return static_cast<std::uint8_t>((x + y) & 0xFF);
  });
  std::memcpy(buffer, frame.data(), frame.size());
  VxVirtualCard_ClearLog();
  card.PushFrame();

  std::uint8_t record[56];
  ASSERT_EQ(VxVirtualCard_LastRequest(record), 1);
  auto u32 = [&](int offset) {
    std::uint32_t v;
    std::memcpy(&v, record + offset, 4);
    return v;
  };
  EXPECT_EQ(u32(0), 56u);
  EXPECT_EQ(u32(4), 1u);
  EXPECT_EQ(u32(8), 48u);
  EXPECT_EQ(u32(40), 308232u);
  EXPECT_EQ(u32(44), 0u);
  EXPECT_NE(u32(48), 0u);  // the buffer's card address
  for (int offset : {12, 16, 20, 24, 28, 32, 36, 52}) EXPECT_EQ(u32(offset), 0u) << offset;

  std::vector<std::uint8_t> received(400000);
  ASSERT_EQ(VxVirtualCard_LastFrame(received.data(), received.size()), frame.size());
  received.resize(frame.size());
  EXPECT_EQ(received, frame);
  EXPECT_EQ(CardLog(),
            "Submit\n"
            "SetProperty 822 (32,0,640,480)\n"
            "SetProperty 824 0x1\n");
  const auto c = Counters();
  EXPECT_EQ(c.frames_received, 1u);
  EXPECT_EQ(c.bytes_received, 308232u);
  EXPECT_EQ(c.completions, 1u);
  EXPECT_EQ(c.property_writes, 3u);  // 422 at open, 822, 824

  card.SetLeft(10);
  card.SetTop(5);
  card.PushFrame();
  EXPECT_EQ(Counters().rect[0], 42);
  EXPECT_EQ(Counters().rect[1], 5);
  EXPECT_EQ(Counters().rect[2], 640);
  EXPECT_EQ(Counters().rect[3], 480);
  // After the push the card's address of the frame is gone: a late read finds nothing.
  EXPECT_EQ(ResolveCardAddress(u32(48), 1), nullptr);
}

TEST_F(CardTest, PushWhileAPushIsInProgressReturnsAtOnce) {
  struct Reentry {
    TOSDCard *card = nullptr;
    bool busy_seen = false;
  } reentry;
  options_.on_frame = [](void *user) {
    auto *r = static_cast<Reentry *>(user);
    r->busy_seen = r->card->Busy();
    r->card->PushFrame();  // re-entrant: refused by the busy flag
  };
  options_.user = &reentry;
  Install();
  TOSDCard card;
  reentry.card = &card;
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  card.PushFrame();
  EXPECT_TRUE(reentry.busy_seen);
  EXPECT_FALSE(card.Busy());
  EXPECT_EQ(Counters().frames_received, 1u);
}

TEST_F(CardTest, PushIsIgnoredWhenStoppedOrEmpty) {
  Install();
  TOSDCard card;
  card.PushFrame();  // no buffer yet
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  card.PushFrame(nullptr, 400000);  // larger than the channel's buffer
  card.Stop();
  EXPECT_THAT(CardLog(), HasSubstr("Halt\nSetProperty 825 0x1\n"));
  EXPECT_EQ(Counters().started, 0u);
  card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 0u);
  EXPECT_EQ(Counters().pushes_refused, 0u);
  card.Start();
  card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 1u);
}

TEST_F(CardTest, CardThatStopsCompletingCostsOneBoundedWaitUntilItCompletes) {
  options_.faults = VXVC_FAULT_NO_COMPLETION;
  Install();
  TOSDCard card;
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  VxVirtualCard_ClearLog();
  const auto before = std::chrono::steady_clock::now();
  card.PushFrame();
  const auto waited = std::chrono::steady_clock::now() - before;
  EXPECT_GE(waited, std::chrono::milliseconds(20));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_FALSE(card.Busy());
  EXPECT_TRUE(card.Stalled());
  EXPECT_EQ(Counters().completions, 0u);
  // The property writes still follow the time-out.
  EXPECT_EQ(CardLog(), "Submit\nSetProperty 822 (32,0,640,480)\nSetProperty 824 0x1\n");

  // While the driver holds the frame, pushes are not submitted, so none of them waits.
  for (int i = 0; i < 5; ++i) card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(CardLog().find("Submit", 1), std::string::npos);

  VxVirtualCard_SetFaults(0);  // the card completes the frame it held
  EXPECT_EQ(Counters().completions, 1u);
  EXPECT_FALSE(card.Stalled());
  card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 2u);
  EXPECT_EQ(Counters().completions, 2u);
  EXPECT_FALSE(card.Stalled());
}

TEST_F(CardTest, LateCompletionOfAnEarlierChannelDoesNotEndTheNextWait) {
  options_.latency_ms = 120;
  Install();
  TOSDCard::SetWaitLimit(80);
  {
    TOSDCard first;
    std::memcpy(first.GetBuffer(), KeyFrame().data(), 308232);
    first.PushFrame();  // times out at 80 ms; the driver completes it at 120 ms
    EXPECT_TRUE(first.Stalled());
  }
  TOSDCard second;
  std::memcpy(second.GetBuffer(), KeyFrame().data(), 308232);
  const auto before = std::chrono::steady_clock::now();
  second.PushFrame();
  // Its own completion comes after 120 ms: the wait runs its full 80 ms, although the first
  // channel's frame is completed 40 ms into it.
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(80));
  EXPECT_EQ(Counters().frames_received, 2u);
}

TEST_F(CardTest, CompletionFromTheDriverThreadEndsTheWait) {
  options_.latency_ms = 2;
  Install();
  TOSDCard::SetWaitLimit(kCardPushWaitMs);
  TOSDCard card;
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  const auto before = std::chrono::steady_clock::now();
  card.PushFrame();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  EXPECT_EQ(Counters().completions, 1u);
}

// A driver completes in real time whatever clock the host's timers run on: on the manual
// clock a card with latency is waited for, in real time, and is not taken for stalled.
TEST_F(CardTest, OnTheManualClockThePushStillWaitsForTheDriverInRealTime) {
  options_.latency_ms = 40;
  Install();
  TOSDCard::SetWaitLimit(5000);
  auto clock = std::make_shared<ManualClock>();
  MessageLoop::Current().SetClock(clock);
  TOSDCard card;
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  const auto before = std::chrono::steady_clock::now();
  card.PushFrame();
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(40));
  EXPECT_FALSE(card.Stalled());
  EXPECT_EQ(Counters().completions, 1u);
  EXPECT_EQ(clock->NowMs(), 0);  // the wait does not move the manual clock
  card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 2u);
  EXPECT_EQ(Counters().completions, 2u);
  MessageLoop::Current().SetClock(std::make_shared<RealClock>());
}

// The push owns what the driver may still touch: closing the channel on a push the driver has
// not completed leaves its heap buffer allocated (a 32-bit driver reads the real address it
// was given; the sanitizer build sees a read of freed memory otherwise). The buffer's entry in
// the address table is given back, so a late resolve finds nothing.
TEST_F(CardTest, APushPendingAtCloseKeepsItsBuffer) {
  options_.faults = VXVC_FAULT_NO_COMPLETION | VXVC_FAULT_DMA;  // a heap buffer
  Install();
  const std::vector<std::uint8_t> frame = KeyFrame();
  const std::uint8_t *buffer = nullptr;
  std::uint32_t address = 0;
  {
    TOSDCard card;
    std::uint8_t *own = card.GetBuffer();
    ASSERT_NE(own, nullptr);
    ASSERT_FALSE(card.DMABuff());
    std::memcpy(own, frame.data(), frame.size());
    buffer = own;
    card.PushFrame();
    ASSERT_TRUE(card.Stalled());
    std::uint8_t record[56];
    ASSERT_EQ(VxVirtualCard_LastRequest(record), 1);
    std::memcpy(&address, record + 48, 4);
    EXPECT_EQ(ResolveCardAddress(address, frame.size()), buffer);  // mapped while it waits
  }
  EXPECT_EQ(std::memcmp(buffer, frame.data(), frame.size()), 0);  // still allocated, still ours
  EXPECT_EQ(ResolveCardAddress(address, 1), nullptr);
  VxVirtualCard_SetFaults(0);  // the driver completes it at last
}

TEST_F(CardTest, TheCardGoesToTheFirstChannelThatFindsIt) {
  Install();
  {
    TOSDCard first;
    EXPECT_TRUE(first.Present());
    EXPECT_FALSE(first.CardTaken());
    TOSDCard second;  // the card is held: no probe at all
    EXPECT_FALSE(second.Present());
    EXPECT_TRUE(second.CardTaken());
    EXPECT_EQ(Counters().started, 1u);
  }
  TOSDCard third;  // the first one closed: the card is free again
  EXPECT_TRUE(third.Present());
}

TEST_F(CardTest, CloseStopsFreesAndReleasesInOrder) {
  Install();
  {
    TOSDCard card;
    card.SetDMABuff(true);
    VxVirtualCard_ClearLog();
  }
  EXPECT_EQ(CardLog(),
            "Halt\n"
            "SetProperty 825 0x1\n"
            "Free\n"
            "Release IVxControlNode\n"
            "Release IVxMapMem\n"
            "Release IVxStream\n");
  EXPECT_EQ(Counters().dma_buffers, 0u);
  EXPECT_EQ(VxVirtualCard_LiveObjects(), 0u);
}

TEST_F(CardTest, CloseTwiceIsHarmless) {
  Install();
  TOSDCard card;
  card.Close();
  card.Close();
  card.PushFrame();
  card.Start();
  EXPECT_FALSE(card.Started());
  EXPECT_EQ(VxVirtualCard_LiveObjects(), 0u);
}

TEST_F(CardTest, FailingDeviceCreationOrMissingPinMeansNoCard) {
  for (std::uint32_t fault : {VXVC_FAULT_CREATE, VXVC_FAULT_NO_OSD_PIN}) {
    options_.faults = fault;
    Install();
    {
      TOSDCard card;
      EXPECT_FALSE(card.Present()) << fault;
      EXPECT_FALSE(card.Started()) << fault;
      std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
      card.PushFrame();
    }
    EXPECT_EQ(Counters().frames_received, 0u);
    EXPECT_EQ(VxVirtualCard_LiveObjects(), 0u) << fault;
    VxVirtualCard_Uninstall();
  }
}

TEST_F(CardTest, FailingPropertiesAreIgnored) {
  options_.faults = VXVC_FAULT_PROPERTIES;
  Install();
  TOSDCard card;
  EXPECT_TRUE(card.Present());
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  card.PushFrame();
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(Counters().property_writes, 0u);
}

TEST_F(CardTest, SizeChangesRecomputeOnlyForPositiveSizes) {
  TOSDCard card;
  card.SetWidth(100);
  EXPECT_EQ(card.BufferSize(), 100u * 480 + 1032);
  card.SetHeight(0);
  EXPECT_EQ(card.BufferSize(), 100u * 480 + 1032);
  card.SetHeight(-5);
  EXPECT_EQ(card.BufferSize(), 100u * 480 + 1032);
  card.SetHeight(10);
  EXPECT_EQ(card.BufferSize(), 100u * 10 + 1032);
  card.SetWidth(0x7FFFFFFF);  // would overflow: not taken over
  EXPECT_EQ(card.BufferSize(), 100u * 10 + 1032);
}

TEST(CardAddress, TokensResolveOnlyWhileMappedAndWithinSize) {
  std::uint8_t block[16] = {};
  const DWORD a = MapCardAddress(block, sizeof block);
  ASSERT_NE(a, 0u);
  EXPECT_EQ(ResolveCardAddress(a, 16), block);
  EXPECT_EQ(ResolveCardAddress(a, 17), nullptr);
  EXPECT_EQ(ResolveCardAddress(a ^ 0x100, 1), nullptr);  // forged generation or address
  UnmapCardAddress(a);
  EXPECT_EQ(ResolveCardAddress(a, 1), nullptr);
  const DWORD b = MapCardAddress(block, sizeof block);
  if constexpr (kCardAddressIsPointer) {
    // A 32-bit process hands the card the real address, as a real driver reads it.
    EXPECT_EQ(a, static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(block)));
    EXPECT_EQ(b, a);
  } else {
    EXPECT_NE(a, b);  // same slot, new token
  }
  UnmapCardAddress(b);
  EXPECT_EQ(MapCardAddress(nullptr, 4), 0u);
  EXPECT_EQ(ResolveCardAddress(0, 0), nullptr);

  std::vector<DWORD> held;
  for (DWORD t; (t = MapCardAddress(block, 1)) != 0;) held.push_back(t);
  EXPECT_EQ(held.size(), 64u);
  for (DWORD t : held) UnmapCardAddress(t);
}

}  // namespace
}  // namespace vx::test
