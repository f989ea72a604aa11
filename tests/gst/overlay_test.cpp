// vxosdoverlay in real pipelines: videotestsrc ! vxosdoverlay ! appsink.
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "gst/vxosdoverlay.h"
#include "platform/lsan_fontconfig.h"

namespace {

namespace fs = std::filesystem;

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    // A plugin registry of the tests' own, so that they neither read nor write the user's.
    g_setenv("GST_REGISTRY_1_0", (fs::temp_directory_path() / "vxosd-gst-test-registry.bin").c_str(), TRUE);
    gst_init(nullptr, nullptr);
    ASSERT_TRUE(vxosd_overlay_register_static());
  }
};
const auto *const g_env = ::testing::AddGlobalTestEnvironment(new Environment);

// One video frame pulled from the appsink, with its layout.
struct Frame {
  GstVideoInfo info{};
  std::vector<std::uint8_t> bytes;
  // R, G, B, A (255 without alpha) of a packed RGB frame.
  std::array<int, 4> Rgba(int x, int y) const {
    const std::uint8_t *p = bytes.data() + std::size_t(y) * GST_VIDEO_INFO_PLANE_STRIDE(&info, 0) + 4 * x;
    const GstVideoFormatInfo *f = info.finfo;
    std::array<int, 4> c{};
    for (int k = 0; k < 3; ++k) c[k] = p[f->poffset[k]];
    c[3] = GST_VIDEO_FORMAT_INFO_HAS_ALPHA(f) ? p[f->poffset[3]] : 255;
    return c;
  }
  // Y, Cb, Cr of a 4:2:0 frame (chroma of the 2 x 2 block).
  std::array<int, 3> Ycc(int x, int y) const {
    std::array<int, 3> c{};
    for (int k = 0; k < 3; ++k) {
      const int sx = k == 0 ? x : x / 2, sy = k == 0 ? y : y / 2;
      const std::size_t plane = GST_VIDEO_INFO_COMP_PLANE(&info, k);
      c[k] = bytes[info.offset[plane] + std::size_t(sy) * GST_VIDEO_INFO_COMP_STRIDE(&info, k) +
                   std::size_t(sx) * GST_VIDEO_INFO_COMP_PSTRIDE(&info, k) + GST_VIDEO_INFO_COMP_POFFSET(&info, k)];
    }
    return c;
  }
};

// What a pipeline produced: frames, and the messages of the bus.
struct Played {
  std::vector<Frame> frames;
  std::vector<std::string> errors, warnings;
  bool Error(const std::string &part) const {
    for (const auto &e : errors)
      if (e.find(part) != std::string::npos) return true;
    return false;
  }
  bool Warning(const std::string &part) const {
    for (const auto &w : warnings)
      if (w.find(part) != std::string::npos) return true;
    return false;
  }
};

void Collect(GstBus *bus, Played &run) {
  while (GstMessage *m = gst_bus_pop_filtered(bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING))) {
    GError *error = nullptr;
    gchar *debug = nullptr;
    if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) gst_message_parse_error(m, &error, &debug);
    else gst_message_parse_warning(m, &error, &debug);
    (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR ? run.errors : run.warnings).push_back(error->message);
    g_error_free(error);
    g_free(debug);
    gst_message_unref(m);
  }
}

// Runs "videotestsrc ! CAPS ! ELEMENTS ! appsink" for count buffers (25 per second) and keeps
// every frame. on_buffer runs on the streaming thread before vxosdoverlay sees buffer n.
Played Play(const std::string &caps, const std::string &elements, int count,
         const std::function<void(GstElement *, int)> &on_buffer = {}) {
  const std::string description =
      "videotestsrc num-buffers=" + std::to_string(count) +
      " pattern=solid-color foreground-color=0xFF3060C0 ! video/x-raw," + caps +
      ",framerate=25/1 ! " + elements + " ! appsink name=sink sync=false";
  GError *error = nullptr;
  GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
  Played run;
  if (!pipeline) {
    run.errors.push_back(error ? error->message : "no pipeline");
    if (error) g_error_free(error);
    return run;
  }
  GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstElement *overlay = gst_bin_get_by_name(GST_BIN(pipeline), "osd");
  struct Probe {
    const std::function<void(GstElement *, int)> *call;
    GstElement *overlay;
    int n = 0;
  } probe{&on_buffer, overlay};
  if (overlay && on_buffer) {
    GstPad *pad = gst_element_get_static_pad(overlay, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER,
                      [](GstPad *, GstPadProbeInfo *, gpointer user) {
                        auto *p = static_cast<Probe *>(user);
                        (*p->call)(p->overlay, p->n++);
                        return GST_PAD_PROBE_OK;
                      },
                      &probe, nullptr);
    gst_object_unref(pad);
  }
  GstBus *bus = gst_element_get_bus(pipeline);
  const bool started = gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
  while (started) {
    GstSample *sample = nullptr;
    g_signal_emit_by_name(sink, "try-pull-sample", 10 * GST_SECOND, &sample);
    if (!sample) break;
    Frame f;
    gst_video_info_from_caps(&f.info, gst_sample_get_caps(sample));
    GstMapInfo map;
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    f.bytes.assign(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
    gst_sample_unref(sample);
    run.frames.push_back(std::move(f));
  }
  Collect(bus, run);  // before the bus is flushed on the way down
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  if (overlay) gst_object_unref(overlay);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return run;
}

fs::path WriteScene(const std::string &name, const std::string &text) {
  const fs::path dir = fs::temp_directory_path() / ("vxosd-gst-test-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << text;
  return dir / name;
}

std::string Overlay(const fs::path &scene, const std::string &more = "") {
  return "vxosdoverlay name=osd scene=\"" + scene.string() + "\" " + more;
}

// Two panels: the top-left quarter opaque red, the bottom-right quarter blue at level 128,
// each with a one-pixel black outline; the rest of the frame is key colour.
const char kPanels[] =
    "AddVxComponent red 0\n"
    "SetVxComponent_Pos red 0 0 320 240\n"
    "SetVxComponent_Color red 0x0000FF 255\n"
    "SetVxComponent_Visible red 0 1\n"
    "AddVxComponent blue 0\n"
    "SetVxComponent_Pos blue 320 240 320 240\n"
    "SetVxComponent_Color blue 0xFF0000 128\n"
    "SetVxComponent_Visible blue 0 1\n";

// The card's red and blue (A/Y/Cb/Cr palette rows 249 and 252) and their RGB as the card's
// RGBA output gives them.
constexpr std::array<int, 3> kRedYcc{81, 90, 239}, kBlueYcc{40, 239, 109};
constexpr std::array<int, 3> kRedRgb{253, 0, 0}, kBlueRgb{0, 0, 252};
constexpr std::array<int, 3> kBlackYcc{16, 128, 128}, kBlackRgb{0, 0, 0};

int Mix(int osd, int video, int alpha) { return (osd * alpha + video * (255 - alpha) + 127) / 255; }

enum class Region { Red, Blue, Outline, Clear };

Region RegionAt(int fx, int fy) {
  const bool left = fx < 320, top = fy < 240;
  if (left != top) return Region::Clear;
  const int x = fx % 320, y = fy % 240;
  if (x == 0 || x == 319 || y == 0 || y == 239) return Region::Outline;
  return left ? Region::Red : Region::Blue;
}

struct FormatCase {
  const char *format;
  int width, height;
};

class PanelsTest : public ::testing::TestWithParam<FormatCase> {};

// Every pixel of the picture: under the red panel the card's red, under the blue panel the
// card's blue mixed at level 128, and elsewhere (key colour) the video exactly as it came.
TEST_P(PanelsTest, PixelsUnderPanelsAndKeyColour) {
  const FormatCase c = GetParam();
  const std::string caps = std::string("format=") + c.format + ",width=" + std::to_string(c.width) +
                           ",height=" + std::to_string(c.height);
  const Played video = Play(caps, "identity", 1);
  const Played run = Play(caps, Overlay(WriteScene("panels.scene", kPanels)), 3);
  ASSERT_TRUE(run.errors.empty()) << run.errors[0];
  ASSERT_EQ(run.frames.size(), 3u);
  ASSERT_EQ(video.frames.size(), 1u);
  const Frame &before = video.frames[0];
  const bool packed = GST_VIDEO_INFO_IS_RGB(&before.info);
  int mismatches = 0;
  // Buffer 0 (0 ms) comes before the first composed frame (60 ms); buffer 2 (80 ms) after.
  for (const int n : {0, 2})
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const Frame &f = run.frames[n];
      Region region = RegionAt(int(std::int64_t(x) * 640 / c.width), int(std::int64_t(y) * 480 / c.height));
      if (n == 0) region = Region::Clear;
      if (packed) {
        const auto got = f.Rgba(x, y), was = before.Rgba(x, y);
        std::array<int, 4> want = was;
        for (int k = 0; k < 3; ++k) {
          if (region == Region::Red) want[k] = kRedRgb[k];
          if (region == Region::Blue) want[k] = Mix(kBlueRgb[k], was[k], 128);
          if (region == Region::Outline) want[k] = kBlackRgb[k];
        }
        if (region == Region::Red || region == Region::Outline) want[3] = 255;
        if (region == Region::Blue) want[3] = 128 + (was[3] * 127 + 127) / 255;
        if (got != want && ++mismatches < 5)
          ADD_FAILURE() << c.format << " at " << x << "," << y << ": " << got[0] << " " << got[1] << " " << got[2]
                        << " " << got[3] << " want " << want[0] << " " << want[1] << " " << want[2] << " " << want[3];
      } else {
        // Luma per pixel; chroma per 2 x 2 block, from the frame pixel over its top-left sample.
        const auto got = f.Ycc(x, y), was = before.Ycc(x, y);
        const Region chroma_region = n == 0 ? Region::Clear
                                            : RegionAt(int(std::int64_t(x & ~1) * 640 / c.width),
                                                       int(std::int64_t(y & ~1) * 480 / c.height));
        std::array<int, 3> want = was;
        for (int k = 0; k < 3; ++k) {
          const Region r = k == 0 ? region : chroma_region;
          if (r == Region::Red) want[k] = kRedYcc[k];
          if (r == Region::Blue) want[k] = Mix(kBlueYcc[k], was[k], 128);
          if (r == Region::Outline) want[k] = kBlackYcc[k];
        }
        if (got != want && ++mismatches < 5)
          ADD_FAILURE() << c.format << " at " << x << "," << y << ": " << got[0] << " " << got[1] << " " << got[2]
                        << " want " << want[0] << " " << want[1] << " " << want[2];
      }
    }
  EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    FormatsAndSizes, PanelsTest,
    ::testing::Values(FormatCase{"RGBA", 640, 480}, FormatCase{"BGRA", 1280, 720}, FormatCase{"RGBx", 333, 201},
                      FormatCase{"BGRx", 1920, 1080}, FormatCase{"I420", 640, 480}, FormatCase{"I420", 1279, 719},
                      FormatCase{"NV12", 1920, 1080}, FormatCase{"NV12", 320, 240}),
    [](const auto &info) {
      return std::string(info.param.format) + "_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

TEST(OverlayTest, UnscaledFramePlacedAtAnOffset) {
  const Played run = Play("format=RGBx,width=1280,height=720",
                       Overlay(WriteScene("panels.scene", kPanels), "scale=false x=100 y=-40"), 3);
  ASSERT_EQ(run.frames.size(), 3u);
  const Frame &f = run.frames[2];
  const std::array<int, 4> video{0x30, 0x60, 0xC0, 255}, red{253, 0, 0, 255}, black{0, 0, 0, 255};
  EXPECT_EQ(f.Rgba(100, 0), black);  // frame pixel (0, 40): the outline
  EXPECT_EQ(f.Rgba(101, 0), red);
  EXPECT_EQ(f.Rgba(99, 0), video);
  EXPECT_EQ(f.Rgba(418, 198), red);  // frame pixel (318, 238)
  EXPECT_EQ(f.Rgba(420, 199), video);
  EXPECT_EQ(f.Rgba(420, 200), black);  // frame pixel (320, 240)
  EXPECT_EQ(f.Rgba(421, 201), (std::array<int, 4>{Mix(0, 0x30, 128), Mix(0, 0x60, 128), Mix(252, 0xC0, 128), 255}));
  EXPECT_EQ(f.Rgba(739, 439), black);
  EXPECT_EQ(f.Rgba(740, 439), video);
  EXPECT_EQ(f.Rgba(739, 440), video);
}

// The leftmost column in rows [y0, y1) that is not the video's colour; -1 when none.
int LeftmostInk(const Frame &f, int y0, int y1) {
  const std::array<int, 4> video{0x30, 0x60, 0xC0, 255};
  for (int x = 0; x < f.info.width; ++x)
    for (int y = y0; y < y1; ++y)
      if (f.Rgba(x, y) != video) return x;
  return -1;
}

// A ticker moves 3 pixels per 40 ms of scene time, and scene time is the video's time: the
// frame composed at 300 ms (shown with buffer 8, 320 ms) and the one composed at 900 ms
// (buffer 23, 920 ms) lie 15 scroll ticks apart.
TEST(OverlayTest, TickerFollowsTheVideosTime) {
  const fs::path scene = WriteScene("ticker.scene",
                                    "AddVxComponent tick 1\n"
                                    "SetVxComponent_Pos tick 0 400 640 40\n"
                                    "SetVxComponent_Color tick 0x00FF00 0\n"
                                    "SetVxComponent_Font tick \"宋体\" 0xFFFFFF 24\n"
                                    "SetVxComponent_Text tick \"新闻快讯 VXOSD ticker\"\n"
                                    "SetVxComponent_TextStep tick 3\n"
                                    "SetVxComponent_Visible tick 0 1\n");
  const Played run = Play("format=RGBx,width=640,height=480", Overlay(scene), 24);
  ASSERT_EQ(run.frames.size(), 24u);
  const int at300 = LeftmostInk(run.frames[8], 400, 440);
  const int at900 = LeftmostInk(run.frames[23], 400, 440);
  ASSERT_GT(at300, 0);
  EXPECT_EQ(at300 - at900, 15 * 3);
  EXPECT_EQ(LeftmostInk(run.frames[8], 0, 400), -1);  // nothing outside the ticker's window
}

// A command sent before buffer 3 (120 ms) is applied before it, so the frame composed at
// 120 ms, shown with buffer 3, carries it; buffer 2 still shows the frame composed at 60 ms.
TEST(OverlayTest, CommandChangesTheTextAtTheNextFrame) {
  const fs::path scene = WriteScene("title.scene",
                                    "AddVxComponent title 2\n"
                                    "SetVxComponent_Pos title 20 20 600 60\n"
                                    "SetVxComponent_Color title 0x00FF00 0\n"
                                    "SetVxComponent_Font title \"宋体\" 0xFFFFFF 32\n"
                                    "SetVxComponent_Text title \"I\"\n"
                                    "SetVxComponent_Time title 0\n"
                                    "SetVxComponent_Visible title 0 1\n");
  gboolean accepted[2] = {FALSE, FALSE};
  const Played run = Play("format=RGBx,width=640,height=480", Overlay(scene), 5, [&](GstElement *osd, int n) {
    if (n != 3) return;
    g_signal_emit_by_name(osd, "command", "SetVxComponent_Text title \"标题 WWWW\"", &accepted[0]);
    g_signal_emit_by_name(osd, "command", "SetVxComponent_Visible title 0 1", &accepted[1]);
  });
  ASSERT_EQ(run.frames.size(), 5u);
  EXPECT_TRUE(accepted[0] && accepted[1]);
  auto ink = [](const Frame &f) {
    int n = 0;
    for (int y = 20; y < 80; ++y)
      for (int x = 20; x < 620; ++x) n += f.Rgba(x, y) == std::array<int, 4>{255, 255, 255, 255};
    return n;
  };
  const int before = ink(run.frames[2]), after = ink(run.frames[3]);
  EXPECT_GT(before, 0);
  EXPECT_GT(after, 2 * before);
  EXPECT_TRUE(run.warnings.empty());
}

TEST(OverlayTest, BadCommandsAreRefusedWithAWarning) {
  gboolean results[3] = {TRUE, TRUE, TRUE};
  const Played run = Play("format=I420,width=64,height=48", Overlay(WriteScene("panels.scene", kPanels)), 2,
                       [&](GstElement *osd, int n) {
                         if (n != 0) return;
                         g_signal_emit_by_name(osd, "command", "SetVxComponent_Bogus red\x1b", &results[0]);
                         g_signal_emit_by_name(osd, "command", "FreeVxOSD", &results[1]);
                         g_signal_emit_by_name(osd, "command", "DelVxComponent nobody", &results[2]);
                       });
  EXPECT_EQ(run.frames.size(), 2u);  // the pipeline runs on
  EXPECT_TRUE(run.errors.empty());
  EXPECT_FALSE(results[0]);
  EXPECT_FALSE(results[1]);
  EXPECT_TRUE(results[2]);  // well formed; the library then answers 0
  EXPECT_TRUE(run.Warning("\"SetVxComponent_Bogus red\\x1B\"")) << (run.warnings.empty() ? "" : run.warnings[0]);
  EXPECT_TRUE(run.Warning("FreeVxOSD"));
  EXPECT_TRUE(run.Warning("command \"DelVxComponent nobody\": DelVxComponent returned 0"));
}

TEST(OverlayTest, BadScenesPostErrors) {
  const Played missing = Play("format=I420,width=64,height=48", Overlay("/nonexistent/x.scene"), 2);
  EXPECT_TRUE(missing.frames.empty());
  EXPECT_TRUE(missing.Error("cannot read /nonexistent/x.scene"));

  const fs::path bad = WriteScene("bad.scene", "AddVxComponent a 0\nSetVxComponent_Pos a 1 2\n");
  const Played line = Play("format=I420,width=64,height=48", Overlay(bad), 2);
  EXPECT_TRUE(line.frames.empty());
  EXPECT_TRUE(line.Error(bad.string() + ":2: SetVxComponent_Pos takes 5 argument(s), not 3"));

  const fs::path owned = WriteScene("owned.scene", "wait 10\nFreeVxOSD\n");
  EXPECT_TRUE(Play("format=I420,width=64,height=48", Overlay(owned), 2).Error(owned.string() + ":2: FreeVxOSD"));

  EXPECT_TRUE(Play("format=I420,width=64,height=48", Overlay(WriteScene("empty.scene", "# nothing\n")), 2)
                  .Error("empty scene"));
  EXPECT_TRUE(Play("format=I420,width=64,height=48", Overlay(fs::temp_directory_path()), 2).Error("is a directory"));
}

// Each element runs a library of its own: two overlays run at once in two pipelines.
TEST(OverlayTest, TwoOverlaysRunAtOnceInTwoPipelines) {
  const fs::path scene = WriteScene("panels.scene", kPanels);
  Played second;
  const Played first = Play("format=I420,width=64,height=48", Overlay(scene), 3, [&](GstElement *, int n) {
    if (n == 1) second = Play("format=I420,width=64,height=48", Overlay(scene), 2);
  });
  EXPECT_EQ(first.frames.size(), 3u);
  EXPECT_TRUE(first.errors.empty());
  EXPECT_EQ(second.frames.size(), 2u);
  EXPECT_TRUE(second.errors.empty());
}

// A red panel over the top-left quarter; a blue one over the bottom-right quarter.
const char kRedQuarter[] =
    "AddVxComponent red 0\n"
    "SetVxComponent_Pos red 0 0 320 240\n"
    "SetVxComponent_Color red 0x0000FF 255\n"
    "SetVxComponent_Visible red 0 1\n";
const char kBlueQuarter[] =
    "AddVxComponent blue 0\n"
    "SetVxComponent_Pos blue 320 240 320 240\n"
    "SetVxComponent_Color blue 0xFF0000 255\n"
    "SetVxComponent_Visible blue 0 1\n";

// R, G, B of a BGRx frame at (x, y).
std::array<int, 3> RgbAt(const Frame &f, int x, int y) {
  const std::uint8_t *p = f.bytes.data() + y * GST_VIDEO_INFO_PLANE_STRIDE(&f.info, 0) + 4 * x;
  return {p[2], p[1], p[0]};
}
bool IsRed(std::array<int, 3> c) { return c[0] > 200 && c[1] < 30 && c[2] < 30; }
bool IsBlue(std::array<int, 3> c) { return c[0] < 30 && c[1] < 30 && c[2] > 200; }

TEST(OverlayTest, TwoOverlaysInSeriesBothDraw) {
  const fs::path red = WriteScene("red-quarter.scene", kRedQuarter);
  const fs::path blue = WriteScene("blue-quarter.scene", kBlueQuarter);
  const Played run = Play("format=BGRx,width=64,height=48",
                          Overlay(red) + " ! vxosdoverlay name=osd2 scene=\"" + blue.string() + "\"", 3);
  EXPECT_TRUE(run.errors.empty());
  ASSERT_EQ(run.frames.size(), 3u);
  EXPECT_TRUE(IsRed(RgbAt(run.frames[2], 10, 10)));
  EXPECT_TRUE(IsBlue(RgbAt(run.frames[2], 50, 40)));
  EXPECT_FALSE(IsRed(RgbAt(run.frames[2], 50, 10)));   // the video, under neither
  EXPECT_FALSE(IsBlue(RgbAt(run.frames[2], 50, 10)));
}

TEST(OverlayTest, TwoBranchesThroughATeeEachHaveTheirOwnOverlay) {
  const fs::path red = WriteScene("red-quarter.scene", kRedQuarter);
  const fs::path blue = WriteScene("blue-quarter.scene", kBlueQuarter);
  const Played run = Play("format=BGRx,width=64,height=48",
                          "tee name=t t. ! queue ! vxosdoverlay name=osd2 scene=\"" + blue.string() +
                              "\" ! fakesink sync=false t. ! queue ! " + Overlay(red),
                          3);
  EXPECT_TRUE(run.errors.empty());
  ASSERT_EQ(run.frames.size(), 3u);
  EXPECT_TRUE(IsRed(RgbAt(run.frames[2], 10, 10)));
  EXPECT_FALSE(IsBlue(RgbAt(run.frames[2], 50, 40)));  // the other branch's overlay only
}

}  // namespace
