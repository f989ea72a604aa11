#pragma once
// The latest composed OSD frame, laid over video the way the card mixes it: each palette
// entry's colour level is its alpha, so the key colour (level 0) leaves the video as it is.
// Free of GStreamer, so the blending is tested on plain buffers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vxgst {

// Where the 640 x 480 frame goes on the video: scaled to the whole picture (nearest, so the
// palette colours stay exact), or 1:1 with its top-left corner at (x, y).
struct Placement {
  bool scale = true;
  int x = 0, y = 0;
  bool operator==(const Placement &) const = default;
};

// A picture to draw on. Packed formats use plane 0 with 4 bytes per pixel at the given
// channel offsets (alpha < 0: no alpha channel). Planar formats: Y in plane 0, chroma at half
// resolution in planes 1 and 2 (I420, YV12), or interleaved in plane 1 (NV12, NV21) with
// u/v the byte offsets of Cb and Cr in each pair.
struct VideoPicture {
  enum class Layout { Packed, Planar, SemiPlanar } layout = Layout::Packed;
  int width = 0, height = 0;
  std::array<std::uint8_t *, 3> planes{};
  std::array<int, 3> strides{};
  int r = 0, g = 1, b = 2, a = 3;  // packed channel offsets
  int u = 0, v = 1;                // semi-planar chroma offsets
};

class OsdLayer {
 public:
  // Takes a composed frame stream (header, palette, 640 x 480 indices); false when it is not
  // one. An unchanged frame costs one comparison.
  bool SetFrame(const std::uint8_t *stream, std::size_t size);
  bool has_frame() const { return has_frame_; }

  // The current frame alone as 640 x 480 RGBA, rows top-down without padding: the palette
  // colour of each pixel, with its colour level as straight alpha (the key colour's is 0).
  // False, and nothing written, before the first frame.
  bool CopyRgba(std::uint8_t *rgba) const;

  // Lays the current frame over the picture.
  void Blend(const VideoPicture &picture, const Placement &placement);

  // Pixels of the last prepared layout that are not fully transparent (for tests).
  std::size_t covered_pixels() const { return covered_; }

 private:
  struct Span {
    int y, x0, x1, osd_row;  // video row, video columns [x0, x1), frame row
  };
  void Prepare(int width, int height, const Placement &placement);
  void BlendPacked(const VideoPicture &p) const;
  void BlendYuv(const VideoPicture &p) const;

  bool has_frame_ = false;
  bool dirty_ = true;
  std::vector<std::uint8_t> stream_;
  std::array<std::uint8_t, 256> alpha_{};
  std::array<std::array<std::uint8_t, 3>, 256> rgb_{}, ycc_{};

  int width_ = 0, height_ = 0;
  Placement placement_;
  std::vector<int> columns_;  // video column -> frame column
  std::vector<Span> spans_;
  std::size_t covered_ = 0;
};

}  // namespace vxgst
