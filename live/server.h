#pragma once
// The server: its channels, the API on them, OSC, and the signals that end it, all on one
// GLib main loop.

#include <glib.h>

#include <memory>
#include <string>
#include <vector>

#include "live/api.h"
#include "live/channel.h"
#include "live/config.h"
#include "live/osc.h"

namespace vxlive {

class LiveServer : public ChannelListener {
 public:
  explicit LiveServer(ServerConfig config);
  ~LiveServer() override;

  // Starts the channels, the API and OSC; false with error.
  bool Start(std::string &error);
  // Runs the main loop until SIGINT or SIGTERM has ended every pipeline with EOS.
  int Run();

  void StateChanged(Channel &channel) override;
  void AsRun(Channel &channel, const AsRunEntry &entry) override;

  // Ends every pipeline with EOS (at most timeout_ms each), then leaves the loop.
  void Stop();

  static constexpr int kShutdownMs = 5000;

 private:
  ServerConfig config_;
  GMainLoop *loop_ = nullptr;
  std::vector<std::unique_ptr<Channel>> channels_;
  std::unique_ptr<Api> api_;
  std::unique_ptr<OscServer> osc_;
  std::vector<guint> signal_sources_;
  bool stopping_ = false;
  std::size_t running_ = 0;
};

// Checks a gst-launch fragment by parsing it in its place (a source before a sink, an output
// after a source): the reason, or "".
std::string CheckFragment(const std::string &fragment, bool source);
// Checks a whole pipeline description: the reason, or "".
std::string CheckPipeline(const std::string &description);

// Makes sure the vxosdoverlay element can be found: the registry, else the plugin folders
// beside this program (installed) or in its build tree. False with the folders it tried.
bool FindOverlayElement(const char *argv0, std::string &error);

}  // namespace vxlive
