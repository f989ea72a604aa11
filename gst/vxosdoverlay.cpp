#include "gst/vxosdoverlay.h"

#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

#include <algorithm>
#include <chrono>
#include <deque>
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
#include "gst/video_clock.h"
#include "scene/frame.h"
#include "scene/run.h"
#include "scene/scene.h"
#include "vxosd/vxosd.h"

GST_DEBUG_CATEGORY_STATIC(vxosd_overlay_debug);
#define GST_CAT_DEFAULT vxosd_overlay_debug

namespace {

namespace fs = std::filesystem;

// Live changes wait in one queue, oldest first: a `command` line is a batch of one without
// an id. What the queue may hold and what is applied before one buffer are bounded, so a
// flood neither grows memory nor stalls the video for long.
constexpr std::size_t kMaxBatchLines = 256;           // lines in one "apply" batch
constexpr std::size_t kMaxQueuedLines = 1024;         // lines waiting, all batches together
constexpr std::size_t kMaxQueuedBytes = 4 << 20;      // their text
constexpr std::size_t kLinesPerBuffer = 256;          // applied before one buffer (whole batches)
constexpr std::chrono::milliseconds kWorkPerBuffer{40};  // no further batch after this

struct QueuedLine {
  vxscene::Step step;
  std::string text;
};

struct Batch {
  guint64 id = 0;  // 0: a `command` line, which posts no "vxosd-applied" message
  std::vector<QueuedLine> lines;
  std::size_t bytes = 0;
};

// What one batch did: each call's result, and the library's message after a 0.
struct Applied {
  guint64 id = 0;
  std::vector<int> results;
  std::vector<std::string> messages;
};

struct OverlayState;

// The element's side of a scene run: time passes on the manual clock, snapshots are the
// player's business, refused calls become warnings on the bus.
class ElementHost : public vxscene::SceneHost {
 public:
  ElementHost(GstElement *element, const std::string &scene) : element_(element), scene_(scene) {}
  void Pass(std::uint32_t ms) override {
    // A skipped gap is taken from the first waits: what is replayed comes after everything the
    // gap brought.
    const auto skip = static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, skip_ms_));
    skip_ms_ -= skip;
    if (ms > skip) VxOSD_AdvanceClock(ms - skip);
  }
  // The library's timers leave out the next ms of scene time.
  void Skip(std::uint64_t ms) { skip_ms_ = ms; }
  bool Snapshot(const vxscene::Step &step) override {
    GST_DEBUG_OBJECT(element_, "line %d: snapshot is left to the scene player", step.line);
    return true;
  }
  void Refused(const vxscene::Step &step, const std::string &error) override {
    if (refusal_) {  // a batch line: its caller reads the message from "vxosd-applied"
      *refusal_ = error;
      GST_INFO_OBJECT(element_, "%s returned 0: %s", step.call.c_str(), error.c_str());
      return;
    }
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
  // While set, a call that returns 0 leaves the library's message here instead of a warning.
  void SetRefusal(std::string *message) { refusal_ = message; }

 private:
  std::string Where(const vxscene::Step &step) const {
    return command_ ? "command \"" + vxscene::Escaped(*command_) + "\""
                    : scene_ + ":" + std::to_string(step.line);
  }

  GstElement *element_;
  std::string scene_;
  const std::string *command_ = nullptr;
  std::string *refusal_ = nullptr;
  std::uint64_t skip_ms_ = 0;
};

struct OverlayState {
  // Settings and live commands, under the lock: they come from the application's threads.
  std::mutex lock;
  std::string scene_path;
  vxgst::Placement placement;
  std::deque<Batch> queue;
  std::size_t queued_lines = 0, queued_bytes = 0;
  guint64 next_batch_id = 1;

  // The composed frame, shared with "osd-sample" callers on the application's threads.
  std::mutex frame_lock;

  // Between start and stop; used by the streaming thread and the library's thread in turn.
  bool running = false;
  std::unique_ptr<vxgst::LibraryThread> library;
  std::unique_ptr<vxscene::SceneRun> run;
  std::unique_ptr<ElementHost> host;
  vxgst::OsdLayer layer;
  vxgst::VideoClock clock;
  guint64 frame_ns = 0;  // from the negotiated frame rate; 0 when it is not known
  vxgst::YuvEncoding encoding;  // from the negotiated caps
  bool warned_timeless = false;
};

}  // namespace

struct VxosdOverlay {
  GstVideoFilter parent;
  OverlayState state;  // constructed in place by instance_init, destroyed by finalize
};

struct VxosdOverlayClass {
  GstVideoFilterClass parent_class;
  gboolean (*command)(VxosdOverlay *self, const gchar *line);
  guint64 (*apply)(VxosdOverlay *self, gchar **lines);
  GstSample *(*osd_sample)(VxosdOverlay *self);
};

G_DEFINE_TYPE(VxosdOverlay, vxosd_overlay, GST_TYPE_VIDEO_FILTER)

namespace {

enum { PROP_0, PROP_SCENE, PROP_SCALE, PROP_X, PROP_Y };
enum { SIGNAL_COMMAND, SIGNAL_APPLY, SIGNAL_OSD_SAMPLE, SIGNAL_LAST };
guint g_signals[SIGNAL_LAST];

// The largest picture side the element negotiates (beyond 8K), so that its per-row and
// per-column tables stay small.
constexpr int kMaxVideoSide = 16384;

constexpr const char *kFormats = "{ RGBA, BGRA, ARGB, ABGR, RGBx, BGRx, xRGB, xBGR, I420, YV12, NV12, NV21 }";

VxosdOverlay *Self(gpointer object) { return reinterpret_cast<VxosdOverlay *>(object); }

void OnFrame(const std::uint8_t *stream, std::uint32_t size, void *user) {
  auto *st = static_cast<OverlayState *>(user);
  std::lock_guard lock(st->frame_lock);
  st->layer.SetFrame(stream, size);
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

// Why a live line cannot be queued ("" when it can); the parsed step in step.
std::string Refusal(const std::string &text, std::optional<vxscene::Step> &step) {
  try {
    step = vxscene::ParseLine(text, 1);
    if (!step) return "it holds no call";
    if (step->call == "wait" || step->call == "snapshot")
      return step->call + " belongs in a scene file, not in a live command";
    if (OwnedByElement(*step))
      return step->call + " is not available: vxosdoverlay starts and frees the library itself";
  } catch (const vxscene::SceneError &e) {
    return e.message;
  }
  return "";
}

// Queues a batch whole, or nothing of it when the queue has no room.
bool Enqueue(OverlayState &st, Batch &batch, guint64 &id) {
  std::lock_guard lock(st.lock);
  if (st.queued_lines + batch.lines.size() > kMaxQueuedLines || st.queued_bytes + batch.bytes > kMaxQueuedBytes)
    return false;
  if (id != 0) id = batch.id = st.next_batch_id++;
  st.queued_lines += batch.lines.size();
  st.queued_bytes += batch.bytes;
  st.queue.push_back(std::move(batch));
  return true;
}

const char *const kQueueFull = "the command queue is full (at most 1024 lines wait for the next buffers)";

gboolean OnCommand(VxosdOverlay *self, const gchar *line) {
  const std::string text = line ? line : "";
  std::optional<vxscene::Step> step;
  std::string why = Refusal(text, step);
  if (why.empty()) {
    Batch batch;
    batch.bytes = text.size();
    batch.lines.push_back({std::move(*step), text});
    guint64 no_id = 0;
    if (Enqueue(self->state, batch, no_id)) return TRUE;
    why = kQueueFull;
  }
  GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS,
                      ("Refused command \"%s\": %s", vxscene::Escaped(text).c_str(), why.c_str()), (nullptr));
  return FALSE;
}

guint64 OnApply(VxosdOverlay *self, gchar **lines) {
  const guint count = lines ? g_strv_length(lines) : 0;
  std::string why;
  Batch batch;
  if (count == 0) why = "it holds no line";
  else if (count > kMaxBatchLines)
    why = "it holds " + std::to_string(count) + " lines, more than the " + std::to_string(kMaxBatchLines) +
          " a batch may hold";
  for (guint i = 0; why.empty() && i < count; ++i) {
    std::string text = lines[i];
    std::optional<vxscene::Step> step;
    if (std::string line_why = Refusal(text, step); !line_why.empty()) {
      why = "line " + std::to_string(i) + " \"" + vxscene::Escaped(text) + "\": " + line_why;
    } else {
      batch.bytes += text.size();
      batch.lines.push_back({std::move(*step), std::move(text)});
    }
  }
  guint64 id = 1;  // asks Enqueue for an id
  if (why.empty() && !Enqueue(self->state, batch, id)) why = kQueueFull;
  if (why.empty()) return id;
  GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("Refused batch of %u line(s): %s", count, why.c_str()), (nullptr));
  return 0;
}

GstSample *OnOsdSample(VxosdOverlay *self) {
  OverlayState &st = self->state;
  constexpr gsize kBytes = gsize{4} * vxscene::kFrameWidth * vxscene::kFrameHeight;
  GstBuffer *buffer = nullptr;
  {
    std::lock_guard lock(st.frame_lock);
    if (!st.layer.has_frame()) return nullptr;
    buffer = gst_buffer_new_allocate(nullptr, kBytes, nullptr);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
      if (buffer) gst_buffer_unref(buffer);
      return nullptr;
    }
    st.layer.CopyRgba(map.data);
    gst_buffer_unmap(buffer, &map);
  }
  GstCaps *caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGBA", "width", G_TYPE_INT,
                                      vxscene::kFrameWidth, "height", G_TYPE_INT, vxscene::kFrameHeight, nullptr);
  GstSample *sample = gst_sample_new(buffer, caps, nullptr, nullptr);
  gst_caps_unref(caps);
  gst_buffer_unref(buffer);
  return sample;
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
    VxOSD_SetManualClockStartNow();
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
  // Relative picture paths in live commands are taken from the scene's folder, or from the
  // working folder (none when it was deleted: such a path then names no file).
  std::error_code ec;
  fs::path dir = path.empty() ? fs::current_path(ec) : fs::absolute(path, ec).parent_path();
  if (ec) dir.clear();
  st.run = std::make_unique<vxscene::SceneRun>(vxscene::LinkedLibrary(), std::move(steps), dir);
  st.host = std::make_unique<ElementHost>(GST_ELEMENT(self), path);
  {
    std::lock_guard lock(st.frame_lock);
    st.layer = vxgst::OsdLayer();
    st.layer.SetYuvEncoding(st.encoding);  // the caps may stay from before a restart
  }
  st.clock = vxgst::VideoClock();
  st.warned_timeless = false;
  return TRUE;
}

gboolean Stop(GstBaseTransform *trans) {
  OverlayState &st = Self(trans)->state;
  ReleaseLibrary(st);
  std::lock_guard lock(st.lock);
  st.queue.clear();
  st.queued_lines = st.queued_bytes = 0;
  return TRUE;
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

// The batches to apply before this buffer: oldest first, whole, until kLinesPerBuffer lines
// (at least one batch, however long).
std::vector<Batch> TakeBatches(OverlayState &st) {
  std::vector<Batch> taken;
  std::lock_guard lock(st.lock);
  std::size_t lines = 0;
  while (!st.queue.empty() && (taken.empty() || lines + st.queue.front().lines.size() <= kLinesPerBuffer)) {
    Batch &b = st.queue.front();
    lines += b.lines.size();
    st.queued_lines -= b.lines.size();
    st.queued_bytes -= b.bytes;
    taken.push_back(std::move(b));
    st.queue.pop_front();
  }
  return taken;
}

// Puts back, at the front and in their order, the batches the time budget left.
void ReturnBatches(OverlayState &st, std::vector<Batch> &batches, std::size_t from) {
  std::lock_guard lock(st.lock);
  for (std::size_t i = batches.size(); i-- > from;) {
    st.queued_lines += batches[i].lines.size();
    st.queued_bytes += batches[i].bytes;
    st.queue.push_front(std::move(batches[i]));
  }
}

// On the library's thread: every line of each batch in turn, until the time budget is spent
// (the first batch always runs). Returns how many batches ran; applied gets the results of
// those with an id.
std::size_t ApplyBatches(OverlayState &st, const std::vector<Batch> &batches, std::vector<Applied> &applied) {
  const auto start = std::chrono::steady_clock::now();
  std::size_t done = 0;
  for (const Batch &b : batches) {
    if (done > 0 && std::chrono::steady_clock::now() - start >= kWorkPerBuffer) break;
    Applied result{b.id, {}, {}};
    for (const QueuedLine &line : b.lines) {
      std::string message;
      st.host->SetCommand(&line.text);
      if (b.id != 0) st.host->SetRefusal(&message);
      const int r = st.run->Apply(line.step, *st.host);
      st.host->SetRefusal(nullptr);
      st.host->SetCommand(nullptr);
      result.results.push_back(r);
      result.messages.push_back(r == 0 ? std::move(message) : std::string());
    }
    if (b.id != 0) applied.push_back(std::move(result));
    ++done;
  }
  return done;
}

// "vxosd-applied": the batch's id, each call's result and message, and the running time of
// the buffer it was applied before.
void PostApplied(VxosdOverlay *self, const Applied &a, GstClockTime running_time) {
  GValue results = G_VALUE_INIT, messages = G_VALUE_INIT;
  g_value_init(&results, GST_TYPE_ARRAY);
  g_value_init(&messages, GST_TYPE_ARRAY);
  for (std::size_t i = 0; i < a.results.size(); ++i) {
    GValue r = G_VALUE_INIT, m = G_VALUE_INIT;
    g_value_init(&r, G_TYPE_INT);
    g_value_set_int(&r, a.results[i]);
    gst_value_array_append_and_take_value(&results, &r);
    g_value_init(&m, G_TYPE_STRING);
    g_value_set_string(&m, a.messages[i].c_str());
    gst_value_array_append_and_take_value(&messages, &m);
  }
  GstStructure *s = gst_structure_new("vxosd-applied", "id", G_TYPE_UINT64, a.id, "running-time", G_TYPE_UINT64,
                                      guint64{running_time}, nullptr);
  gst_structure_take_value(s, "results", &results);
  gst_structure_take_value(s, "messages", &messages);
  gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
}

// Moves scene time by this buffer. False for a buffer outside the segment, which is passed
// on untouched.
bool AdvanceClock(VxosdOverlay *self, GstBuffer *buffer, vxgst::VideoClock::Step &step,
                  GstClockTime &running_time) {
  OverlayState &st = self->state;
  GstBaseTransform *trans = GST_BASE_TRANSFORM(self);
  vxgst::VideoClock::Buffer b;
  running_time = GST_CLOCK_TIME_NONE;
  // Running time exists in TIME segments only; other segments (bytes from a plain appsrc or
  // filesrc) go by durations or the frame rate.
  if (trans->segment.format == GST_FORMAT_TIME && GST_BUFFER_PTS_IS_VALID(buffer)) {
    running_time = gst_segment_to_running_time(&trans->segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (GST_CLOCK_TIME_IS_VALID(running_time)) b.running_ns = running_time;
    else b.outside_segment = true;
  }
  if (GST_BUFFER_DURATION_IS_VALID(buffer)) b.duration_ns = GST_BUFFER_DURATION(buffer);
  b.discont = GST_BUFFER_IS_DISCONT(buffer);
  step = st.clock.Next(b, st.frame_ns);
  if (step.timeless && !st.warned_timeless) {
    st.warned_timeless = true;
    GST_ELEMENT_WARNING(self, STREAM, FORMAT,
                        ("vxosdoverlay cannot tell how much time the video takes: its buffers carry neither a "
                         "timestamp nor a duration, and the caps give no frame rate. The OSD stands still."),
                        (nullptr));
  }
  if (step.skipped_ms > 0)
    GST_INFO_OBJECT(self, "video time jumped by more than %" G_GUINT64_FORMAT " ms: not replayed", step.skipped_ms);
  return !b.outside_segment;
}

// On the library's thread: the scene and the library's timers up to this buffer's time.
void RunScene(OverlayState &st, const vxgst::VideoClock::Step &step, bool reset_time_of_day) {
  st.host->Skip(step.skipped_ms);
  st.run->RunUntil(step.scene_ms, *st.host);
  st.host->Skip(0);
  if (reset_time_of_day) VxOSD_SetManualClockStartNow();
}

// Whether the stream upstream is live (its time is the wall clock's).
bool UpstreamIsLive(GstBaseTransform *trans) {
  GstQuery *query = gst_query_new_latency();
  gboolean live = FALSE;
  if (gst_pad_peer_query(GST_BASE_TRANSFORM_SINK_PAD(trans), query))
    gst_query_parse_latency(query, &live, nullptr, nullptr);
  gst_query_unref(query);
  return live;
}

// Applies the queued batches and runs the scene up to this buffer's time, on the library's
// thread; then tells the bus what each batch did.
void RunLibrary(VxosdOverlay *self, const vxgst::VideoClock::Step &step, GstClockTime running_time) {
  OverlayState &st = self->state;
  std::vector<Batch> batches = TakeBatches(st);
  // After a skipped gap in live video the clock components show the time of day again.
  const bool reset_time_of_day = step.skipped_ms > 0 && UpstreamIsLive(GST_BASE_TRANSFORM(self));
  std::vector<Applied> applied;
  std::size_t done = 0;
  st.library->Run([&] {
    // Steps due now first (the scene's set-up on the first buffer), then the live commands,
    // so that a command finds the components the scene made.
    st.run->RunUntil(st.run->now_ms(), *st.host);
    done = ApplyBatches(st, batches, applied);
    RunScene(st, step, reset_time_of_day);
  });
  ReturnBatches(st, batches, done);
  for (const Applied &a : applied) PostApplied(self, a, running_time);
}

GstFlowReturn BlendFrame(VxosdOverlay *self, GstVideoFrame *frame) {
  OverlayState &st = self->state;
  vxgst::Placement placement;
  {
    std::lock_guard lock(st.lock);
    placement = st.placement;
  }
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

// The Y/Cb/Cr coding the caps give (GStreamer fills in its defaults: BT.601 for SD, BT.709
// for HD, when the caps do not say).
vxgst::YuvEncoding EncodingOf(const GstVideoInfo &info) {
  vxgst::YuvEncoding e;
  switch (info.colorimetry.matrix) {
    case GST_VIDEO_COLOR_MATRIX_BT709: e.matrix = vxgst::YuvMatrix::Bt709; break;
    case GST_VIDEO_COLOR_MATRIX_BT2020: e.matrix = vxgst::YuvMatrix::Bt2020; break;
    case GST_VIDEO_COLOR_MATRIX_SMPTE240M: e.matrix = vxgst::YuvMatrix::Smpte240m; break;
    case GST_VIDEO_COLOR_MATRIX_FCC: e.matrix = vxgst::YuvMatrix::Fcc; break;
    default: e.matrix = vxgst::YuvMatrix::Bt601; break;  // BT.601, and unknown
  }
  e.full_range = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
  return e;
}

gboolean SetInfo(GstVideoFilter *filter, GstCaps *, GstVideoInfo *in, GstCaps *, GstVideoInfo *) {
  VxosdOverlay *self = Self(filter);
  OverlayState &st = self->state;
  if (GST_VIDEO_INFO_IS_INTERLACED(in) && GST_VIDEO_INFO_IS_YUV(in)) {
    // A 4:2:0 chroma row of interlaced video belongs to one field: the block rule would mix
    // the two fields' rows.
    GST_ELEMENT_ERROR(self, STREAM, FORMAT,
                      ("vxosdoverlay draws on progressive YUV video only: deinterlace first "
                       "(deinterlace ! vxosdoverlay), or give it RGB"),
                      ("interlace-mode=%s", gst_video_interlace_mode_to_string(GST_VIDEO_INFO_INTERLACE_MODE(in))));
    return FALSE;
  }
  st.frame_ns = in->fps_n > 0 && in->fps_d > 0 ? gst_util_uint64_scale_int(GST_SECOND, in->fps_d, in->fps_n) : 0;
  st.encoding = EncodingOf(*in);
  std::lock_guard lock(st.frame_lock);
  st.layer.SetYuvEncoding(st.encoding);
  return TRUE;
}

GstFlowReturn TransformFrameIp(GstVideoFilter *filter, GstVideoFrame *frame) {
  VxosdOverlay *self = Self(filter);
  if (!self->state.library) {
    GST_ELEMENT_ERROR(self, CORE, FAILED, ("vxosdoverlay received video before it started"), (nullptr));
    return GST_FLOW_ERROR;
  }
  vxgst::VideoClock::Step step;
  GstClockTime running_time;
  if (!AdvanceClock(self, frame->buffer, step, running_time)) return GST_FLOW_OK;
  RunLibrary(self, step, running_time);
  return BlendFrame(self, frame);
}

// No exception may leave a vfunc or a signal handler into GStreamer's C code: a failure (an
// allocation, a thread that cannot start) becomes an error on the bus and the vfunc's
// failure value.
void PostFailure(gpointer object, const char *what) {
  GST_ELEMENT_ERROR(Self(object), LIBRARY, FAILED, ("vxosdoverlay failed: %s", what), (nullptr));
}

template <class R, class F>
R Guard(gpointer object, R failed, F &&body) {
  try {
    return body();
  } catch (const std::exception &e) {
    PostFailure(object, e.what());
  } catch (...) {
    PostFailure(object, "unknown error");
  }
  return failed;
}

gboolean GuardedStart(GstBaseTransform *trans) {
  return Guard(trans, FALSE, [&] {
    try {
      return Start(trans);
    } catch (...) {
      ReleaseLibrary(Self(trans)->state);
      throw;
    }
  });
}

void Finalize(GObject *object) {
  VxosdOverlay *self = Self(object);
  Guard(object, 0, [&] {
    ReleaseLibrary(self->state);
    return 0;
  });
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

  object_class->set_property = [](GObject *o, guint id, const GValue *v, GParamSpec *p) {
    Guard(o, 0, [&] {
      SetProperty(o, id, v, p);
      return 0;
    });
  };
  object_class->get_property = [](GObject *o, guint id, GValue *v, GParamSpec *p) {
    Guard(o, 0, [&] {
      GetProperty(o, id, v, p);
      return 0;
    });
  };
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

  klass->command = [](VxosdOverlay *self, const gchar *line) {
    return Guard(self, gboolean{FALSE}, [&] { return OnCommand(self, line); });
  };
  g_signals[SIGNAL_COMMAND] = g_signal_new(
      "command", G_TYPE_FROM_CLASS(klass), static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
      G_STRUCT_OFFSET(VxosdOverlayClass, command), nullptr, nullptr, nullptr, G_TYPE_BOOLEAN, 1,
      G_TYPE_STRING);
  klass->apply = [](VxosdOverlay *self, gchar **lines) {
    return Guard(self, guint64{0}, [&] { return OnApply(self, lines); });
  };
  g_signals[SIGNAL_APPLY] = g_signal_new(
      "apply", G_TYPE_FROM_CLASS(klass), static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
      G_STRUCT_OFFSET(VxosdOverlayClass, apply), nullptr, nullptr, nullptr, G_TYPE_UINT64, 1, G_TYPE_STRV);
  klass->osd_sample = [](VxosdOverlay *self) {
    return Guard(self, static_cast<GstSample *>(nullptr), [&] { return OnOsdSample(self); });
  };
  g_signals[SIGNAL_OSD_SAMPLE] = g_signal_new(
      "osd-sample", G_TYPE_FROM_CLASS(klass), static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
      G_STRUCT_OFFSET(VxosdOverlayClass, osd_sample), nullptr, nullptr, nullptr, GST_TYPE_SAMPLE, 0);

  gst_element_class_set_static_metadata(element_class, "VXOSD overlay", "Filter/Effect/Video",
                                        "Lays the VXOSD on-screen display over video, as the capture card mixes it",
                                        "VXOSD");
  GstCaps *caps = gst_caps_from_string(
      (std::string("video/x-raw, format=(string)") + kFormats +
       ", width=(int)[1, " + std::to_string(kMaxVideoSide) + "], height=(int)[1, " + std::to_string(kMaxVideoSide) +
       "], framerate=(fraction)[0/1, 2147483647/1]")
          .c_str());
  gst_element_class_add_pad_template(element_class, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
  gst_element_class_add_pad_template(element_class, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
  gst_caps_unref(caps);

  trans_class->start = GuardedStart;
  trans_class->stop = [](GstBaseTransform *t) { return Guard(t, gboolean{FALSE}, [&] { return Stop(t); }); };
  filter_class->set_info = [](GstVideoFilter *f, GstCaps *ic, GstVideoInfo *in, GstCaps *oc, GstVideoInfo *out) {
    return Guard(f, gboolean{FALSE}, [&] { return SetInfo(f, ic, in, oc, out); });
  };
  filter_class->transform_frame_ip = [](GstVideoFilter *f, GstVideoFrame *frame) {
    return Guard(f, GST_FLOW_ERROR, [&] { return TransformFrameIp(f, frame); });
  };
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
