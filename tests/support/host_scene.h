#pragma once
// A host's view of the library in tests: the library started on the manual clock, a 640 x 480
// BGRA device context for SetVxOSD_Debug, and the card-less frame stream output captured.
// A scene reads like a host's script: add, position, colour, visible; Advance; look.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vxosd/vxosd.h"

namespace vx::test {

class HostScene {
 public:
  static constexpr int kW = 640, kH = 480;
  static constexpr std::size_t kStreamBytes = 308232;

  HostScene() {
    VxOSD_UseManualClock(1);
    VxOSD_SetFrameCallback(&HostScene::OnFrame, this);
    card_ = InitVxOSD() != 0;
    pixels_.assign(static_cast<std::size_t>(kW) * kH, 0xDEADBEEF);
    dc_ = VxOSD_CreateBufferDC(pixels_.data(), kW, kH, kW * 4);
  }
  ~HostScene() {
    VxOSD_DeleteDC(dc_);
    FreeVxOSD();
    VxOSD_SetFrameCallback(nullptr, nullptr);
    VxOSD_UseManualClock(0);
  }
  HostScene(const HostScene &) = delete;
  HostScene &operator=(const HostScene &) = delete;

  bool card() const { return card_; }
  HDC dc() const { return dc_; }
  uint32_t Advance(uint32_t ms) { return VxOSD_AdvanceClock(ms); }

  // A panel of the given colour at a rectangle, shown.
  static bool Panel(const char *name, int x, int y, int w, int h, int32_t color) {
    return AddVxComponent(name, 0) && SetVxComponent_Pos(name, x, y, w, h) &&
           SetVxComponent_Color(name, color, 255) && SetVxComponent_Visible(name, 0, 1);
  }

  // The frame as the host sees it through SetVxOSD_Debug: 0x00RRGGBB at (x, y).
  void CopyFrame() { SetVxOSD_Debug(dc_); }
  uint32_t Rgb(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * kW + x] & 0xFFFFFF; }

  // The last frame stream handed to the card-less output.
  int frames() const { return frames_; }
  const std::vector<uint8_t> &stream() const { return stream_; }
  int Index(int x, int y) const { return stream_[1032 + static_cast<std::size_t>(y) * kW + x]; }
  int Level(int index) const { return stream_[8 + 4 * index]; }
  // How many pixels of the last frame in [x0, x1) x [y0, y1) hold index.
  long Count(int x0, int y0, int x1, int y1, int index) const {
    long n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += Index(x, y) == index;
    return n;
  }

  static std::string LastError() {
    char buf[512];
    VxOSD_GetLastError(buf, sizeof buf);
    return buf;
  }

 private:
  static void OnFrame(const uint8_t *stream, uint32_t size, void *user) {
    auto *self = static_cast<HostScene *>(user);
    self->stream_.assign(stream, stream + size);
    ++self->frames_;
  }

  bool card_ = false;
  HDC dc_ = nullptr;
  std::vector<uint32_t> pixels_;
  std::vector<uint8_t> stream_;
  int frames_ = 0;
};

// UTF-16 code units of an ASCII literal, zero-terminated.
inline std::vector<uint16_t> W(const char *ascii) {
  std::vector<uint16_t> out;
  for (; *ascii; ++ascii) out.push_back(static_cast<unsigned char>(*ascii));
  out.push_back(0);
  return out;
}

}  // namespace vx::test
