#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <random>
#include <string>

#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/stream.h"
#include "tests/support/bitmaps.h"
#include "tests/support/bmp_builder.h"

namespace vx {
namespace {

using testing::BmpSpec;
using testing::BuildBmp;
using testing::Bytes;
using testing::PadRows;
using testing::Poke32;

TEST(BmpRoundTrip, EachSavedDepthLoadsBackIdentically) {
  std::mt19937 rng(77);
  for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    for (int w : {1, 3, 5, 17}) {
      TPalette pal = testing::RandomPalette(rng);
      auto src = testing::MakeBitmap(w, 4, f, clBlack, &pal);
      testing::FillRandom(*src, rng);
      const auto bytes = src->SaveToBytes();
      EXPECT_EQ(bytes.size(), 54 + (f == TPixelFormat::pf8bit ? 1024u : 0u) +
                                  static_cast<std::size_t>(src->BytesPerScanLine()) * 4);
      TBitmap back;
      back.LoadFromBytes(bytes);
      ASSERT_EQ(back.Width(), w);
      ASSERT_EQ(back.Height(), 4);
      ASSERT_EQ(back.PixelFormat(), f);
      if (f == TPixelFormat::pf8bit) { EXPECT_EQ(back.Palette(), pal); }
      const int row_bytes = w * (f == TPixelFormat::pf8bit ? 1 : f == TPixelFormat::pf24bit ? 3 : 4);
      for (int y = 0; y < 4; ++y)
        ASSERT_EQ(0, std::memcmp(back.ScanLine(y), src->ScanLine(y), static_cast<std::size_t>(row_bytes)))
            << "format " << static_cast<int>(f) << " width " << w << " row " << y;
    }
  }
}

TEST(BmpRoundTrip, SavedFilesAreBottomUp) {
  auto bmp = testing::MakeBitmap(1, 2, TPixelFormat::pf24bit, clBlack);
  bmp->SetPixel(0, 0, RGB(1, 2, 3));  // top row
  const auto bytes = bmp->SaveToBytes();
  EXPECT_EQ(bytes[54 + 4 + 2], std::byte{1});  // the second stored row is the top one
  EXPECT_EQ(static_cast<std::int32_t>(std::to_integer<int>(bytes[22])), 2);
}

TEST(BmpRoundTrip, StreamAndFileWrappers) {
  auto bmp = testing::MakeBitmap(3, 2, TPixelFormat::pf24bit, clRed);
  TMemoryStream s;
  s.WriteBuffer("xy", 2);
  bmp->SaveToStream(s);
  s.WriteBuffer("tail", 4);
  s.SetPosition(2);
  TBitmap back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.GetPixel(2, 1), clRed);
  EXPECT_EQ(s.Position(), s.Size() - 4);  // the stream is left right after the picture

  const auto dir = std::filesystem::temp_directory_path() / ("vxosd_bmp_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  bmp->SaveToFile((dir / "a.bmp").string());
  TBitmap fromfile;
  fromfile.LoadFromFile((dir / "a.bmp").string());
  EXPECT_EQ(fromfile.GetPixel(0, 0), clRed);
  EXPECT_THROW(fromfile.LoadFromFile((dir / "none.bmp").string()), EFOpenError);
  EXPECT_EQ(fromfile.Width(), 3);
  std::filesystem::remove_all(dir);
}

// The fuzzer's seeds are meant to be valid pictures of each kind; keep them so.
TEST(BmpDecode, FuzzSeedsAllLoad) {
  const char *root = std::getenv("VXOSD_SOURCE_DIR");
  const std::filesystem::path dir = std::filesystem::path(root ? root : ".") / "fuzz/corpus/bmp";
  int n = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dir)) {
    TBitmap bmp;
    EXPECT_NO_THROW(bmp.LoadFromFile(entry.path().string())) << entry.path();
    EXPECT_FALSE(bmp.Empty()) << entry.path();
    ++n;
  }
  EXPECT_GE(n, 10);
}

TEST(BmpDecode, OneBitTopDownAndBottomUp) {
  BmpSpec s;
  s.width = 10;
  s.height = 2;
  s.bpp = 1;
  s.palette = {0x000000, 0xFF0000};
  s.pixels = PadRows({0b10000000, 0b01000000, 0b00000000, 0b11000000}, 2);  // rows bottom-up
  TBitmap bmp;
  bmp.LoadFromBytes(BuildBmp(s));
  EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(bmp.GetPixel(0, 1), clRed);  // first stored row is the bottom one
  EXPECT_EQ(bmp.GetPixel(9, 1), clRed);
  EXPECT_EQ(bmp.GetPixel(8, 0), clRed);
  EXPECT_EQ(bmp.GetPixel(9, 0), clRed);
  EXPECT_EQ(testing::CountColor(bmp, clRed), 4);
  s.height = -2;
  bmp.LoadFromBytes(BuildBmp(s));
  EXPECT_EQ(bmp.GetPixel(0, 0), clRed);
  EXPECT_EQ(bmp.GetPixel(8, 1), clRed);
}

TEST(BmpDecode, FourBitWithAShortPalette) {
  BmpSpec s;
  s.width = 3;
  s.height = -1;
  s.bpp = 4;
  s.palette = {0x0000FF, 0x00FF00, 0xFF0000};  // 3 of 16 entries
  s.pixels = PadRows({0x21, 0x50}, 2);
  TBitmap bmp;
  bmp.LoadFromBytes(BuildBmp(s));
  EXPECT_EQ(bmp.GetPixel(0, 0), clRed);
  EXPECT_EQ(bmp.GetPixel(1, 0), clLime);
  EXPECT_EQ(bmp.GetPixel(2, 0), clBlack);  // index 5, past the palette: black
  EXPECT_EQ(bmp.ScanLine(0)[2], 5);
  EXPECT_EQ(bmp.Palette()[3], TPaletteEntry{});
}

TEST(BmpDecode, SixteenBitDefaultAndBitFields) {
  BmpSpec s;
  s.width = 2;
  s.height = -1;
  s.bpp = 16;
  s.pixels = {0x00, 0x7C, 0x1F, 0x00};  // 5-5-5: pure red, pure blue
  TBitmap bmp;
  bmp.LoadFromBytes(BuildBmp(s));
  EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(bmp.GetPixel(0, 0), clRed);
  EXPECT_EQ(bmp.GetPixel(1, 0), clBlue);
  s.compression = 3;
  s.masks = {0xF800, 0x07E0, 0x001F};
  s.pixels = {0xE0, 0x07, 0x10, 0x84};  // 5-6-5: pure green, (16,32,16)/(31,63,31)
  bmp.LoadFromBytes(BuildBmp(s));
  EXPECT_EQ(bmp.GetPixel(0, 0), clLime);
  EXPECT_EQ(bmp.GetPixel(1, 0), RGB(132, 130, 132));
}

TEST(BmpDecode, ThirtyTwoBitWithV5HeaderAndCoreHeader) {
  BmpSpec s;
  s.width = 1;
  s.height = 1;
  s.bpp = 32;
  s.header_size = 124;
  s.compression = 3;
  s.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0};
  s.pixels = {0x00, 0x11, 0x22, 0x33};
  TBitmap bmp;
  bmp.LoadFromBytes(BuildBmp(s));
  EXPECT_EQ(bmp.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(bmp.GetPixel(0, 0), RGB(0x11, 0x22, 0x33));

  BmpSpec c;
  c.header_size = 12;
  c.width = 2;
  c.height = 1;
  c.bpp = 8;
  c.palette = {0x102030, 0x405060};
  c.pixels = {1, 0, 0, 0};
  bmp.LoadFromBytes(BuildBmp(c));
  EXPECT_EQ(bmp.GetPixel(0, 0), RGB(0x40, 0x50, 0x60));
  EXPECT_EQ(bmp.GetPixel(1, 0), RGB(0x10, 0x20, 0x30));
}

TEST(BmpDecode, Rle8WithRunsAbsoluteRunsDeltaAndEndOfLine) {
  BmpSpec s;
  s.width = 6;
  s.height = 3;
  s.bpp = 8;
  s.compression = 1;
  s.palette = {0, 0xFF0000, 0x00FF00, 0x0000FF};
  s.pixels = {3, 1,           // three of index 1 (bottom row)
              0, 3, 2, 3, 2, 0,  // absolute: 2 3 2, padded
              0, 0,           // end of line
              0, 2, 1, 1,     // delta: right 1, up 1 -> row 2 from bottom (top), x 1
              2, 3,           // two of index 3
              0, 1};          // end of bitmap
  TBitmap bmp;
  bmp.LoadFromBytes(BuildBmp(s));
  const std::uint8_t *bottom = bmp.ScanLine(2), *middle = bmp.ScanLine(1), *top = bmp.ScanLine(0);
  EXPECT_EQ(std::vector<int>(bottom, bottom + 6), (std::vector<int>{1, 1, 1, 2, 3, 2}));
  EXPECT_EQ(std::vector<int>(middle, middle + 6), (std::vector<int>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(std::vector<int>(top, top + 6), (std::vector<int>{0, 3, 3, 0, 0, 0}));
}

TEST(BmpDecode, Rle4) {
  BmpSpec s;
  s.width = 5;
  s.height = 1;
  s.bpp = 4;
  s.compression = 2;
  s.palette = {0, 0xFF0000};
  s.pixels = {3, 0x12, 0, 3, 0x45, 0x60, 0, 1};  // 1 2 1, then absolute 4 5 6: one too many
  TBitmap bmp;
  EXPECT_THROW(bmp.LoadFromBytes(BuildBmp(s)), EInvalidGraphic);
  s.width = 6;
  bmp.LoadFromBytes(BuildBmp(s));
  const std::uint8_t *r = bmp.ScanLine(0);
  EXPECT_EQ(std::vector<int>(r, r + 6), (std::vector<int>{1, 2, 1, 4, 5, 6}));
}

// Corrupt input: each case names its problem, and the bitmap keeps its old picture.
struct Corrupt {
  const char *name;
  std::vector<std::byte> bytes;
  const char *message;
};

std::vector<Corrupt> CorruptCases() {
  std::vector<Corrupt> v;
  BmpSpec ok;
  ok.width = 2;
  ok.height = 2;
  ok.bpp = 24;
  ok.pixels = std::vector<std::uint8_t>(16, 0x80);
  const auto good = BuildBmp(ok);

  v.push_back({"empty", {}, "truncated file header"});
  v.push_back({"short", Bytes({'B', 'M', 0, 0, 0, 0}), "truncated file header"});
  v.push_back({"signature", Bytes({'P', 'K', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}), "BM signature"});
  {
    auto b = good;
    Poke32(b, 14, 41);
    v.push_back({"header size", b, "unsupported info header size 41"});
  }
  {
    auto b = good;
    b.resize(30);
    v.push_back({"truncated header", b, "truncated info header"});
  }
  {
    auto b = good;
    Poke32(b, 18, 0x80000000u);
    v.push_back({"negative width", b, "negative width"});
  }
  {
    auto b = good;
    Poke32(b, 18, 100000);
    Poke32(b, 22, 100000);
    v.push_back({"absurd size", b, "exceeds the 64 MiB limit"});
  }
  {
    auto b = good;
    Poke32(b, 22, 0x80000000u);
    v.push_back({"min height", b, "invalid height"});
  }
  {
    auto b = good;
    b[28] = std::byte{7};
    v.push_back({"depth", b, "unsupported bit depth 7"});
  }
  {
    auto b = good;
    Poke32(b, 30, 4);
    v.push_back({"jpeg", b, "unsupported compression 4"});
  }
  {
    auto b = good;
    Poke32(b, 30, 1);
    v.push_back({"rle8 at 24 bits", b, "RLE8 compression needs 8 bits"});
  }
  {
    auto b = good;
    Poke32(b, 10, 1000);
    v.push_back({"offset past end", b, "pixel data offset 1000 outside the file"});
  }
  {
    auto b = good;
    Poke32(b, 10, 20);
    v.push_back({"offset inside header", b, "pixel data offset 20 outside the file"});
  }
  {
    auto b = good;
    b.resize(b.size() - 1);
    v.push_back({"truncated pixels", b, "truncated pixel data"});
  }
  {
    BmpSpec s;
    s.bpp = 8;
    s.palette = {0, 1, 2};
    s.colors_used = 300;
    s.pixels = {0, 0, 0, 0};
    v.push_back({"palette count", BuildBmp(s), "palette of 300 entries, more than 256"});
  }
  {
    BmpSpec s;
    s.bpp = 8;
    s.palette = {0, 1};
    s.colors_used = 200;
    s.pixels = {};
    auto b = BuildBmp(s);
    b.resize(b.size() - 1);
    v.push_back({"palette past end", b, "truncated palette"});
  }
  {
    BmpSpec s;
    s.bpp = 16;
    s.compression = 3;
    s.masks = {0xF0F0, 0x0F00, 0x000F};
    s.pixels = {0, 0, 0, 0};
    v.push_back({"mask", BuildBmp(s), "red bit field mask is not contiguous"});
  }
  {
    BmpSpec s;
    s.bpp = 16;
    s.compression = 3;
    s.masks = {0xF800};
    v.push_back({"masks truncated", BuildBmp(s), "truncated bit field masks"});
  }
  {
    BmpSpec s;
    s.width = 4;
    s.height = 2;
    s.bpp = 8;
    s.compression = 1;
    s.palette = {0};
    s.pixels = {5, 1, 0, 1};
    v.push_back({"rle run", BuildBmp(s), "RLE run past the end of the row"});
    s.pixels = {0, 5, 1, 2, 3, 4, 5, 0};
    v.push_back({"rle absolute", BuildBmp(s), "RLE run past the end of the row"});
    s.pixels = {0, 2, 0, 3};
    v.push_back({"rle delta", BuildBmp(s), "RLE delta past the image"});
    s.pixels = {0, 0, 0, 0, 1, 1};
    v.push_back({"rle rows", BuildBmp(s), "RLE data past the last row"});
    s.pixels = {0, 4, 1, 2};
    v.push_back({"rle truncated", BuildBmp(s), "truncated RLE absolute run"});
    s.pixels = {2, 1, 0};
    v.push_back({"rle odd", BuildBmp(s), "truncated RLE data"});
    s.height = -2;
    s.pixels = {0, 1};
    v.push_back({"rle top-down", BuildBmp(s), "top-down RLE"});
  }
  return v;
}

TEST(BmpCorrupt, RejectedWithANamedProblemAndTheBitmapUnchanged) {
  for (const Corrupt &c : CorruptCases()) {
    std::mt19937 rng(3);
    TPalette pal = testing::RandomPalette(rng);
    auto bmp = testing::MakeBitmap(5, 3, TPixelFormat::pf8bit, clBlack, &pal);
    testing::FillRandom(*bmp, rng);
    const auto before = bmp->SaveToBytes();
    try {
      bmp->LoadFromBytes(c.bytes);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const EInvalidGraphic &e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.name << ": got \"" << e.what() << "\"";
    }
    EXPECT_EQ(bmp->SaveToBytes(), before) << c.name;
    EXPECT_EQ(bmp->PixelFormat(), TPixelFormat::pf8bit) << c.name;
    // Streams behave the same.
    TSpanStream s(c.bytes);
    EXPECT_THROW(bmp->LoadFromStream(s), EInvalidGraphic) << c.name;
    EXPECT_EQ(bmp->SaveToBytes(), before) << c.name;
  }
}

TEST(BmpCorrupt, ExternalBitmapsRefuseLoading) {
  std::vector<std::uint8_t> mem(16);
  TBitmap bmp;
  bmp.AttachExternal(mem.data(), 2, 2, 8, TPixelFormat::pf24bit);
  auto other = testing::MakeBitmap(1, 1, TPixelFormat::pf24bit);
  EXPECT_THROW(bmp.LoadFromBytes(other->SaveToBytes()), EInvalidOperation);
  EXPECT_EQ(bmp.Width(), 2);
}

}  // namespace
}  // namespace vx
