// What a video pipeline pays for an OSD: videotestsrc ! textoverlay ! clockoverlay ! fakesink
// against videotestsrc ! vxosdoverlay ! fakesink, with a CJK caption, a clock and a ticker,
// at 640 x 480 and 1920 x 1080 (I420). The unit is CPU time per video frame of the whole
// process (every thread: source, overlays, the library's own thread), so a busy machine
// does not inflate it as wall time would. "overlay_us" subtracts the bare
// videotestsrc ! fakesink pipeline measured in the same run.
// BM_Gap: what a jump in the video's time costs (a live source that reconnects): two buffers,
// then one after the gap, through vxosdoverlay with the same scene; CPU time of the run.
#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <sys/resource.h>

#include <map>
#include <string>

#include "gst/vxosdoverlay.h"

namespace {

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the pipeline to its end; returns the CPU seconds it took, or -1 on an error.
double RunPipeline(const std::string &description) {
  GError *error = nullptr;
  GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline) {
    if (error) g_error_free(error);
    return -1;
  }
  GstBus *bus = gst_element_get_bus(pipeline);
  const double start = ProcessCpuSeconds();
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstMessage *m = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                             static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const double used = ProcessCpuSeconds() - start;
  const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
  if (m) gst_message_unref(m);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(bus);
  gst_object_unref(pipeline);
  return ok ? used : -1;
}

// appsrc ! vxosdoverlay ! fakesink with buffers at 0 and 40 ms and one after gap_s seconds.
double RunGap(std::uint64_t gap_s) {
  const std::string description =
      std::string("appsrc name=src format=time caps=video/x-raw,format=I420,width=640,height=480,framerate=25/1 ! "
                  "vxosdoverlay scene=\"") +
      VXOSD_BENCH_SCENE + "\" ! fakesink sync=false";
  GError *error = nullptr;
  GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
  if (!pipeline) {
    if (error) g_error_free(error);
    return -1;
  }
  GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
  GstBus *bus = gst_element_get_bus(pipeline);
  const double start = ProcessCpuSeconds();
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  for (const GstClockTime pts : {GstClockTime{0}, GstClockTime{40 * GST_MSECOND}, GstClockTime{gap_s * GST_SECOND + 80 * GST_MSECOND}}) {
    GstBuffer *b = gst_buffer_new_allocate(nullptr, 640 * 480 * 3 / 2, nullptr);
    gst_buffer_memset(b, 0, 0x80, 640 * 480 * 3 / 2);
    GST_BUFFER_PTS(b) = pts;
    GST_BUFFER_DURATION(b) = 40 * GST_MSECOND;
    GstFlowReturn ret;
    g_signal_emit_by_name(src, "push-buffer", b, &ret);
    gst_buffer_unref(b);
  }
  GstFlowReturn ret;
  g_signal_emit_by_name(src, "end-of-stream", &ret);
  GstMessage *m = gst_bus_timed_pop_filtered(bus, GST_CLOCK_TIME_NONE,
                                             static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const double used = ProcessCpuSeconds() - start;
  const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
  if (m) gst_message_unref(m);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(src);
  gst_object_unref(bus);
  gst_object_unref(pipeline);
  return ok ? used : -1;
}

void BM_Gap(benchmark::State &state, std::uint64_t gap_s) {
  for (auto _ : state) {
    const double cpu = RunGap(gap_s);
    if (cpu < 0) {
      state.SkipWithError("the pipeline failed");
      return;
    }
    state.SetIterationTime(cpu);
  }
}

enum class Osd { None, TextClock, Vxosd };

std::string Pipeline(Osd osd, int width, int height, int frames) {
  std::string p = "videotestsrc num-buffers=" + std::to_string(frames) + " ! video/x-raw,format=I420,width=" +
                  std::to_string(width) + ",height=" + std::to_string(height) + ",framerate=25/1 ! ";
  switch (osd) {
    case Osd::None: break;
    case Osd::TextClock:
      // textoverlay cannot scroll: the ticker's text is a second, still line (cheaper for it).
      p += "textoverlay font-desc=\"AR PL UMing CN 28\" valignment=bottom halignment=left "
           "text=\"今日要闻：新一代字幕系统上线\n新闻快讯：今日股市收盘上涨 Markets close higher; 明日多云转晴 "
           "Tomorrow: clearing skies\" ! clockoverlay font-desc=\"AR PL UMing CN 20\" halignment=right "
           "valignment=top ! ";
      break;
    case Osd::Vxosd: p += std::string("vxosdoverlay scene=\"") + VXOSD_BENCH_SCENE + "\" ! "; break;
  }
  return p + "fakesink sync=false";
}

std::map<int, double> g_bare_us;  // per width: the pipeline without any OSD

void BM_Pipeline(benchmark::State &state, Osd osd, int width, int height, int frames) {
  const std::string description = Pipeline(osd, width, height, frames);
  double total = 0;
  for (auto _ : state) {
    const double cpu = RunPipeline(description);
    if (cpu < 0) {
      state.SkipWithError("the pipeline failed");
      return;
    }
    state.SetIterationTime(cpu);
    total += cpu;
  }
  const double us = total / double(state.iterations()) / frames * 1e6;
  state.counters["cpu_us_per_frame"] = us;
  if (osd == Osd::None) g_bare_us[width] = us;
  else if (g_bare_us.count(width)) state.counters["overlay_us"] = us - g_bare_us[width];
}

}  // namespace

int main(int argc, char **argv) {
  gst_init(&argc, &argv);
  if (!vxosd_overlay_register_static()) return 1;
  benchmark::Initialize(&argc, argv);
  struct Size {
    int width, height, frames;
  };
  for (const Size s : {Size{640, 480, 500}, Size{1920, 1080, 150}}) {
    const std::string size = std::to_string(s.width) + "x" + std::to_string(s.height);
    for (const auto &[name, osd] : {std::pair{"bare", Osd::None}, std::pair{"textoverlay+clockoverlay", Osd::TextClock},
                                    std::pair{"vxosdoverlay", Osd::Vxosd}})
      benchmark::RegisterBenchmark(("BM_Pipeline/" + size + "/" + name).c_str(), BM_Pipeline, osd, s.width, s.height,
                                   s.frames)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond)
          ->Iterations(3);
  }
  for (const auto &[name, gap_s] : {std::pair{"10min", 600}, std::pair{"1h", 3600}, std::pair{"6h", 21600}})
    benchmark::RegisterBenchmark((std::string("BM_Gap/") + name).c_str(), BM_Gap, std::uint64_t(gap_s))
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
