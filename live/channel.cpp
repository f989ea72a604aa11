#include "live/channel.h"

#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "live/scene_lines.h"
#include "live/state_file.h"

namespace vxlive {

namespace fs = std::filesystem;

// The last frame the overlay put out (for snapshots) and the frame count, shared with the
// streaming threads.
struct Channel::Frames {
  std::mutex lock;
  GstBuffer *last = nullptr;
  GstCaps *caps = nullptr;
  std::atomic<std::uint64_t> count{0};
  Channel *owner = nullptr;  // main thread only; null once the channel is gone
  ~Frames() {
    if (last) gst_buffer_unref(last);
    if (caps) gst_caps_unref(caps);
  }
};

namespace {

// The element applies at most this many lines of one batch.
constexpr std::size_t kBatchLines = kMaxLinesPerRequest;
constexpr int kPreviewWidth = 640;

gint64 Now() { return g_get_monotonic_time(); }

// An error message as an operator reads it: the element, GStreamer's message, and the last
// line of its details, which usually names the file or device ("No such file ...").
std::string ErrorText(GstMessage *m) {
  g_autoptr(GError) e = nullptr;
  g_autofree gchar *debug = nullptr;
  gst_message_parse_error(m, &e, &debug);
  std::string text = e ? e->message : "error";
  if (GST_MESSAGE_SRC(m)) text = std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(m))) + ": " + text;
  if (debug) {
    std::string d = debug;
    if (const auto nl = d.rfind('\n'); nl != std::string::npos) d = d.substr(nl + 1);
    if (!d.empty() && d.find("gst") == std::string::npos) text += " (" + d + ")";
  }
  return text;
}

}  // namespace

Channel::Channel(ChannelConfig config, std::string state_dir, std::string base_dir, ChannelListener &listener)
    : config_(std::move(config)),
      state_dir_(std::move(state_dir)),
      base_dir_(std::move(base_dir)),
      state_file_(state_dir_ + "/" + config_.name + ".state.json"),
      listener_(listener),
      asrun_(config_.name, state_dir_),
      preview_(std::make_unique<PreviewHub>([this](std::size_t n) {
        if (valve_) g_object_set(valve_, "drop", n == 0 ? TRUE : FALSE, nullptr);
      })),
      frames_(std::make_shared<Frames>()) {
  frames_->owner = this;
}

Channel::~Channel() {
  shutting_down_ = true;  // replies of requests dropped below schedule nothing more
  frames_->owner = nullptr;
  if (scene_source_) g_source_remove(scene_source_);
  if (retry_source_) g_source_remove(retry_source_);
  if (second_source_) g_source_remove(second_source_);
  if (autoplay_source_) g_source_remove(autoplay_source_);
  bindings_.clear();
  if (shutdown_timeout_) g_source_remove(shutdown_timeout_);
  preview_->CloseAll();
  TearDown("the server is stopping");
}

std::string Channel::PipelineDescription(const ChannelConfig &config) {
  std::string d = config.source + " ! videoconvert ! vxosdoverlay name=osd ! tee name=t";
  for (const std::string &out : config.outputs) d += " t. ! queue ! videoconvert ! " + out;
  // The preview: at most 10 frames per second, 640 wide, encoded once whatever the number of
  // viewers, and not at all while nobody watches; a full queue drops, never blocks the video.
  d += " t. ! queue leaky=downstream max-size-buffers=1 ! valve name=preview_valve drop=true"
       " ! videorate max-rate=10 drop-only=true ! videoscale ! videoconvert"
       " ! video/x-raw,width=" + std::to_string(kPreviewWidth) + ",pixel-aspect-ratio=1/1"
       " ! jpegenc quality=75 ! appsink name=preview max-buffers=1 drop=true sync=false async=false emit-signals=true";
  return d;
}

bool Channel::Start(std::string &error) {
  if (!MakeFolders(state_dir_, error)) return false;
  std::optional<std::string> saved;
  if (!ReadWholeFile(state_file_, saved, error)) return false;
  bool first_start = !saved;
  if (saved) {
    std::string why;
    JsonNodePtr node = ParseJson(*saved, why);
    try {
      if (!node) throw std::runtime_error(why);
      JsonObject *o = JSON_NODE_HOLDS_OBJECT(node.get()) ? json_node_get_object(node.get()) : nullptr;
      if (!o || !json_object_has_member(o, "version") || json_object_get_int_member(o, "version") != 1)
        throw std::runtime_error("not a version 1 state file");
      state_ = ChannelState::FromJson(node.get());
      LoadExtras(o);
    } catch (const std::exception &e) {
      // Kept aside for a look, not thrown away; the channel starts as on its first start.
      const std::string aside = state_file_ + ".unreadable";
      std::error_code ec;
      fs::rename(state_file_, aside, ec);
      g_warning("channel %s: the saved state %s cannot be used (%s); it is kept as %s", name().c_str(),
                state_file_.c_str(), e.what(), aside.c_str());
      state_.Clear();
      rundown_ = {};
      on_air_.clear();
      undo_.clear();
      binding_settings_.clear();
      first_start = true;
    }
  }
  if (first_start) {
    if (!SaveState(error)) return false;
    if (!config_.scene.empty()) {
      try {
        scene_ = vxscene::LoadScene(config_.scene);
      } catch (const std::exception &e) {
        error = e.what();
        return false;
      }
      const fs::path dir = fs::path(config_.scene).parent_path();
      for (vxscene::Step &s : scene_)
        for (vxscene::Arg &a : s.args)
          if (a.type == vxscene::ArgType::Path && !a.utf8.empty() && fs::path(a.utf8).is_relative()) {
            a.utf8 = (dir / a.utf8).lexically_normal().string();
            vxscene::Utf8ToUtf16(a.utf8, a.utf16);
          }
    }
  }
  second_source_ = g_timeout_add(1000, [](gpointer d) -> gboolean {
    static_cast<Channel *>(d)->OnSecond();
    return G_SOURCE_CONTINUE;
  }, this);
  if (!BuildPipeline(error)) {
    Fail(error);
    error.clear();
  }
  last_time_of_day_ = SecondsOfDay();
  // An autoplayed cue goes on for what is left of its time, counted from when it was taken.
  if (!on_air_.empty()) on_air_mono_us_ = Now() - std::max<std::int64_t>(0, g_get_real_time() - on_air_wall_us_);
  ScheduleAutoplay();
  SetBindings(binding_settings_);
  return true;
}

void Channel::LoadExtras(JsonObject *o) {
  if (JsonNode *r = json_object_get_member(o, "rundown")) rundown_ = RundownFromJson(r, base_dir_);
  // A member of the wrong type makes the file unreadable, like any other fault in it.
  auto text = [](JsonObject *obj, const char *member) -> std::string {
    JsonNode *n = json_object_get_member(obj, member);
    if (!n) return "";
    if (!JSON_NODE_HOLDS_VALUE(n) || json_node_get_value_type(n) != G_TYPE_STRING)
      throw std::runtime_error(std::string("\"") + member + "\" is not a text");
    return json_node_get_string(n);
  };
  if (JsonNode *a = json_object_get_member(o, "on_air")) {
    if (!JSON_NODE_HOLDS_OBJECT(a)) throw std::runtime_error("\"on_air\" is not an object");
    JsonObject *ao = json_node_get_object(a);
    on_air_ = text(ao, "id");
    if (JsonNode *t = json_object_get_member(ao, "taken_us")) {
      if (!JSON_NODE_HOLDS_VALUE(t) || json_node_get_value_type(t) != G_TYPE_INT64)
        throw std::runtime_error("\"taken_us\" is not an integer");
      on_air_wall_us_ = json_node_get_int(t);
    }
    if (!rundown_.Find(on_air_)) on_air_.clear();
  }
  if (JsonNode *u = json_object_get_member(o, "undo")) {
    if (!JSON_NODE_HOLDS_ARRAY(u)) throw std::runtime_error("\"undo\" is not an array");
    JsonArray *a = json_node_get_array(u);
    for (guint i = 0; i < json_array_get_length(a) && i < kUndoLevels; ++i) {
      JsonNode *level = json_array_get_element(a, i);
      UndoLevel l{ChannelState::FromJson(level), ""};
      l.on_air = text(json_node_get_object(level), "on_air");
      undo_.push_back(std::move(l));
    }
  }
  if (JsonNode *b = json_object_get_member(o, "bindings")) {
    JsonObject *bo = json_object_new();
    json_object_set_member(bo, "bindings", json_node_copy(b));
    JsonNodePtr wrapped(ObjectNode(bo));
    binding_settings_ = BindingsFromJson(wrapped.get());
  }
}

int Channel::SecondsOfDay() {
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

bool Channel::SaveState(std::string &error) {
  JsonNodePtr node(state_.ToJson());
  JsonObject *o = json_node_get_object(node.get());
  json_object_set_int_member(o, "version", 1);
  json_object_set_string_member(o, "channel", name().c_str());
  json_object_set_member(o, "rundown", RundownToJson(rundown_));
  if (!on_air_.empty()) {
    JsonObject *a = json_object_new();
    json_object_set_string_member(a, "id", on_air_.c_str());
    json_object_set_int_member(a, "taken_us", on_air_wall_us_);
    json_object_set_object_member(o, "on_air", a);
  }
  JsonArray *undo = json_array_new();
  for (const UndoLevel &l : undo_) {
    JsonNode *level = l.state.ToJson();
    json_object_set_string_member(json_node_get_object(level), "on_air", l.on_air.c_str());
    json_array_add_element(undo, level);
  }
  json_object_set_array_member(o, "undo", undo);
  JsonArray *bindings = json_array_new();
  for (const BindingSettings &b : binding_settings_) json_array_add_object_element(bindings, BindingSettingsJson(b));
  json_object_set_array_member(o, "bindings", bindings);
  return WriteFileAtomically(state_file_, JsonText(node.get()) + "\n", error);
}

bool Channel::BuildPipeline(std::string &error) {
  g_autoptr(GError) err = nullptr;
  GstElement *p = gst_parse_launch_full(PipelineDescription(config_).c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &err);
  if (!p) {
    error = err ? err->message : "the pipeline does not parse";
    return false;
  }
  pipeline_ = p;
  osd_ = gst_bin_get_by_name(GST_BIN(p), "osd");
  valve_ = gst_bin_get_by_name(GST_BIN(p), "preview_valve");
  if (!osd_ || !g_signal_lookup("apply", G_OBJECT_TYPE(osd_)) || !g_signal_lookup("osd-sample", G_OBJECT_TYPE(osd_))) {
    error = "the vxosdoverlay element lacks the \"apply\" and \"osd-sample\" signals (an older plugin?)";
    TearDown(error);
    return false;
  }
  g_object_set(valve_, "drop", preview_->viewers() == 0 ? TRUE : FALSE, nullptr);
  GstElement *sink = gst_bin_get_by_name(GST_BIN(p), "preview");
  auto *frames = new std::shared_ptr<Frames>(frames_);
  g_signal_connect_data(sink, "new-sample", G_CALLBACK(OnPreviewSample), frames,
                        [](gpointer d, GClosure *) { delete static_cast<std::shared_ptr<Frames> *>(d); },
                        static_cast<GConnectFlags>(0));
  gst_object_unref(sink);
  GstPad *src = gst_element_get_static_pad(osd_, "src");
  gst_pad_add_probe(src, GST_PAD_PROBE_TYPE_BUFFER, OnBuffer, new std::shared_ptr<Frames>(frames_),
                    [](gpointer d) { delete static_cast<std::shared_ptr<Frames> *>(d); });
  gst_object_unref(src);
  GstBus *bus = gst_element_get_bus(p);
  bus_watch_ = gst_bus_add_watch(bus, OnBus, this);
  gst_object_unref(bus);
  {
    std::lock_guard lock(frames_->lock);
    if (frames_->last) gst_buffer_unref(frames_->last);
    frames_->last = nullptr;
  }
  SetStatus("starting", "");
  // The element starts its library on the way to PAUSED; the saved state goes in before the
  // first buffer (a live source sends none before PLAYING).
  if (gst_element_set_state(p, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
    error = "the pipeline does not start";
    // The bus usually holds the reason.
    GstBus *b = gst_element_get_bus(p);
    // The first error is the element's own; the bin's generic one follows it.
    bool first = true;
    while (GstMessage *m = gst_bus_pop_filtered(b, GST_MESSAGE_ERROR)) {
      if (first) error = ErrorText(m);
      first = false;
      gst_message_unref(m);
    }
    gst_object_unref(b);
    TearDown(error);
    return false;
  }
  Replay();
  if (!scene_.empty() && scene_next_ == 0) RunScene();
  gst_element_set_state(p, GST_STATE_PLAYING);
  frames_last_ = frames_->count.load();
  frames_last_us_ = last_frame_seen_us_ = Now();
  return true;
}

void Channel::TearDown(const std::string &why) {
  if (pipeline_) {
    if (bus_watch_) g_source_remove(bus_watch_);
    bus_watch_ = 0;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    if (osd_) gst_object_unref(osd_);
    if (valve_) gst_object_unref(valve_);
    gst_object_unref(pipeline_);
    pipeline_ = osd_ = valve_ = nullptr;
  }
  // The element drops what it has not applied yet: those requests were not applied.
  auto pending = std::move(pending_);
  pending_.clear();
  for (auto &[id, p] : pending) {
    if (!p.reply) continue;
    ApplyOutcome o;
    o.status = 503;
    o.error = "not applied: " + why;
    o.batch = id;
    o.lines = p.lines;
    p.reply(o);
  }
}

void Channel::SetStatus(const std::string &status, const std::string &error) {
  if (status == status_ && error == error_) return;
  status_ = status;
  error_ = error;
  if (status == "playing") playing_since_us_ = Now();
  listener_.StateChanged(*this);
}

void Channel::Fail(const std::string &error) {
  g_warning("channel %s: %s", name().c_str(), error.c_str());
  TearDown(error);
  if (shutting_down_) {
    if (shutdown_timeout_) g_source_remove(shutdown_timeout_);
    shutdown_timeout_ = 0;
    SetStatus("stopped", "");
    if (auto done = std::move(shutdown_done_)) done();
    return;
  }
  SetStatus("error", error);
  ScheduleRetry();
}

void Channel::ScheduleRetry() {
  if (retry_source_) return;
  retry_at_us_ = Now() + gint64{retry_ms_} * 1000;
  retry_source_ = g_timeout_add(static_cast<guint>(retry_ms_), [](gpointer d) -> gboolean {
    auto *self = static_cast<Channel *>(d);
    self->retry_source_ = 0;
    self->retry_ms_ = std::min(self->retry_ms_ * 2, kMaxRetryMs);
    ++self->restarts_;
    std::string error;
    if (!self->BuildPipeline(error)) self->Fail(error);
    return G_SOURCE_REMOVE;
  }, this);
}

void Channel::OnSecond() {
  const gint64 now = Now();
  const std::uint64_t count = frames_->count.load();
  if (now > frames_last_us_) fps_ = double(count - frames_last_) * 1e6 / double(now - frames_last_us_);
  if (count != frames_last_) last_frame_seen_us_ = now;
  frames_last_ = count;
  frames_last_us_ = now;
  CheckTimeOfDay();
  if (status_ == "playing") {
    if (now - playing_since_us_ > gint64{kStableMs} * 1000) retry_ms_ = kFirstRetryMs;
    if (now - last_frame_seen_us_ > gint64{kStallMs} * 1000)
      Fail("no video from the source for " + std::to_string(kStallMs / 1000) + " s");
  }
}

std::uint64_t Channel::RunningTime() const {
  if (!pipeline_) return 0;
  GstClock *clock = gst_element_get_clock(pipeline_);
  if (!clock) return 0;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(pipeline_);
  return now > base ? now - base : 0;
}

bool Channel::Emit(std::vector<std::string> lines, Pending pending, std::string &error) {
  if (!osd_ || shutting_down_) {
    error = status_ == "error" ? "the channel's pipeline has failed (" + error_ + "); it is retrying"
                               : "the channel is " + status_;
    return false;
  }
  std::vector<gchar *> strv;
  for (std::string &l : lines) strv.push_back(l.data());
  strv.push_back(nullptr);
  guint64 id = 0;
  g_signal_emit_by_name(osd_, "apply", strv.data(), &id);
  if (id == 0) {
    error = "the overlay refused the batch (see the server's log)";
    return false;
  }
  pending.lines = std::move(lines);
  pending.queued_rt = RunningTime();
  pending_.emplace(id, std::move(pending));
  return true;
}

void Channel::Replay() {
  const std::vector<std::string> lines = state_.ReplayLines();
  for (std::size_t i = 0; i < lines.size(); i += kBatchLines) {
    std::vector<std::string> part(lines.begin() + static_cast<std::ptrdiff_t>(i),
                                  lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), i + kBatchLines)));
    Pending p;
    p.source = "replay";
    p.replay = true;
    std::string error;
    if (!Emit(std::move(part), std::move(p), error))
      g_warning("channel %s: the saved state was not replayed: %s", name().c_str(), error.c_str());
  }
}

void Channel::Submit(std::vector<vxscene::Step> steps, std::string source, Reply reply) {
  std::vector<std::string> lines;
  for (const vxscene::Step &s : steps) lines.push_back(FormatStep(s));
  if (lines.size() > kBatchLines) {
    ApplyOutcome o;
    o.status = 400;
    o.error = "a request takes at most " + std::to_string(kBatchLines) + " lines";
    reply(o);
    return;
  }
  Pending p;
  p.steps = std::move(steps);
  p.source = std::move(source);
  p.reply = reply;
  p.on_air_before = p.on_air_after = on_air_;
  std::string error;
  if (!Emit(lines, std::move(p), error)) {
    ApplyOutcome o;
    o.status = 503;
    o.error = "not applied: " + error;
    o.lines = lines;
    reply(o);
  }
}

void Channel::OnApplied(const GstStructure *s) {
  guint64 id = 0, rt = 0;
  if (!gst_structure_get_uint64(s, "id", &id)) return;
  gst_structure_get_uint64(s, "running-time", &rt);
  auto it = pending_.find(id);
  if (it == pending_.end()) return;
  Pending p = std::move(it->second);
  pending_.erase(it);
  ApplyOutcome o;
  o.batch = id;
  o.running_time_ns = rt == GST_CLOCK_TIME_NONE ? 0 : rt;
  o.queued_running_time_ns = p.queued_rt;
  o.lines = p.lines;
  const GValue *results = gst_structure_get_value(s, "results");
  const GValue *messages = gst_structure_get_value(s, "messages");
  for (std::size_t i = 0; i < p.lines.size(); ++i) {
    const GValue *r = results && i < gst_value_array_get_size(results) ? gst_value_array_get_value(results, static_cast<guint>(i)) : nullptr;
    const GValue *m = messages && i < gst_value_array_get_size(messages) ? gst_value_array_get_value(messages, static_cast<guint>(i)) : nullptr;
    o.results.push_back(r && G_VALUE_HOLDS_INT(r) ? g_value_get_int(r) : 0);
    o.messages.push_back(m && G_VALUE_HOLDS_STRING(m) && g_value_get_string(m) ? g_value_get_string(m) : "");
  }
  if (p.replay) {
    for (std::size_t i = 0; i < o.results.size(); ++i)
      if (o.results[i] == 0)
        g_warning("channel %s: replaying \"%s\" failed: %s", name().c_str(), o.lines[i].c_str(), o.messages[i].c_str());
    return;
  }
  AsRunEntry entry;
  entry.wall_us = g_get_real_time();
  entry.running_time_ns = o.running_time_ns;
  entry.source = p.source;
  entry.lines = o.lines;
  entry.results = o.results;
  entry.messages = o.messages;
  entry.action = p.action;
  entry.cue = p.cue;
  const ChannelState before = state_;
  for (std::size_t i = 0; i < p.steps.size(); ++i)
    if (std::string change = state_.Record(p.steps[i], o.results[i]); !change.empty()) entry.changed.push_back(change);
  // An undo that went through whole leaves exactly the state it restores.
  if (p.undo_target && std::find(o.results.begin(), o.results.end(), 0) == o.results.end()) state_ = *p.undo_target;
  const bool on_air_changed = !p.action.empty();
  if (!p.undo && (!entry.changed.empty() || (!p.action.empty() && p.on_air_before != p.on_air_after))) PushUndo(before, p.on_air_before);
  if (on_air_changed) OnAirChanged(o.running_time_ns);
  if (!entry.changed.empty() || on_air_changed) {
    std::string error;
    if (!SaveState(error)) g_warning("channel %s: the state was not saved: %s", name().c_str(), error.c_str());
  }
  std::string error;
  if (!asrun_.Add(entry, error)) g_warning("channel %s: as-run log: %s", name().c_str(), error.c_str());
  if (p.reply) p.reply(o);
  listener_.AsRun(*this, entry);
  if (!entry.changed.empty() || on_air_changed) listener_.StateChanged(*this);
}

void Channel::PushUndo(const ChannelState &state, const std::string &on_air) {
  undo_.push_back({state, on_air});
  while (undo_.size() > kUndoLevels) undo_.pop_front();
}

bool Channel::BusyApplying() const {
  return std::any_of(pending_.begin(), pending_.end(), [](const auto &p) { return !p.second.replay; });
}

void Channel::SubmitControl(std::vector<vxscene::Step> steps, Pending p, Reply reply) {
  const std::string before = on_air_, after = p.on_air_after;
  p.on_air_before = before;
  // The on-air cue is the new one from now, so that a take right after this one takes its
  // next and applies its out; a request that is not applied puts the old one back.
  on_air_ = after;
  auto restore = [this, before, after](const ApplyOutcome &o) {
    if (o.status != 200 && on_air_ == after) on_air_ = before;
  };
  if (steps.empty()) {
    // Nothing for the library: only the on-air cue changes.
    ApplyOutcome o;
    o.running_time_ns = o.queued_running_time_ns = RunningTime();
    AsRunEntry entry;
    entry.wall_us = g_get_real_time();
    entry.running_time_ns = o.running_time_ns;
    entry.source = p.source;
    entry.action = p.action;
    entry.cue = p.cue;
    if (p.undo_target) state_ = *p.undo_target;
    else if (before != after) PushUndo(state_, before);
    OnAirChanged(o.running_time_ns);
    std::string error;
    if (!SaveState(error)) g_warning("channel %s: the state was not saved: %s", name().c_str(), error.c_str());
    if (!asrun_.Add(entry, error)) g_warning("channel %s: as-run log: %s", name().c_str(), error.c_str());
    reply(o);
    listener_.AsRun(*this, entry);
    listener_.StateChanged(*this);
    return;
  }
  std::vector<std::string> lines;
  for (const vxscene::Step &s : steps) lines.push_back(FormatStep(s));
  ApplyOutcome refused;
  refused.lines = lines;
  if (lines.size() > kBatchLines) {
    on_air_ = before;
    refused.status = 409;
    refused.error = "the change needs " + std::to_string(lines.size()) + " lines, more than one frame takes (" +
                    std::to_string(kBatchLines) + ")";
    return reply(refused);
  }
  p.steps = std::move(steps);
  p.reply = [restore, reply](const ApplyOutcome &o) {
    restore(o);
    reply(o);
  };
  std::string error;
  if (!Emit(lines, std::move(p), error)) {
    on_air_ = before;
    refused.status = 503;
    refused.error = "not applied: " + error;
    reply(refused);
  }
}

void Channel::Take(const std::string &id, const std::string &source, Reply reply) {
  ApplyOutcome refused;
  int index = -1;
  if (id.empty()) {
    const int now = rundown_.IndexOf(on_air_);
    index = now + 1;
    if (index >= static_cast<int>(rundown_.cues.size())) index = rundown_.loop && !rundown_.cues.empty() ? 0 : -1;
    if (index < 0) {
      refused.status = 409;
      refused.error = rundown_.cues.empty() ? "the rundown has no cue" : "the last cue is on air and the rundown does not loop";
      return reply(refused);
    }
  } else {
    index = rundown_.IndexOf(id);
    if (index < 0) {
      refused.status = 404;
      refused.error = "no cue \"" + vxscene::Escaped(id) + "\" in the rundown";
      return reply(refused);
    }
  }
  const Cue &cue = rundown_.cues[static_cast<std::size_t>(index)];
  std::vector<vxscene::Step> steps;
  try {
    if (const Cue *now = rundown_.Find(on_air_); now && !now->out.empty()) steps = CueSteps(*now, now->out, base_dir_);
    if (!cue.lines.empty()) {
      std::vector<vxscene::Step> in = CueSteps(cue, cue.lines, base_dir_);
      steps.insert(steps.end(), std::make_move_iterator(in.begin()), std::make_move_iterator(in.end()));
    }
  } catch (const std::exception &e) {
    refused.status = 400;
    refused.error = std::string("the cue cannot be taken: ") + e.what();
    return reply(refused);
  }
  Pending p;
  p.source = source;
  p.action = "take";
  p.cue = cue.id;
  p.on_air_after = cue.id;
  SubmitControl(std::move(steps), std::move(p), std::move(reply));
}

void Channel::Stop(const std::string &source, Reply reply) {
  const Cue *now = rundown_.Find(on_air_);
  if (!now) {
    ApplyOutcome refused;
    refused.status = 409;
    refused.error = "no cue is on air";
    return reply(refused);
  }
  std::vector<vxscene::Step> steps;
  if (!now->out.empty()) {
    try {
      steps = CueSteps(*now, now->out, base_dir_);
    } catch (const std::exception &e) {
      ApplyOutcome refused;
      refused.status = 400;
      refused.error = std::string("the cue cannot be taken off: ") + e.what();
      return reply(refused);
    }
  }
  Pending p;
  p.source = source;
  p.action = "stop";
  p.cue = now->id;
  SubmitControl(std::move(steps), std::move(p), std::move(reply));
}

void Channel::Undo(const std::string &source, Reply reply) {
  ApplyOutcome refused;
  refused.status = 409;
  if (undo_.empty()) {
    refused.error = "nothing to undo";
    return reply(refused);
  }
  // The lines are worked out from the state the library holds: not while a change is on its way.
  if (BusyApplying()) {
    refused.error = "a change is still being applied; undo once it is on air";
    return reply(refused);
  }
  UndoLevel level = std::move(undo_.back());
  undo_.pop_back();
  const std::vector<std::string> lines = state_.LinesTo(level.state);
  std::vector<vxscene::Step> steps;
  if (!lines.empty()) {
    try {
      steps = ParseCommandLines(lines, base_dir_);
    } catch (const LineError &e) {
      undo_.push_back(std::move(level));
      refused.error = "the undo cannot be applied in one request: " + e.message;
      return reply(refused);
    }
  }
  Pending p;
  p.source = source;
  p.action = "undo";
  p.undo = true;
  p.cue = level.on_air;
  p.on_air_after = level.on_air;
  p.undo_target = std::make_shared<ChannelState>(level.state);
  // A level that was not applied is kept for the next try.
  auto kept = std::make_shared<UndoLevel>(std::move(level));
  SubmitControl(std::move(steps), std::move(p), [this, kept, reply](const ApplyOutcome &o) {
    if (o.status != 200) {
      undo_.push_back(*kept);
      while (undo_.size() > kUndoLevels) undo_.pop_front();
    }
    reply(o);
  });
}

void Channel::SetRundown(Rundown rundown) {
  rundown_ = std::move(rundown);
  if (!rundown_.Find(on_air_)) on_air_.clear();
  ScheduleAutoplay();
  std::string error;
  if (!SaveState(error)) g_warning("channel %s: the state was not saved: %s", name().c_str(), error.c_str());
  listener_.StateChanged(*this);
}

void Channel::OnAirChanged(std::uint64_t running_time_ns) {
  on_air_wall_us_ = g_get_real_time();
  // Counted from the first frame that showed the cue.
  const std::uint64_t now_rt = RunningTime();
  const gint64 shown_ago_us = running_time_ns && now_rt > running_time_ns ? static_cast<gint64>((now_rt - running_time_ns) / 1000) : 0;
  on_air_mono_us_ = Now() - shown_ago_us;
  ScheduleAutoplay();
}

void Channel::ScheduleAutoplay() {
  if (autoplay_source_) g_source_remove(autoplay_source_);
  autoplay_source_ = 0;
  const Cue *cue = rundown_.Find(on_air_);
  if (!rundown_.autoplay || !cue || cue->duration_ms <= 0 || shutting_down_) return;
  const gint64 left_ms = std::max<gint64>(0, cue->duration_ms - (Now() - on_air_mono_us_) / 1000);
  autoplay_source_ = g_timeout_add(static_cast<guint>(left_ms), [](gpointer d) -> gboolean {
    auto *self = static_cast<Channel *>(d);
    self->autoplay_source_ = 0;
    const int index = self->rundown_.IndexOf(self->on_air_);
    const bool more = index + 1 < static_cast<int>(self->rundown_.cues.size()) || self->rundown_.loop;
    auto retry = [self](const ApplyOutcome &o) {
      if (o.status == 200) return;
      g_message("channel %s: autoplay: %s", self->name().c_str(), o.error.c_str());
      // The channel is down or busy: try again in a second.
      if (o.status == 503 && !self->autoplay_source_ && !self->shutting_down_)
        self->autoplay_source_ = g_timeout_add(1000, [](gpointer d2) -> gboolean {
          auto *s = static_cast<Channel *>(d2);
          s->autoplay_source_ = 0;
          s->ScheduleAutoplay();
          return G_SOURCE_REMOVE;
        }, self);
    };
    // The last cue of a rundown that does not loop ends by being taken off.
    if (more) self->Take("", "autoplay", retry);
    else self->Stop("autoplay", retry);
    return G_SOURCE_REMOVE;
  }, this);
}

void Channel::CheckTimeOfDay() {
  const int now = SecondsOfDay(), last = last_time_of_day_;
  last_time_of_day_ = now;
  if (last < 0 || now == last) return;
  for (const Cue &c : rundown_.cues) {
    if (!c.at) continue;
    const bool due = last < now ? *c.at > last && *c.at <= now : *c.at > last || *c.at <= now;  // past midnight
    if (!due) continue;
    Take(c.id, "time", [this](const ApplyOutcome &o) {
      if (o.status != 200) g_message("channel %s: time of day: %s", name().c_str(), o.error.c_str());
    });
    return;
  }
}

void Channel::ApplyBinding(const std::string &component, const std::string &text) {
  std::vector<vxscene::Step> steps;
  try {
    steps = ParseCommandLines({"SetVxComponent_Text " + QuoteText(component) + " " + QuoteText(text),
                               "SetVxComponent_Visible " + QuoteText(component) + " 0 1"},
                              base_dir_);
  } catch (const LineError &e) {
    g_message("channel %s: binding %s: %s", name().c_str(), component.c_str(), e.message.c_str());
    return;
  }
  Submit(std::move(steps), "binding", [this, component](const ApplyOutcome &o) {
    if (o.status != 200) g_message("channel %s: binding %s: %s", name().c_str(), component.c_str(), o.error.c_str());
  });
}

void Channel::SetBindings(std::vector<BindingSettings> all_settings) {
  bindings_.clear();
  binding_settings_ = std::move(all_settings);
  std::string error;
  if (!SaveState(error)) g_warning("channel %s: the state was not saved: %s", name().c_str(), error.c_str());
  for (const BindingSettings &s : binding_settings_)
    bindings_.push_back(std::make_unique<Binding>(
        s, [this](const std::string &c, const std::string &t) { ApplyBinding(c, t); },
        [this] { listener_.StateChanged(*this); }));
  for (auto &b : bindings_) b->Start();
  listener_.StateChanged(*this);
}

JsonNode *Channel::BindingsJson() const {
  JsonArray *a = json_array_new();
  for (const auto &b : bindings_) json_array_add_object_element(a, b->ToJson());
  JsonObject *o = json_object_new();
  json_object_set_array_member(o, "bindings", a);
  return ObjectNode(o);
}

JsonNode *Channel::RundownJson() const {
  JsonNode *node = RundownToJson(rundown_);
  JsonObject *o = json_node_get_object(node);
  if (const Cue *c = rundown_.Find(on_air_)) {
    JsonObject *a = json_object_new();
    json_object_set_string_member(a, "id", c->id.c_str());
    json_object_set_string_member(a, "name", c->name.c_str());
    const gint64 elapsed = std::max<gint64>(0, (Now() - on_air_mono_us_) / 1000);
    json_object_set_int_member(a, "elapsed_ms", elapsed);
    if (c->duration_ms > 0) json_object_set_int_member(a, "remaining_ms", std::max<gint64>(0, c->duration_ms - elapsed));
    else json_object_set_null_member(a, "remaining_ms");
    json_object_set_string_member(a, "taken", IsoLocalTime(on_air_wall_us_).c_str());
    json_object_set_object_member(o, "on_air", a);
  } else {
    json_object_set_null_member(o, "on_air");
  }
  return node;
}

void Channel::RunScene() {
  // Steps up to the next wait go in as one batch; the wait passes on the main loop's clock.
  std::vector<vxscene::Step> batch;
  std::uint32_t wait_ms = 0;
  while (scene_next_ < scene_.size()) {
    const vxscene::Step &s = scene_[scene_next_++];
    if (s.call == "wait") {
      wait_ms = static_cast<std::uint32_t>(s.args[0].number);
      if (!batch.empty() || wait_ms > 0) break;
      continue;
    }
    std::string why;
    if (!IsLiveCall(s.call, why)) continue;  // snapshots are the player's; the library is the element's
    batch.push_back(s);
    if (batch.size() == kBatchLines) break;
  }
  if (!batch.empty())
    Submit(std::move(batch), "scene", [this](const ApplyOutcome &o) {
      if (o.status != 200) g_warning("channel %s: scene %s: %s", name().c_str(), config_.scene.c_str(), o.error.c_str());
    });
  if (scene_next_ >= scene_.size()) return;
  scene_source_ = g_timeout_add(wait_ms, [](gpointer d) -> gboolean {
    auto *self = static_cast<Channel *>(d);
    self->scene_source_ = 0;
    self->RunScene();
    return G_SOURCE_REMOVE;
  }, this);
}

gboolean Channel::OnBus(GstBus *, GstMessage *m, gpointer data) {
  auto *self = static_cast<Channel *>(data);
  switch (GST_MESSAGE_TYPE(m)) {
    case GST_MESSAGE_ELEMENT: {
      const GstStructure *s = gst_message_get_structure(m);
      if (s && gst_structure_has_name(s, "vxosd-applied")) self->OnApplied(s);
      break;
    }
    case GST_MESSAGE_ERROR: {
      self->Fail(ErrorText(m));
      return G_SOURCE_REMOVE;  // Fail removed the watch with the pipeline
    }
    case GST_MESSAGE_WARNING: {
      g_autoptr(GError) e = nullptr;
      gst_message_parse_warning(m, &e, nullptr);
      g_message("channel %s: %s", self->name().c_str(), e ? e->message : "warning");
      break;
    }
    case GST_MESSAGE_EOS:
      if (self->shutting_down_) {
        self->TearDown("the server is stopping");
        if (self->shutdown_timeout_) g_source_remove(self->shutdown_timeout_);
        self->shutdown_timeout_ = 0;
        self->SetStatus("stopped", "");
        if (auto done = std::move(self->shutdown_done_)) done();
        return G_SOURCE_REMOVE;
      }
      self->Fail("the source ended");
      return G_SOURCE_REMOVE;
    case GST_MESSAGE_STATE_CHANGED:
      if (GST_MESSAGE_SRC(m) == GST_OBJECT(self->pipeline_)) {
        GstState old_state, new_state;
        gst_message_parse_state_changed(m, &old_state, &new_state, nullptr);
        if (new_state == GST_STATE_PLAYING) self->SetStatus("playing", "");
      }
      break;
    default: break;
  }
  return G_SOURCE_CONTINUE;
}

GstPadProbeReturn Channel::OnBuffer(GstPad *pad, GstPadProbeInfo *info, gpointer data) {
  Frames &f = **static_cast<std::shared_ptr<Frames> *>(data);
  GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
  f.count.fetch_add(1);
  GstCaps *caps = gst_pad_get_current_caps(pad);
  std::lock_guard lock(f.lock);
  gst_buffer_replace(&f.last, buffer);
  gst_caps_replace(&f.caps, caps);
  if (caps) gst_caps_unref(caps);
  return GST_PAD_PROBE_OK;
}

GstFlowReturn Channel::OnPreviewSample(GstElement *sink, gpointer data) {
  std::shared_ptr<Frames> frames = *static_cast<std::shared_ptr<Frames> *>(data);
  GstSample *sample = nullptr;
  g_signal_emit_by_name(sink, "pull-sample", &sample);
  if (!sample) return GST_FLOW_OK;
  GstBuffer *buffer = gst_sample_get_buffer(sample);
  std::uint64_t rt = 0;
  if (const GstSegment *segment = gst_sample_get_segment(sample); segment && buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
    const guint64 r = gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (GST_CLOCK_TIME_IS_VALID(r)) rt = r;
  }
  GstMapInfo map;
  GBytes *jpeg = nullptr;
  if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    jpeg = g_bytes_new(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
  }
  gst_sample_unref(sample);
  if (!jpeg) return GST_FLOW_OK;
  struct Delivery {
    std::shared_ptr<Frames> frames;
    GBytes *jpeg;
    std::uint64_t rt;
  };
  g_main_context_invoke_full(
      nullptr, G_PRIORITY_DEFAULT, [](gpointer d) -> gboolean {
        auto *delivery = static_cast<Delivery *>(d);
        if (Channel *owner = delivery->frames->owner) owner->preview_->Broadcast(delivery->jpeg, delivery->rt);
        return G_SOURCE_REMOVE;
      },
      new Delivery{std::move(frames), jpeg, rt}, [](gpointer d) {
        auto *delivery = static_cast<Delivery *>(d);
        g_bytes_unref(delivery->jpeg);
        delete delivery;
      });
  return GST_FLOW_OK;
}

void Channel::Snapshot(bool osd_layer, PngReply reply) {
  GstSample *sample = nullptr;
  if (osd_layer) {
    if (osd_) g_signal_emit_by_name(osd_, "osd-sample", &sample);
  } else {
    std::lock_guard lock(frames_->lock);
    if (frames_->last && frames_->caps) sample = gst_sample_new(frames_->last, frames_->caps, nullptr, nullptr);
  }
  if (!sample) {
    reply(503, nullptr, "the channel has no frame yet (" + status_ + ")");
    return;
  }
  GstCaps *png = gst_caps_new_empty_simple("image/png");
  auto *pending = new PngReply(std::move(reply));
  gst_video_convert_sample_async(
      sample, png, 5 * GST_SECOND,
      [](GstSample *out, GError *err, gpointer d) {
        auto &r = *static_cast<PngReply *>(d);
        GstBuffer *b = out ? gst_sample_get_buffer(out) : nullptr;
        GstMapInfo map;
        if (b && gst_buffer_map(b, &map, GST_MAP_READ)) {
          GBytes *bytes = g_bytes_new(map.data, map.size);
          gst_buffer_unmap(b, &map);
          r(200, bytes, "");
          g_bytes_unref(bytes);
        } else {
          r(500, nullptr, std::string("the PNG encoder failed: ") + (err ? err->message : "no picture"));
        }
        if (out) gst_sample_unref(out);
        if (err) g_error_free(err);
      },
      pending, [](gpointer d) { delete static_cast<PngReply *>(d); });
  gst_caps_unref(png);
  gst_sample_unref(sample);
}

JsonNode *Channel::ToJson() const {
  JsonNode *node = state_.ToJson();
  JsonObject *o = json_node_get_object(node);
  JsonObject *p = json_object_new();
  json_object_set_string_member(p, "state", status_.c_str());
  if (error_.empty()) json_object_set_null_member(p, "error");
  else json_object_set_string_member(p, "error", error_.c_str());
  json_object_set_int_member(p, "frames", static_cast<gint64>(frames_->count.load()));
  json_object_set_double_member(p, "fps", fps_);
  json_object_set_int_member(p, "restarts", restarts_);
  json_object_set_int_member(p, "retry_in_ms", retry_source_ ? std::max<gint64>(0, (retry_at_us_ - Now()) / 1000) : 0);
  json_object_set_int_member(p, "preview_viewers", static_cast<gint64>(preview_->viewers()));
  json_object_set_int_member(p, "preview_sent", static_cast<gint64>(preview_->frames_sent()));
  json_object_set_int_member(p, "preview_dropped", static_cast<gint64>(preview_->frames_dropped()));
  json_object_set_object_member(o, "pipeline", p);
  json_object_set_string_member(o, "name", name().c_str());
  json_object_set_member(o, "rundown", RundownJson());
  json_object_set_int_member(o, "undo_levels", static_cast<gint64>(undo_.size()));
  JsonNodePtr bindings(BindingsJson());
  json_object_set_member(o, "bindings", json_node_copy(json_object_get_member(json_node_get_object(bindings.get()), "bindings")));
  return node;
}

void Channel::Shutdown(int timeout_ms, std::function<void()> done) {
  shutting_down_ = true;
  if (autoplay_source_) g_source_remove(autoplay_source_);
  autoplay_source_ = 0;
  if (scene_source_) g_source_remove(scene_source_);
  if (retry_source_) g_source_remove(retry_source_);
  scene_source_ = retry_source_ = 0;
  if (!pipeline_) {
    SetStatus("stopped", "");
    done();
    return;
  }
  shutdown_done_ = std::move(done);
  // A closed preview valve would hold the EOS back from its sink, and the pipeline would
  // never report it.
  if (valve_) g_object_set(valve_, "drop", FALSE, nullptr);
  gst_element_send_event(pipeline_, gst_event_new_eos());
  shutdown_timeout_ = g_timeout_add(static_cast<guint>(timeout_ms), [](gpointer d) -> gboolean {
    auto *self = static_cast<Channel *>(d);
    self->shutdown_timeout_ = 0;
    g_warning("channel %s: the pipeline did not end within the time given; stopped without EOS", self->name().c_str());
    self->TearDown("the server is stopping");
    self->SetStatus("stopped", "");
    if (auto done = std::move(self->shutdown_done_)) done();
    return G_SOURCE_REMOVE;
  }, this);
}

}  // namespace vxlive
