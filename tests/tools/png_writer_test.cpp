// The player's own PNG writer, read back with libpng: the pixels come back exactly, and the
// flat pictures snapshots mostly are stay small.
#include <png.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "images.h"

namespace {

// Decodes with libpng; empty on failure.
std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t> &file, int &width, int &height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width), height = static_cast<int>(image.height);
  return rgb;
}

void ExpectRoundTrip(const std::vector<std::uint8_t> &rgb, int w, int h) {
  const std::vector<std::uint8_t> png = vxplay::EncodePng(rgb.data(), w, h);
  int dw = 0, dh = 0;
  const std::vector<std::uint8_t> back = Decode(png, dw, dh);
  ASSERT_FALSE(back.empty()) << w << "x" << h;
  EXPECT_EQ(dw, w);
  EXPECT_EQ(dh, h);
  EXPECT_EQ(back, rgb) << w << "x" << h;
}

TEST(PngWriterTest, PixelsComeBackExactly) {
  std::mt19937 random(7);
  // Noise (literals only), a single pixel, and runs of every length around the limits of the
  // deflate length codes (3, 258 and beyond), mixed with noise.
  for (const auto &[w, h] : {std::pair{1, 1}, std::pair{37, 5}, std::pair{640, 3}}) {
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(w) * h * 3);
    for (auto &b : noise) b = static_cast<std::uint8_t>(random());
    ExpectRoundTrip(noise, w, h);
  }
  const int w = 400, h = 12;
  std::vector<std::uint8_t> runs(static_cast<std::size_t>(w) * h * 3);
  std::size_t i = 0;
  for (int run = 1; i < runs.size(); run = run % 300 + 1) {
    const auto colour = static_cast<std::uint8_t>(random());
    for (int k = 0; k < run * 3 && i < runs.size(); ++k) runs[i++] = k % 3 ? colour : 0x80;
    if (i < runs.size()) runs[i++] = static_cast<std::uint8_t>(random());
  }
  ExpectRoundTrip(runs, w, h);
}

TEST(PngWriterTest, FlatFramesStaySmall) {
  std::vector<std::uint8_t> green(640 * 480 * 3);
  for (std::size_t i = 1; i < green.size(); i += 3) green[i] = 0xFF;
  ExpectRoundTrip(green, 640, 480);
  EXPECT_LT(vxplay::EncodePng(green.data(), 640, 480).size(), 10000u);
}

}  // namespace
