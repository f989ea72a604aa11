#include "live/osc.h"

#include <lo/lo.h>

#include <cstring>

#include "live/api.h"
#include "live/scene_lines.h"

namespace vxlive {

OscServer::OscServer(const ServerConfig &config, FindChannel find) : config_(config), find_(std::move(find)) {}

OscServer::~OscServer() {
  if (source_) {
    g_source_destroy(source_);
    g_source_unref(source_);
  }
  if (socket_) g_object_unref(socket_);
}

bool OscServer::Listen(std::string &error) {
  const HostPort &hp = *config_.osc;
  const std::string host = hp.host == "localhost" ? "127.0.0.1" : hp.host;
  g_autoptr(GInetAddress) address = g_inet_address_new_from_string(host.c_str());
  g_autoptr(GError) err = nullptr;
  socket_ = g_socket_new(g_inet_address_get_family(address), G_SOCKET_TYPE_DATAGRAM, G_SOCKET_PROTOCOL_UDP, &err);
  if (!socket_) {
    error = std::string("OSC: ") + err->message;
    return false;
  }
  g_autoptr(GSocketAddress) sa = g_inet_socket_address_new(address, static_cast<guint16>(hp.port));
  if (!g_socket_bind(socket_, sa, TRUE, &err)) {
    error = "OSC: cannot listen on " + hp.ToString() + ": " + err->message;
    return false;
  }
  g_socket_set_blocking(socket_, FALSE);
  g_autoptr(GSocketAddress) local = g_socket_get_local_address(socket_, nullptr);
  if (local) port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(local));
  source_ = g_socket_create_source(socket_, G_IO_IN, nullptr);
  // A socket source calls a GSocketSourceFunc through the GSourceFunc slot.
  GSocketSourceFunc func = OnReadable;
  GSourceFunc slot;
  static_assert(sizeof slot == sizeof func);
  std::memcpy(&slot, &func, sizeof slot);
  g_source_set_callback(source_, slot, this, nullptr);
  g_source_attach(source_, nullptr);
  return true;
}

bool OscServer::Allowed(GSocketAddress *from) const {
  if (!from || !G_IS_INET_SOCKET_ADDRESS(from)) return false;
  GInetAddress *a = g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(from));
  if (g_inet_address_get_is_loopback(a)) return true;
  g_autofree gchar *text = g_inet_address_to_string(a);
  for (const std::string &allowed : config_.osc_from)
    if (allowed == "any" || allowed == text) return true;
  return false;
}

bool OscServer::Decode(const void *data, std::size_t size, std::string &channel, std::vector<std::string> &lines,
                       std::string &control, std::string &cue, std::string &why) {
  control.clear();
  cue.clear();
  if (size >= 8 && std::memcmp(data, "#bundle", 8) == 0) {
    why = "OSC bundles are not taken: send single messages";
    return false;
  }
  int result = 0;
  lo_message m = lo_message_deserialise(const_cast<void *>(data), size, &result);
  if (!m) {
    why = "not an OSC message (liblo error " + std::to_string(result) + ")";
    return false;
  }
  const std::string path = static_cast<const char *>(data);  // checked by the decoder
  const std::string types = lo_message_get_types(m) ? lo_message_get_types(m) : "";
  lo_arg **argv = lo_message_get_argv(m);
  // liblo's argument union asks for 8-byte alignment, which OSC's 4-byte packing does not give:
  // read strings and integers through their bytes.
  auto str = [&](int i) { return reinterpret_cast<const char *>(argv[i]); };
  auto int32 = [&](int i) {
    std::int32_t v = 0;
    std::memcpy(&v, argv[i], sizeof v);
    return v;
  };
  auto done = [&](bool ok) {
    lo_message_free(m);
    return ok;
  };
  if (!path.starts_with("/vxosd/")) {
    why = "\"" + vxscene::Escaped(path) + "\" is not a /vxosd/{channel}/... address";
    return done(false);
  }
  const std::size_t slash = path.find('/', 7);
  if (slash == std::string::npos) {
    why = "\"" + vxscene::Escaped(path) + "\" names no action (command, text, visible, take, next, stop, undo)";
    return done(false);
  }
  channel = path.substr(7, slash - 7);
  const std::string action = path.substr(slash + 1);
  if (action == "command" && types == "s") {
    lines = {str(0)};
  } else if (action == "text" && types == "ss") {
    const std::string name = QuoteText(str(0));
    lines = {"SetVxComponent_Text " + name + " " + QuoteText(str(1)), "SetVxComponent_Visible " + name + " 0 1"};
  } else if (action == "take" && (types.empty() || types == "s")) {
    control = "take";
    if (types == "s") cue = str(0);
  } else if ((action == "next" || action == "stop" || action == "undo") && types.empty()) {
    control = action;
  } else if (action == "visible" && (types == "si" || types == "sT" || types == "sF")) {
    const int on = types == "si" ? int32(1) : types == "sT";
    lines = {"SetVxComponent_Visible " + QuoteText(str(0)) + " 0 " + (on ? "1" : "0")};
  } else {
    why = "\"" + vxscene::Escaped(path) + "\" with arguments \"" + types +
          "\": use /command s, /text ss, /visible si, /take [s], /next, /stop or /undo";
    return done(false);
  }
  return done(true);
}

gboolean OscServer::OnReadable(GSocket *socket, GIOCondition, gpointer data) {
  auto *self = static_cast<OscServer *>(data);
  char buffer[65536];
  for (;;) {
    GSocketAddress *from = nullptr;
    g_autoptr(GError) err = nullptr;
    const gssize n = g_socket_receive_from(socket, &from, buffer, sizeof buffer, nullptr, &err);
    if (n < 0) break;  // would block: all read
    g_autoptr(GSocketAddress) sender = from;
    if (!self->Allowed(sender)) {
      ++self->refused_;
      g_message("OSC: a message from a sender that is not allowed (see osc_from=) is ignored");
      continue;
    }
    std::string channel, why, control, cue;
    std::vector<std::string> lines;
    if (!Decode(buffer, static_cast<std::size_t>(n), channel, lines, control, cue, why)) {
      ++self->refused_;
      g_message("OSC: %s", why.c_str());
      continue;
    }
    Channel *ch = self->find_(channel);
    if (!ch) {
      ++self->refused_;
      g_message("OSC: no channel \"%s\"", vxscene::Escaped(channel).c_str());
      continue;
    }
    if (!control.empty()) {
      Api::Control(*ch, control, cue, "osc", [control](const ApplyOutcome &o) {
        if (o.status != 200) g_message("OSC: %s not applied: %s", control.c_str(), o.error.c_str());
      });
      continue;
    }
    std::vector<vxscene::Step> steps;
    try {
      steps = ParseCommandLines(lines, ch->base_dir());
    } catch (const LineError &e) {
      ++self->refused_;
      g_message("OSC: refused \"%s\": %s", vxscene::Escaped(lines[std::min(e.index, lines.size() - 1)]).c_str(),
                e.message.c_str());
      continue;
    }
    ch->Submit(std::move(steps), "osc", [](const ApplyOutcome &o) {
      if (o.status != 200) g_message("OSC: not applied: %s", o.error.c_str());
    });
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace vxlive
