// The picture as a host sees it through the exports: keyed in the frame, hidden after its
// time, refused requests answered with 0 and a reason, and frames through the software card.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "drivers/virtualcard/virtualcard.h"
#include "tests/support/bmp_builder.h"
#include "tests/support/host_scene.h"
#include "vxosd/vxosd.h"

namespace vx::test {
namespace {

namespace fs = std::filesystem;

class PictureScene : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vxosd_picscene_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    // 8 x 8, white with a red 4 x 4 square in the middle: white (bottom-left) is keyed out.
    testing::BmpSpec layout;
    layout.width = 8;
    layout.height = 8;
    layout.bpp = 24;
    std::vector<std::uint8_t> rows;
    for (int y = 7; y >= 0; --y)
      for (int x = 0; x < 8; ++x) {
        const bool red = x >= 2 && x < 6 && y >= 2 && y < 6;
        rows.insert(rows.end(), {std::uint8_t(red ? 0 : 255), std::uint8_t(red ? 0 : 255), 255});
      }
    layout.pixels = testing::PadRows(rows, 24);
    Write("pic.bmp", testing::BuildBmp(layout));
    std::ofstream(dir_ / "bad.bmp") << "BM but nothing a bitmap needs";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string &name, const std::vector<std::byte> &bytes) {
    std::ofstream(dir_ / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<uint16_t> File(const std::string &name) const { return W((dir_ / name).string().c_str()); }

  fs::path dir_;
};

TEST_F(PictureScene, PictureIsKeyedIntoTheFrameAndHidesAfterTwoSeconds) {
  HostScene scene;
  ASSERT_TRUE(AddVxComponent("pic", 3));
  ASSERT_TRUE(SetVxComponent_Pos("pic", 100, 50, 8, 8));
  ASSERT_TRUE(SetVxComponent_PicFile("pic", File("pic.bmp").data()));
  ASSERT_TRUE(SetVxComponent_Visible("pic", 0, 1));
  scene.Advance(60);
  ASSERT_GT(scene.frames(), 0);
  EXPECT_EQ(scene.Count(100, 50, 108, 58, 249), 16);  // the red square
  EXPECT_EQ(scene.Count(100, 50, 108, 58, 250), 48);  // white keyed: green shows
  EXPECT_EQ(scene.Count(0, 0, 640, 480, 255), 0);
  scene.Advance(2000);
  EXPECT_EQ(scene.Count(100, 50, 108, 58, 249), 0);
}

TEST_F(PictureScene, RefusedRequestsReturnZeroAndSayWhy) {
  HostScene scene;
  ASSERT_TRUE(AddVxComponent("pic", 3));
  ASSERT_TRUE(SetVxComponent_PicFile("pic", File("pic.bmp").data()));

  EXPECT_FALSE(SetVxComponent_PicFile("pic", File("bad.bmp").data()));
  EXPECT_NE(HostScene::LastError().find("not a readable bitmap"), std::string::npos)
      << HostScene::LastError();
  EXPECT_FALSE(SetVxComponent_PicMovie("pic", File("f%s.bmp").data(), 1, 3));
  EXPECT_NE(HostScene::LastError().find("integer placeholder"), std::string::npos)
      << HostScene::LastError();
  ASSERT_TRUE(SetVxComponent_PicSplitFile("pic", File("pic.bmp").data(), 2));
  EXPECT_FALSE(SetVxComponent_PicSplitShow("pic", 2));
  EXPECT_NE(HostScene::LastError().find("outside the parts"), std::string::npos)
      << HostScene::LastError();

  // The component kept its picture: the left part, shown.
  ASSERT_TRUE(SetVxComponent_Visible("pic", 0, 1));
  scene.Advance(60);
  EXPECT_EQ(scene.Count(0, 0, 4, 8, 249), 8);
}

// A missing file is accepted (result 1, an empty component), and the last error says which
// file was missing; a picture that was read leaves no message behind.
TEST_F(PictureScene, MissingFileIsAcceptedEmptyAndExplained) {
  HostScene scene;
  ASSERT_TRUE(AddVxComponent("pic", 3));
  ASSERT_TRUE(SetVxComponent_PicFile("pic", File("pic.bmp").data()));
  EXPECT_EQ(VxOSD_GetLastError(nullptr, 0), 0u) << HostScene::LastError();
  ASSERT_TRUE(SetVxComponent_PicTime("pic", 0));
  ASSERT_TRUE(SetVxComponent_Visible("pic", 0, 1));
  scene.Advance(60);
  ASSERT_EQ(scene.Count(0, 0, 640, 480, 249), 16);

  EXPECT_TRUE(SetVxComponent_PicFile("pic", File("missing.bmp").data()));
  const std::string message = HostScene::LastError();
  EXPECT_NE(message.find("SetVxComponent_PicFile"), std::string::npos) << message;
  EXPECT_NE(message.find((dir_ / "missing.bmp").string()), std::string::npos) << message;
  EXPECT_NE(message.find("does not exist"), std::string::npos) << message;
  ASSERT_TRUE(SetVxComponent_Visible("pic", 0, 1));
  scene.Advance(60);
  EXPECT_EQ(scene.Count(0, 0, 640, 480, 249), 0);

  EXPECT_TRUE(SetVxComponent_PicFile("pic", File("pic.bmp").data()));
  EXPECT_EQ(VxOSD_GetLastError(nullptr, 0), 0u) << HostScene::LastError();
  EXPECT_TRUE(SetVxComponent_PicSplitFile("pic", File("gone.bmp").data(), 2));
  EXPECT_NE(HostScene::LastError().find("gone.bmp"), std::string::npos) << HostScene::LastError();
  EXPECT_TRUE(SetVxComponent_PicMovie("pic", File("frame%d.bmp").data(), 4, 6));
  EXPECT_NE(HostScene::LastError().find("frame4.bmp"), std::string::npos) << HostScene::LastError();
}

TEST_F(PictureScene, FramesReachTheSoftwareCard) {
  VxVirtualCardOptions options;
  VxVirtualCard_DefaultOptions(&options);
  ASSERT_TRUE(VxVirtualCard_Install(&options));
  {
    HostScene scene;
    ASSERT_TRUE(scene.card());
    ASSERT_TRUE(AddVxComponent("pic", 3));
    ASSERT_TRUE(SetVxComponent_Pos("pic", 10, 20, 8, 8));
    ASSERT_TRUE(SetVxComponent_PicFile("pic", File("pic.bmp").data()));
    ASSERT_TRUE(SetVxComponent_Visible("pic", 0, 1));
    scene.Advance(120);
    VxVirtualCardCounters counters;
    ASSERT_TRUE(VxVirtualCard_GetCounters(&counters));
    EXPECT_GE(counters.frames_received, 1u);
    EXPECT_EQ(counters.pushes_refused, 0u);
    EXPECT_EQ(counters.rect[0], 32);
    std::vector<std::uint8_t> frame(308232);
    ASSERT_EQ(VxVirtualCard_LastFrame(frame.data(), frame.size()), frame.size());
    EXPECT_EQ(frame[1032 + 22 * 640 + 12], 249);  // inside the red square
    EXPECT_EQ(frame[1032 + 20 * 640 + 10], 250);  // keyed corner
    EXPECT_EQ(frame[8 + 4 * 250], 0);             // the key colour's level
  }
  VxVirtualCard_Uninstall();
}

}  // namespace
}  // namespace vx::test
