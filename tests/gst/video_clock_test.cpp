// Scene time from the video's time: running time, durations, the frame rate, and jumps.
#include "gst/video_clock.h"

#include <gtest/gtest.h>

namespace {

using vxgst::VideoClock;
constexpr std::uint64_t kMs = 1'000'000;

VideoClock::Buffer At(std::uint64_t ms, bool discont = false) { return {ms * kMs, false, 40 * kMs, discont}; }

TEST(VideoClockTest, FollowsTheRunningTimeFromTheFirstBuffer) {
  VideoClock c;
  EXPECT_EQ(c.Next(At(5000), 0).scene_ms, 0u);
  EXPECT_EQ(c.Next(At(5040), 0).scene_ms, 40u);
  EXPECT_EQ(c.Next(At(5000), 0).scene_ms, 40u);  // never backwards
  EXPECT_EQ(c.Next(At(5080), 0).scene_ms, 120u);
}

TEST(VideoClockTest, AJumpIsSkippedButForOneCycle) {
  VideoClock c;
  c.Next(At(0), 0);
  const VideoClock::Step step = c.Next(At(600'000), 0);
  EXPECT_EQ(step.scene_ms, 600'000u);
  EXPECT_EQ(step.skipped_ms, 600'000u - 60);
  // Two seconds are still replayed; after a discontinuity, only half a second.
  EXPECT_EQ(c.Next(At(602'000), 0).skipped_ms, 0u);
  EXPECT_EQ(c.Next(At(602'500, true), 0).skipped_ms, 0u);
  EXPECT_EQ(c.Next(At(603'100, true), 0).skipped_ms, 540u);
  EXPECT_EQ(c.Next(At(605'200), 0).skipped_ms, 2040u);
}

TEST(VideoClockTest, BuffersWithoutTimestampsGoByTheDurationBeforeThem) {
  VideoClock c;
  EXPECT_EQ(c.Next({std::nullopt, false, 40 * kMs, false}, 0).scene_ms, 0u);
  EXPECT_EQ(c.Next({std::nullopt, false, 100 * kMs, false}, 0).scene_ms, 40u);
  EXPECT_EQ(c.Next({std::nullopt, false, std::nullopt, false}, 20 * kMs).scene_ms, 140u);
  EXPECT_EQ(c.Next({std::nullopt, false, std::nullopt, false}, 20 * kMs).scene_ms, 160u);
  const VideoClock::Step still = c.Next({std::nullopt, false, std::nullopt, false}, 0);
  EXPECT_TRUE(still.timeless);
}

TEST(VideoClockTest, BuffersOutsideTheSegmentDoNotMoveTime) {
  VideoClock c;
  c.Next(At(0), 0);
  EXPECT_EQ(c.Next({std::nullopt, true, 40 * kMs, false}, 0).scene_ms, 0u);
  EXPECT_EQ(c.Next(At(40), 0).scene_ms, 40u);
}

}  // namespace
