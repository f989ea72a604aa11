#include "gst/vxosdoverlay.h"

#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gst/library_thread.h"
#include "gst/osd_layer.h"
#include "scene/run.h"
#include "scene/scene.h"
#include "vxosd/vxosd.h"

GST_DEBUG_CATEGORY_STATIC(vxosd_overlay_debug);
#define GST_CAT_DEFAULT vxosd_overlay_debug

namespace {

namespace fs = std::filesystem;

struct Command {
  vxscene::Step step;
  std::string text;
};

struct OverlayState;

// The element's side of a scene run: time passes on the manual clock, snapshots are the
// player's business, refused calls become warnings on the bus.
class ElementHost : public vxscene::SceneHost {
 public:
  ElementHost(GstElement *element, const std::string &scene) : element_(element), scene_(scene) {}
  void Pass(std::uint32_t ms) override { VxOSD_AdvanceClock(ms); }
  bool Snapshot(const vxscene::Step &step) override {
    GST_DEBUG_OBJECT(element_, "line %d: snapshot is left to the scene player", step.line);
    return true;
  }
  void Refused(const vxscene::Step &step, const std::string &error) override {
    const std::string where = Where(step);
    GST_ELEMENT_WARNING(element_, LIBRARY, SETTINGS,
                        ("%s: %s returned 0: %s", where.c_str(), step.call.c_str(), error.c_str()),
                        (nullptr));
  }
  void Warned(const vxscene::Step &step, const std::string &warning) override {
    const std::string where = Where(step);
    GST_ELEMENT_WARNING(element_, LIBRARY, SETTINGS, ("%s: %s", where.c_str(), warning.c_str()),
                        (nullptr));
  }
  void Note(const vxscene::Step &step, const std::string &note) override {
    GST_INFO_OBJECT(element_, "line %d: %s", step.line, note.c_str());
  }
  void SetCommand(const std::string *text) { command_ = text; }

 private:
  std::string Where(const vxscene::Step &step) const {
    return command_ ? "command \"" + vxscene::Escaped(*command_) + "\""
                    : scene_ + ":" + std::to_string(step.line);
  }

  GstElement *element_;
  std::string scene_;
  const std::string *command_ = nullptr;
};

struct OverlayState {
  // Settings and live commands, under the lock: they come from the application's threads.
  std::mutex lock;
  std::string scene_path;
  vxgst::Placement placement;
  std::vector<Command> commands;

  // Between start and stop; used by the streaming thread and the library's thread in turn.
  bool running = false;
  std::unique_ptr<vxgst::LibraryThread> library;
  std::unique_ptr<vxscene::SceneRun> run;
  std::unique_ptr<ElementHost> host;
  vxgst::OsdLayer layer;
  bool have_running_time = false;
  GstClockTime last_running_time = 0;
  guint64 scene_ns = 0;
};

}  // namespace

struct VxosdOverlay {
  GstVideoFilter parent;
  OverlayState state;  // constructed in place by instance_init, destroyed by finalize
};

struct VxosdOverlayClass {
  GstVideoFilterClass parent_class;
  gboolean (*command)(VxosdOverlay *self, const gchar *line);
};

G_DEFINE_TYPE(VxosdOverlay, vxosd_overlay, GST_TYPE_VIDEO_FILTER)

namespace {

enum { PROP_0, PROP_SCENE, PROP_SCALE, PROP_X, PROP_Y };
enum { SIGNAL_COMMAND, SIGNAL_LAST };
guint g_signals[SIGNAL_LAST];

constexpr const char *kFormats = "{ RGBA, BGRA, ARGB, ABGR, RGBx, BGRx, xRGB, xBGR, I420, YV12, NV12, NV21 }";

VxosdOverlay *Self(gpointer object) { return reinterpret_cast<VxosdOverlay *>(object); }

// The local wall-clock time as the library's date-time (days since 1899-12-30 00:00).
double LocalDaysNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm local{};
  localtime_r(&ts.tv_sec, &local);
  constexpr double kUnixEpoch = 25569.0;  // 1970-01-01
  return (double(ts.tv_sec + local.tm_gmtoff) + ts.tv_nsec / 1e9) / 86400.0 + kUnixEpoch;
}

void OnFrame(const std::uint8_t *stream, std::uint32_t size, void *user) {
  static_cast<OverlayState *>(user)->layer.SetFrame(stream, size);
}

void SetProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec) {
  OverlayState &st = Self(object)->state;
  std::lock_guard lock(st.lock);
  switch (id) {
    case PROP_SCENE: {
      const gchar *path = g_value_get_string(value);
      st.scene_path = path ? path : "";
      break;
    }
    case PROP_SCALE: st.placement.scale = g_value_get_boolean(value); break;
    case PROP_X: st.placement.x = g_value_get_int(value); break;
    case PROP_Y: st.placement.y = g_value_get_int(value); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

void GetProperty(GObject *object, guint id, GValue *value, GParamSpec *pspec) {
  OverlayState &st = Self(object)->state;
  std::lock_guard lock(st.lock);
  switch (id) {
    case PROP_SCENE: g_value_set_string(value, st.scene_path.empty() ? nullptr : st.scene_path.c_str()); break;
    case PROP_SCALE: g_value_set_boolean(value, st.placement.scale); break;
    case PROP_X: g_value_set_int(value, st.placement.x); break;
    case PROP_Y: g_value_set_int(value, st.placement.y); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

// A call the element cannot hand over: it starts and frees the library itself.
bool OwnedByElement(const vxscene::Step &step) {
  return step.call == "InitVxOSD" || step.call == "FreeVxOSD";
}

gboolean OnCommand(VxosdOverlay *self, const gchar *line) {
  OverlayState &st = self->state;
  const std::string text = line ? line : "";
  std::string why;
  std::optional<vxscene::Step> step;
  try {
    step = vxscene::ParseLine(text, 1);
    if (!step) why = "it holds no call";
    else if (step->call == "wait" || step->call == "snapshot")
      why = step->call + " belongs in a scene file, not in a live command";
    else if (OwnedByElement(*step))
      why = step->call + " is not available: vxosdoverlay starts and frees the library itself";
  } catch (const vxscene::SceneError &e) {
    why = e.message;
  }
  if (!why.empty()) {
    GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS,
                        ("Refused command \"%s\": %s", vxscene::Escaped(text).c_str(), why.c_str()),
                        (nullptr));
    return FALSE;
  }
  std::lock_guard lock(st.lock);
  st.commands.push_back({std::move(*step), text});
  return TRUE;
}

void ReleaseLibrary(OverlayState &st) {
  if (st.library) {
    st.library->Run([&] {
      FreeVxOSD();
      VxOSD_SetFrameCallback(nullptr, nullptr);
    });
    st.library.reset();
  }
  st.run.reset();
  st.host.reset();
  st.running = false;
}

gboolean Start(GstBaseTransform *trans) {
  VxosdOverlay *self = Self(trans);
  OverlayState &st = self->state;
  std::string path;
  {
    std::lock_guard lock(st.lock);
    path = st.scene_path;
  }
  std::vector<vxscene::Step> steps;
  if (!path.empty()) {
    try {
      steps = vxscene::LoadScene(path);
    } catch (const vxscene::SceneFileError &e) {
      GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("%s", e.what()), ("scene=%s", path.c_str()));
      return FALSE;
    } catch (const vxscene::SceneError &e) {
      GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("%s:%d: %s", path.c_str(), e.line, e.message.c_str()),
                        (nullptr));
      return FALSE;
    }
    for (const vxscene::Step &s : steps)
      if (OwnedByElement(s)) {
        GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS,
                          ("%s:%d: %s is not available: vxosdoverlay starts and frees the library itself",
                           path.c_str(), s.line, s.call.c_str()),
                          (nullptr));
        return FALSE;
      }
  }
  st.running = true;
  st.library = std::make_unique<vxgst::LibraryThread>();
  std::string error;
  st.library->Run([&] {
    VxOSD_SetFrameCallback(OnFrame, &st);
    VxOSD_UseManualClock(1);
    // Clocks on live video show the time of day: the manual clock starts at the local time
    // and then follows the video.
    VxOSD_SetManualClockStart(LocalDaysNow());
    InitVxOSD();
    char message[512];
    if (VxOSD_GetLastError(message, sizeof message) && std::string_view(message).starts_with("InitVxOSD"))
      error = message;
  });
  if (!error.empty()) {
    GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("The VXOSD library did not start: %s", error.c_str()), (nullptr));
    ReleaseLibrary(st);
    return FALSE;
  }
  const fs::path dir = path.empty() ? fs::current_path() : fs::absolute(path).parent_path();
  st.run = std::make_unique<vxscene::SceneRun>(vxscene::LinkedLibrary(), std::move(steps), dir);
  st.host = std::make_unique<ElementHost>(GST_ELEMENT(self), path);
  st.layer = vxgst::OsdLayer();
  st.have_running_time = false;
  st.scene_ns = 0;
  return TRUE;
}

gboolean Stop(GstBaseTransform *trans) {
  OverlayState &st = Self(trans)->state;
  ReleaseLibrary(st);
  std::lock_guard lock(st.lock);
  st.commands.clear();
  return TRUE;
}

// Scene time follows the buffers' running time: it stands still while the pipeline is
// paused and never runs backwards (after a seek it goes on from where it was).
guint64 SceneTime(OverlayState &st, GstBaseTransform *trans, GstBuffer *buffer) {
  const GstClockTime rt = gst_segment_to_running_time(&trans->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
  if (GST_CLOCK_TIME_IS_VALID(rt)) {
    if (st.have_running_time && rt > st.last_running_time) st.scene_ns += rt - st.last_running_time;
    st.last_running_time = rt;
    st.have_running_time = true;
  } else if (GST_BUFFER_DURATION_IS_VALID(buffer)) {
    st.scene_ns += GST_BUFFER_DURATION(buffer);
  }
  return st.scene_ns / GST_MSECOND;
}

bool Describe(GstVideoFrame *frame, vxgst::VideoPicture &p) {
  using Layout = vxgst::VideoPicture::Layout;
  p.width = GST_VIDEO_FRAME_WIDTH(frame);
  p.height = GST_VIDEO_FRAME_HEIGHT(frame);
  auto packed = [&](int r, int g, int b, int a) {
    p.layout = Layout::Packed;
    p.planes[0] = static_cast<std::uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    p.strides[0] = GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0);
    p.r = r, p.g = g, p.b = b, p.a = a;
  };
  auto planes = [&](Layout layout) {
    p.layout = layout;
    for (int c = 0; c < 3; ++c) {
      p.planes[c] = static_cast<std::uint8_t *>(GST_VIDEO_FRAME_COMP_DATA(frame, c));
      p.strides[c] = GST_VIDEO_FRAME_COMP_STRIDE(frame, c);
    }
  };
  switch (GST_VIDEO_FRAME_FORMAT(frame)) {
    case GST_VIDEO_FORMAT_RGBA: packed(0, 1, 2, 3); return true;
    case GST_VIDEO_FORMAT_BGRA: packed(2, 1, 0, 3); return true;
    case GST_VIDEO_FORMAT_ARGB: packed(1, 2, 3, 0); return true;
    case GST_VIDEO_FORMAT_ABGR: packed(3, 2, 1, 0); return true;
    case GST_VIDEO_FORMAT_RGBx: packed(0, 1, 2, -1); return true;
    case GST_VIDEO_FORMAT_BGRx: packed(2, 1, 0, -1); return true;
    case GST_VIDEO_FORMAT_xRGB: packed(1, 2, 3, -1); return true;
    case GST_VIDEO_FORMAT_xBGR: packed(3, 2, 1, -1); return true;
    case GST_VIDEO_FORMAT_I420:
    case GST_VIDEO_FORMAT_YV12: planes(Layout::Planar); return true;
    case GST_VIDEO_FORMAT_NV12:
    case GST_VIDEO_FORMAT_NV21: {
      planes(Layout::SemiPlanar);
      // Cb and Cr share plane 1; the offsets within a pair come from the two components.
      std::uint8_t *pair = static_cast<std::uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(frame, 1));
      p.u = static_cast<int>(p.planes[1] - pair);
      p.v = static_cast<int>(p.planes[2] - pair);
      p.planes[1] = pair;
      p.strides[1] = GST_VIDEO_FRAME_PLANE_STRIDE(frame, 1);
      return true;
    }
    default: return false;
  }
}

GstFlowReturn TransformFrameIp(GstVideoFilter *filter, GstVideoFrame *frame) {
  VxosdOverlay *self = Self(filter);
  OverlayState &st = self->state;
  if (!st.library) {
    GST_ELEMENT_ERROR(self, CORE, FAILED, ("vxosdoverlay received video before it started"), (nullptr));
    return GST_FLOW_ERROR;
  }
  const guint64 until_ms = SceneTime(st, GST_BASE_TRANSFORM(filter), frame->buffer);
  std::vector<Command> commands;
  vxgst::Placement placement;
  {
    std::lock_guard lock(st.lock);
    commands.swap(st.commands);
    placement = st.placement;
  }
  st.library->Run([&] {
    // Steps due now first (the scene's set-up on the first buffer), then the live commands,
    // so that a command finds the components the scene made.
    st.run->RunUntil(st.run->now_ms(), *st.host);
    for (const Command &c : commands) {
      st.host->SetCommand(&c.text);
      st.run->Apply(c.step, *st.host);
      st.host->SetCommand(nullptr);
    }
    st.run->RunUntil(until_ms, *st.host);
  });
  vxgst::VideoPicture picture;
  if (!Describe(frame, picture)) {
    GST_ELEMENT_ERROR(self, STREAM, FORMAT, ("vxosdoverlay cannot draw on %s video",
                                             gst_video_format_to_string(GST_VIDEO_FRAME_FORMAT(frame))),
                      (nullptr));
    return GST_FLOW_NOT_NEGOTIATED;
  }
  st.layer.Blend(picture, placement);
  return GST_FLOW_OK;
}

void Finalize(GObject *object) {
  VxosdOverlay *self = Self(object);
  ReleaseLibrary(self->state);
  self->state.~OverlayState();
  G_OBJECT_CLASS(vxosd_overlay_parent_class)->finalize(object);
}

}  // namespace

static void vxosd_overlay_init(VxosdOverlay *self) { new (&self->state) OverlayState(); }

static void vxosd_overlay_class_init(VxosdOverlayClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstBaseTransformClass *trans_class = GST_BASE_TRANSFORM_CLASS(klass);
  GstVideoFilterClass *filter_class = GST_VIDEO_FILTER_CLASS(klass);

  object_class->set_property = SetProperty;
  object_class->get_property = GetProperty;
  object_class->finalize = Finalize;

  const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
  const auto live = static_cast<GParamFlags>(flags | GST_PARAM_MUTABLE_PLAYING);
  g_object_class_install_property(
      object_class, PROP_SCENE,
      g_param_spec_string("scene", "Scene", "Scene file run from the first buffer (read when the element starts)",
                          nullptr, static_cast<GParamFlags>(flags | GST_PARAM_MUTABLE_READY)));
  g_object_class_install_property(
      object_class, PROP_SCALE,
      g_param_spec_boolean("scale", "Scale", "Scale the 640x480 OSD frame to the video (nearest); "
                                             "otherwise place it 1:1 at x, y",
                           TRUE, live));
  g_object_class_install_property(
      object_class, PROP_X,
      g_param_spec_int("x", "X", "Left edge of the unscaled OSD frame on the video", -65535, 65535, 0, live));
  g_object_class_install_property(
      object_class, PROP_Y,
      g_param_spec_int("y", "Y", "Top edge of the unscaled OSD frame on the video", -65535, 65535, 0, live));

  klass->command = OnCommand;
  g_signals[SIGNAL_COMMAND] = g_signal_new(
      "command", G_TYPE_FROM_CLASS(klass), static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
      G_STRUCT_OFFSET(VxosdOverlayClass, command), nullptr, nullptr, nullptr, G_TYPE_BOOLEAN, 1,
      G_TYPE_STRING);

  gst_element_class_set_static_metadata(element_class, "VXOSD overlay", "Filter/Effect/Video",
                                        "Lays the VXOSD on-screen display over video, as the capture card mixes it",
                                        "VXOSD");
  GstCaps *caps = gst_caps_from_string(
      (std::string("video/x-raw, format=(string)") + kFormats +
       ", width=(int)[1, 2147483647], height=(int)[1, 2147483647], framerate=(fraction)[0/1, 2147483647/1]")
          .c_str());
  gst_element_class_add_pad_template(element_class, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
  gst_element_class_add_pad_template(element_class, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
  gst_caps_unref(caps);

  trans_class->start = Start;
  trans_class->stop = Stop;
  filter_class->transform_frame_ip = TransformFrameIp;
  GST_DEBUG_CATEGORY_INIT(vxosd_overlay_debug, "vxosdoverlay", 0, "VXOSD overlay");
}

gboolean vxosd_overlay_register(GstPlugin *plugin) {
  return gst_element_register(plugin, "vxosdoverlay", GST_RANK_NONE, VXOSD_TYPE_OVERLAY);
}

gboolean vxosd_overlay_register_static(void) {
  return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "vxosd",
                                    "On-screen display overlays from the VXOSD library", vxosd_overlay_register,
                                    "1.0", "Proprietary", "vxosd", "vxosd", "VXOSD");
}
