#pragma once
// OSC over UDP: control surfaces (Bitfocus Companion's generic OSC module, TouchOSC, ...) drive
// a channel with
//   /vxosd/{ch}/command s    one scene line
//   /vxosd/{ch}/text ss      a component's text, then shows it
//   /vxosd/{ch}/visible si   shows (not 0) or hides a component
//   /vxosd/{ch}/take [s]     takes a cue of the rundown (by id), or the next one
//   /vxosd/{ch}/next, /stop, /undo
// Messages are decoded with liblo from datagrams read on the main loop; only senders on
// loopback, or the addresses configured in osc_from, are heard. Each message is one request,
// applied like an HTTP one (and logged with the source "osc"); OSC has no replies, so a
// refused message is written to the server's log.

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "live/channel.h"
#include "live/config.h"

namespace vxlive {

class OscServer {
 public:
  using FindChannel = std::function<Channel *(const std::string &)>;
  OscServer(const ServerConfig &config, FindChannel find);
  ~OscServer();
  OscServer(const OscServer &) = delete;
  OscServer &operator=(const OscServer &) = delete;

  bool Listen(std::string &error);
  int port() const { return port_; }
  std::uint64_t refused() const { return refused_; }

  // Decodes one datagram into scene lines for a channel, or a rundown action (control is
  // "take", "next", "stop" or "undo", cue the id a take names); false with why (also for
  // messages that are not for vxosd-live).
  static bool Decode(const void *data, std::size_t size, std::string &channel, std::vector<std::string> &lines,
                     std::string &control, std::string &cue, std::string &why);

 private:
  static gboolean OnReadable(GSocket *socket, GIOCondition, gpointer data);
  bool Allowed(GSocketAddress *from) const;

  const ServerConfig &config_;
  FindChannel find_;
  GSocket *socket_ = nullptr;
  GSource *source_ = nullptr;
  int port_ = 0;
  std::uint64_t refused_ = 0;
};

}  // namespace vxlive
