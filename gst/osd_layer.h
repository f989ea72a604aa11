#pragma once
// The latest composed OSD frame, laid over video the way the card mixes it: each palette
// entry's colour level is its alpha, so the key colour (level 0) leaves the video as it is.
// Free of GStreamer, so the blending is tested on plain buffers against a per-pixel
// reference (tests/gst/osd_layer_test.cpp).

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

// How the video codes colour as Y, Cb, Cr: the matrix, and studio range (Y 16-235, Cb and Cr
// 16-240) or full range (0-255). BT.601 studio range is the card's own coding: there the
// palette's Y/Cb/Cr bytes are written as they are.
enum class YuvMatrix { Bt601, Bt709, Bt2020, Smpte240m, Fcc };
struct YuvEncoding {
  YuvMatrix matrix = YuvMatrix::Bt601;
  bool full_range = false;
  bool operator==(const YuvEncoding &) const = default;
};

// The Y, Cb, Cr of an RGB colour in an encoding, rounded to the nearest and clamped.
std::array<std::uint8_t, 3> RgbToYcc(const std::array<std::uint8_t, 3> &rgb, const YuvEncoding &encoding);

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

  // The coding of YUV pictures from now on (default: BT.601 studio range).
  void SetYuvEncoding(const YuvEncoding &encoding);

  // Lays the current frame over the picture. Packed RGB: each pixel's palette colour at its
  // colour level, composited "over" the video (straight alpha when the video has an alpha
  // channel). YUV: luma per pixel; on 4:2:0 each chroma sample is mixed by the coverage of
  // the OSD over the luma samples of its 2 x 2 block (the mean of their levels and colours),
  // and is left alone where all of them are clear.
  void Blend(const VideoPicture &picture, const Placement &placement);

  // Pixels of the last prepared layout that are not fully transparent (for tests).
  std::size_t covered_pixels() const { return covered_; }

 private:
  struct Span {
    int y, x0, x1, osd_row;  // video row, video columns [x0, x1), frame row
  };
  void Prepare(int width, int height, const Placement &placement);
  void UpdateYcc();
  void BlendPacked(const VideoPicture &p) const;
  void BlendYuv(const VideoPicture &p);

  bool has_frame_ = false;
  bool dirty_ = true;
  std::vector<std::uint8_t> stream_;
  std::array<std::uint8_t, 256> alpha_{};
  std::array<std::array<std::uint8_t, 3>, 256> rgb_{}, ycc_{};
  YuvEncoding encoding_;

  int width_ = 0, height_ = 0;
  Placement placement_;
  std::vector<int> columns_;          // video column -> frame column, or -1
  std::vector<Span> spans_;           // row by row, left to right
  std::vector<std::size_t> row_spans_;  // video row y: its spans from [y] to [y + 1]
  struct Sums {
    unsigned a = 0, u = 0, v = 0;
  };
  std::vector<Sums> sums_;          // per chroma column, while one chroma row is mixed
  std::array<Sums, 256> weighted_{};  // per palette entry: level, level x Cb, level x Cr
  std::size_t covered_ = 0;
};

}  // namespace vxgst
