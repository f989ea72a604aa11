// VxOSD_SetFrameFormat and the true-colour frame through the exports: the frame a host gets
// (transparent key, anti-aliased text, colour levels as alpha, pictures with their alpha),
// and the card left to the palette frame.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/bmp_builder.h"
#include "tests/support/host_scene.h"
#include "tests/support/truecolour_scene.h"
#include "vxosd/vxosd.h"

namespace vx::test {
namespace {

namespace fs = std::filesystem;

std::string LastError() {
  char buf[512];
  VxOSD_GetLastError(buf, sizeof buf);
  return buf;
}

TEST(FrameFormat, RefusesUnknownFormatsAndSizesOutOfRange) {
  EXPECT_EQ(VxOSD_SetFrameFormat(640, 480, 7), 0);
  EXPECT_NE(LastError().find("unknown frame format"), std::string::npos);
  EXPECT_EQ(VxOSD_SetFrameFormat(15, 100, VXOSD_FRAME_ARGB32), 0);
  EXPECT_EQ(VxOSD_SetFrameFormat(7681, 100, VXOSD_FRAME_ARGB32), 0);
  EXPECT_EQ(VxOSD_SetFrameFormat(100, 4321, VXOSD_FRAME_ARGB32), 0);
  EXPECT_EQ(VxOSD_SetFrameFormat(-1, -1, VXOSD_FRAME_ARGB32), 0);
  EXPECT_NE(LastError().find("16 x 16 to 7680 x 4320"), std::string::npos);
  EXPECT_EQ(VxOSD_SetFrameFormat(1920, 1080, VXOSD_FRAME_PALETTE8), 0);
  EXPECT_EQ(VxOSD_SetFrameFormat(640, 480, VXOSD_FRAME_PALETTE8), 1);
  EXPECT_EQ(VxOSD_SetFrameFormat(0, 0, VXOSD_FRAME_PALETTE8), 1);
  // Refused calls left the palette frame in place.
  HostScene scene;
  scene.Advance(60);
  EXPECT_EQ(scene.stream().size(), HostScene::kStreamBytes);
}

TEST(TrueColourFrame, RunsWithoutTheCardAndDeliversTransparentPixels) {
  TrueColourScene scene(320, 200);
  ASSERT_TRUE(scene.format_ok());
  EXPECT_FALSE(scene.card());
  EXPECT_NE(scene.init_message().find("the card takes only the palette frame"), std::string::npos);
  scene.Advance(60);
  ASSERT_EQ(scene.frames(), 1);
  ASSERT_EQ(scene.size(), 320u * 200u * 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(scene.Px(319, 199)[i], 0);  // the key: alpha 0
}

TEST(TrueColourFrame, ColourLevelsBecomeTheAlphaOfTheirColour) {
  TrueColourScene scene(200, 100);
  ASSERT_TRUE(HostScene::Panel("solid", 10, 10, 40, 40, VXOSD_RGB(255, 255, 255)));
  ASSERT_TRUE(AddVxComponent("glass", 0));
  ASSERT_TRUE(SetVxComponent_Pos("glass", 100, 10, 40, 40));
  ASSERT_TRUE(SetVxComponent_Color("glass", VXOSD_RGB(0, 0, 255), 128));
  ASSERT_TRUE(SetVxComponent_Visible("glass", 0, 1));
  scene.Advance(60);
  EXPECT_EQ(scene.Alpha(30, 30), 255);
  EXPECT_EQ(scene.Px(30, 30)[0], 255);
  EXPECT_EQ(scene.Alpha(120, 30), 128);  // inside the see-through panel
  EXPECT_EQ(scene.Px(120, 30)[0], 128);  // blue, premultiplied
  EXPECT_EQ(scene.Px(120, 30)[2], 0);
  EXPECT_EQ(scene.Alpha(100, 10), 255);  // its black border keeps the default level
  EXPECT_EQ(scene.Alpha(5, 5), 0);
}

TEST(TrueColourFrame, TextEdgesAreAntiAliasedInTheFontColour) {
  TrueColourScene scene(640, 360);
  const std::vector<uint16_t> face = W("Arial"), text = W("Sgo");
  ASSERT_TRUE(AddVxComponent("t", 2));
  ASSERT_TRUE(SetVxComponent_Pos("t", 20, 20, 0, 0));
  ASSERT_TRUE(SetVxComponent_Font("t", face.data(), VXOSD_RGB(255, 255, 255), 48));
  ASSERT_TRUE(SetVxComponent_Text("t", text.data()));
  ASSERT_TRUE(SetVxComponent_Visible("t", 0, 1));
  scene.Advance(60);
  int partial = 0, opaque = 0, off_colour = 0;
  for (int y = 0; y < 360; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint8_t *p = scene.Px(x, y);
      if (p[3] == 0) continue;
      (p[3] == 255 ? opaque : partial)++;
      // White premultiplied: every colour byte equals the alpha (no green, no dark fringe).
      if (p[0] != p[3] || p[1] != p[3] || p[2] != p[3]) ++off_colour;
    }
  EXPECT_GT(opaque, 200);
  EXPECT_GT(partial, 60);
  EXPECT_EQ(off_colour, 0);
}

class TrueColourPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vxosd_tcpic_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::vector<uint16_t> Write(const std::string &name, const std::vector<std::byte> &bytes) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return W((dir_ / name).string().c_str());
  }
  static bool Show(const std::vector<uint16_t> &path) {
    return AddVxComponent("pic", 3) && SetVxComponent_Pos("pic", 10, 10, 0, 0) &&
           SetVxComponent_PicTime("pic", 0) && SetVxComponent_PicFile("pic", path.data()) &&
           SetVxComponent_Visible("pic", 0, 1);
  }
  fs::path dir_;
};

// 8 x 4: columns 0-3 opaque red, 4-5 blue at alpha 128, 6-7 transparent.
const unsigned char kLogoPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x04, 0x08, 0x06, 0x00, 0x00, 0x00, 0xB3, 0xCD, 0x7E,
    0xF0, 0x00, 0x00, 0x00, 0x17, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0,
    0x1F, 0x19, 0x03, 0x51, 0x03, 0x04, 0x43, 0x01, 0xED, 0x15, 0x00, 0x00, 0x14, 0x0C, 0x2B, 0xD9,
    0x8B, 0x29, 0x93, 0x09, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// (The Windows test runner registers cases from the source, so each case exists on both
// systems and skips where it does not apply.)
TEST_F(TrueColourPictures, APngLogosAlphaSurvivesIntoTheFrame) {
#ifdef _WIN32
  GTEST_SKIP() << "PNG pictures are not read on Windows yet";
#else
  TrueColourScene scene(64, 32);
  const auto *b = reinterpret_cast<const std::byte *>(kLogoPng);
  ASSERT_TRUE(Show(Write("logo.png", std::vector<std::byte>(b, b + sizeof kLogoPng))));
  EXPECT_EQ(LastError(), "");
  // Over a panel beneath it, the half-transparent part lets the panel through.
  ASSERT_TRUE(HostScene::Panel("under", 0, 0, 64, 32, VXOSD_RGB(255, 255, 255)));
  scene.Advance(60);
  const uint8_t *red = scene.Px(11, 11);
  EXPECT_EQ(red[3], 255);
  EXPECT_EQ(red[2], 255);
  EXPECT_EQ(red[0], 0);
  const uint8_t *half = scene.Px(14, 11);  // blue at 128 over white
  EXPECT_EQ(half[3], 255);
  EXPECT_NEAR(half[0], 255, 1);
  EXPECT_NEAR(half[2], 127, 1);
  const uint8_t *clear = scene.Px(17, 11);  // the panel shows through
  EXPECT_EQ(clear[0], 255);
  EXPECT_EQ(clear[2], 255);
#endif
}

TEST_F(TrueColourPictures, APngAloneKeepsItsAlpha) {
#ifdef _WIN32
  GTEST_SKIP() << "PNG pictures are not read on Windows yet";
#else
  TrueColourScene scene(64, 32);
  const auto *b = reinterpret_cast<const std::byte *>(kLogoPng);
  ASSERT_TRUE(Show(Write("logo.png", std::vector<std::byte>(b, b + sizeof kLogoPng))));
  scene.Advance(60);
  EXPECT_EQ(scene.Alpha(11, 11), 255);
  EXPECT_EQ(scene.Alpha(14, 11), 128);
  EXPECT_EQ(scene.Px(14, 11)[0], 128);
  EXPECT_EQ(scene.Alpha(17, 11), 0);
#endif
}

TEST_F(TrueColourPictures, APngIsAClearErrorOnWindowsForNow) {
#ifndef _WIN32
  GTEST_SKIP() << "Linux reads PNG pictures";
#else
  TrueColourScene scene(64, 32);
  const auto *b = reinterpret_cast<const std::byte *>(kLogoPng);
  const auto path = Write("logo.png", std::vector<std::byte>(b, b + sizeof kLogoPng));
  ASSERT_TRUE(AddVxComponent("pic", 3));
  EXPECT_EQ(SetVxComponent_PicFile("pic", path.data()), 0);
  EXPECT_NE(LastError().find("PNG pictures are not read on Windows yet"), std::string::npos);
#endif
}

TEST_F(TrueColourPictures, A32BitBmpWithAlphaKeepsItsAlpha) {
  testing::BmpSpec bmp;
  bmp.width = 3;
  bmp.height = -1;  // top-down
  bmp.bpp = 32;
  // B, G, R, A: opaque green-ish, half red, transparent.
  bmp.pixels = {10, 200, 30, 255, 0, 0, 255, 128, 0, 0, 0, 0};
  TrueColourScene scene(32, 32);
  ASSERT_TRUE(Show(Write("alpha.bmp", testing::BuildBmp(bmp))));
  scene.Advance(60);
  EXPECT_EQ(scene.Alpha(10, 10), 255);
  EXPECT_EQ(scene.Px(10, 10)[1], 200);
  EXPECT_EQ(scene.Alpha(11, 10), 128);
  EXPECT_EQ(scene.Px(11, 10)[2], 128);
  EXPECT_EQ(scene.Alpha(12, 10), 0);
}

TEST_F(TrueColourPictures, ABmpWithoutAlphaIsOpaqueExceptItsKeyedColour) {
  testing::BmpSpec bmp;
  bmp.width = 2;
  bmp.height = 2;  // bottom-up: the first row in the file is the bottom one
  bmp.bpp = 24;
  bmp.pixels = testing::PadRows({255, 255, 255, 0, 0, 200,    // bottom: white (the key), red
                                 0, 0, 200, 0, 0, 200}, 6);  // top: red, red
  TrueColourScene scene(32, 32);
  ASSERT_TRUE(Show(Write("keyed.bmp", testing::BuildBmp(bmp))));
  scene.Advance(60);
  EXPECT_EQ(scene.Alpha(10, 10), 255);
  EXPECT_EQ(scene.Px(10, 10)[2], 200);
  EXPECT_EQ(scene.Alpha(10, 11), 0);  // the bottom-left colour is keyed out
  EXPECT_EQ(scene.Alpha(11, 11), 255);
}

}  // namespace
}  // namespace vx::test
