// vxosdoverlay in real pipelines: videotestsrc ! vxosdoverlay ! appsink.
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
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

// A "vxosd-applied" message.
struct AppliedMessage {
  guint64 id = 0, running_time = 0;
  std::vector<int> results;
  std::vector<std::string> messages;
};

// What a pipeline produced: frames, and the messages of the bus.
struct Played {
  std::vector<Frame> frames;
  std::vector<std::string> errors, warnings;
  std::vector<AppliedMessage> applied;
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

AppliedMessage ParseApplied(const GstStructure *s) {
  AppliedMessage a;
  EXPECT_TRUE(gst_structure_get_uint64(s, "id", &a.id));
  EXPECT_TRUE(gst_structure_get_uint64(s, "running-time", &a.running_time));
  const GValue *results = gst_structure_get_value(s, "results");
  const GValue *messages = gst_structure_get_value(s, "messages");
  EXPECT_TRUE(results && GST_VALUE_HOLDS_ARRAY(results));
  EXPECT_TRUE(messages && GST_VALUE_HOLDS_ARRAY(messages));
  if (!results || !messages) return a;
  for (guint i = 0; i < gst_value_array_get_size(results); ++i)
    a.results.push_back(g_value_get_int(gst_value_array_get_value(results, i)));
  for (guint i = 0; i < gst_value_array_get_size(messages); ++i)
    a.messages.push_back(g_value_get_string(gst_value_array_get_value(messages, i)));
  return a;
}

void Collect(GstBus *bus, Played &run) {
  while (GstMessage *m = gst_bus_pop_filtered(
             bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING | GST_MESSAGE_ELEMENT))) {
    if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ELEMENT) {
      const GstStructure *s = gst_message_get_structure(m);
      if (s && gst_structure_has_name(s, "vxosd-applied")) run.applied.push_back(ParseApplied(s));
      gst_message_unref(m);
      continue;
    }
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

// Y, Cb, Cr of an RGB colour as the video codes it: the card's own values for BT.601 studio
// range, otherwise the matrix's equations (E'y = Kr R + Kg G + Kb B on 0..1, Cb and Cr the
// scaled differences), rounded.
std::array<int, 3> YccOf(const std::array<int, 3> &rgb, const GstVideoColorimetry &coding) {
  const bool full = coding.range == GST_VIDEO_COLOR_RANGE_0_255;
  if (coding.matrix == GST_VIDEO_COLOR_MATRIX_BT601 && !full) {
    if (rgb == kRedRgb) return kRedYcc;
    if (rgb == kBlueRgb) return kBlueYcc;
    return kBlackYcc;
  }
  gdouble kr = 0, kb = 0;
  EXPECT_TRUE(gst_video_color_matrix_get_Kr_Kb(coding.matrix, &kr, &kb));
  const double r = rgb[0] / 255.0, g = rgb[1] / 255.0, b = rgb[2] / 255.0;
  const double ey = kr * r + (1 - kr - kb) * g + kb * b;
  const double luma = full ? 255 * ey : 16 + 219 * ey;
  const double chroma_scale = full ? 255 : 224;
  return {int(std::floor(luma + 0.5)), int(std::floor(128 + chroma_scale * (b - ey) / (2 - 2 * kb) + 0.5)),
          int(std::floor(128 + chroma_scale * (r - ey) / (2 - 2 * kr) + 0.5))};
}

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
        // Luma per pixel, in the negotiated coding; chroma per 2 x 2 block, from the mean of
        // the four pixels' levels and colours.
        const auto got = f.Ycc(x, y), was = before.Ycc(x, y);
        auto level = [](Region r) { return r == Region::Clear ? 0 : r == Region::Blue ? 128 : 255; };
        auto region_at = [&](int vx, int vy) {
          return n == 0 ? Region::Clear
                        : RegionAt(int(std::int64_t(vx) * 640 / c.width), int(std::int64_t(vy) * 480 / c.height));
        };
        const auto &coding = f.info.colorimetry;
        auto ycc = [&](Region r) { return YccOf(r == Region::Red ? kRedRgb : r == Region::Blue ? kBlueRgb : kBlackRgb, coding); };
        std::array<int, 3> want = was;
        if (region != Region::Clear) want[0] = Mix(ycc(region)[0], was[0], level(region));
        const int bx = x & ~1, by = y & ~1;
        const int n_x = std::min(2, c.width - bx), n_y = std::min(2, c.height - by);
        for (int k = 1; k < 3; ++k) {
          int sum_a = 0, sum_ac = 0;
          for (int dy = 0; dy < n_y; ++dy)
            for (int dx = 0; dx < n_x; ++dx) {
              const Region r = region_at(bx + dx, by + dy);
              if (r == Region::Clear) continue;
              sum_a += level(r);
              sum_ac += level(r) * ycc(r)[k];
            }
          const int whole = 255 * n_x * n_y;
          if (sum_a > 0) want[k] = (was[k] * (whole - sum_a) + sum_ac + whole / 2) / whole;
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
                      FormatCase{"NV12", 1920, 1080}, FormatCase{"NV12", 320, 240}, FormatCase{"ARGB", 97, 55},
                      FormatCase{"ABGR", 64, 48}, FormatCase{"xRGB", 65, 49}, FormatCase{"xBGR", 66, 50},
                      FormatCase{"YV12", 321, 241}, FormatCase{"NV21", 322, 181}),
    [](const auto &info) {
      return std::string(info.param.format) + "_" + std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

// HD video is BT.709 unless its caps say otherwise, and SD video said to be BT.709 is too: the
// card's red is written with the BT.709 values of its colour (253, 0, 0), not the BT.601 ones.
TEST(OverlayTest, YuvIsCodedWithTheNegotiatedMatrix) {
  const std::array<int, 3> red709{62, 103, 239};
  const fs::path scene = WriteScene("panels.scene", kPanels);
  const Played hd = Play("format=NV12,width=1920,height=1080", Overlay(scene), 3);
  ASSERT_EQ(hd.frames.size(), 3u);
  EXPECT_EQ(hd.frames[2].info.colorimetry.matrix, GST_VIDEO_COLOR_MATRIX_BT709);
  EXPECT_EQ(hd.frames[2].Ycc(300, 224), red709);
  const Played sd = Play("format=I420,width=640,height=480,colorimetry=bt709", Overlay(scene), 3);
  ASSERT_EQ(sd.frames.size(), 3u);
  EXPECT_EQ(sd.frames[2].Ycc(100, 100), red709);
  const Played card = Play("format=I420,width=640,height=480,colorimetry=bt601", Overlay(scene), 3);
  ASSERT_EQ(card.frames.size(), 3u);
  EXPECT_EQ(card.frames[2].Ycc(100, 100), kRedYcc);
}

// Interlaced YUV is refused with an error that says what to do.
TEST(OverlayTest, InterlacedYuvIsRefused) {
  const Played run = Play("format=I420,width=64,height=48,interlace-mode=interleaved", Overlay(WriteScene("panels.scene", kPanels)), 2);
  EXPECT_TRUE(run.frames.empty());
  EXPECT_TRUE(run.Error("progressive YUV video only")) << (run.errors.empty() ? "" : run.errors[0]);
}

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

// The caps bound the picture's size, so that no table of the element grows without limit: a
// width beyond 16384 does not negotiate.
TEST(OverlayTest, PicturesBeyondTheSizeLimitAreRefused) {
  const Played run = Play("format=I420,width=16386,height=16", Overlay(WriteScene("panels.scene", kPanels)), 1);
  EXPECT_TRUE(run.frames.empty());
  EXPECT_FALSE(run.errors.empty());
  EXPECT_EQ(Play("format=I420,width=16384,height=2", Overlay(WriteScene("panels.scene", kPanels)), 1).frames.size(),
            1u);
}

// Without scene= in a working folder that was deleted, the element starts all the same.
TEST(OverlayTest, StartsInADeletedWorkingFolder) {
  const fs::path here = fs::current_path();
  const fs::path gone = fs::temp_directory_path() / ("vxosd-gst-gone-" + std::to_string(getpid()));
  fs::create_directories(gone);
  fs::current_path(gone);
  fs::remove(gone);
  const Played run = Play("format=I420,width=64,height=48", "vxosdoverlay name=osd", 2);
  fs::current_path(here);
  EXPECT_EQ(run.frames.size(), 2u);
  EXPECT_TRUE(run.errors.empty()) << run.errors[0];
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
  EXPECT_TRUE(Play("format=I420,width=64,height=48", Overlay("/dev/zero"), 2).Error("not a regular file"));
}

// One buffer an appsrc pushes: its times (GST_CLOCK_TIME_NONE for none) and flags.
struct Pushed {
  GstClockTime pts = GST_CLOCK_TIME_NONE, duration = GST_CLOCK_TIME_NONE;
  bool discont = false;
};

// Runs "appsrc ! ELEMENTS ! appsink" with 640 x 480 RGBx buffers of the video colour.
// format: the appsrc's segment format; segment_start: a TIME segment from there (0: the
// default segment).
Played PushPlay(const std::string &elements, const std::vector<Pushed> &buffers, const std::string &format = "time",
                GstClockTime segment_start = 0, const std::string &framerate = "25/1") {
  const std::string description = "appsrc name=src format=" + format +
                                  (segment_start ? " handle-segment-change=true" : "") +
                                  " caps=video/x-raw,format=RGBx,width=640,height=480,framerate=" + framerate +
                                  " ! " + elements + " ! appsink name=sink sync=false";
  GError *error = nullptr;
  GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
  Played run;
  if (!pipeline) {
    run.errors.push_back(error ? error->message : "no pipeline");
    if (error) g_error_free(error);
    return run;
  }
  GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  GstBus *bus = gst_element_get_bus(pipeline);
  GstCaps *caps = nullptr;
  g_object_get(src, "caps", &caps, nullptr);
  GstSegment segment;
  gst_segment_init(&segment, GST_FORMAT_TIME);
  segment.start = segment.time = segment_start;
  if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
    for (const Pushed &p : buffers) {
      GstBuffer *b = gst_buffer_new_allocate(nullptr, 640 * 480 * 4, nullptr);
      GstMapInfo map;
      gst_buffer_map(b, &map, GST_MAP_WRITE);
      for (gsize i = 0; i < map.size; i += 4) map.data[i] = 0x30, map.data[i + 1] = 0x60, map.data[i + 2] = 0xC0;
      gst_buffer_unmap(b, &map);
      GST_BUFFER_PTS(b) = p.pts;
      GST_BUFFER_DURATION(b) = p.duration;
      if (p.discont) GST_BUFFER_FLAG_SET(b, GST_BUFFER_FLAG_DISCONT);
      GstFlowReturn ret;
      if (segment_start) {
        GstSample *sample = gst_sample_new(b, caps, &segment, nullptr);
        g_signal_emit_by_name(src, "push-sample", sample, &ret);
        gst_sample_unref(sample);
      } else {
        g_signal_emit_by_name(src, "push-buffer", b, &ret);
      }
      gst_buffer_unref(b);
    }
    GstFlowReturn ret;
    g_signal_emit_by_name(src, "end-of-stream", &ret);
    for (;;) {
      GstSample *sample = nullptr;
      g_signal_emit_by_name(sink, "try-pull-sample", 60 * GST_SECOND, &sample);
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
  }
  Collect(bus, run);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  if (caps) gst_caps_unref(caps);
  gst_object_unref(bus);
  gst_object_unref(src);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return run;
}

// Buffers every 40 ms from `from` for `count` buffers.
std::vector<Pushed> Every40ms(GstClockTime from, int count, std::vector<Pushed> to = {}) {
  for (int i = 0; i < count; ++i) to.push_back({from + GstClockTime(i) * 40 * GST_MSECOND, 40 * GST_MSECOND});
  return to;
}

const char kTicker[] =
    "AddVxComponent tick 1\n"
    "SetVxComponent_Pos tick 0 400 640 40\n"
    "SetVxComponent_Color tick 0x00FF00 0\n"
    "SetVxComponent_Font tick \"Arial\" 0xFFFFFF 24\n"
    "SetVxComponent_Text tick \"VXOSD ticker VXOSD ticker VXOSD ticker\"\n"
    "SetVxComponent_TextStep tick 3\n"
    "SetVxComponent_Visible tick 0 1\n";

// A ten-minute jump in the video's time is crossed, not replayed: the ticker moves on by the
// few ticks of one cycle, while the scene's wait of five minutes inside the gap has ended.
TEST(VideoTimeTest, AJumpIsCrossedWithoutReplayingIt) {
  const fs::path scene = WriteScene("jump.scene", std::string(kTicker) +
                                                      "wait 300000\n"
                                                      "AddVxComponent red 0\n"
                                                      "SetVxComponent_Pos red 0 0 100 100\n"
                                                      "SetVxComponent_Color red 0x0000FF 255\n"
                                                      "SetVxComponent_Visible red 0 1\n");
  const std::vector<Pushed> buffers = Every40ms(600 * GST_SECOND + 440 * GST_MSECOND, 2, Every40ms(0, 11));
  const Played run = PushPlay(Overlay(scene), buffers);
  ASSERT_EQ(run.frames.size(), 13u);
  const int before = LeftmostInk(run.frames[10], 400, 440);  // composed at 360 ms
  const int after = LeftmostInk(run.frames[11], 400, 440);
  ASSERT_GT(before, 0);
  EXPECT_GE(before - after, 0);
  EXPECT_LE(before - after, 4 * 3);  // at most the ticks of 360 .. 400 ms and one cycle after the gap
  EXPECT_EQ(run.frames[10].Rgba(50, 50), (std::array<int, 4>{0x30, 0x60, 0xC0, 255}));
  EXPECT_EQ(run.frames[11].Rgba(50, 50), (std::array<int, 4>{253, 0, 0, 255}));
}

// A short gap is replayed (a slow slideshow keeps its ticks), except after a discontinuity.
TEST(VideoTimeTest, AShortGapIsReplayedUnlessDiscontinuous) {
  const fs::path scene = WriteScene("ticker.scene", kTicker);
  auto moved = [&](bool discont) {
    std::vector<Pushed> buffers = Every40ms(0, 11);
    buffers.push_back({1400 * GST_MSECOND, 40 * GST_MSECOND, discont});  // one second more
    const Played run = PushPlay(Overlay(scene), buffers);
    EXPECT_EQ(run.frames.size(), 12u);
    return run.frames.size() == 12 ? LeftmostInk(run.frames[10], 400, 440) - LeftmostInk(run.frames[11], 400, 440)
                                   : -1;
  };
  EXPECT_GE(moved(false), 24 * 3);  // the ticks of 360 .. 1380 ms
  EXPECT_LE(moved(true), 4 * 3);
}

// Buffers before the segment's start neither show the OSD nor move scene time: the first
// buffer in the segment (running time 0) shows no frame yet, the one at 80 ms the first one.
TEST(VideoTimeTest, BuffersOutsideTheSegmentAreSkipped) {
  const Played run =
      PushPlay(Overlay(WriteScene("panels.scene", kPanels)), Every40ms(GST_SECOND, 4, Every40ms(0, 25)), "time",
               GST_SECOND);
  ASSERT_EQ(run.frames.size(), 4u);  // the sink drops the 25 before the segment
  const std::array<int, 4> video{0x30, 0x60, 0xC0, 255}, red{253, 0, 0, 255};
  EXPECT_EQ(run.frames[0].Rgba(100, 100), video);
  EXPECT_EQ(run.frames[1].Rgba(100, 100), video);
  EXPECT_EQ(run.frames[2].Rgba(100, 100), red);
}

int g_criticals = 0;

// A segment in bytes (a plain appsrc): time goes by the buffers' durations, without a
// GStreamer-CRITICAL per buffer. Buffers with no time at all go by the caps' frame rate.
TEST(VideoTimeTest, BuffersWithoutATimeSegmentOrTimestamps) {
  g_criticals = 0;
  const guint handler = g_log_set_handler(
      "GStreamer", static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
      [](const gchar *, GLogLevelFlags, const gchar *, gpointer) { ++g_criticals; }, nullptr);
  std::vector<Pushed> durations(4, Pushed{GST_CLOCK_TIME_NONE, 40 * GST_MSECOND});
  const Played bytes = PushPlay(Overlay(WriteScene("panels.scene", kPanels)), durations, "bytes");
  g_log_remove_handler("GStreamer", handler);
  EXPECT_EQ(g_criticals, 0);
  ASSERT_EQ(bytes.frames.size(), 4u);
  const std::array<int, 4> video{0x30, 0x60, 0xC0, 255}, red{253, 0, 0, 255};
  EXPECT_EQ(bytes.frames[1].Rgba(100, 100), video);
  EXPECT_EQ(bytes.frames[2].Rgba(100, 100), red);

  const std::vector<Pushed> timeless(4);
  const Played by_rate = PushPlay(Overlay(WriteScene("panels.scene", kPanels)), timeless);
  ASSERT_EQ(by_rate.frames.size(), 4u);
  EXPECT_EQ(by_rate.frames[1].Rgba(100, 100), video);
  EXPECT_EQ(by_rate.frames[2].Rgba(100, 100), red);
  EXPECT_TRUE(by_rate.warnings.empty());

  const Played still = PushPlay(Overlay(WriteScene("panels.scene", kPanels)), timeless, "time", 0, "0/1");
  ASSERT_EQ(still.frames.size(), 4u);
  EXPECT_EQ(still.frames[3].Rgba(100, 100), video);
  EXPECT_EQ(still.warnings.size(), 1u);
  EXPECT_TRUE(still.Warning("neither a timestamp nor a duration"));
}

// Emits "apply" with the lines; returns the batch id.
guint64 Apply(GstElement *osd, std::vector<std::string> lines) {
  std::vector<gchar *> strv;
  for (std::string &l : lines) strv.push_back(l.data());
  strv.push_back(nullptr);
  guint64 id = 99;
  g_signal_emit_by_name(osd, "apply", strv.data(), &id);
  return id;
}

// Two batches sent before buffer 3 (120 ms) are applied before it, in order, each whole: the
// frame composed at 120 ms shows neither panel, buffer 2 still shows both. Each batch's
// message carries its id, each call's result and the library's message after a 0.
TEST(ApplyTest, BatchesAreAppliedBeforeOneFrameWithAResultPerCall) {
  guint64 ids[2] = {0, 0};
  const Played run = Play("format=RGBx,width=640,height=480", Overlay(WriteScene("panels.scene", kPanels)), 5,
                          [&](GstElement *osd, int n) {
                            if (n != 3) return;
                            ids[0] = Apply(osd, {"SetVxComponent_Visible red 0 0", "DelVxComponent nobody"});
                            ids[1] = Apply(osd, {"SetVxComponent_Visible blue 0 0"});
                          });
  ASSERT_EQ(run.frames.size(), 5u);
  EXPECT_GT(ids[0], 0u);
  EXPECT_GT(ids[1], ids[0]);
  ASSERT_EQ(run.applied.size(), 2u);
  EXPECT_EQ(run.applied[0].id, ids[0]);
  EXPECT_EQ(run.applied[0].running_time, 120 * GST_MSECOND);
  EXPECT_EQ(run.applied[0].results, (std::vector<int>{1, 0}));
  ASSERT_EQ(run.applied[0].messages.size(), 2u);
  EXPECT_EQ(run.applied[0].messages[0], "");
  EXPECT_NE(run.applied[0].messages[1].find("nobody"), std::string::npos) << run.applied[0].messages[1];
  EXPECT_EQ(run.applied[1].id, ids[1]);
  EXPECT_EQ(run.applied[1].results, (std::vector<int>{1}));
  EXPECT_EQ(run.applied[1].messages, (std::vector<std::string>{""}));
  const std::array<int, 4> video{0x30, 0x60, 0xC0, 255}, red{253, 0, 0, 255};
  EXPECT_EQ(run.frames[2].Rgba(100, 100), red);
  EXPECT_NE(run.frames[2].Rgba(400, 300), video);
  EXPECT_EQ(run.frames[3].Rgba(100, 100), video);
  EXPECT_EQ(run.frames[3].Rgba(400, 300), video);
  EXPECT_TRUE(run.warnings.empty()) << run.warnings[0];  // the results carry the library's answers
}

// A batch with one line the element cannot run is refused whole: nothing of it is applied,
// no message says it was, and a warning names the line.
TEST(ApplyTest, OneBadLineRefusesTheWholeBatch) {
  std::vector<guint64> ids;
  const Played run = Play("format=RGBx,width=640,height=480", Overlay(WriteScene("panels.scene", kPanels)), 4,
                          [&](GstElement *osd, int n) {
                            if (n != 0) return;
                            const std::string hide = "SetVxComponent_Visible red 0 0";
                            ids.push_back(Apply(osd, {hide, "NoSuchCall red"}));
                            ids.push_back(Apply(osd, {hide, "SetVxComponent_Pos red 1 2"}));
                            ids.push_back(Apply(osd, {hide, "wait 10"}));
                            ids.push_back(Apply(osd, {hide, "snapshot a.png"}));
                            ids.push_back(Apply(osd, {"FreeVxOSD", hide}));
                            ids.push_back(Apply(osd, {hide, "InitVxOSD"}));
                            ids.push_back(Apply(osd, {hide, "# a comment holds no call"}));
                            ids.push_back(Apply(osd, {}));
                          });
  ASSERT_EQ(run.frames.size(), 4u);
  EXPECT_EQ(ids, std::vector<guint64>(8, 0));
  EXPECT_TRUE(run.applied.empty());
  EXPECT_EQ(run.frames[3].Rgba(100, 100), (std::array<int, 4>{253, 0, 0, 255}));  // still shown
  EXPECT_TRUE(run.Warning("line 1 \"NoSuchCall red\": unknown call")) << run.warnings[0];
  EXPECT_TRUE(run.Warning("line 0 \"FreeVxOSD\""));
  EXPECT_TRUE(run.Warning("no line"));
}

// The queue holds at most 1024 lines: four batches of 256 fit, a fifth is refused, and so is
// a batch of more than 256. Before one buffer the element applies at most 256 lines, so the
// four batches go out with four buffers.
TEST(ApplyTest, TheQueueAndTheWorkBeforeOneBufferAreBounded) {
  std::vector<guint64> ids;
  const Played run = Play("format=I420,width=64,height=48", Overlay(WriteScene("panels.scene", kPanels)), 6,
                          [&](GstElement *osd, int n) {
                            if (n != 0) return;
                            for (int k = 0; k < 5; ++k)
                              ids.push_back(Apply(osd, std::vector<std::string>(256, "SetVxComponent_Visible red 0 1")));
                            ids.push_back(Apply(osd, std::vector<std::string>(257, "SetVxComponent_Visible red 0 1")));
                          });
  ASSERT_EQ(run.frames.size(), 6u);
  ASSERT_EQ(ids.size(), 6u);
  for (int k = 0; k < 4; ++k) EXPECT_GT(ids[k], 0u);
  EXPECT_EQ(ids[4], 0u);
  EXPECT_EQ(ids[5], 0u);
  EXPECT_TRUE(run.Warning("the command queue is full"));
  EXPECT_TRUE(run.Warning("more than the 256"));
  ASSERT_EQ(run.applied.size(), 4u);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(run.applied[k].id, ids[k]);
    EXPECT_EQ(run.applied[k].running_time, guint64(k) * 40 * GST_MSECOND);
    EXPECT_EQ(run.applied[k].results, std::vector<int>(256, 1));
  }
}

// "osd-sample": nothing before the first composed frame; then the OSD alone as RGBA with the
// colour level as alpha, as the player's --rgba writes it.
TEST(OsdSampleTest, ShowsThePanelsPixelsWithTheirLevels) {
  GstSample *before = reinterpret_cast<GstSample *>(1);
  GstSample *after = nullptr;
  const Played run = Play("format=I420,width=64,height=48", Overlay(WriteScene("panels.scene", kPanels)), 4,
                          [&](GstElement *osd, int n) {
                            if (n == 0) g_signal_emit_by_name(osd, "osd-sample", &before);
                            if (n == 3) g_signal_emit_by_name(osd, "osd-sample", &after);
                          });
  EXPECT_EQ(run.frames.size(), 4u);
  EXPECT_EQ(before, nullptr);
  ASSERT_NE(after, nullptr);
  GstVideoInfo info;
  ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(after)));
  EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_RGBA);
  EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 640);
  EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 480);
  GstMapInfo map;
  GstBuffer *buffer = gst_sample_get_buffer(after);
  ASSERT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
  ASSERT_EQ(map.size, 640u * 480 * 4);
  auto at = [&](int x, int y) {
    const std::uint8_t *p = map.data + (std::size_t(y) * 640 + x) * 4;
    return std::array<int, 4>{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(at(100, 100), (std::array<int, 4>{253, 0, 0, 255}));
  EXPECT_EQ(at(0, 0), (std::array<int, 4>{0, 0, 0, 255}));      // the outline
  EXPECT_EQ(at(400, 300), (std::array<int, 4>{0, 0, 252, 128}));  // blue at level 128
  EXPECT_EQ(at(400, 100)[3], 0);                                  // key colour
  EXPECT_EQ(at(100, 300)[3], 0);
  gst_buffer_unmap(buffer, &map);
  gst_sample_unref(after);
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
