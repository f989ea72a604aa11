#pragma once
// Scene time from the video's time. The library runs on its manual clock, moved by how far
// the video has gone; where the video's time jumps (a live source that reconnects, a broken
// timestamp, a discontinuity) the missed periods are not replayed cycle by cycle: as a real
// clock does after a stall, time moves on and the timers fire once. Free of GStreamer, so
// the rules are tested on plain numbers.

#include <cstdint>
#include <optional>

namespace vxgst {

class VideoClock {
 public:
  // Above this much video time in one step the gap is skipped, not replayed (a slideshow at
  // one frame in two seconds still replays every tick).
  static constexpr std::uint64_t kMaxReplayNs = 2'000'000'000;
  // After a discontinuity, more than this is skipped.
  static constexpr std::uint64_t kMaxReplayAfterDiscontNs = 500'000'000;
  // What is still replayed of a skipped gap: one compositing cycle, so that the buffer after
  // the gap shows a frame composed after everything the gap brought.
  static constexpr std::uint64_t kReplayAfterGapNs = 60'000'000;

  struct Buffer {
    // The buffer's running time; none for a buffer without a timestamp or outside a TIME
    // segment.
    std::optional<std::uint64_t> running_ns;
    bool outside_segment = false;  // a timestamp outside the segment: the buffer is skipped
    std::optional<std::uint64_t> duration_ns;
    bool discont = false;
  };

  struct Step {
    std::uint64_t scene_ms = 0;    // scene time after this buffer
    std::uint64_t skipped_ms = 0;  // of this step, how much the library's timers skip
    bool timeless = false;         // the buffer had no time to go by: the scene stands still
  };

  // frame_ns: the negotiated frame duration (0 when unknown), for buffers without times.
  Step Next(const Buffer &b, std::uint64_t frame_ns) {
    Step step;
    std::uint64_t advance = 0;
    bool discont = false;
    if (b.outside_segment) {
      // Neither time nor anything else moves for a buffer the segment leaves out.
    } else if (b.running_ns) {
      const std::uint64_t rt = *b.running_ns;
      // Never backwards: after a seek back the scene goes on from where it was.
      if (have_running_ && rt > last_running_) advance = rt - last_running_;
      discont = b.discont && have_running_;
      last_running_ = rt;
      have_running_ = true;
    } else if (b.duration_ns || frame_ns > 0) {
      // A buffer without a timestamp starts where the one before it ended.
      advance = previous_ns_;
    } else {
      step.timeless = true;
    }
    if (!b.outside_segment) previous_ns_ = b.duration_ns ? *b.duration_ns : frame_ns;
    const std::uint64_t limit = discont ? kMaxReplayAfterDiscontNs : kMaxReplayNs;
    const std::uint64_t before_ms = scene_ns_ / 1'000'000;
    scene_ns_ += advance;
    step.scene_ms = scene_ns_ / 1'000'000;
    if (advance > limit) step.skipped_ms = step.scene_ms - before_ms - kReplayAfterGapNs / 1'000'000;
    return step;
  }

 private:
  bool have_running_ = false;
  std::uint64_t last_running_ = 0;
  std::uint64_t scene_ns_ = 0;
  std::uint64_t previous_ns_ = 0;  // the duration of the buffer before
};

}  // namespace vxgst
