#pragma once
// One channel: a GStreamer pipeline (the configured source, vxosdoverlay, a tee to every
// output and to the preview encoder) and what it has applied. The channel drives its library
// only through the element's interface: batches of scene lines through the "apply" action
// signal, answered by "vxosd-applied" bus messages; the OSD alone through "osd-sample". A
// source that fails puts the channel into "error" and it retries with back-off, replaying its
// state into the fresh library; nothing of it reaches other channels or the server.

#include <gst/gst.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "live/asrun.h"
#include "live/binding.h"
#include "live/channel_state.h"
#include "live/config.h"
#include "live/preview.h"
#include "live/rundown.h"
#include "scene/scene.h"

namespace vxlive {

// What became of a submitted request.
struct ApplyOutcome {
  int status = 200;     // 200 applied; 503 the channel cannot apply now; 500 the element refused it
  std::string error;    // for a status other than 200
  std::uint64_t batch = 0;
  std::uint64_t running_time_ns = 0;         // of the first output frame that shows the request
  std::uint64_t queued_running_time_ns = 0;  // the pipeline's running time when it was queued
  std::vector<std::string> lines;
  std::vector<int> results;
  std::vector<std::string> messages;
};

class Channel;

// What the server hears from its channels (main thread).
class ChannelListener {
 public:
  virtual ~ChannelListener() = default;
  virtual void StateChanged(Channel &channel) = 0;          // components or pipeline status
  virtual void AsRun(Channel &channel, const AsRunEntry &entry) = 0;
};

class Channel {
 public:
  using Reply = std::function<void(const ApplyOutcome &)>;
  using PngReply = std::function<void(int status, GBytes *png, const std::string &error)>;

  Channel(ChannelConfig config, std::string state_dir, std::string base_dir, ChannelListener &listener);
  ~Channel();
  Channel(const Channel &) = delete;
  Channel &operator=(const Channel &) = delete;

  const std::string &name() const { return config_.name; }
  const ChannelState &state() const { return state_; }
  const std::string &status() const { return status_; }
  const std::string &base_dir() const { return base_dir_; }

  // Loads the saved state (or, on the first start, the configured scene) and starts the
  // pipeline. False with error when the saved state cannot be read or written.
  bool Start(std::string &error);

  // Applies parsed steps as one batch before one video frame; reply is called once, on the
  // main thread, after the element reported the results (or with the reason it could not).
  void Submit(std::vector<vxscene::Step> steps, std::string source, Reply reply);

  // The rundown: take a cue (by id, or the next one when id is empty), take the on-air cue off,
  // replace the rundown. Each take is one request: the on-air cue's "out" and the new cue's
  // "lines" before the same frame. Replies as Submit; 404 no such cue, 409 nothing to take.
  void Take(const std::string &id, const std::string &source, Reply reply);
  void Stop(const std::string &source, Reply reply);
  void SetRundown(Rundown rundown);
  const Rundown &rundown() const { return rundown_; }
  const std::string &on_air() const { return on_air_; }

  // The components (and the on-air cue) back to what they were before the last applied
  // change, whatever made it; kUndoLevels levels. 409 when there is nothing to undo.
  void Undo(const std::string &source, Reply reply);
  std::size_t undo_levels() const { return undo_.size(); }
  static constexpr std::size_t kUndoLevels = 20;

  // Replaces the bindings (each starts at once) and saves them.
  void SetBindings(std::vector<BindingSettings> all_settings);
  // {"bindings": [settings with value, text, time, error]}
  JsonNode *BindingsJson() const;
  // {"autoplay", "loop", "cues", "on_air": {"id", "name", "elapsed_ms", "remaining_ms"} or null}
  JsonNode *RundownJson() const;

  // The current output frame (video with the OSD) or the OSD alone (with alpha) as PNG.
  void Snapshot(bool osd_layer, PngReply reply);

  PreviewHub &preview() { return *preview_; }
  const AsRunLog &asrun() const { return asrun_; }

  // {"name", "pipeline": {"state", "error", "frames", "fps", "restarts", "retry_in_ms"}, "components", "root_levels"}
  JsonNode *ToJson() const;

  // Ends the pipeline with EOS (so file outputs are finalised), then done; at most timeout_ms.
  void Shutdown(int timeout_ms, std::function<void()> done);

  // Back-off between restarts after a failure: 1 s doubling to 30 s; reset after 10 s playing.
  static constexpr int kFirstRetryMs = 1000, kMaxRetryMs = 30000, kStableMs = 10000;
  // A playing pipeline that shows no frame for this long counts as failed.
  static constexpr int kStallMs = 5000;

  // The gst-launch description of a channel's pipeline.
  static std::string PipelineDescription(const ChannelConfig &config);

 private:
  struct Pending {
    std::vector<vxscene::Step> steps;
    std::vector<std::string> lines;
    std::string source;
    Reply reply;
    bool replay = false;
    bool undo = false;  // an undo's own change is not a level to undo
    std::uint64_t queued_rt = 0;
    std::string action, cue;     // for the as-run log: "take", "stop", "undo"
    std::string on_air_before;   // the on-air cue an undo of this request restores
    std::string on_air_after;    // the on-air cue once applied
    std::shared_ptr<ChannelState> undo_target;  // for an undo: the state it restores
  };
  struct UndoLevel {
    ChannelState state;
    std::string on_air;
  };
  // Queues a rundown or undo request (steps may be empty: only the on-air cue changes).
  void SubmitControl(std::vector<vxscene::Step> steps, Pending p, Reply reply);
  void OnAirChanged(std::uint64_t running_time_ns);
  void ScheduleAutoplay();
  void CheckTimeOfDay();
  void ApplyBinding(const std::string &component, const std::string &text);
  bool BusyApplying() const;
  void PushUndo(const ChannelState &state, const std::string &on_air);
  void LoadExtras(JsonObject *saved);
  static int SecondsOfDay();
  // The pipeline's running time now (0 before it plays).
  std::uint64_t RunningTime() const;

  bool BuildPipeline(std::string &error);
  void TearDown(const std::string &why);
  void Fail(const std::string &error);
  void ScheduleRetry();
  void SetStatus(const std::string &status, const std::string &error);
  void Replay();
  bool Emit(std::vector<std::string> lines, Pending pending, std::string &error);
  void OnApplied(const GstStructure *s);
  bool SaveState(std::string &error);
  void RunScene();
  void OnSecond();

  static gboolean OnBus(GstBus *bus, GstMessage *message, gpointer data);
  static GstPadProbeReturn OnBuffer(GstPad *pad, GstPadProbeInfo *info, gpointer data);
  static GstFlowReturn OnPreviewSample(GstElement *sink, gpointer data);

  ChannelConfig config_;
  std::string state_dir_, base_dir_, state_file_;
  ChannelListener &listener_;
  ChannelState state_;
  AsRunLog asrun_;
  std::unique_ptr<PreviewHub> preview_;

  GstElement *pipeline_ = nullptr;
  GstElement *osd_ = nullptr;
  GstElement *valve_ = nullptr;
  guint bus_watch_ = 0;
  std::map<std::uint64_t, Pending> pending_;

  std::string status_ = "stopped";
  std::string error_;
  int restarts_ = 0;
  int retry_ms_ = kFirstRetryMs;
  guint retry_source_ = 0;
  gint64 retry_at_us_ = 0;
  gint64 playing_since_us_ = 0;
  guint second_source_ = 0;

  // Written by the streaming thread, read on the main thread.
  struct Frames;
  std::shared_ptr<Frames> frames_;
  std::uint64_t frames_last_ = 0;
  gint64 frames_last_us_ = 0;
  double fps_ = 0;
  gint64 last_frame_seen_us_ = 0;

  // The first-start scene, run batch by batch between its waits.
  std::vector<vxscene::Step> scene_;
  std::size_t scene_next_ = 0;
  guint scene_source_ = 0;

  Rundown rundown_;
  std::string on_air_;
  std::int64_t on_air_wall_us_ = 0;  // when it was taken (saved, for a restart)
  gint64 on_air_mono_us_ = 0;        // its first frame on the monotonic clock
  guint autoplay_source_ = 0;
  int last_time_of_day_ = -1;
  std::deque<UndoLevel> undo_;
  std::vector<BindingSettings> binding_settings_;
  std::vector<std::unique_ptr<Binding>> bindings_;

  bool shutting_down_ = false;
  std::function<void()> shutdown_done_;
  guint shutdown_timeout_ = 0;
};

}  // namespace vxlive
