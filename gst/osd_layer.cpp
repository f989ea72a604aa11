#include "gst/osd_layer.h"

#include <algorithm>
#include <cstring>

#include "scene/frame.h"

namespace vxgst {

using vxscene::kFrameHeight;
using vxscene::kFramePixelsOffset;
using vxscene::kFrameStreamBytes;
using vxscene::kFrameWidth;

namespace {

// Rounded x / 255 for x up to 255 * 255.
inline std::uint8_t Div255(unsigned x) { return static_cast<std::uint8_t>((x + 128 + ((x + 128) >> 8)) >> 8); }

inline std::uint8_t Mix(std::uint8_t osd, std::uint8_t video, unsigned alpha) {
  return Div255(osd * alpha + video * (255 - alpha));
}

constexpr std::uint8_t kKeyIndex = 250;

}  // namespace

bool OsdLayer::SetFrame(const std::uint8_t *stream, std::size_t size) {
  if (stream == nullptr || size < kFrameStreamBytes || stream[0] != 0x3E ||
      ((stream[4] << 8) | stream[5]) != kFrameWidth || ((stream[6] << 8) | stream[7]) != kFrameHeight)
    return false;
  if (has_frame_ && std::memcmp(stream_.data(), stream, kFrameStreamBytes) == 0) return true;
  stream_.assign(stream, stream + kFrameStreamBytes);
  const std::vector<std::uint8_t> rgb = vxscene::FrameStreamPaletteRgb(stream);
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t *e = stream + 8 + 4 * i;
    alpha_[i] = e[0];
    ycc_[i] = {e[1], e[2], e[3]};
    rgb_[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
  }
  has_frame_ = true;
  dirty_ = true;
  return true;
}

bool OsdLayer::CopyRgba(std::uint8_t *rgba) const {
  if (!has_frame_) return false;
  std::array<std::array<std::uint8_t, 4>, 256> lut;
  for (int i = 0; i < 256; ++i) lut[i] = {rgb_[i][0], rgb_[i][1], rgb_[i][2], alpha_[i]};
  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  for (std::size_t i = 0; i < std::size_t{kFrameWidth} * kFrameHeight; ++i) std::memcpy(rgba + 4 * i, lut[pixels[i]].data(), 4);
  return true;
}

void OsdLayer::Prepare(int width, int height, const Placement &placement) {
  width_ = width;
  height_ = height;
  placement_ = placement;
  dirty_ = false;
  spans_.clear();
  covered_ = 0;
  columns_.resize(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x)
    columns_[x] = placement.scale ? static_cast<int>(std::int64_t{x} * kFrameWidth / width) : x - placement.x;

  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  const bool key_clear = alpha_[kKeyIndex] == 0;
  std::uint64_t key_word;
  std::memset(&key_word, kKeyIndex, sizeof key_word);
  const std::int64_t w = width, h = height;
  for (int r = 0; r < kFrameHeight; ++r) {
    int y0, y1;
    if (placement.scale) {
      y0 = static_cast<int>((r * h + kFrameHeight - 1) / kFrameHeight);
      y1 = static_cast<int>(((r + 1) * h + kFrameHeight - 1) / kFrameHeight);
    } else {
      y0 = std::max(r + placement.y, 0);
      y1 = std::min(r + placement.y + 1, height);
    }
    if (y0 >= y1) continue;
    const std::uint8_t *row = pixels + std::size_t(r) * kFrameWidth;
    for (int i = 0; i < kFrameWidth;) {
      // Most of a frame is key colour: skip it eight pixels at a time.
      if (key_clear && i + 8 <= kFrameWidth) {
        std::uint64_t word;
        std::memcpy(&word, row + i, sizeof word);
        if (word == key_word) {
          i += 8;
          continue;
        }
      }
      if (alpha_[row[i]] == 0) {
        ++i;
        continue;
      }
      const int a = i;
      while (i < kFrameWidth && alpha_[row[i]] != 0) ++i;
      int x0, x1;
      if (placement.scale) {
        x0 = static_cast<int>((a * w + kFrameWidth - 1) / kFrameWidth);
        x1 = static_cast<int>((i * w + kFrameWidth - 1) / kFrameWidth);
      } else {
        x0 = std::max(a + placement.x, 0);
        x1 = std::min(i + placement.x, width);
      }
      if (x0 >= x1) continue;
      for (int y = y0; y < y1; ++y) spans_.push_back({y, x0, x1, r});
      covered_ += std::size_t(x1 - x0) * (y1 - y0);
    }
  }
  // Rows come out in frame order, which is video order in both placements.
}

void OsdLayer::Blend(const VideoPicture &picture, const Placement &placement) {
  if (!has_frame_ || picture.width <= 0 || picture.height <= 0) return;
  if (dirty_ || picture.width != width_ || picture.height != height_ || !(placement == placement_))
    Prepare(picture.width, picture.height, placement);
  if (picture.layout == VideoPicture::Layout::Packed) BlendPacked(picture);
  else BlendYuv(picture);
}

void OsdLayer::BlendPacked(const VideoPicture &p) const {
  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  for (const Span &s : spans_) {
    std::uint8_t *row = p.planes[0] + std::size_t(s.y) * p.strides[0];
    const std::uint8_t *src = pixels + std::size_t(s.osd_row) * kFrameWidth;
    for (int x = s.x0; x < s.x1; ++x) {
      const std::uint8_t index = src[columns_[x]];
      const unsigned alpha = alpha_[index];
      const auto &c = rgb_[index];
      std::uint8_t *px = row + 4 * x;
      if (alpha == 255) {
        px[p.r] = c[0];
        px[p.g] = c[1];
        px[p.b] = c[2];
        if (p.a >= 0) px[p.a] = 255;
      } else {
        px[p.r] = Mix(c[0], px[p.r], alpha);
        px[p.g] = Mix(c[1], px[p.g], alpha);
        px[p.b] = Mix(c[2], px[p.b], alpha);
        // The OSD over a picture with an alpha channel of its own: "over" compositing.
        if (p.a >= 0) px[p.a] = static_cast<std::uint8_t>(alpha + Div255(px[p.a] * (255 - alpha)));
      }
    }
  }
}

void OsdLayer::BlendYuv(const VideoPicture &p) const {
  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  const bool planar = p.layout == VideoPicture::Layout::Planar;
  for (const Span &s : spans_) {
    std::uint8_t *luma = p.planes[0] + std::size_t(s.y) * p.strides[0];
    const std::uint8_t *src = pixels + std::size_t(s.osd_row) * kFrameWidth;
    for (int x = s.x0; x < s.x1; ++x) {
      const std::uint8_t index = src[columns_[x]];
      luma[x] = Mix(ycc_[index][0], luma[x], alpha_[index]);
    }
    // A chroma sample takes the frame pixel over the top-left luma sample of its 2 x 2 block.
    if (s.y % 2 != 0) continue;
    const std::size_t cy = std::size_t(s.y / 2);
    for (int x = (s.x0 + 1) & ~1; x < s.x1; x += 2) {
      const std::uint8_t index = src[columns_[x]];
      const unsigned alpha = alpha_[index];
      std::uint8_t *u, *v;
      if (planar) {
        u = p.planes[1] + cy * p.strides[1] + x / 2;
        v = p.planes[2] + cy * p.strides[2] + x / 2;
      } else {
        std::uint8_t *pair = p.planes[1] + cy * p.strides[1] + (x / 2) * 2;
        u = pair + p.u;
        v = pair + p.v;
      }
      *u = Mix(ycc_[index][1], *u, alpha);
      *v = Mix(ycc_[index][2], *v, alpha);
    }
  }
}

}  // namespace vxgst
