#pragma once
// A host's view of a library with a true-colour frame: VxOSD_SetFrameFormat(ARGB32) before
// InitVxOSD on the manual clock, and the frame the callback delivers (premultiplied B, G, R, A)
// captured. Leaves the next library with the palette frame again.

#include <cstdint>
#include <string>
#include <vector>

#include "vxosd/vxosd.h"

namespace vx::test {

class TrueColourScene {
 public:
  TrueColourScene(int width, int height) : width_(width), height_(height) {
    VxOSD_UseManualClock(1);
    format_ok_ = VxOSD_SetFrameFormat(width, height, VXOSD_FRAME_ARGB32) != 0;
    VxOSD_SetFrameCallback(&TrueColourScene::OnFrame, this);
    card_ = InitVxOSD() != 0;
    char buf[512];
    VxOSD_GetLastError(buf, sizeof buf);
    init_message_ = buf;
  }
  ~TrueColourScene() {
    FreeVxOSD();
    VxOSD_SetFrameCallback(nullptr, nullptr);
    VxOSD_SetFrameFormat(0, 0, VXOSD_FRAME_PALETTE8);
    VxOSD_UseManualClock(0);
  }
  TrueColourScene(const TrueColourScene &) = delete;
  TrueColourScene &operator=(const TrueColourScene &) = delete;

  bool format_ok() const { return format_ok_; }
  bool card() const { return card_; }
  const std::string &init_message() const { return init_message_; }
  uint32_t Advance(uint32_t ms) { return VxOSD_AdvanceClock(ms); }
  int frames() const { return frames_; }
  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t size() const { return pixels_.size(); }

  // Premultiplied B, G, R, A of (x, y) in the last frame.
  const uint8_t *Px(int x, int y) const {
    return pixels_.data() + (static_cast<std::size_t>(y) * width_ + x) * 4;
  }
  int Alpha(int x, int y) const { return Px(x, y)[3]; }

 private:
  static void OnFrame(const uint8_t *pixels, uint32_t size, void *user) {
    auto *self = static_cast<TrueColourScene *>(user);
    self->pixels_.assign(pixels, pixels + size);
    ++self->frames_;
  }

  int width_, height_;
  bool format_ok_ = false;
  bool card_ = false;
  std::string init_message_;
  std::vector<uint8_t> pixels_;
  int frames_ = 0;
};

}  // namespace vx::test
