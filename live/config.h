#pragma once
// The server's configuration: a key file in GLib's INI style.
//   [server]           listen=HOST:PORT  token=  state=DIR  osc=HOST:PORT  osc_from=ADDR,...
//   [channel NAME]     source=FRAGMENT  output=FRAGMENT (output2=, output3=, ...)  scene=FILE
// Every key is checked when the server starts; anything wrong stops it with the file, the line
// and the reason (ConfigError). A '#' after a space starts a comment, also after a value.

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vxlive {

struct ConfigError : std::runtime_error {
  ConfigError(const std::string &file, int line, const std::string &reason)
      : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + reason),
        file(file), line(line), reason(reason) {}
  std::string file;
  int line;  // 0 when the reason concerns the whole file
  std::string reason;
};

struct HostPort {
  std::string host;  // an IPv4 or IPv6 address, or "localhost"
  int port = 0;      // 0: any free port (the server says which)
  bool loopback() const;
  std::string ToString() const;  // host:port, IPv6 in brackets
};

struct ChannelConfig {
  std::string name;
  std::string source;                // a gst-launch fragment that ends in raw video
  std::vector<std::string> outputs;  // gst-launch fragments that take raw video
  std::string scene;                 // absolute path, or empty; run on the first start only
  int line = 0;                      // of the [channel NAME] header
};

struct ServerConfig {
  std::string file;  // "(built-in default)" for the embedded configuration
  std::string base_dir;  // relative paths in the file (and in commands) are taken from here
  HostPort listen{"127.0.0.1", 8088};
  std::string token;
  std::string state_dir;
  std::optional<HostPort> osc;
  std::vector<std::string> osc_from;  // addresses allowed besides loopback; "any" for all
  std::vector<ChannelConfig> channels;
};

// Checks a gst-launch fragment, a source (it ends in raw video) or an output (it takes raw
// video): the reason it cannot be used, or "" when it parses.
using FragmentCheck = std::function<std::string(const std::string &fragment, bool source)>;

// Reads and checks a configuration. base_dir is the folder relative paths are taken from.
ServerConfig ParseConfig(std::string_view text, const std::string &file, const std::string &base_dir,
                         const FragmentCheck &check);
ServerConfig LoadConfigFile(const std::string &path, const FragmentCheck &check);

// The configuration used when none is given: one channel "main" from a live test picture to a
// window when there is a display (else to nothing), on http://127.0.0.1:8088/.
std::string DefaultConfigText(bool have_display);

// The XDG state folder for the server: $XDG_STATE_HOME/vxosd-live, else ~/.local/state/vxosd-live.
std::string DefaultStateDir();

// Parses HOST:PORT ([v6]:PORT); false with the reason.
bool ParseHostPort(std::string_view text, HostPort &out, std::string &why);

// Channels one process runs. Each channel's element runs its own library on a thread of its
// own; the bound keeps one configuration from starting more pipelines than a machine can feed.
constexpr std::size_t kMaxChannelsPerProcess = 16;

}  // namespace vxlive
