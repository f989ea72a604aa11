#include "gst/osd_layer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "scene/frame.h"

namespace vxgst {

using vxscene::kFrameHeight;
using vxscene::kFramePixelsOffset;
using vxscene::kFrameStreamBytes;
using vxscene::kFrameWidth;

static_assert(kFramePixelsOffset == 1032 && kFrameWidth == 640);

namespace {

// Rounded x / 255 for x up to 255 * 255.
inline std::uint8_t Div255(unsigned x) { return static_cast<std::uint8_t>((x + 128 + ((x + 128) >> 8)) >> 8); }

inline std::uint8_t Mix(std::uint8_t osd, std::uint8_t video, unsigned alpha) {
  return Div255(osd * alpha + video * (255 - alpha));
}

constexpr std::uint8_t kKeyIndex = 250;

// Kr and Kb of each matrix.
constexpr double kWeights[][2] = {{0.299, 0.114}, {0.2126, 0.0722}, {0.2627, 0.0593}, {0.212, 0.087}, {0.30, 0.11}};

// To the nearest, halves up. Halves are common (full range gives Cb = 128 + (B - R) / 2 for
// R = G), so the sums' rounding noise must not decide them.
inline std::uint8_t RoundByte(double v) {
  return static_cast<std::uint8_t>(std::clamp(std::floor(v + 0.5 + 1e-7), 0.0, 255.0));
}

}  // namespace

std::array<std::uint8_t, 3> RgbToYcc(const std::array<std::uint8_t, 3> &rgb, const YuvEncoding &encoding) {
  const double kr = kWeights[static_cast<int>(encoding.matrix)][0], kb = kWeights[static_cast<int>(encoding.matrix)][1];
  const double r = rgb[0] / 255.0, g = rgb[1] / 255.0, b = rgb[2] / 255.0;
  const double y = kr * r + (1 - kr - kb) * g + kb * b;
  const double cb = (b - y) / (2 * (1 - kb)), cr = (r - y) / (2 * (1 - kr));
  const double y_scale = encoding.full_range ? 255 : 219, y_offset = encoding.full_range ? 0 : 16;
  const double c_scale = encoding.full_range ? 255 : 224;
  return {RoundByte(y_offset + y_scale * y), RoundByte(128 + c_scale * cb), RoundByte(128 + c_scale * cr)};
}

bool OsdLayer::SetFrame(const std::uint8_t *stream, std::size_t size) {
  if (stream == nullptr || size < kFrameStreamBytes || stream[0] != 0x3E ||
      ((stream[4] << 8) | stream[5]) != kFrameWidth || ((stream[6] << 8) | stream[7]) != kFrameHeight)
    return false;
  if (has_frame_ && std::memcmp(stream_.data(), stream, kFrameStreamBytes) == 0) return true;
  stream_.assign(stream, stream + kFrameStreamBytes);
  const std::vector<std::uint8_t> rgb = vxscene::FrameStreamPaletteRgb(stream);
  for (int i = 0; i < 256; ++i) {
    alpha_[i] = stream[8 + 4 * i];
    rgb_[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
  }
  has_frame_ = true;
  dirty_ = true;
  UpdateYcc();
  return true;
}

void OsdLayer::SetYuvEncoding(const YuvEncoding &encoding) {
  if (encoding == encoding_) return;
  encoding_ = encoding;
  if (has_frame_) UpdateYcc();
}

void OsdLayer::UpdateYcc() {
  const bool cards = encoding_ == YuvEncoding{};
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t *e = stream_.data() + 8 + 4 * i;
    ycc_[i] = cards ? std::array<std::uint8_t, 3>{e[1], e[2], e[3]} : RgbToYcc(rgb_[i], encoding_);
    weighted_[i] = {alpha_[i], alpha_[i] * unsigned{ycc_[i][1]}, alpha_[i] * unsigned{ycc_[i][2]}};
  }
}

bool OsdLayer::CopyRgba(std::uint8_t *rgba) const {
  if (!has_frame_) return false;
  std::array<std::array<std::uint8_t, 4>, 256> lut;
  for (int i = 0; i < 256; ++i) lut[i] = {rgb_[i][0], rgb_[i][1], rgb_[i][2], alpha_[i]};
  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  for (std::size_t i = 0; i < std::size_t{kFrameWidth} * kFrameHeight; ++i)
    std::memcpy(rgba + 4 * i, lut[pixels[i]].data(), 4);
  return true;
}

void OsdLayer::Prepare(int width, int height, const Placement &placement) {
  width_ = width;
  height_ = height;
  placement_ = placement;
  dirty_ = false;
  spans_.clear();
  covered_ = 0;
  const std::int64_t w = width, h = height;
  columns_.resize(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x) {
    const std::int64_t fx = placement.scale ? x * kFrameWidth / w : std::int64_t{x} - placement.x;
    columns_[x] = fx >= 0 && fx < kFrameWidth ? static_cast<int>(fx) : -1;
  }
  row_spans_.resize(static_cast<std::size_t>(height) + 1);
  std::vector<std::pair<int, int>> runs;  // of one frame row, in video columns

  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  const bool key_clear = alpha_[kKeyIndex] == 0;
  std::uint64_t key_word;
  std::memset(&key_word, kKeyIndex, sizeof key_word);
  for (int r = 0; r < kFrameHeight; ++r) {
    // The video rows that show frame row r.
    std::int64_t y0, y1;
    if (placement.scale) {
      y0 = (r * h + kFrameHeight - 1) / kFrameHeight;
      y1 = ((r + 1) * h + kFrameHeight - 1) / kFrameHeight;
    } else {
      y0 = std::max<std::int64_t>(std::int64_t{r} + placement.y, 0);
      y1 = std::min<std::int64_t>(std::int64_t{r} + placement.y + 1, h);
    }
    if (y0 >= y1) continue;
    const std::uint8_t *row = pixels + std::size_t(r) * kFrameWidth;
    runs.clear();
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
      std::int64_t x0, x1;
      if (placement.scale) {
        x0 = (a * w + kFrameWidth - 1) / kFrameWidth;
        x1 = (i * w + kFrameWidth - 1) / kFrameWidth;
      } else {
        x0 = std::max<std::int64_t>(std::int64_t{a} + placement.x, 0);
        x1 = std::min<std::int64_t>(std::int64_t{i} + placement.x, w);
      }
      if (x0 >= x1) continue;
      runs.emplace_back(static_cast<int>(x0), static_cast<int>(x1));
      covered_ += std::size_t(x1 - x0) * std::size_t(y1 - y0);
    }
    // Row by row, so that the spans of each video row lie together.
    for (auto y = static_cast<int>(y0); y < y1; ++y)
      for (const auto &[x0, x1] : runs) spans_.push_back({y, x0, x1, r});
  }
  // Row y's spans are those from row_spans_[y] to row_spans_[y + 1].
  std::size_t i = 0;
  for (int y = 0; y <= height; ++y) {
    while (i < spans_.size() && spans_[i].y < y) ++i;
    row_spans_[y] = i;
  }
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
      const unsigned under = p.a >= 0 ? px[p.a] : 255;
      if (alpha == 255 || under == 0) {
        px[p.r] = c[0];
        px[p.g] = c[1];
        px[p.b] = c[2];
        if (p.a >= 0) px[p.a] = static_cast<std::uint8_t>(alpha);
      } else if (under == 255) {
        px[p.r] = Mix(c[0], px[p.r], alpha);
        px[p.g] = Mix(c[1], px[p.g], alpha);
        px[p.b] = Mix(c[2], px[p.b], alpha);
      } else {
        // "Over" a picture with an alpha of its own (straight, not premultiplied): the
        // video's colour counts by its own alpha under what the OSD leaves of it.
        const unsigned below = under * (255 - alpha);           // the video's weight, x 255
        const unsigned total = alpha * 255 + below;             // the result's alpha, x 255
        for (const int k : {p.r, p.g, p.b}) {
          const unsigned osd = c[k == p.r ? 0 : k == p.g ? 1 : 2];
          px[k] = static_cast<std::uint8_t>((osd * alpha * 255 + px[k] * below + total / 2) / total);
        }
        px[p.a] = Div255(total);
      }
    }
  }
}

void OsdLayer::BlendYuv(const VideoPicture &p) {
  const std::uint8_t *pixels = stream_.data() + kFramePixelsOffset;
  for (const Span &s : spans_) {
    std::uint8_t *luma = p.planes[0] + std::size_t(s.y) * p.strides[0];
    const std::uint8_t *src = pixels + std::size_t(s.osd_row) * kFrameWidth;
    for (int x = s.x0; x < s.x1; ++x) {
      const std::uint8_t index = src[columns_[x]];
      const unsigned alpha = alpha_[index];
      luma[x] = alpha == 255 ? ycc_[index][0] : Mix(ycc_[index][0], luma[x], alpha);
    }
  }
  // Each chroma sample stands for the 2 x 2 luma samples of its block (fewer at an odd edge):
  // it takes the mean of their levels and of their colours weighted by level. The sums are
  // gathered from the spans of the block's two rows, so the work follows the OSD's pixels.
  const bool planar = p.layout == VideoPicture::Layout::Planar;
  const int chroma_rows = (height_ + 1) / 2;
  sums_.resize(static_cast<std::size_t>((width_ + 1) / 2));
  for (int cy = 0; cy < chroma_rows; ++cy) {
    const int ya = 2 * cy, yb = std::min(2 * cy + 1, height_ - 1);
    const std::size_t begin = row_spans_[ya], end = row_spans_[yb + 1];
    if (begin == end) continue;
    // When both rows show the same frame row (most rows of upscaled video), one row counts
    // twice.
    const std::size_t middle = row_spans_[ya + 1];
    const bool same_rows = yb > ya && middle - begin == end - middle &&
                           (middle == begin || spans_[begin].osd_row == spans_[middle].osd_row);
    const unsigned weight = same_rows ? 2 : 1;
    for (std::size_t i = begin; i < (same_rows ? middle : end); ++i) {
      const Span &s = spans_[i];
      const std::uint8_t *src = pixels + std::size_t(s.osd_row) * kFrameWidth;
      auto add = [&](Sums &sum, const Sums &c) {
        sum.a += weight * c.a;
        sum.u += weight * c.u;
        sum.v += weight * c.v;
      };
      int x = s.x0;
      if (x & 1) add(sums_[x / 2], weighted_[src[columns_[x]]]), ++x;
      for (; x + 1 < s.x1; x += 2) {  // both samples of a chroma column at once
        const Sums &c0 = weighted_[src[columns_[x]]], &c1 = weighted_[src[columns_[x + 1]]];
        add(sums_[x / 2], {c0.a + c1.a, c0.u + c1.u, c0.v + c1.v});
      }
      if (x < s.x1) add(sums_[x / 2], weighted_[src[columns_[x]]]);
    }
    const unsigned rows = yb > ya ? 2 : 1;
    std::uint8_t *u_row, *v_row;
    int step;
    if (planar) {
      u_row = p.planes[1] + std::size_t(cy) * p.strides[1];
      v_row = p.planes[2] + std::size_t(cy) * p.strides[2];
      step = 1;
    } else {
      u_row = p.planes[1] + std::size_t(cy) * p.strides[1] + p.u;
      v_row = p.planes[1] + std::size_t(cy) * p.strides[1] + p.v;
      step = 2;
    }
    for (std::size_t i = begin; i < end; ++i)
      for (int cx = spans_[i].x0 / 2; cx <= (spans_[i].x1 - 1) / 2; ++cx) {
        Sums &sum = sums_[cx];
        if (sum.a == 0) continue;  // clear, or written already from a span before
        const unsigned whole = 255 * rows * (2 * cx + 1 < width_ ? 2 : 1);
        std::uint8_t &u = u_row[std::size_t(cx) * step], &v = v_row[std::size_t(cx) * step];
        u = static_cast<std::uint8_t>((u * (whole - sum.a) + sum.u + whole / 2) / whole);
        v = static_cast<std::uint8_t>((v * (whole - sum.a) + sum.v + whole / 2) / whole);
        sum = {};
      }
  }
}

}  // namespace vxgst
