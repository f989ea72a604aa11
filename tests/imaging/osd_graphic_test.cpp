#include "imaging/osd_graphic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/canvas.h"
#include "platform/exceptions.h"

namespace vx {
namespace {

std::array<std::uint8_t, 4> CardRow(int i) {
  const auto &c = CardPalette();
  return {c[4 * i], c[4 * i + 1], c[4 * i + 2], c[4 * i + 3]};
}

std::vector<std::uint8_t> Saved(TOSDGraphic &g) {
  TMemoryStream s;
  g.SaveToFrameStream(s);
  const auto bytes = s.Bytes();
  std::vector<std::uint8_t> out(bytes.size());
  std::memcpy(out.data(), bytes.data(), bytes.size());
  return out;
}

TEST(FramePaletteTest, FixedEntries) {
  const TPalette &p = FramePalette();
  EXPECT_EQ(p[0], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(p[8], (TPaletteEntry{192, 220, 192, 0}));
  EXPECT_EQ(p[9], (TPaletteEntry{166, 202, 240, 0}));
  EXPECT_EQ(p[10], (TPaletteEntry{64, 32, 0, 0}));
  EXPECT_EQ(p[127], (TPaletteEntry{224, 224, 64, 0}));
  EXPECT_EQ(p[245], (TPaletteEntry{160, 192, 192, 0}));
  EXPECT_EQ(p[246], (TPaletteEntry{255, 251, 240, 0}));
  EXPECT_EQ(p[250], (TPaletteEntry{0, 255, 0, 0}));
  EXPECT_EQ(p[255], (TPaletteEntry{255, 255, 255, 0}));
}

TEST(CardPaletteTest, TellingRows) {
  EXPECT_EQ(CardRow(0), (std::array<std::uint8_t, 4>{255, 16, 128, 128}));
  EXPECT_EQ(CardRow(249), (std::array<std::uint8_t, 4>{255, 81, 90, 239}));
  EXPECT_EQ(CardRow(250), (std::array<std::uint8_t, 4>{255, 144, 53, 34}));
  EXPECT_EQ(CardRow(252), (std::array<std::uint8_t, 4>{255, 40, 239, 109}));
  EXPECT_EQ(CardRow(255), (std::array<std::uint8_t, 4>{255, 235, 128, 128}));
}

TEST(CardPaletteTest, GraysKeepNeutralChroma) {
  for (int i = 0; i < 256; ++i) {
    const TPaletteEntry &e = FramePalette()[i];
    if (e.peRed != e.peGreen || e.peGreen != e.peBlue) continue;
    SCOPED_TRACE(i);
    EXPECT_EQ(CardRow(i)[2], 128);
    EXPECT_EQ(CardRow(i)[3], 128);
  }
}

TEST(NearestPaletteIndexTest, MatchesAndTies) {
  EXPECT_EQ(NearestPaletteIndex(0x00FE00), 250);  // distance 1
  EXPECT_EQ(NearestPaletteIndex(0x0000FF), 249);  // pure red
  EXPECT_EQ(NearestPaletteIndex(0x000000), 0);
  EXPECT_EQ(NearestPaletteIndex(0x00FF00), kKeyIndex);
  // (128,128,128) is both 164 and 248: an exact match returns the first.
  EXPECT_EQ(NearestPaletteIndex(RGB(128, 128, 128)), 164);
  // (48,0,0) is 48 from entry 0 (0,0,0) and from entry 10 (64,32,0): the lower wins.
  EXPECT_EQ(NearestPaletteIndex(RGB(48, 0, 0)), 0);
  EXPECT_EQ(TOSDGraphic::NearestPaletteIndex(0xFFFFFF), 255);
}

TEST(OSDGraphicTest, FreshIsEmpty8BitWithFramePalette) {
  TOSDGraphic g;
  EXPECT_EQ(g.Width(), 0);
  EXPECT_EQ(g.Height(), 0);
  EXPECT_EQ(g.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(g.Palette(), FramePalette());
  EXPECT_TRUE(g.ColorLevels().empty());
}

TEST(FrameStreamTest, KeyFrameBytesAreExact) {
  TOSDGraphic g;
  g.SetSize(kFrameWidth, kFrameHeight);
  g.Canvas().Brush.Color = kKeyColor;
  g.Canvas().FillRect(Rect(0, 0, kFrameWidth, kFrameHeight));
  const auto bytes = Saved(g);
  ASSERT_EQ(bytes.size(), 308232u);
  const std::uint8_t header[8] = {0x3E, 0x04, 0xB4, 0x08, 0x02, 0x80, 0x01, 0xE0};
  EXPECT_EQ(0, std::memcmp(bytes.data(), header, 8));
  EXPECT_EQ(0, std::memcmp(bytes.data() + 8, CardPalette().data(), 1024));
  EXPECT_TRUE(std::all_of(bytes.begin() + 1032, bytes.end(), [](std::uint8_t b) { return b == 250; }));

  std::vector<std::byte> direct(kFrameStreamBytes);
  EXPECT_EQ(g.SaveToFrameBytes(direct), kFrameStreamBytes);
  EXPECT_EQ(0, std::memcmp(direct.data(), bytes.data(), bytes.size()));
  std::vector<std::byte> small(100);
  EXPECT_THROW(g.SaveToFrameBytes(small), EInvalidOperation);
}

TEST(FrameStreamTest, RowsHaveNoPaddingAndGoTopDown) {
  TOSDGraphic g;
  g.SetSize(3, 2);  // scan lines padded to 4 bytes in the bitmap, not in the stream
  g.ScanLine(0)[0] = 1, g.ScanLine(0)[1] = 2, g.ScanLine(0)[2] = 3;
  g.ScanLine(1)[0] = 4, g.ScanLine(1)[1] = 5, g.ScanLine(1)[2] = 6;
  const auto bytes = Saved(g);
  ASSERT_EQ(bytes.size(), 1032u + 6);
  const std::uint8_t header[8] = {0x3E, 0x00, 0x04, 0x0E, 0x00, 0x03, 0x00, 0x02};
  EXPECT_EQ(0, std::memcmp(bytes.data(), header, 8));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 1032, bytes.end()),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(FrameStreamTest, OtherDepthIsConvertedBeforeSaving) {
  TOSDGraphic g;
  g.SetPixelFormat(TPixelFormat::pf24bit);
  g.SetSize(2, 1);
  g.SetPixel(0, 0, clRed);
  g.SetPixel(1, 0, clLime);
  const auto bytes = Saved(g);
  ASSERT_EQ(bytes.size(), 1034u);
  EXPECT_EQ(bytes[1032], 249);
  EXPECT_EQ(bytes[1033], 250);
}

TEST(ColorLevelTest, LaterRecordWinsAndRecordsAreReadable) {
  TOSDGraphic g;
  g.SetSize(4, 4);
  g.AddColorLevel("root", kKeyColor, 0);
  EXPECT_EQ(g.ColorLevels(), (std::vector<std::string>{"root=00,FA"}));
  EXPECT_EQ(Saved(g)[8 + 4 * 250], 0);
  g.AddColorLevel("root", kKeyColor, 0x80);
  EXPECT_EQ(Saved(g)[8 + 4 * 250], 0x80);
  // Only the A byte of the entry changes.
  EXPECT_EQ(Saved(g)[8 + 4 * 250 + 1], 144);
  EXPECT_EQ(Saved(g)[8 + 4 * 249], 255);
}

TEST(ColorLevelTest, LevelsOutsideOneByteAreClamped) {
  TOSDGraphic g;
  g.AddColorLevel("a", clRed, 300);
  g.AddColorLevel("b", clBlue, -7);
  g.AddColorLevel("c", clWhite, 0x1FF);
  EXPECT_EQ(g.ColorLevels(), (std::vector<std::string>{"a=FF,F9", "b=00,FC", "c=FF,FF"}));
  const auto palette = g.BuildCardPalette();
  EXPECT_EQ(palette[4 * 249], 255);
  EXPECT_EQ(palette[4 * 252], 0);
}

TEST(ColorLevelTest, RemoveIgnoresCaseAndKeepsOrder) {
  TOSDGraphic g;
  g.RemoveColorLevels("root");  // empty list: nothing happens
  EXPECT_TRUE(g.ColorLevels().empty());
  g.AddColorLevel("title", clRed, 1);
  g.AddColorLevel("root", kKeyColor, 0);
  g.AddColorLevel("Root", clBlue, 2);
  g.AddColorLevel("rooted", clWhite, 3);
  g.AddColorLevel("logo", clBlack, 4);
  g.RemoveColorLevels("ROOT");
  EXPECT_EQ(g.ColorLevels(), (std::vector<std::string>{"title=01,F9", "rooted=03,FF", "logo=04,00"}));
}

TEST(ColorLevelTest, NamesContainingEqualsSignsStayWhole) {
  TOSDGraphic g;
  g.AddColorLevel("a=b", clRed, 0x10);
  g.AddColorLevel("a", clBlue, 0x20);
  EXPECT_EQ(g.BuildCardPalette()[4 * 249], 0x10);
  g.RemoveColorLevels("a");
  EXPECT_EQ(g.ColorLevels(), (std::vector<std::string>{"a=b=10,F9"}));
  g.RemoveColorLevels("A=B");
  EXPECT_TRUE(g.ColorLevels().empty());
}

TEST(ColorLevelTest, RecordStaysBoundedUnderRepeatedSets) {
  TOSDGraphic g;
  for (int i = 0; i < 10000; ++i) {
    g.AddColorLevel("title", clRed, i & 0xFF);
    g.AddColorLevel("TITLE", clBlue, 7);
  }
  EXPECT_EQ(g.ColorLevels().size(), 2u);
  EXPECT_EQ(g.ColorLevels().back(), "TITLE=07,FC");
}

// The bounded record must give exactly the card palette that the plain append-only record
// (every entry kept, later entries winning) gives, whatever the host does.
TEST(ColorLevelTest, BoundedRecordReplaysLikeAppendOnlyRecord) {
  struct Entry {
    std::string name;
    std::uint8_t level, index;
  };
  auto lower = [](std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::vector<std::string> names = {"root", "Root", "ROOT", "title", "Title", "logo", "a=b"};
  const std::vector<TColor> colors = {kKeyColor, clRed, clBlue, 0x00FE00, 0x123456, clWhite, 0};
  std::mt19937 rng(12345);
  for (int run = 0; run < 200; ++run) {
    TOSDGraphic g;
    std::vector<Entry> plain;
    const int steps = 1 + static_cast<int>(rng() % 300);
    for (int s = 0; s < steps; ++s) {
      const std::string &name = names[rng() % names.size()];
      if (rng() % 4 == 0) {
        g.RemoveColorLevels(name);
        std::erase_if(plain, [&](const Entry &e) { return lower(e.name) == lower(name); });
      } else {
        const TColor color = colors[rng() % colors.size()];
        const int level = static_cast<int>(rng() % 400) - 50;
        g.AddColorLevel(name, color, level);
        plain.push_back({name, static_cast<std::uint8_t>(std::clamp(level, 0, 255)),
                         NearestPaletteIndex(color)});
      }
      TCardPalette expected = CardPalette();
      for (const Entry &e : plain) expected[4 * e.index] = e.level;
      ASSERT_EQ(g.BuildCardPalette(), expected) << "run " << run << " step " << s;
    }
    // The record itself: the plain one without the entries a later one of the same name and
    // index supersedes, in the same order.
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < plain.size(); ++i) {
      const Entry &e = plain[i];
      if (std::any_of(plain.begin() + i + 1, plain.end(), [&](const Entry &later) {
            return later.index == e.index && lower(later.name) == lower(e.name);
          }))
        continue;
      char value[8];
      std::snprintf(value, sizeof value, "=%.2X,%.2X", e.level, e.index);
      kept.push_back(e.name + value);
    }
    EXPECT_EQ(g.ColorLevels(), kept) << "run " << run;
  }
}

TEST(FrameStreamReaderTest, RoundTripKeepsSizeAndIndices) {
  TOSDGraphic a;
  a.SetSize(17, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 17; ++x) a.ScanLine(y)[x] = static_cast<std::uint8_t>(x * 13 + y * 7);
  a.AddColorLevel("root", kKeyColor, 0);
  TMemoryStream s;
  a.SaveToFrameStream(s);
  s.SetPosition(0);
  TOSDGraphic b;
  b.LoadFromFrameStream(s);
  ASSERT_EQ(b.Width(), 17);
  ASSERT_EQ(b.Height(), 5);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b.Palette(), FramePalette());
  for (int y = 0; y < 5; ++y) EXPECT_EQ(0, std::memcmp(a.ScanLine(y), b.ScanLine(y), 17));
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_TRUE(b.ColorLevels().empty());  // the levels travel in the palette, not the record
}

class FrameStreamFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g.SetSize(2, 2);
    g.ScanLine(0)[0] = 9;
  }
  void ExpectUnchanged() {
    EXPECT_EQ(g.Width(), 2);
    EXPECT_EQ(g.Height(), 2);
    EXPECT_EQ(g.ScanLine(0)[0], 9);
  }
  TOSDGraphic g;
};

TEST_F(FrameStreamFailureTest, BmpIsNotAFrameStream) {
  TOSDGraphic bmp_source;
  bmp_source.SetSize(4, 4);
  TMemoryStream bmp;
  bmp_source.SaveToStream(bmp);
  bmp.SetPosition(0);
  try {
    g.LoadFromFrameStream(bmp);
    FAIL() << "no error";
  } catch (const EInvalidGraphic &e) {
    EXPECT_STREQ(e.what(), "不支持的文件格式！");
  }
  ExpectUnchanged();
}

TEST_F(FrameStreamFailureTest, AtEndOfStreamNothingHappens) {
  TMemoryStream s;
  TOSDGraphic other;
  other.SetSize(3, 3);
  other.SaveToFrameStream(s);  // position is now at the end
  g.LoadFromFrameStream(s);
  ExpectUnchanged();
  TMemoryStream empty;
  g.LoadFromFrameStream(empty);
  ExpectUnchanged();
}

TEST_F(FrameStreamFailureTest, TruncatedStreamIsAReadError) {
  TOSDGraphic other;
  other.SetSize(50, 40);
  TMemoryStream full;
  other.SaveToFrameStream(full);
  for (std::size_t cut : {std::size_t{3}, std::size_t{8}, std::size_t{500}, std::size_t{1032},
                          full.Bytes().size() - 1}) {
    SCOPED_TRACE(cut);
    TSpanStream s(full.Bytes().first(cut));
    EXPECT_THROW(g.LoadFromFrameStream(s), EReadError);
    ExpectUnchanged();
  }
}

TEST_F(FrameStreamFailureTest, ZeroSizeAndHugeHeaderAreRefused) {
  std::vector<std::byte> bytes(1032 + 16);
  bytes[0] = std::byte{0x3E};
  bytes[4] = std::byte{0}, bytes[5] = std::byte{4};  // width 4, height 0
  TSpanStream zero(bytes);
  EXPECT_THROW(g.LoadFromFrameStream(zero), EInvalidOperation);
  ExpectUnchanged();
  bytes[4] = bytes[5] = bytes[6] = bytes[7] = std::byte{0xFF};  // 65535 x 65535 claimed
  TSpanStream huge(bytes);
  EXPECT_THROW(g.LoadFromFrameStream(huge), EReadError);
  ExpectUnchanged();
}

TEST(FrameFileTest, SaveAndLoadThroughFiles) {
  const auto dir = std::filesystem::temp_directory_path() / ("vxosd_frame_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "frame.osd").string();
  TOSDGraphic a;
  a.SetSize(kFrameWidth, kFrameHeight);
  a.ScanLine(479)[639] = 77;
  a.SaveToFrameFile(path);
  EXPECT_EQ(std::filesystem::file_size(path), kFrameStreamBytes);
  TOSDGraphic b;
  b.LoadFromFrameFile(path);
  EXPECT_EQ(b.Width(), kFrameWidth);
  EXPECT_EQ(b.ScanLine(479)[639], 77);
  EXPECT_THROW(b.LoadFromFrameFile((dir / "missing.osd").string()), EFOpenError);
  EXPECT_THROW(a.SaveToFrameFile((dir / "no/such/dir.osd").string()), EFCreateError);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vx
