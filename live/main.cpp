// vxosd-live: runs the VXOSD overlay on live video channels and serves the API that drives
// them. With no arguments it serves the built-in default configuration.

#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "live/config.h"
#include "live/channel.h"
#include "live/server.h"

namespace {

void Usage(FILE *out) {
  std::fprintf(out,
               "usage: vxosd-live [--config FILE] [--check] [--print-default]\n"
               "  --config FILE, -c FILE  the configuration (default: the built-in one: channel \"main\",\n"
               "                          a test picture, http://127.0.0.1:8088/)\n"
               "  --check                 check the configuration (every key, every pipeline) and exit\n"
               "  --print-default         print the built-in configuration and exit\n");
}

}  // namespace

int main(int argc, char **argv) {
  std::string config_file;
  bool check_only = false, print_default = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--config" || a == "-c") && i + 1 < argc) config_file = argv[++i];
    else if (a.starts_with("--config=")) config_file = a.substr(9);
    else if (a == "--check") check_only = true;
    else if (a == "--print-default") print_default = true;
    else if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "vxosd-live: unknown argument \"%s\"\n", a.c_str());
      Usage(stderr);
      return 2;
    }
  }
  const bool display = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
  if (print_default) {
    std::fputs(vxlive::DefaultConfigText(display).c_str(), stdout);
    return 0;
  }
  gst_init(nullptr, nullptr);
  std::string error;
  if (!vxlive::FindOverlayElement(argv[0], error)) {
    std::fprintf(stderr, "vxosd-live: %s\n", error.c_str());
    return 1;
  }
  vxlive::ServerConfig config;
  try {
    if (config_file.empty()) {
      char cwd[4096];
      config = vxlive::ParseConfig(vxlive::DefaultConfigText(display), "(built-in default)",
                                   getcwd(cwd, sizeof cwd) ? cwd : ".", vxlive::CheckFragment);
    } else {
      config = vxlive::LoadConfigFile(config_file, vxlive::CheckFragment);
    }
    // The fragments parse alone; the whole channel must too (a source that ends in a sink
    // does not).
    for (const vxlive::ChannelConfig &c : config.channels) {
      if (std::string why = vxlive::CheckPipeline(vxlive::Channel::PipelineDescription(c)); !why.empty())
        throw vxlive::ConfigError(config.file, c.line, "[channel " + c.name + "]: the pipeline does not parse: " + why);
    }
  } catch (const vxlive::ConfigError &e) {
    std::fprintf(stderr, "vxosd-live: %s\n", e.what());
    return 1;
  }
  if (check_only) {
    std::printf("vxosd-live: %s is good\n", config.file.c_str());
    return 0;
  }
  int status = 0;
  {
    vxlive::LiveServer server(std::move(config));
    if (!server.Start(error)) {
      std::fprintf(stderr, "vxosd-live: %s\n", error.c_str());
      return 1;
    }
    status = server.Run();
  }
  gst_deinit();
  return status;
}
