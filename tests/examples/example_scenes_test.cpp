// The example scenes of examples/scenes, run as a user runs them: through the scene player
// with --fast, without a card and through the software card. Each must play without a call
// returning 0, and its snapshots must show what its comments promise (where the ink is, in
// which palette colours), so that the reference's examples stay true.
#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/osd_graphic.h"
#include "tests/support/frame_probe.h"

extern char **environ;

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::AllIndex;
using test::CountIndex;

constexpr int kW = 640, kH = 480;

// The scenes checked below; a new example scene must get its checks here.
const std::set<std::string> kCheckedScenes = {
    "clock.scene",        "colour-levels.scene",   "gradient.scene",        "markup-colours.scene",
    "picture-caption.scene", "picture-movie.scene", "show-hide-times.scene", "stacking.scene",
    "ticker.scene",       "vertical-text.scene",
};

// The palette index the frame uses for a colour (0x00BBGGRR).
int Index(TColor color) { return NearestPaletteIndex(color); }

const TRect kWhole = Rect(0, 0, kW, kH);

// A snapshot read back into palette indices: snapshots hold the frame palette's colours
// exactly, so each RGB value names its (first) palette index.
std::unique_ptr<TOSDGraphic> ReadSnapshot(const fs::path &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return nullptr;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) ||
      image.width != static_cast<unsigned>(kW) || image.height != static_cast<unsigned>(kH))
    return nullptr;
  std::map<std::uint32_t, std::uint8_t> index_of;
  const TPalette &palette = FramePalette();
  for (int i = 255; i >= 0; --i)
    index_of[(palette[i].peRed << 16) | (palette[i].peGreen << 8) | palette[i].peBlue] =
        static_cast<std::uint8_t>(i);
  auto shot = std::make_unique<TOSDGraphic>();
  shot->SetSize(kW, kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const std::uint8_t *p = &rgb[(static_cast<std::size_t>(y) * kW + x) * 3];
      const auto it = index_of.find((p[0] << 16) | (p[1] << 8) | p[2]);
      if (it == index_of.end()) return nullptr;  // not a frame colour: not a snapshot
      shot->ScanLine(y)[x] = it->second;
    }
  return shot;
}

// Bounding box of the pixels of a region whose palette index passes a test; empty when none.
template <class Test>
TRect BoundsWhere(const TBitmap &b, const TRect &region, Test test) {
  TRect r{kW, kH, 0, 0};
  for (int y = region.Top; y < region.Bottom; ++y)
    for (int x = region.Left; x < region.Right; ++x)
      if (test(b.ScanLine(y)[x])) {
        r.Left = std::min(r.Left, x), r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1), r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r.IsEmpty() ? TRect{} : r;
}
TRect BoundsOf(const TBitmap &b, const TRect &region, int index) {
  return BoundsWhere(b, region, [index](int i) { return i == index; });
}
// Where anything but the key colour lies.
TRect Ink(const TBitmap &b, const TRect &region) {
  return BoundsWhere(b, region, [](int i) { return i != kKeyIndex; });
}

bool SameRegion(const TBitmap &a, const TBitmap &b, const TRect &region) {
  for (int y = region.Top; y < region.Bottom; ++y)
    if (!std::equal(a.ScanLine(y) + region.Left, a.ScanLine(y) + region.Right,
                    b.ScanLine(y) + region.Left))
      return false;
  return true;
}

class ExampleScene : public testing::TestWithParam<const char *> {
 protected:
  // Plays the scene with --fast on the card of the test's parameter; snapshots land in a
  // folder of their own. Fails the test when the player fails or a call returns 0.
  void Play(const std::string &scene, std::vector<std::string> extra = {}) {
    out_ = OutDir(scene);
    fs::remove_all(out_);
    fs::create_directories(out_);
    std::vector<std::string> args = {VXOSD_PLAY_PATH, "--fast",
                                      std::string("--card=") + GetParam(),
                                      "--out=" + out_.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back((fs::path(VXOSD_SCENES_DIR) / scene).string());
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string log = (out_ / "player.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0) << "cannot start " << argv[0];
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    log_ = text.str();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log_;
    EXPECT_EQ(log_.find("warning"), std::string::npos) << log_;
  }

  // The folder of one scene's outputs, in the build tree: runs of the tests in other build
  // trees, and of the other card, do not meet.
  fs::path OutDir(const std::string &scene) const {
    return fs::path(VXOSD_EXAMPLES_OUT) / (fs::path(scene).stem().string() + "-" + GetParam());
  }

  const TOSDGraphic &Shot(const std::string &file) {
    auto &slot = shots_[file];
    if (!slot) slot = ReadSnapshot(out_ / file);
    if (!slot) {
      ADD_FAILURE() << "no readable snapshot " << (out_ / file) << "\n" << log_;
      slot = std::make_unique<TOSDGraphic>();
      slot->SetSize(kW, kH);
    }
    return *slot;
  }

  fs::path out_;
  std::string log_;
  std::map<std::string, std::unique_ptr<TOSDGraphic>> shots_;
};

TEST(ExampleScenes, EveryExampleSceneIsChecked) {
  std::set<std::string> found;
  for (const auto &entry : fs::directory_iterator(VXOSD_SCENES_DIR))
    if (entry.path().extension() == ".scene") found.insert(entry.path().filename().string());
  EXPECT_EQ(found, kCheckedScenes);
}

TEST_P(ExampleScene, ClockShowsNothingInModeZeroThenItsMode) {
  Play("clock.scene");
  EXPECT_TRUE(AllIndex(Shot("clock-1-mode0.png"), kWhole, kKeyIndex));

  const TOSDGraphic &time = Shot("clock-2-time.png");
  const TRect t = Ink(time, kWhole);
  EXPECT_EQ(t.Left, 440);
  EXPECT_EQ(t.Top, 20);
  EXPECT_GT(CountIndex(time, t, Index(0x400000)), 0);  // background
  EXPECT_GT(CountIndex(time, t, Index(0xFFFFFF)), 0);  // digits

  const TOSDGraphic &all = Shot("clock-3-all.png");
  const TRect a = Ink(all, kWhole);
  EXPECT_EQ(a.Left, 440);
  EXPECT_EQ(a.Top, 20);
  EXPECT_GT(a.Height(), 3 * t.Height());  // five lines against one
  EXPECT_GT(CountIndex(all, a, Index(0x00FFFF)), 0);
  EXPECT_EQ(CountIndex(all, a, Index(0xFFFFFF)), 0);  // the new font colour everywhere
}

TEST_P(ExampleScene, TickerMovesFourPixelsEvery40Ms) {
  Play("ticker.scene");
  const TOSDGraphic &one = Shot("ticker-1.png");
  const TOSDGraphic &two = Shot("ticker-2.png");
  const TRect window = Ink(one, kWhole);
  EXPECT_EQ(window.Left, 0);  // the window spans the frame's width
  EXPECT_EQ(window.Right, kW);
  EXPECT_EQ(window.Top, 440);
  EXPECT_EQ(Ink(two, kWhole), window);
  const TRect glyphs1 = BoundsOf(one, window, Index(0xFFFFFF));
  const TRect glyphs2 = BoundsOf(two, window, Index(0xFFFFFF));
  ASSERT_FALSE(glyphs1.IsEmpty());
  ASSERT_FALSE(glyphs2.IsEmpty());
  EXPECT_EQ(glyphs1.Left - glyphs2.Left, 120);  // 1200 ms: 30 moves of 4 pixels
}

TEST_P(ExampleScene, MarkupColoursAreBgrHashRgbReadsAsBgr) {
  Play("markup-colours.scene");
  const TOSDGraphic &shot = Shot("markup-colours.png");
  const TRect text = Ink(shot, kWhole);
  EXPECT_EQ(text.Left, 40);
  EXPECT_EQ(text.Top, 40);
  const TRect red = BoundsOf(shot, text, Index(0x0000FF));   // color="#0000FF"
  const TRect blue = BoundsOf(shot, text, Index(0xFF0000));  // color="#FF0000"
  ASSERT_FALSE(red.IsEmpty());
  ASSERT_FALSE(blue.IsEmpty());
  EXPECT_LT(red.Right, blue.Left);  // "RED " first, then "BLUE"
  EXPECT_GT(CountIndex(shot, text, Index(0xC0C0C0)), 0);
  // The second line's black glyphs lie below the first line.
  const TRect black = BoundsOf(shot, Rect(text.Left, red.Bottom, text.Right, text.Bottom), 0);
  EXPECT_FALSE(black.IsEmpty());
}

TEST_P(ExampleScene, PictureMoviesLoopOrEndHidden) {
  Play("picture-movie.scene");
  const TRect movie = Rect(40, 40, 230, 240), reel = Rect(240, 40, kW, 240);
  const TOSDGraphic *s[5];
  for (int i = 0; i < 5; ++i) s[i] = &Shot("movie-" + std::to_string(i + 1) + ".png");
  EXPECT_FALSE(Ink(*s[0], movie).IsEmpty());
  EXPECT_FALSE(SameRegion(*s[0], *s[1], movie));
  EXPECT_FALSE(SameRegion(*s[1], *s[2], movie));
  EXPECT_TRUE(SameRegion(*s[0], *s[3], movie));  // looped back to movie1.bmp
  EXPECT_TRUE(SameRegion(*s[1], *s[4], movie));
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(Ink(*s[i], reel).IsEmpty()) << i;
    for (int j = 0; j < i; ++j) EXPECT_FALSE(SameRegion(*s[i], *s[j], reel)) << i << " " << j;
  }
  EXPECT_TRUE(Ink(*s[4], reel).IsEmpty());  // ended after its fourth part
}

TEST_P(ExampleScene, ShowAndHideTimes) {
  Play("show-hide-times.scene");
  const TRect brief = Rect(0, 0, 280, 110), kept = Rect(0, 110, 280, 240),
              note = Rect(280, 0, kW, 110);
  const TOSDGraphic &one = Shot("times-1.png");
  const TOSDGraphic &two = Shot("times-2.png");
  const TOSDGraphic &three = Shot("times-3.png");
  for (const TRect &r : {brief, kept, note}) EXPECT_FALSE(Ink(one, r).IsEmpty());
  EXPECT_TRUE(Ink(two, note).IsEmpty());
  EXPECT_FALSE(Ink(two, brief).IsEmpty());
  EXPECT_TRUE(Ink(three, brief).IsEmpty());
  EXPECT_FALSE(Ink(three, kept).IsEmpty());
  EXPECT_TRUE(SameRegion(one, three, kept));
}

TEST_P(ExampleScene, ColourLevelsBelongToPaletteColours) {
  const std::string rgba = (OutDir("colour-levels.scene") / "levels.rgba").string();
  Play("colour-levels.scene", {"--rgba=" + rgba});
  const TOSDGraphic &shot = Shot("levels.png");
  std::ifstream in(rgba, std::ios::binary | std::ios::ate);
  const std::size_t frame = std::size_t{4} * kW * kH;
  ASSERT_GE(static_cast<std::size_t>(in.tellg()), frame);
  std::vector<std::uint8_t> last(frame);
  in.seekg(-static_cast<std::streamoff>(frame), std::ios::end);
  in.read(reinterpret_cast<char *>(last.data()), static_cast<std::streamsize>(frame));
  auto level = [&](int x, int y) { return last[(static_cast<std::size_t>(y) * kW + x) * 4 + 3]; };

  const int navy = Index(0x800000), white = Index(0xFFFFFF);
  EXPECT_EQ(shot.ScanLine(440)[320], navy);
  EXPECT_EQ(level(320, 440), 128);  // the banner
  EXPECT_EQ(level(600, 200), 0);    // the key colour
  const TRect caption = Rect(60, 60, 240, 140);
  int navy_glyphs = 0, white_pixels = 0;
  for (int y = caption.Top; y < caption.Bottom; ++y)
    for (int x = caption.Left; x < caption.Right; ++x) {
      if (shot.ScanLine(y)[x] == navy) {
        ++navy_glyphs;
        EXPECT_EQ(level(x, y), 128) << x << "," << y;  // the caption's navy too
      } else if (shot.ScanLine(y)[x] == white) {
        ++white_pixels;
        EXPECT_EQ(level(x, y), 255) << x << "," << y;
      }
    }
  EXPECT_GT(navy_glyphs, 20);
  EXPECT_GT(white_pixels, 20);
}

TEST_P(ExampleScene, VerticalTextStandsOneCharacterPerLine) {
  Play("vertical-text.scene");
  const TOSDGraphic &shot = Shot("vertical-text.png");
  const TRect glyphs = BoundsOf(shot, kWhole, Index(0x00FFFF));
  ASSERT_FALSE(glyphs.IsEmpty());
  EXPECT_GE(glyphs.Left, 580);
  EXPECT_GT(glyphs.Height(), 3 * glyphs.Width());  // four characters, one per line
}

TEST_P(ExampleScene, GradientRunsFromYellowToRedInsideTheGlyphs) {
  Play("gradient.scene");
  const TOSDGraphic &shot = Shot("gradient.png");
  const TRect text = Ink(shot, kWhole);
  ASSERT_GT(text.Width(), 100);
  const TPalette &palette = FramePalette();
  auto mean_green = [&](int left, int right) {
    long sum = 0, n = 0;
    for (int y = text.Top; y < text.Bottom; ++y)
      for (int x = left; x < right; ++x)
        if (const int i = shot.ScanLine(y)[x]; i != kKeyIndex) {
          EXPECT_GE(palette[i].peRed, 192);  // between yellow and red: no white, no black
          EXPECT_LE(palette[i].peBlue, 64);
          sum += palette[i].peGreen, ++n;
        }
    return n ? sum / n : -1;
  };
  const int quarter = text.Width() / 4;
  const long left = mean_green(text.Left, text.Left + quarter);
  const long right = mean_green(text.Right - quarter, text.Right);
  EXPECT_GT(left, 160);
  EXPECT_GE(right, 0);
  EXPECT_LT(right, 96);
}

TEST_P(ExampleScene, PanelsAddedFirstLieOnTop) {
  Play("stacking.scene");
  const TOSDGraphic &shot = Shot("stacking.png");
  EXPECT_TRUE(AllIndex(shot, Rect(201, 181, 299, 249), Index(0x0000FF)));  // the overlap: red
  EXPECT_TRUE(AllIndex(shot, Rect(301, 251, 399, 329), Index(0xFF0000)));
}

TEST_P(ExampleScene, CaptionBandBelowUncoversThePictureBackground) {
  Play("picture-caption.scene");
  const TOSDGraphic &shot = Shot("picture-caption.png");
  const TRect beside = Rect(0, 0, kW, 180), below = Rect(0, 180, kW, kH);
  const int magenta = Index(0xFF00FF), white = Index(0xFFFFFF);
  EXPECT_EQ(CountIndex(shot, beside, magenta), 0);
  EXPECT_GT(CountIndex(shot, below, magenta), 1000);
  EXPECT_GT(CountIndex(shot, beside, white), 0);  // the captions
  EXPECT_GT(CountIndex(shot, below, white), 0);
}

INSTANTIATE_TEST_SUITE_P(Cards, ExampleScene, testing::Values("none", "virtual"),
                         [](const testing::TestParamInfo<const char *> &info) {
                           return std::string(info.param) == "none" ? std::string("NoCard")
                                                                    : std::string("VirtualCard");
                         });

}  // namespace
}  // namespace vx
