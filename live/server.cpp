#include "live/server.h"

#include <glib-unix.h>
#include <gst/gst.h>

#include <cstdio>
#include <filesystem>

namespace vxlive {

namespace fs = std::filesystem;

std::string CheckPipeline(const std::string &description) {
  g_autoptr(GError) err = nullptr;
  GstElement *e = gst_parse_launch_full(description.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &err);
  if (e) gst_object_unref(e);
  if (err) return err->message;
  if (!e) return "it does not parse";
  return "";
}

std::string CheckFragment(const std::string &fragment, bool source) {
  const std::string why = CheckPipeline(source ? fragment + " ! fakesink" : "videotestsrc ! " + fragment);
  return why.empty() ? why : "\"" + fragment + "\" does not parse: " + why;
}

bool FindOverlayElement(const char *argv0, std::string &error) {
  auto found = [] {
    GstElementFactory *f = gst_element_factory_find("vxosdoverlay");
    if (f) gst_object_unref(f);
    return f != nullptr;
  };
  if (found()) return true;
  std::vector<std::string> dirs;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  const fs::path here = ec ? fs::absolute(argv0 ? argv0 : ".", ec).parent_path() : exe.parent_path();
  dirs.push_back((here / VXOSD_LIVE_BIN_TO_PLUGINS).lexically_normal().string());
#ifdef VXOSD_LIVE_BUILD_PLUGIN_DIR
  dirs.push_back(VXOSD_LIVE_BUILD_PLUGIN_DIR);
#endif
  for (const std::string &d : dirs) {
    if (!fs::is_directory(d, ec)) continue;
    gst_registry_scan_path(gst_registry_get(), d.c_str());
    if (found()) return true;
  }
  error = "the GStreamer element vxosdoverlay is not installed (set GST_PLUGIN_PATH to the folder of libgstvxosd.so; looked in";
  for (const std::string &d : dirs) error += " " + d;
  error += ")";
  return false;
}

LiveServer::LiveServer(ServerConfig config) : config_(std::move(config)) { loop_ = g_main_loop_new(nullptr, FALSE); }

LiveServer::~LiveServer() {
  for (guint s : signal_sources_) g_source_remove(s);
  osc_.reset();
  api_.reset();
  channels_.clear();
  g_main_loop_unref(loop_);
}

bool LiveServer::Start(std::string &error) {
  for (const ChannelConfig &c : config_.channels)
    channels_.push_back(std::make_unique<Channel>(c, config_.state_dir, config_.base_dir, *this));
  api_ = std::make_unique<Api>(config_, channels_);
  if (!api_->Listen(error)) return false;
  if (config_.osc) {
    osc_ = std::make_unique<OscServer>(config_, [this](const std::string &n) { return api_->FindChannel(n); });
    if (!osc_->Listen(error)) return false;
  }
  for (auto &c : channels_)
    if (!c->Start(error)) {
      error = "channel " + c->name() + ": " + error;
      return false;
    }
  std::string host = config_.listen.host.find(':') != std::string::npos ? "[" + config_.listen.host + "]" : config_.listen.host;
  std::printf("vxosd-live: listening on http://%s:%d/ (API: http://%s:%d/api/v1)\n", host.c_str(), api_->port(),
              host.c_str(), api_->port());
  if (osc_) std::printf("vxosd-live: OSC on udp %s:%d\n", host.c_str(), osc_->port());
  std::printf("vxosd-live: state in %s\n", config_.state_dir.c_str());
  std::fflush(stdout);
  for (int sig : {SIGINT, SIGTERM})
    signal_sources_.push_back(g_unix_signal_add(sig, [](gpointer d) -> gboolean {
      static_cast<LiveServer *>(d)->Stop();
      return G_SOURCE_CONTINUE;
    }, this));
  return true;
}

void LiveServer::Stop() {
  if (stopping_) {
    // A second signal: leave now.
    g_main_loop_quit(loop_);
    return;
  }
  stopping_ = true;
  std::printf("vxosd-live: stopping: ending every pipeline with EOS\n");
  std::fflush(stdout);
  running_ = channels_.size();
  if (running_ == 0) g_main_loop_quit(loop_);
  for (auto &c : channels_)
    c->Shutdown(kShutdownMs, [this] {
      if (--running_ == 0) g_main_loop_quit(loop_);
    });
}

int LiveServer::Run() {
  g_main_loop_run(loop_);
  if (api_) api_->CloseClients();
  return 0;
}

void LiveServer::StateChanged(Channel &channel) {
  if (api_) api_->PushState(channel);
}

void LiveServer::AsRun(Channel &channel, const AsRunEntry &entry) {
  if (api_) api_->PushAsRun(channel, entry);
}

}  // namespace vxlive
