// The OSD layer's blending against a plain per-pixel reference: every layout and channel
// order, random frames, picture sizes, placements and padded strides. The reference maps
// each video pixel to its frame pixel and applies the mixing formulas directly; the layer
// works in spans and tables.
#include "gst/osd_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using vxgst::OsdLayer;
using vxgst::Placement;
using vxgst::VideoPicture;
using vxgst::YuvEncoding;
using vxgst::YuvMatrix;
using Layout = VideoPicture::Layout;

constexpr int kW = 640, kH = 480;

// A frame stream: random palette levels and colours (the key colour at level 0), and pixels
// mostly of the key colour with runs and single pixels of other colours.
std::vector<std::uint8_t> RandomFrame(std::mt19937 &rng) {
  std::vector<std::uint8_t> f(1032 + kW * kH);
  const std::uint8_t header[8] = {0x3E, 0x04, 0xB4, 0x08, 0x02, 0x80, 0x01, 0xE0};
  std::copy(header, header + 8, f.begin());
  for (int i = 0; i < 256; ++i) {
    std::uint8_t *e = f.data() + 8 + 4 * i;
    const int pick = int(rng() % 4);
    e[0] = pick == 0 ? 0 : pick == 1 ? 255 : std::uint8_t(rng());
    for (int k = 1; k < 4; ++k) e[k] = std::uint8_t(16 + rng() % 225);
  }
  f[8 + 4 * 250] = 0;
  std::uint8_t *pixels = f.data() + 1032;
  std::fill(pixels, pixels + kW * kH, 250);
  const int runs = int(rng() % 400);
  for (int n = 0; n < runs; ++n) {
    const int y = int(rng() % kH), x = int(rng() % kW), len = 1 + int(rng() % 40), rows = 1 + int(rng() % 20);
    const bool one_colour = rng() % 2;
    const auto colour = std::uint8_t(rng());
    for (int yy = y; yy < std::min(kH, y + rows); ++yy)
      for (int xx = x; xx < std::min(kW, x + len); ++xx) pixels[yy * kW + xx] = one_colour ? colour : std::uint8_t(rng());
  }
  return f;
}

// R, G, B of a palette entry: Y, Cb, Cr through the inverse BT.601 studio-range equations.
std::array<int, 3> PaletteRgb(const std::uint8_t *e) {
  auto clamp = [](double v) { return int(v < 0 ? 0 : v > 255 ? 255 : v + 0.5); };
  const double y = 1.164383 * (e[1] - 16), cb = e[2] - 128, cr = e[3] - 128;
  return {clamp(y + 1.596027 * cr), clamp(y - 0.391762 * cb - 0.812968 * cr), clamp(y + 2.017232 * cb)};
}

// Y, Cb, Cr of a palette entry as video in the given coding carries it.
std::array<int, 3> PaletteYcc(const std::uint8_t *e, const YuvEncoding &coding) {
  if (coding == YuvEncoding{}) return {e[1], e[2], e[3]};
  const double weights[][2] = {{0.299, 0.114}, {0.2126, 0.0722}, {0.2627, 0.0593}, {0.212, 0.087}, {0.30, 0.11}};
  const double kr = weights[int(coding.matrix)][0], kb = weights[int(coding.matrix)][1];
  const std::array<int, 3> rgb = PaletteRgb(e);
  const double r = rgb[0] / 255.0, g = rgb[1] / 255.0, b = rgb[2] / 255.0;
  const double ey = kr * r + (1 - kr - kb) * g + kb * b;
  auto byte = [](double v) { return int(std::clamp(std::floor(v + 0.5 + 1e-7), 0.0, 255.0)); };  // halves up
  const double ys = coding.full_range ? 255 : 219, yo = coding.full_range ? 0 : 16, cs = coding.full_range ? 255 : 224;
  return {byte(yo + ys * ey), byte(128 + cs * (b - ey) / (2 - 2 * kb)), byte(128 + cs * (r - ey) / (2 - 2 * kr))};
}

// The frame's palette entry over video pixel (x, y), or null where the frame does not reach.
const std::uint8_t *EntryAt(const std::vector<std::uint8_t> &f, int w, int h, const Placement &pl, int x, int y) {
  const long fx = pl.scale ? long(x) * kW / w : long(x) - pl.x;
  const long fy = pl.scale ? long(y) * kH / h : long(y) - pl.y;
  if (fx < 0 || fx >= kW || fy < 0 || fy >= kH) return nullptr;
  return f.data() + 8 + 4 * f[1032 + fy * kW + fx];
}

int RoundDiv(long num, long den) { return int((num + den / 2) / den); }

// One picture in memory, planes with padded strides, and the same picture as the reference
// draws it.
struct Picture {
  Layout layout;
  int w, h;
  std::array<int, 4> order;  // packed: offsets of R, G, B, A (A = -1: none)
  bool nv21 = false;
  std::array<int, 3> strides{};
  std::array<std::vector<std::uint8_t>, 3> planes;

  int ChromaW() const { return (w + 1) / 2; }
  int ChromaH() const { return (h + 1) / 2; }

  VideoPicture View() {
    VideoPicture p;
    p.layout = layout;
    p.width = w;
    p.height = h;
    for (int k = 0; k < 3; ++k) {
      p.planes[k] = planes[k].empty() ? nullptr : planes[k].data();
      p.strides[k] = strides[k];
    }
    p.r = order[0], p.g = order[1], p.b = order[2], p.a = order[3];
    p.u = nv21 ? 1 : 0;
    p.v = nv21 ? 0 : 1;
    return p;
  }
};

Picture RandomPicture(std::mt19937 &rng, Layout layout, int w, int h, std::array<int, 4> order, bool nv21) {
  Picture p{layout, w, h, order, nv21, {}, {}};
  auto pad = [&] { return int(rng() % 3 == 0 ? 0 : rng() % 17); };
  if (layout == Layout::Packed) {
    p.strides[0] = 4 * w + pad();
    p.planes[0].resize(std::size_t(p.strides[0]) * h);
  } else {
    p.strides[0] = w + pad();
    p.planes[0].resize(std::size_t(p.strides[0]) * h);
    const int planes = layout == Layout::Planar ? 3 : 2;
    for (int k = 1; k < planes; ++k) {
      p.strides[k] = (layout == Layout::Planar ? p.ChromaW() : 2 * p.ChromaW()) + pad();
      p.planes[k].resize(std::size_t(p.strides[k]) * p.ChromaH());
    }
  }
  for (auto &plane : p.planes)
    for (auto &b : plane) b = std::uint8_t(rng());
  // Some pixels fully opaque and some fully transparent, to reach every branch of "over".
  if (layout == Layout::Packed && order[3] >= 0)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t &a = p.planes[0][std::size_t(y) * p.strides[0] + 4 * x + order[3]];
        const int pick = int(rng() % 4);
        if (pick == 0) a = 255;
        if (pick == 1) a = 0;
      }
  return p;
}

// The reference: each pixel on its own.
void ReferenceBlend(const std::vector<std::uint8_t> &f, Picture &p, const Placement &pl, const YuvEncoding &coding) {
  if (p.layout == Layout::Packed) {
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) {
        const std::uint8_t *e = EntryAt(f, p.w, p.h, pl, x, y);
        if (!e || e[0] == 0) continue;
        const long a = e[0];
        const std::array<int, 3> c = PaletteRgb(e);
        std::uint8_t *px = p.planes[0].data() + std::size_t(y) * p.strides[0] + 4 * x;
        const long under = p.order[3] >= 0 ? px[p.order[3]] : 255;
        // Straight-alpha "over": alpha_out = a + under (1 - a); colour_out the weighted mean.
        const long total = a * 255 + under * (255 - a);
        for (int k = 0; k < 3; ++k)
          px[p.order[k]] = std::uint8_t(RoundDiv(c[k] * a * 255 + px[p.order[k]] * under * (255 - a), total));
        if (p.order[3] >= 0) px[p.order[3]] = std::uint8_t(RoundDiv(total, 255));
      }
    return;
  }
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const std::uint8_t *e = EntryAt(f, p.w, p.h, pl, x, y);
      if (!e || e[0] == 0) continue;
      std::uint8_t &luma = p.planes[0][std::size_t(y) * p.strides[0] + x];
      luma = std::uint8_t(RoundDiv(PaletteYcc(e, coding)[0] * long(e[0]) + luma * long(255 - e[0]), 255));
    }
  for (int cy = 0; cy < p.ChromaH(); ++cy)
    for (int cx = 0; cx < p.ChromaW(); ++cx) {
      long n = 0, sum_a = 0, sum_u = 0, sum_v = 0;
      for (int y = 2 * cy; y < std::min(2 * cy + 2, p.h); ++y)
        for (int x = 2 * cx; x < std::min(2 * cx + 2, p.w); ++x) {
          ++n;
          const std::uint8_t *e = EntryAt(f, p.w, p.h, pl, x, y);
          if (!e) continue;
          const std::array<int, 3> ycc = PaletteYcc(e, coding);
          sum_a += e[0];
          sum_u += e[0] * ycc[1];
          sum_v += e[0] * ycc[2];
        }
      if (sum_a == 0) continue;
      std::uint8_t *u, *v;
      if (p.layout == Layout::Planar) {
        u = &p.planes[1][std::size_t(cy) * p.strides[1] + cx];
        v = &p.planes[2][std::size_t(cy) * p.strides[2] + cx];
      } else {
        std::uint8_t *pair = &p.planes[1][std::size_t(cy) * p.strides[1] + 2 * cx];
        u = pair + (p.nv21 ? 1 : 0);
        v = pair + (p.nv21 ? 0 : 1);
      }
      const long whole = 255 * n;
      *u = std::uint8_t(RoundDiv(*u * (whole - sum_a) + sum_u, whole));
      *v = std::uint8_t(RoundDiv(*v * (whole - sum_a) + sum_v, whole));
    }
}

struct Kind {
  const char *name;
  Layout layout;
  std::array<int, 4> order;
  bool nv21;
};
const Kind kKinds[] = {
    {"RGBA", Layout::Packed, {0, 1, 2, 3}, false},  {"BGRA", Layout::Packed, {2, 1, 0, 3}, false},
    {"ARGB", Layout::Packed, {1, 2, 3, 0}, false},  {"ABGR", Layout::Packed, {3, 2, 1, 0}, false},
    {"RGBx", Layout::Packed, {0, 1, 2, -1}, false}, {"BGRx", Layout::Packed, {2, 1, 0, -1}, false},
    {"xRGB", Layout::Packed, {1, 2, 3, -1}, false}, {"xBGR", Layout::Packed, {3, 2, 1, -1}, false},
    {"I420", Layout::Planar, {}, false},            {"NV12", Layout::SemiPlanar, {}, false},
    {"NV21", Layout::SemiPlanar, {}, true},
};

// The first byte where two pictures differ, described; empty when they are equal.
std::string FirstDifference(const Picture &got, const Picture &want) {
  for (int k = 0; k < 3; ++k)
    for (std::size_t i = 0; i < got.planes[k].size(); ++i)
      if (got.planes[k][i] != want.planes[k][i])
        return "plane " + std::to_string(k) + " row " + std::to_string(i / got.strides[k]) + " byte " +
               std::to_string(i % got.strides[k]) + ": " + std::to_string(got.planes[k][i]) + ", want " +
               std::to_string(want.planes[k][i]);
  return "";
}

// Every layout over random sizes (odd widths and heights among them), placements (scaled,
// and 1:1 at offsets that put the frame partly or wholly off the picture) and strides;
// padding bytes must stay as they were, which the whole-buffer comparison checks.
TEST(OsdLayerTest, EveryLayoutMatchesThePerPixelReference) {
  std::mt19937 rng(20261209);
  const YuvEncoding codings[] = {{}, {YuvMatrix::Bt709, false}, {YuvMatrix::Bt601, true}, {YuvMatrix::Bt2020, false}};
  int cases = 0;
  for (const Kind &kind : kKinds)
    for (int round = 0; round < 14; ++round) {
      const std::vector<std::uint8_t> frame = RandomFrame(rng);
      const bool large = round % 7 == 6;
      const int w = large ? 600 + int(rng() % 800) : 1 + int(rng() % 97);
      const int h = large ? 400 + int(rng() % 500) : 1 + int(rng() % 83);
      Placement pl;
      pl.scale = round % 2 == 0;
      pl.x = int(rng() % 801) - 700;
      pl.y = int(rng() % 601) - 520;
      if (!pl.scale && round % 4 == 1) pl.x = int(rng() % 7) - 3, pl.y = int(rng() % 7) - 3;
      const YuvEncoding coding = codings[rng() % 4];
      Picture got = RandomPicture(rng, kind.layout, w, h, kind.order, kind.nv21);
      Picture want = got;
      OsdLayer layer;
      layer.SetYuvEncoding(coding);
      ASSERT_TRUE(layer.SetFrame(frame.data(), frame.size()));
      layer.Blend(got.View(), pl);
      ReferenceBlend(frame, want, pl, coding);
      const std::string diff = FirstDifference(got, want);
      EXPECT_EQ(diff, "") << kind.name << " " << w << "x" << h << (pl.scale ? " scaled" : " at ") << pl.x << ","
                          << pl.y << " matrix " << int(coding.matrix) << (coding.full_range ? " full" : "");
      ++cases;
    }
  EXPECT_EQ(cases, 14 * 11);
}

// A layer keeps what it worked out for one frame and placement; a new frame, a new size, a
// new placement or a new coding must all be taken into account.
TEST(OsdLayerTest, ChangesOfFrameSizePlacementAndCodingAreTakenIntoAccount) {
  std::mt19937 rng(7);
  OsdLayer layer;
  const std::vector<std::uint8_t> first = RandomFrame(rng), second = RandomFrame(rng);
  struct Use {
    const std::vector<std::uint8_t> *frame;
    int w, h;
    Placement pl;
    YuvEncoding coding;
  };
  const Use uses[] = {{&first, 63, 41, {}, {}},
                      {&first, 63, 41, {false, 5, -3}, {}},
                      {&second, 63, 41, {false, 5, -3}, {}},
                      {&second, 31, 77, {false, 5, -3}, {}},
                      {&second, 31, 77, {false, 5, -3}, {YuvMatrix::Bt709, false}},
                      {&first, 31, 77, {}, {YuvMatrix::Bt709, true}}};
  for (const Use &u : uses) {
    ASSERT_TRUE(layer.SetFrame(u.frame->data(), u.frame->size()));
    layer.SetYuvEncoding(u.coding);
    Picture got = RandomPicture(rng, Layout::Planar, u.w, u.h, {}, false);
    Picture want = got;
    layer.Blend(got.View(), u.pl);
    ReferenceBlend(*u.frame, want, u.pl, u.coding);
    EXPECT_EQ(FirstDifference(got, want), "") << u.w << "x" << u.h;
  }
}

// A chroma sample is left alone only where all four luma samples of its block are clear: one
// opaque pixel at an odd position gives its block a quarter of its colour.
TEST(OsdLayerTest, OneOpaquePixelGivesItsChromaBlockAQuarterOfItsColour) {
  std::vector<std::uint8_t> frame(1032 + kW * kH, 250);
  const std::uint8_t header[8] = {0x3E, 0x04, 0xB4, 0x08, 0x02, 0x80, 0x01, 0xE0};
  std::copy(header, header + 8, frame.begin());
  for (int i = 0; i < 256; ++i) frame[8 + 4 * i] = 255, frame[9 + 4 * i] = 81, frame[10 + 4 * i] = 90, frame[11 + 4 * i] = 240;
  frame[8 + 4 * 250] = 0;
  frame[1032 + 3 * kW + 5] = 249;  // (5, 3): the block of chroma sample (2, 1), bottom right
  OsdLayer layer;
  ASSERT_TRUE(layer.SetFrame(frame.data(), frame.size()));
  std::vector<std::uint8_t> y(kW * kH, 100), u(kW * kH / 4, 128), v(kW * kH / 4, 128);
  VideoPicture p;
  p.layout = Layout::Planar;
  p.width = kW;
  p.height = kH;
  p.planes = {y.data(), u.data(), v.data()};
  p.strides = {kW, kW / 2, kW / 2};
  layer.Blend(p, {false, 0, 0});
  EXPECT_EQ(y[3 * kW + 5], 81);
  EXPECT_EQ(u[1 * kW / 2 + 2], (128 * 3 + 90 + 2) / 4);
  EXPECT_EQ(v[1 * kW / 2 + 2], (128 * 3 + 240 + 2) / 4);
  EXPECT_EQ(std::count(u.begin(), u.end(), 128), std::ptrdiff_t(u.size() - 1));
  EXPECT_EQ(std::count(v.begin(), v.end(), 128), std::ptrdiff_t(v.size() - 1));
}

TEST(OsdLayerTest, RgbToYccGivesEachMatrixsWellKnownValues) {
  using C = std::array<std::uint8_t, 3>;
  EXPECT_EQ(vxgst::RgbToYcc({255, 255, 255}, {YuvMatrix::Bt709, false}), (C{235, 128, 128}));
  EXPECT_EQ(vxgst::RgbToYcc({0, 0, 0}, {YuvMatrix::Bt709, false}), (C{16, 128, 128}));
  EXPECT_EQ(vxgst::RgbToYcc({255, 0, 0}, {YuvMatrix::Bt709, false}), (C{63, 102, 240}));
  EXPECT_EQ(vxgst::RgbToYcc({255, 0, 0}, {YuvMatrix::Bt601, false}), (C{81, 90, 240}));
  EXPECT_EQ(vxgst::RgbToYcc({255, 255, 255}, {YuvMatrix::Bt601, true}), (C{255, 128, 128}));
  EXPECT_EQ(vxgst::RgbToYcc({0, 0, 255}, {YuvMatrix::Bt601, true}), (C{29, 255, 107}));
}

TEST(OsdLayerTest, OnlyAFrameStreamOfTheFramesSizeIsTaken) {
  OsdLayer layer;
  std::vector<std::uint8_t> frame(1032 + kW * kH, 250);
  EXPECT_FALSE(layer.SetFrame(frame.data(), frame.size()));  // no header
  const std::uint8_t header[8] = {0x3E, 0x04, 0xB4, 0x08, 0x02, 0x80, 0x01, 0xE0};
  std::copy(header, header + 8, frame.begin());
  EXPECT_FALSE(layer.SetFrame(frame.data(), frame.size() - 1));
  EXPECT_FALSE(layer.SetFrame(nullptr, 0));
  std::vector<std::uint8_t> rgba(4 * kW * kH);
  EXPECT_FALSE(layer.CopyRgba(rgba.data()));
  EXPECT_TRUE(layer.SetFrame(frame.data(), frame.size()));
  EXPECT_TRUE(layer.CopyRgba(rgba.data()));
}

}  // namespace
