#include "platform/png.h"

#include <gtest/gtest.h>
#include <png.h>

#include "platform/bitmap.h"
#include "platform/exceptions.h"

namespace vx {
namespace {

// Decodes with libpng's simplified reader: as RGB, and the colour type of the header.
struct Decoded {
  int width = 0, height = 0;
  bool paletted = false;
  std::vector<std::uint8_t> rgb;
};

Decoded Decode(const std::vector<std::byte> &bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  EXPECT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()));
  Decoded d;
  d.width = static_cast<int>(image.width);
  d.height = static_cast<int>(image.height);
  d.paletted = (image.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
  image.format = PNG_FORMAT_RGB;
  d.rgb.resize(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr));
  return d;
}

TEST(Png, EightBitKeepsThePaletteColours) {
  TBitmap b;
  std::vector<TPaletteEntry> pal(256);
  pal[1] = {255, 0, 0, 0};
  pal[7] = {0, 0, 255, 0};
  b.SetPixelFormat(TPixelFormat::pf8bit);
  b.SetPalette(pal);
  b.SetSize(3, 2);
  b.ScanLine(0)[0] = 1;
  b.ScanLine(1)[2] = 7;
  const Decoded d = Decode(EncodePng(b));
  ASSERT_EQ(d.width, 3);
  ASSERT_EQ(d.height, 2);
  EXPECT_TRUE(d.paletted);
  EXPECT_EQ(std::vector<std::uint8_t>(d.rgb.begin(), d.rgb.begin() + 6),
            (std::vector<std::uint8_t>{255, 0, 0, 0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(d.rgb.end() - 3, d.rgb.end()),
            (std::vector<std::uint8_t>{0, 0, 255}));
}

TEST(Png, TrueColourBitmapsBecomeRgb) {
  for (TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TBitmap b;
    b.SetPixelFormat(format);
    b.SetSize(5, 3);
    b.SetPixel(4, 2, RGB(10, 20, 30));
    b.SetPixel(0, 0, RGB(200, 100, 50));
    const Decoded d = Decode(EncodePng(b));
    ASSERT_EQ(d.rgb.size(), 5u * 3 * 3);
    EXPECT_FALSE(d.paletted);
    EXPECT_EQ(d.rgb[0], 200);
    EXPECT_EQ(d.rgb[1], 100);
    EXPECT_EQ(d.rgb[2], 50);
    EXPECT_EQ(d.rgb[d.rgb.size() - 3], 10);
    EXPECT_EQ(d.rgb[d.rgb.size() - 1], 30);
  }
}

TEST(Png, EmptyBitmapsAndUnwritablePathsRaise) {
  TBitmap empty;
  EXPECT_THROW(EncodePng(empty), EInvalidOperation);
  TBitmap b;
  b.SetSize(1, 1);
  EXPECT_THROW(SavePng(b, "/nonexistent-dir/x.png"), EFCreateError);
}

// A premultiplied bitmap round trip: written with straight alpha, read back as straight alpha.
TEST(PngDecode, AlphaSurvivesAWriteAndARead) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetSize(3, 2);
  std::uint8_t *p = b.ScanLine(0);
  const std::uint8_t px[12] = {0, 0, 255, 255, 64, 0, 0, 128, 0, 0, 0, 0};  // red, half blue, clear
  std::copy(px, px + 12, p);
  const std::vector<std::byte> png = EncodePng(b);
  ASSERT_TRUE(IsPng(png));
  TBitmap out;
  DecodePng(png, out);
  ASSERT_EQ(out.Width(), 3);
  ASSERT_EQ(out.Height(), 2);
  EXPECT_EQ(out.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_TRUE(out.HasAlphaChannel());
  const std::uint8_t *q = out.ScanLine(0);
  EXPECT_EQ(q[2], 255);
  EXPECT_EQ(q[3], 255);
  EXPECT_EQ(q[4], 128);  // straight blue 128/128
  EXPECT_EQ(q[7], 128);
  EXPECT_EQ(q[11], 0);
}

TEST(PngDecode, CorruptOrTruncatedFilesRaiseAndLeaveTheBitmap) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pfARGB32);
  b.SetSize(4, 4);
  const std::vector<std::byte> png = EncodePng(b);
  TBitmap target;
  target.SetSize(5, 5);
  const std::vector<std::byte> cases[] = {
      {},
      {png.begin(), png.begin() + 8},                     // the signature alone
      {png.begin(), png.begin() + png.size() / 2},        // cut in its data
      {std::byte{'B'}, std::byte{'M'}, std::byte{0}, std::byte{0}},  // no PNG at all
  };
  for (const auto &bytes : cases) {
    EXPECT_THROW(DecodePng(bytes, target), EInvalidGraphic) << bytes.size();
    EXPECT_EQ(target.Width(), 5);
    EXPECT_EQ(target.Height(), 5);
  }
}

}  // namespace
}  // namespace vx
