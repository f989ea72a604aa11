// Several libraries in one process, one per thread, through the C header: each thread's
// library has its own components, frame, manual clock and messages; the card goes to the first
// library that finds it; a thread that ends frees its library.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "drivers/virtualcard/virtualcard.h"
#include "vxosd/vxosd.h"

namespace vx::test {
namespace {

constexpr int kKey = 250;  // palette index of the key colour

std::string LastError() {
  char buf[512];
  VxOSD_GetLastError(buf, sizeof buf);
  return buf;
}

// One thread's library on the manual clock, its card-less frames captured.
class ThreadScene {
 public:
  ThreadScene() {
    VxOSD_UseManualClock(1);
    VxOSD_SetFrameCallback(&ThreadScene::OnFrame, this);
    init_ = InitVxOSD();
    status_ = VxOSD_GetStatus();
    init_message_ = LastError();
  }
  ~ThreadScene() {
    FreeVxOSD();
    VxOSD_SetFrameCallback(nullptr, nullptr);
    VxOSD_UseManualClock(0);
  }
  ThreadScene(const ThreadScene &) = delete;
  ThreadScene &operator=(const ThreadScene &) = delete;

  uint8_t init() const { return init_; }
  int32_t status() const { return status_; }
  const std::string &init_message() const { return init_message_; }
  int frames() const { return frames_; }
  int Index(int x, int y) const { return stream_[1032 + static_cast<std::size_t>(y) * 640 + x]; }

 private:
  static void OnFrame(const uint8_t *stream, uint32_t size, void *user) {
    auto *self = static_cast<ThreadScene *>(user);
    self->stream_.assign(stream, stream + size);
    ++self->frames_;
  }
  uint8_t init_ = 0;
  int32_t status_ = 0;
  std::string init_message_;
  std::vector<uint8_t> stream_;
  int frames_ = 0;
};

std::string NameOf(int i) { return "panel" + std::to_string(i); }
// Thread i's panel: 40 x 30 at its own place in a 8 x 4 grid.
int PanelX(int i) { return 10 + (i % 8) * 75; }
int PanelY(int i) { return 10 + (i / 8) * 60; }

bool ShowPanel(int i) {
  const std::string name = NameOf(i);
  return AddVxComponent(name.c_str(), VXOSD_PANEL) &&
         SetVxComponent_Pos(name.c_str(), PanelX(i), PanelY(i), 40, 30) &&
         SetVxComponent_Color(name.c_str(), 0x0000FF, 255) &&
         SetVxComponent_Visible(name.c_str(), 0, 1);
}

// Every thread composes at once, round after round: each frame shows its own panel and none
// of the others'; a name of another thread's component is unknown here; the panel deleted in
// one library goes from that library's frames only.
class ThreadsCompose : public ::testing::TestWithParam<int> {};

TEST_P(ThreadsCompose, EachLibraryShowsOnlyItsOwnComponents) {
  const int n = GetParam();
  constexpr int kRounds = 12;
  constexpr int kDeleteAt = 6;  // thread 0 deletes its panel after this round
  std::barrier sync(n);
  std::vector<std::string> failures(n);
  std::vector<std::thread> threads;
  for (int i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      std::string &failure = failures[i];
      auto fail = [&](const std::string &what) {
        if (failure.empty()) failure = what;
      };
      ThreadScene scene;
      if (scene.init() != 0 || scene.status() != VXOSD_STATUS_NO_CARD) fail("init");
      if (!ShowPanel(i)) fail("panel: " + LastError());
      sync.arrive_and_wait();  // every library exists before any composes
      for (int round = 0; round < kRounds; ++round) {
        if (VxOSD_AdvanceClock(60) != 1) fail("cycle in round " + std::to_string(round));
        if (i == 0 && round == kDeleteAt && DelVxComponent(NameOf(0).c_str()) != 1) fail("delete");
        const bool own_shown = !(i == 0 && round > kDeleteAt);
        const bool own_seen = scene.Index(PanelX(i) + 20, PanelY(i) + 15) != kKey;
        if (own_seen != own_shown) fail("own panel in round " + std::to_string(round));
        for (int j = 0; j < n; ++j)
          if (j != i && scene.Index(PanelX(j) + 20, PanelY(j) + 15) != kKey)
            fail("panel of thread " + std::to_string(j) + " in round " + std::to_string(round));
        sync.arrive_and_wait();  // the next round starts when every library composed this one
      }
      const std::string other = NameOf((i + 1) % n);
      if (SetVxComponent_Visible(other.c_str(), 0, 0) != 0) fail("reached another library");
      if (scene.frames() != kRounds) fail("frames: " + std::to_string(scene.frames()));
    });
  }
  for (std::thread &t : threads) t.join();
  for (int i = 0; i < n; ++i) EXPECT_EQ(failures[i], "") << "thread " << i;
}

INSTANTIATE_TEST_SUITE_P(TwoAndEight, ThreadsCompose, ::testing::Values(2, 8));

// (On Windows the software card's class is registered in the installing thread's apartment,
// so these two run on Linux, where the card is the process's. Each case exists on both
// systems: the Windows runner registers cases from the source.)

// The card goes to the first library whose probe finds it. A card that stalls costs that
// library its wait and stops its sending, and a picture that cannot be read fails a call in
// another: the other libraries run on untouched.
TEST(ThreadsTest, AFaultInOneLibraryLeavesTheOthersRunning) {
#ifdef _WIN32
  GTEST_SKIP() << "the software card is registered in the installing thread's apartment";
#else
  VxVirtualCardOptions options;
  VxVirtualCard_DefaultOptions(&options);
  options.faults = VXVC_FAULT_NO_COMPLETION;
  ASSERT_EQ(VxVirtualCard_Install(&options), 1);
  struct Uninstall {
    ~Uninstall() { VxVirtualCard_Uninstall(); }
  } uninstall;

  std::barrier sync(3);
  std::string card_thread, taken_thread, picture_thread;
  std::thread with_card([&] {
    VxOSD_SetCardWaitLimit(30);
    ThreadScene scene;
    if (scene.status() != VXOSD_STATUS_CARD) card_thread = "no card";
    sync.arrive_and_wait();  // the others start once this library holds the card
    VxOSD_AdvanceClock(60);   // stalls: one wait of 30 ms, then nothing is sent
    if (LastError().find("did not complete a frame within 30 ms") == std::string::npos)
      card_thread = "no stall report: " + LastError();
    for (int i = 0; i < 10; ++i) VxOSD_AdvanceClock(60);
    sync.arrive_and_wait();
  });
  std::thread without([&] {
    sync.arrive_and_wait();
    ThreadScene scene;
    if (scene.init() != 0 || scene.status() != VXOSD_STATUS_CARD_TAKEN ||
        scene.init_message().find("held by the library of another thread") == std::string::npos)
      taken_thread = "card not reported taken: " + scene.init_message();
    if (!ShowPanel(1)) taken_thread = "panel";
    if (VxOSD_AdvanceClock(600) != 10 || scene.frames() != 10 ||
        scene.Index(PanelX(1) + 20, PanelY(1) + 15) == kKey)
      taken_thread = "did not compose";
    sync.arrive_and_wait();
  });
  std::thread bad_picture([&] {
    sync.arrive_and_wait();
    ThreadScene scene;
    const std::string path = testing::TempDir() + "vxosd_threads_not_a_picture.bmp";
    if (FILE *f = std::fopen(path.c_str(), "wb")) {
      std::fputs("BM this is not a bitmap", f);
      std::fclose(f);
    }
    std::u16string wide(path.begin(), path.end());
    if (!AddVxComponent("pic", VXOSD_PICTURE) ||
        SetVxComponent_PicFile("pic", reinterpret_cast<const uint16_t *>(wide.c_str())) != 0 ||
        LastError().empty())
      picture_thread = "the unreadable picture was not refused";
    std::remove(path.c_str());
    if (!ShowPanel(2) || VxOSD_AdvanceClock(600) != 10 || scene.frames() != 10)
      picture_thread = "did not compose after the failure";
    sync.arrive_and_wait();
  });
  with_card.join();
  without.join();
  bad_picture.join();
  EXPECT_EQ(card_thread, "");
  EXPECT_EQ(taken_thread, "");
  EXPECT_EQ(picture_thread, "");
  VxVirtualCard_SetFaults(0);
#endif
}

// A thread that ends with its library running frees it as it ends: its card is free again,
// and no library is left (the message of a call without one says it was never started).
TEST(ThreadsTest, AThreadThatEndsFreesItsLibrary) {
#ifdef _WIN32
  GTEST_SKIP() << "the software card is registered in the installing thread's apartment";
#else
  ASSERT_EQ(VxVirtualCard_Install(nullptr), 1);
  struct Uninstall {
    ~Uninstall() { VxVirtualCard_Uninstall(); }
  } uninstall;
  uint8_t first = 0;
  std::thread([&] {
    VxOSD_UseManualClock(1);
    first = InitVxOSD();
    ShowPanel(0);
    VxOSD_AdvanceClock(60);
  }).join();  // ends without FreeVxOSD
  EXPECT_EQ(first, 1);
  VxVirtualCardCounters c;
  VxVirtualCard_GetCounters(&c);
  EXPECT_EQ(c.started, 0u);  // its card stream was stopped as the thread ended
  EXPECT_EQ(VxVirtualCard_LiveObjects(), 0u);
  EXPECT_EQ(DelVxComponent("panel0"), 0);
  EXPECT_NE(LastError().find("not initialised"), std::string::npos) << LastError();
  EXPECT_EQ(InitVxOSD(), 1);  // the card is free for the next library
  EXPECT_EQ(FreeVxOSD(), 1);
#endif
}

// Rounds of start, compose and free on many threads at once, some threads leaving their
// library to their end: nothing leaks, nothing crashes (the sanitizer build runs this).
TEST(ThreadsTest, StartAndFreeOnManyThreadsAtOnce) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 15;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        VxOSD_UseManualClock(1);
        if (InitVxOSD() != 0 || VxOSD_GetStatus() != VXOSD_STATUS_NO_CARD) ++failures;
        if (!ShowPanel(t)) ++failures;
        if (VxOSD_AdvanceClock(120) != 2) ++failures;
        // Odd threads leave the last round's library to the thread's end.
        if ((t % 2 == 0 || round + 1 < kRounds) && FreeVxOSD() != 1) ++failures;
      }
    });
  }
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(VxOSD_GetStatus(), VXOSD_STATUS_NONE);
}

}  // namespace
}  // namespace vx::test
