#include "live/api.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>

#include "live/scene_lines.h"

namespace vxlive {

namespace {

struct Request {
  Api &api;
  SoupServerMessage *msg;
  Channel *channel = nullptr;
  GHashTable *query = nullptr;
  std::string body;
  std::string file;  // the {file} segment
};

using Handler = void (*)(Request &);

struct Route {
  const char *method;
  const char *path;  // {ch} is a channel's name
  const char *description;
  Handler handler;
};

void SendJson(SoupServerMessage *msg, int status, JsonNode *node) {
  const std::string text = JsonText(node) + "\n";
  json_node_unref(node);
  soup_server_message_set_status(msg, static_cast<guint>(status), nullptr);
  soup_message_headers_replace(soup_server_message_get_response_headers(msg), "Cache-Control", "no-store");
  soup_server_message_set_response(msg, "application/json", SOUP_MEMORY_COPY, text.data(), text.size());
}

void SendError(SoupServerMessage *msg, const ApiError &e) { SendJson(msg, e.status, Api::ErrorJson(e)); }

// A reply that comes later (after the channel applied a request, or a PNG was encoded); the
// message stays alive until then.
struct Later {
  SoupServerMessage *msg;
  explicit Later(SoupServerMessage *m) : msg(m) {
    g_object_ref(msg);
    soup_server_message_pause(msg);
  }
  ~Later() {
    soup_server_message_unpause(msg);
    g_object_unref(msg);
  }
};

void GetApi(Request &r) { SendJson(r.msg, 200, r.api.Describe()); }
void GetChannels(Request &r) { SendJson(r.msg, 200, r.api.ChannelsJson()); }
void GetChannel(Request &r) { SendJson(r.msg, 200, r.channel->ToJson()); }

void PostCommands(Request &r) {
  const char *type = soup_message_headers_get_content_type(soup_server_message_get_request_headers(r.msg), nullptr);
  if (!type || g_ascii_strcasecmp(type, "application/json") != 0)
    return SendError(r.msg, {415, "the body must be application/json"});
  std::string why;
  JsonNodePtr body = ParseJson(r.body, why);
  if (!body) return SendError(r.msg, {400, "the body is not JSON: " + why});
  std::vector<vxscene::Step> steps;
  ApiError error;
  if (!r.api.ParseCommands(body.get(), *r.channel, steps, error)) return SendError(r.msg, error);
  auto later = std::make_shared<Later>(r.msg);
  Channel *channel = r.channel;
  channel->Submit(std::move(steps), "http", [later, channel](const ApplyOutcome &o) {
    if (o.status != 200) SendError(later->msg, {o.status, o.error});
    else SendJson(later->msg, 200, Api::CommandsResult(*channel, o));
  });
}

// A JSON body, when the route takes one: checked for its type and parsed.
bool JsonBody(Request &r, JsonNodePtr &body, bool optional) {
  if (optional && r.body.find_first_not_of(" \t\r\n") == std::string::npos) return true;
  const char *type = soup_message_headers_get_content_type(soup_server_message_get_request_headers(r.msg), nullptr);
  if (!type || g_ascii_strcasecmp(type, "application/json") != 0) {
    SendError(r.msg, {415, "the body must be application/json"});
    return false;
  }
  std::string why;
  body = ParseJson(r.body, why);
  if (!body) SendError(r.msg, {400, "the body is not JSON: " + why});
  return body != nullptr;
}

void Controlled(Request &r, const std::string &action, const std::string &id) {
  auto later = std::make_shared<Later>(r.msg);
  Channel *channel = r.channel;
  Api::Control(*channel, action, id, "http", [later, channel](const ApplyOutcome &o) {
    if (o.status != 200) SendError(later->msg, {o.status, o.error});
    else SendJson(later->msg, 200, Api::ControlResult(*channel, o));
  });
}

void GetRundown(Request &r) { SendJson(r.msg, 200, r.channel->RundownJson()); }
void PutRundown(Request &r) {
  JsonNodePtr body;
  if (!JsonBody(r, body, false)) return;
  if (ApiError e = Api::PutRundown(*r.channel, body.get()); e.status) return SendError(r.msg, e);
  SendJson(r.msg, 200, r.channel->RundownJson());
}
void PostTake(Request &r) {
  JsonNodePtr body;
  if (!JsonBody(r, body, true)) return;
  std::string id;
  if (body) {
    JsonObject *o = JSON_NODE_HOLDS_OBJECT(body.get()) ? json_node_get_object(body.get()) : nullptr;
    JsonNode *n = o ? json_object_get_member(o, "id") : nullptr;
    if (!o || json_object_get_size(o) > (n ? 1u : 0u) || (n && (!JSON_NODE_HOLDS_VALUE(n) || json_node_get_value_type(n) != G_TYPE_STRING)))
      return SendError(r.msg, {400, "the body is {\"id\": CUE} or empty (the next cue)"});
    if (n) id = json_node_get_string(n);
  }
  Controlled(r, "take", id);
}
void PostNext(Request &r) { Controlled(r, "next", ""); }
void PostStop(Request &r) { Controlled(r, "stop", ""); }
void PostUndo(Request &r) { Controlled(r, "undo", ""); }
void GetBindings(Request &r) { SendJson(r.msg, 200, r.channel->BindingsJson()); }
void PutBindings(Request &r) {
  JsonNodePtr body;
  if (!JsonBody(r, body, false)) return;
  if (ApiError e = Api::PutBindings(*r.channel, body.get()); e.status) return SendError(r.msg, e);
  SendJson(r.msg, 200, r.channel->BindingsJson());
}

void GetSnapshot(Request &r) {
  const char *layer = r.query ? static_cast<const char *>(g_hash_table_lookup(r.query, "layer")) : nullptr;
  if (layer && std::strcmp(layer, "osd") != 0)
    return SendError(r.msg, {400, "layer= takes \"osd\" (the OSD alone, with alpha); leave it out for the output"});
  auto later = std::make_shared<Later>(r.msg);
  r.channel->Snapshot(layer != nullptr, [later](int status, GBytes *png, const std::string &error) {
    if (status != 200) return SendError(later->msg, {status, error});
    soup_server_message_set_status(later->msg, 200, nullptr);
    soup_message_headers_replace(soup_server_message_get_response_headers(later->msg), "Cache-Control", "no-store");
    gsize size = 0;
    const void *data = g_bytes_get_data(png, &size);
    soup_server_message_set_response(later->msg, "image/png", SOUP_MEMORY_COPY, static_cast<const char *>(data), size);
  });
}

void GetPreview(Request &r) {
  if (std::strcmp(soup_server_message_get_method(r.msg), "HEAD") == 0) {
    soup_server_message_set_status(r.msg, 200, nullptr);
    soup_message_headers_set_content_type(soup_server_message_get_response_headers(r.msg),
                                          "multipart/x-mixed-replace;boundary=vxosdframe", nullptr);
    return;
  }
  r.channel->preview().AddViewer(r.msg);
}

void GetAsRun(Request &r) {
  std::size_t limit = AsRunLog::kKept;
  if (const char *l = r.query ? static_cast<const char *>(g_hash_table_lookup(r.query, "limit")) : nullptr) {
    char *end = nullptr;
    const long v = std::strtol(l, &end, 10);
    if (!*l || *end || v < 1 || v > static_cast<long>(AsRunLog::kKept))
      return SendError(r.msg, {400, "limit= takes 1 to " + std::to_string(AsRunLog::kKept)});
    limit = static_cast<std::size_t>(v);
  }
  SendJson(r.msg, 200, r.channel->asrun().ToJson(limit));
}

// The console's files: read from its folder on every request (small, and edits show at once).
void SendConsoleFile(Request &r, const std::string &file) {
  const std::string &dir = r.api.console_dir();
  if (dir.empty()) return SendError(r.msg, {404, "the console's files are not installed"});
  static const std::pair<const char *, const char *> kTypes[] = {
      {".html", "text/html; charset=utf-8"}, {".css", "text/css; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
      {".svg", "image/svg+xml"}, {".png", "image/png"}, {".json", "application/json"}};
  const char *type = nullptr;
  for (const auto &[ext, t] : kTypes)
    if (file.ends_with(ext)) type = t;
  gchar *data = nullptr;
  gsize size = 0;
  if (!type || !g_file_get_contents((dir + "/" + file).c_str(), &data, &size, nullptr))
    return SendError(r.msg, {404, "no file " + vxscene::Escaped(file) + " in the console"});
  soup_server_message_set_status(r.msg, 200, nullptr);
  soup_message_headers_replace(soup_server_message_get_response_headers(r.msg), "Cache-Control", "no-cache");
  soup_server_message_set_response(r.msg, type, SOUP_MEMORY_TAKE, data, size);
}
void GetConsole(Request &r) { SendConsoleFile(r, "index.html"); }
void GetConsoleFile(Request &r) { SendConsoleFile(r, r.file); }

void WebSocketRoute(Request &) {}  // the WebSocket handler takes it from here

const Route kRoutes[] = {
    {"GET", "/", "the operator's console (a page with no outside dependencies)", GetConsole},
    {"GET", "/console/{file}", "the console's scripts and styles", GetConsoleFile},
    {"GET", "/api/v1", "this list: every route with its method, and the WebSocket's requests and events", GetApi},
    {"GET", "/api/v1/channels", "every channel with its pipeline status and component state", GetChannels},
    {"GET", "/api/v1/channels/{ch}", "one channel with its pipeline status and component state", GetChannel},
    {"POST", "/api/v1/channels/{ch}/commands",
     "{\"lines\": [scene lines]}: checked whole, applied together before one video frame; each call's result",
     PostCommands},
    {"GET", "/api/v1/channels/{ch}/snapshot.png", "the current output frame as PNG; ?layer=osd the OSD alone with alpha",
     GetSnapshot},
    {"GET", "/api/v1/channels/{ch}/preview.mjpeg", "a live MJPEG preview (multipart/x-mixed-replace, 640 wide, <= 10 fps)",
     GetPreview},
    {"GET", "/api/v1/channels/{ch}/asrun", "the as-run log, oldest first; ?limit=N the newest N", GetAsRun},
    {"GET", "/api/v1/channels/{ch}/rundown", "the rundown: autoplay, loop, cues, and the cue on air", GetRundown},
    {"PUT", "/api/v1/channels/{ch}/rundown", "replaces the rundown, checked whole (every cue's lines must parse)", PutRundown},
    {"POST", "/api/v1/channels/{ch}/rundown/take", "{\"id\": CUE} takes that cue, an empty body the next; one request", PostTake},
    {"POST", "/api/v1/channels/{ch}/rundown/next", "takes the next cue (the first after the last when the rundown loops)", PostNext},
    {"POST", "/api/v1/channels/{ch}/rundown/stop", "takes the on-air cue off (its out lines)", PostStop},
    {"POST", "/api/v1/channels/{ch}/undo", "the components and the on-air cue back to before the last applied change", PostUndo},
    {"GET", "/api/v1/channels/{ch}/bindings", "the live data bindings with their last value, time and error", GetBindings},
    {"PUT", "/api/v1/channels/{ch}/bindings", "replaces the bindings, checked whole; each starts at once", PutBindings},
    {"GET", "/api/v1/ws", "the WebSocket: requests with ids, replies, pushed events", WebSocketRoute},
};

struct WsRequest {
  const char *name;
  const char *description;
};

const WsRequest kWsRequests[] = {
    {"subscribe", "{\"channel\": NAME or \"*\"}: the channel's state now (event \"channel\") and after every change, with its as-run entries (event \"asrun\")"},
    {"unsubscribe", "{\"channel\": NAME or \"*\"}: no more events of that channel"},
    {"list-channels", "every channel, as GET /api/v1/channels"},
    {"get-channel", "{\"channel\": NAME}: one channel, as GET /api/v1/channels/{ch}"},
    {"commands", "{\"channel\": NAME, \"lines\": [...]}: as POST /api/v1/channels/{ch}/commands"},
    {"get-rundown", "{\"channel\": NAME}: as GET /api/v1/channels/{ch}/rundown"},
    {"put-rundown", "{\"channel\": NAME, \"rundown\": RUNDOWN}: as PUT /api/v1/channels/{ch}/rundown"},
    {"take", "{\"channel\": NAME, \"cue\"?: CUE}: as POST /api/v1/channels/{ch}/rundown/take (without cue, the next)"},
    {"next", "{\"channel\": NAME}: as POST /api/v1/channels/{ch}/rundown/next"},
    {"stop", "{\"channel\": NAME}: as POST /api/v1/channels/{ch}/rundown/stop"},
    {"undo", "{\"channel\": NAME}: as POST /api/v1/channels/{ch}/undo"},
    {"get-bindings", "{\"channel\": NAME}: as GET /api/v1/channels/{ch}/bindings"},
    {"put-bindings", "{\"channel\": NAME, \"bindings\": [...]}: as PUT /api/v1/channels/{ch}/bindings"},
};

std::vector<std::string> Split(const std::string &path) {
  std::vector<std::string> parts;
  std::size_t i = 1;
  while (i <= path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

// A file name of the console: letters, digits, "-", "_" and ".", never starting with a dot.
bool FileName(const std::string &s) {
  if (s.empty() || s[0] == '.') return false;
  return std::all_of(s.begin(), s.end(), [](char c) { return g_ascii_isalnum(c) || c == '-' || c == '_' || c == '.'; });
}

// Matches path against a route's pattern; ch receives the {ch} segment, file the {file} one.
bool Matches(const char *pattern, const std::vector<std::string> &parts, std::string &ch, std::string &file) {
  const std::vector<std::string> want = Split(pattern);
  if (want.size() != parts.size()) return false;
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (want[i] == "{ch}") {
      if (parts[i].empty()) return false;
      ch = parts[i];
    } else if (want[i] == "{file}") {
      if (!FileName(parts[i])) return false;
      file = parts[i];
    } else if (want[i] != parts[i]) {
      return false;
    }
  }
  return true;
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

// One WebSocket client: its subscriptions and its requests.
class WsClient {
 public:
  WsClient(Api &api, SoupWebsocketConnection *conn) : api_(api), conn_(conn) {
    g_object_ref(conn_);
    soup_websocket_connection_set_max_incoming_payload_size(conn_, Api::kMaxBody);
    message_id_ = g_signal_connect(conn_, "message", G_CALLBACK(OnMessage), this);
    closed_id_ = g_signal_connect(conn_, "closed", G_CALLBACK(OnClosed), this);
  }
  ~WsClient() {
    g_signal_handler_disconnect(conn_, message_id_);
    g_signal_handler_disconnect(conn_, closed_id_);
    if (soup_websocket_connection_get_state(conn_) == SOUP_WEBSOCKET_STATE_OPEN)
      soup_websocket_connection_close(conn_, SOUP_WEBSOCKET_CLOSE_GOING_AWAY, "the server is stopping");
    g_object_unref(conn_);
  }
  bool Subscribed(const std::string &channel) const { return subs_.count(channel) || subs_.count("*"); }
  void Send(JsonNode *node) {
    if (soup_websocket_connection_get_state(conn_) == SOUP_WEBSOCKET_STATE_OPEN)
      soup_websocket_connection_send_text(conn_, JsonText(node).c_str());
    json_node_unref(node);
  }
  void Event(const char *event, const std::string &channel, JsonNode *data) {
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "type", "event");
    json_object_set_string_member(o, "event", event);
    json_object_set_string_member(o, "channel", channel.c_str());
    json_object_set_member(o, "data", data);
    Send(ObjectNode(o));
  }

 private:
  // A reply echoes the request's id (null when the request had none to echo).
  static JsonNode *Reply(JsonNode *id, const std::string &request, int status, JsonNode *result, const ApiError *e) {
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "type", "reply");
    json_object_set_member(o, "id", id ? json_node_copy(id) : json_node_new(JSON_NODE_NULL));
    if (!request.empty()) json_object_set_string_member(o, "request", request.c_str());
    json_object_set_int_member(o, "status", status);
    if (e) {
      JsonNode *err = Api::ErrorJson(*e);
      json_object_set_member(o, "error", json_node_copy(json_object_get_member(json_node_get_object(err), "error")));
      json_node_unref(err);
    } else {
      json_object_set_member(o, "result", result);
    }
    return ObjectNode(o);
  }

  static void OnMessage(SoupWebsocketConnection *, gint type, GBytes *message, gpointer data) {
    auto *self = static_cast<WsClient *>(data);
    if (type != SOUP_WEBSOCKET_DATA_TEXT) {
      ApiError e{400, "requests are JSON text messages"};
      return self->Send(Reply(nullptr, "", 400, nullptr, &e));
    }
    gsize size = 0;
    const char *text = static_cast<const char *>(g_bytes_get_data(message, &size));
    self->Handle(std::string_view(text ? text : "", size));
  }

  static void OnClosed(SoupWebsocketConnection *, gpointer data) {
    auto *self = static_cast<WsClient *>(data);
    self->api_.Remove(self);  // deletes self
  }

  void Handle(std::string_view text) {
    std::string why;
    JsonNodePtr node = ParseJson(text, why);
    auto fail = [&](JsonNode *id, const std::string &request, ApiError e) { Send(Reply(id, request, e.status, nullptr, &e)); };
    if (!node) return fail(nullptr, "", {400, "the message is not JSON: " + why});
    if (!JSON_NODE_HOLDS_OBJECT(node.get())) return fail(nullptr, "", {400, "a request is a JSON object"});
    JsonObject *o = json_node_get_object(node.get());
    JsonNode *id = json_object_get_member(o, "id");
    if (!id || !JSON_NODE_HOLDS_VALUE(id) ||
        (json_node_get_value_type(id) != G_TYPE_STRING && json_node_get_value_type(id) != G_TYPE_INT64))
      return fail(nullptr, "", {400, "a request needs an \"id\" (a text or an integer) that its reply carries back"});
    JsonNode *type = json_object_get_member(o, "type");
    if (!type || json_node_get_value_type(type) != G_TYPE_STRING || std::strcmp(json_node_get_string(type), "request") != 0)
      return fail(id, "", {400, "\"type\" must be \"request\""});
    JsonNode *req = json_object_get_member(o, "request");
    if (!req || json_node_get_value_type(req) != G_TYPE_STRING) return fail(id, "", {400, "\"request\" names the request"});
    const std::string request = json_node_get_string(req);
    const bool known = std::any_of(std::begin(kWsRequests), std::end(kWsRequests),
                                   [&](const WsRequest &w) { return request == w.name; });
    if (!known) return fail(id, request, {404, "unknown request \"" + vxscene::Escaped(request) + "\""});
    std::string channel_name;
    if (JsonNode *c = json_object_get_member(o, "channel")) {
      if (json_node_get_value_type(c) != G_TYPE_STRING) return fail(id, request, {400, "\"channel\" is a channel's name"});
      channel_name = json_node_get_string(c);
    }
    std::set<std::string> allowed = {"type", "id", "request"};
    if (request != "list-channels") allowed.insert("channel");
    if (request == "commands") allowed.insert("lines");
    if (request == "put-rundown") allowed.insert("rundown");
    if (request == "put-bindings") allowed.insert("bindings");
    if (request == "take") allowed.insert("cue");  // "id" is the request's own
    json_object_foreach_member(o, [](JsonObject *, const gchar *member, JsonNode *, gpointer d) {
      auto *a = static_cast<std::set<std::string> *>(d);
      if (!a->count(member)) a->insert(std::string("\x01") + member);
    }, &allowed);
    for (const std::string &m : allowed)
      if (m[0] == '\x01') return fail(id, request, {400, "unknown member \"" + vxscene::Escaped(m.substr(1)) + "\""});

    if (request == "list-channels") return Send(Reply(id, request, 200, api_.ChannelsJson(), nullptr));
    if (channel_name.empty()) return fail(id, request, {400, "\"channel\" is needed"});
    if (request == "subscribe" || request == "unsubscribe") {
      if (channel_name != "*" && !api_.FindChannel(channel_name))
        return fail(id, request, {404, "no channel \"" + vxscene::Escaped(channel_name) + "\""});
      if (request == "unsubscribe") {
        subs_.erase(channel_name);
        return Send(Reply(id, request, 200, json_node_new(JSON_NODE_NULL), nullptr));
      }
      subs_.insert(channel_name);
      Send(Reply(id, request, 200, json_node_new(JSON_NODE_NULL), nullptr));
      for (const auto &ch : api_.channels_)
        if (channel_name == "*" || ch->name() == channel_name) Event("channel", ch->name(), ch->ToJson());
      return;
    }
    Channel *channel = api_.FindChannel(channel_name);
    if (!channel) return fail(id, request, {404, "no channel \"" + vxscene::Escaped(channel_name) + "\""});
    if (request == "get-channel") return Send(Reply(id, request, 200, channel->ToJson(), nullptr));
    if (request == "get-rundown") return Send(Reply(id, request, 200, channel->RundownJson(), nullptr));
    if (request == "get-bindings") return Send(Reply(id, request, 200, channel->BindingsJson(), nullptr));
    if (request == "put-rundown" || request == "put-bindings") {
      const bool rundown = request == "put-rundown";
      JsonNode *value = json_object_get_member(o, rundown ? "rundown" : "bindings");
      if (!value) return fail(id, request, {400, rundown ? "\"rundown\" is needed" : "\"bindings\" is needed"});
      ApiError e;
      if (rundown) {
        e = Api::PutRundown(*channel, value);
      } else {
        JsonObject *wrap = json_object_new();
        json_object_set_member(wrap, "bindings", json_node_copy(value));
        JsonNodePtr w(ObjectNode(wrap));
        e = Api::PutBindings(*channel, w.get());
      }
      if (e.status) return fail(id, request, e);
      return Send(Reply(id, request, 200, rundown ? channel->RundownJson() : channel->BindingsJson(), nullptr));
    }
    if (request == "take" || request == "next" || request == "stop" || request == "undo") {
      std::string cue;
      if (JsonNode *n = json_object_get_member(o, "cue")) {
        if (!JSON_NODE_HOLDS_VALUE(n) || json_node_get_value_type(n) != G_TYPE_STRING)
          return fail(id, request, {400, "\"cue\" is a cue's id"});
        cue = json_node_get_string(n);
      }
      std::weak_ptr<bool> alive = alive_;
      auto shared_id = std::make_shared<JsonNodePtr>(json_node_copy(id));
      Api::Control(*channel, request, cue, "ws", [this, alive, shared_id, channel, request](const ApplyOutcome &r) {
        if (alive.expired()) return;
        if (r.status != 200) {
          ApiError e{r.status, r.error};
          Send(Reply(shared_id->get(), request, r.status, nullptr, &e));
        } else {
          Send(Reply(shared_id->get(), request, 200, Api::ControlResult(*channel, r), nullptr));
        }
      });
      return;
    }
    // commands
    std::vector<vxscene::Step> steps;
    ApiError error;
    if (!api_.ParseCommands(node.get(), *channel, steps, error)) return fail(id, request, error);
    // The reply may come after the client has gone: it finds its client by a weak reference.
    std::weak_ptr<bool> alive = alive_;
    JsonNodePtr id_copy(json_node_copy(id));
    auto shared_id = std::make_shared<JsonNodePtr>(std::move(id_copy));
    channel->Submit(std::move(steps), "ws", [this, alive, shared_id, channel](const ApplyOutcome &o) {
      if (alive.expired()) return;
      if (o.status != 200) {
        ApiError e{o.status, o.error};
        Send(Reply(shared_id->get(), "commands", o.status, nullptr, &e));
      } else {
        Send(Reply(shared_id->get(), "commands", 200, Api::CommandsResult(*channel, o), nullptr));
      }
    });
  }

  Api &api_;
  SoupWebsocketConnection *conn_;
  gulong message_id_ = 0, closed_id_ = 0;
  std::set<std::string> subs_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

Api::Api(const ServerConfig &config, std::vector<std::unique_ptr<Channel>> &channels)
    : config_(config), channels_(channels) {
  // Installed beside the program (share/vxosd/console), else the source tree's.
  std::vector<std::string> dirs;
  if (const char *env = g_getenv("VXOSD_LIVE_CONSOLE_DIR")) dirs.push_back(env);
  g_autofree gchar *exe = g_file_read_link("/proc/self/exe", nullptr);
  if (exe) {
    g_autofree gchar *bin = g_path_get_dirname(exe);
    g_autofree gchar *installed = g_build_filename(bin, VXOSD_LIVE_BIN_TO_CONSOLE, nullptr);
    dirs.push_back(installed);
  }
  dirs.push_back(VXOSD_LIVE_SOURCE_CONSOLE_DIR);
  for (const std::string &d : dirs)
    if (g_file_test((d + "/index.html").c_str(), G_FILE_TEST_IS_REGULAR)) {
      console_dir_ = d;
      break;
    }
}

Api::~Api() {
  CloseClients();
  if (server_) {
    soup_server_disconnect(server_);
    g_object_unref(server_);
  }
}

void Api::CloseClients() {
  clients_.clear();
  for (auto &ch : channels_) ch->preview().CloseAll();
}

void Api::Remove(WsClient *client) {
  auto it = std::find_if(clients_.begin(), clients_.end(), [&](const auto &c) { return c.get() == client; });
  if (it == clients_.end()) return;
  // Not destroyed inside its own signal: later, on the main loop.
  WsClient *raw = it->release();
  clients_.erase(it);
  g_idle_add([](gpointer d) -> gboolean {
    delete static_cast<WsClient *>(d);
    return G_SOURCE_REMOVE;
  }, raw);
}

bool Api::Listen(std::string &error) {
  server_ = soup_server_new("server-header", "vxosd-live", nullptr);
  g_signal_connect(server_, "request-started", G_CALLBACK(OnRequestStarted), this);
  soup_server_add_handler(server_, nullptr, OnRequest, this, nullptr);
  // The WebSocket's own path has a handler of its own; its token and origin are checked early,
  // so that a refused handshake never upgrades.
  soup_server_add_early_handler(server_, "/api/v1/ws", OnWebSocketRequest, this, nullptr);
  soup_server_add_websocket_handler(server_, "/api/v1/ws", nullptr, nullptr, OnWebSocket, this, nullptr);
  std::string host = config_.listen.host == "localhost" ? "127.0.0.1" : config_.listen.host;
  g_autoptr(GInetAddress) address = g_inet_address_new_from_string(host.c_str());
  if (!address) {
    error = "cannot listen on " + config_.listen.ToString() + ": not an address";
    return false;
  }
  g_autoptr(GSocketAddress) sa = g_inet_socket_address_new(address, static_cast<guint16>(config_.listen.port));
  g_autoptr(GError) err = nullptr;
  if (!soup_server_listen(server_, sa, static_cast<SoupServerListenOptions>(0), &err)) {
    error = "cannot listen on " + config_.listen.ToString() + ": " + (err ? err->message : "?");
    return false;
  }
  GSList *uris = soup_server_get_uris(server_);
  if (uris) port_ = g_uri_get_port(static_cast<GUri *>(uris->data));
  g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
  return true;
}

// Bodies are counted as they arrive and kept only up to the limit: a large upload is answered
// 413 without being held in memory.
namespace {
struct BodyCount {
  gsize total = 0;
  std::string kept;
};

// After an early answer the connection is closed gently: the sending side is shut, and what the
// client still sends is read and thrown away (for a bounded time and amount), so that the
// client, still writing its body, reads the answer instead of a reset connection.
struct LingeringClose {
  GIOStream *stream;
  gint64 until_us;
  gsize left;
  char buffer[16384];
  static void Start(GIOStream *stream) {
    if (GSocket *socket = G_IS_SOCKET_CONNECTION(stream) ? g_socket_connection_get_socket(G_SOCKET_CONNECTION(stream)) : nullptr)
      g_socket_shutdown(socket, FALSE, TRUE, nullptr);
    auto *l = new LingeringClose{stream, g_get_monotonic_time() + 5 * G_USEC_PER_SEC, 64u << 20, {}};
    l->Next();
  }
  void Next() {
    g_input_stream_read_async(g_io_stream_get_input_stream(stream), buffer, sizeof buffer, G_PRIORITY_DEFAULT, nullptr,
                              [](GObject *in, GAsyncResult *result, gpointer data) {
                                auto *l = static_cast<LingeringClose *>(data);
                                const gssize n = g_input_stream_read_finish(G_INPUT_STREAM(in), result, nullptr);
                                if (n > 0 && static_cast<gsize>(n) < l->left && g_get_monotonic_time() < l->until_us) {
                                  l->left -= static_cast<gsize>(n);
                                  return l->Next();
                                }
                                g_io_stream_close(l->stream, nullptr, nullptr);
                                g_object_unref(l->stream);
                                delete l;
                              },
                              this);
  }
};

// A body announced larger than the limit is not read: the connection is taken from the server
// and answered 413 at once (the server would otherwise read the whole body first).
void OnGotHeaders(SoupServerMessage *m, gpointer) {
  SoupMessageHeaders *h = soup_server_message_get_request_headers(m);
  if (soup_message_headers_get_encoding(h) != SOUP_ENCODING_CONTENT_LENGTH ||
      soup_message_headers_get_content_length(h) <= static_cast<goffset>(Api::kMaxBody))
    return;
  JsonNodePtr error(Api::ErrorJson({413, "the body is larger than 1 MiB"}));
  const std::string body = JsonText(error.get()) + "\n";
  const std::string response = "HTTP/1.1 413 Request Entity Too Large\r\nServer: vxosd-live\r\nConnection: close\r\n"
                               "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\n\r\n" + body;
  GIOStream *stream = soup_server_message_steal_connection(m);
  if (!stream) return;
  g_output_stream_write_all(g_io_stream_get_output_stream(stream), response.data(), response.size(), nullptr, nullptr,
                            nullptr);
  LingeringClose::Start(stream);
}

void OnGotChunk(SoupServerMessage *m, GBytes *chunk, gpointer) {
  auto *c = static_cast<BodyCount *>(g_object_get_data(G_OBJECT(m), "vxosd-body"));
  gsize size = 0;
  const char *data = static_cast<const char *>(g_bytes_get_data(chunk, &size));
  c->total += size;
  if (c->total <= Api::kMaxBody) c->kept.append(data, size);
}

}  // namespace

void Api::OnRequestStarted(SoupServer *, SoupServerMessage *msg, gpointer) {
  auto *count = new BodyCount();
  g_object_set_data_full(G_OBJECT(msg), "vxosd-body", count, [](gpointer d) { delete static_cast<BodyCount *>(d); });
  soup_message_body_set_accumulate(soup_server_message_get_request_body(msg), FALSE);
  g_signal_connect(msg, "got-headers", G_CALLBACK(OnGotHeaders), nullptr);
  g_signal_connect(msg, "got-chunk", G_CALLBACK(OnGotChunk), nullptr);
}

bool Api::Authorized(SoupServerMessage *msg) const {
  if (config_.token.empty()) return true;
  SoupMessageHeaders *h = soup_server_message_get_request_headers(msg);
  if (const char *auth = soup_message_headers_get_one(h, "Authorization")) {
    std::string_view a(auth);
    if (a.size() > 7 && g_ascii_strncasecmp(auth, "Bearer ", 7) == 0 && ConstantTimeEqual(a.substr(7), config_.token))
      return true;
  }
  if (const char *cookies = soup_message_headers_get_list(h, "Cookie")) {
    std::string_view c(cookies);
    std::size_t i = 0;
    while (i < c.size()) {
      std::size_t j = c.find(';', i);
      if (j == std::string_view::npos) j = c.size();
      std::string_view part = c.substr(i, j - i);
      while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
      if (part.starts_with("vxosd_token=") && ConstantTimeEqual(part.substr(12), config_.token)) return true;
      i = j + 1;
    }
  }
  return false;
}

bool Api::ForeignOrigin(SoupServerMessage *msg) const {
  SoupMessageHeaders *h = soup_server_message_get_request_headers(msg);
  const char *origin = soup_message_headers_get_one(h, "Origin");
  if (!origin) return false;  // not from a browser page: curl, control surfaces
  const char *host = soup_message_headers_get_one(h, "Host");
  if (!host) return true;
  const std::string o = origin;
  return g_ascii_strcasecmp(o.c_str(), (std::string("http://") + host).c_str()) != 0 &&
         g_ascii_strcasecmp(o.c_str(), (std::string("https://") + host).c_str()) != 0;
}

void Api::OnRequest(SoupServer *, SoupServerMessage *msg, const char *path, GHashTable *query, gpointer data) {
  auto *api = static_cast<Api *>(data);
  if (soup_server_message_get_status(msg) != SOUP_STATUS_NONE) return;  // answered early (413)
  const std::string method = soup_server_message_get_method(msg);
  const std::string p = path ? path : "/";
  const bool mutating = method != "GET" && method != "HEAD" && method != "OPTIONS";
  const bool ws = p == "/api/v1/ws";
  if (p.starts_with("/api/") && !api->Authorized(msg)) {
    soup_message_headers_replace(soup_server_message_get_response_headers(msg), "WWW-Authenticate", "Bearer realm=\"vxosd-live\"");
    return SendError(msg, {401, "a token is needed: Authorization: Bearer TOKEN, or the cookie vxosd_token"});
  }
  if ((mutating || ws) && api->ForeignOrigin(msg))
    return SendError(msg, {403, "requests from another origin are refused"});
  const std::vector<std::string> parts = Split(p);
  std::string allow;
  const Route *route = nullptr;
  std::string ch, file;
  for (const Route &r : kRoutes) {
    std::string c, f;
    if (!Matches(r.path, parts, c, f)) continue;
    if (method == r.method || (method == "HEAD" && std::strcmp(r.method, "GET") == 0)) {
      route = &r;
      ch = c;
      file = f;
      break;
    }
    if (!allow.empty()) allow += ", ";
    allow += r.method;
  }
  if (!route) {
    if (!allow.empty()) {
      soup_message_headers_replace(soup_server_message_get_response_headers(msg), "Allow", allow.c_str());
      return SendError(msg, {405, method + " is not allowed on " + p + " (" + allow + ")"});
    }
    return SendError(msg, {404, "no route " + vxscene::Escaped(p) + " (GET /api/v1 lists them)"});
  }
  auto *count = static_cast<BodyCount *>(g_object_get_data(G_OBJECT(msg), "vxosd-body"));
  if (count && count->total > kMaxBody) return SendError(msg, {413, "the body is larger than 1 MiB"});
  if (ws) return;  // the handshake is the WebSocket handler's; a plain GET gets its 400 there
  Request r{*api, msg, nullptr, nullptr, {}, file};
  r.query = query;
  if (count) r.body = std::move(count->kept);
  if (!ch.empty()) {
    r.channel = api->FindChannel(ch);
    if (!r.channel) return SendError(msg, {404, "no channel \"" + vxscene::Escaped(ch) + "\""});
  }
  route->handler(r);
}

void Api::OnWebSocketRequest(SoupServer *, SoupServerMessage *msg, const char *path, GHashTable *, gpointer data) {
  auto *api = static_cast<Api *>(data);
  if (!path || std::strcmp(path, "/api/v1/ws") != 0)
    return SendError(msg, {404, "no route " + vxscene::Escaped(path ? path : "") + " (GET /api/v1 lists them)"});
  if (!api->Authorized(msg)) {
    soup_message_headers_replace(soup_server_message_get_response_headers(msg), "WWW-Authenticate", "Bearer realm=\"vxosd-live\"");
    return SendError(msg, {401, "a token is needed: Authorization: Bearer TOKEN, or the cookie vxosd_token"});
  }
  if (api->ForeignOrigin(msg)) return SendError(msg, {403, "WebSocket connections from another origin are refused"});
  if (std::strcmp(soup_server_message_get_method(msg), "GET") != 0) {
    soup_message_headers_replace(soup_server_message_get_response_headers(msg), "Allow", "GET");
    return SendError(msg, {405, "the WebSocket is opened with GET"});
  }
  g_autoptr(GError) err = nullptr;
  if (!soup_websocket_server_check_handshake(msg, nullptr, nullptr, nullptr, &err))
    return SendError(msg, {400, std::string("a WebSocket handshake is expected here: ") + (err ? err->message : "")});
}

void Api::OnWebSocket(SoupServer *, SoupServerMessage *, const char *, SoupWebsocketConnection *conn, gpointer data) {
  auto *api = static_cast<Api *>(data);
  api->clients_.push_back(std::make_unique<WsClient>(*api, conn));
}

Channel *Api::FindChannel(const std::string &name) const {
  for (const auto &c : channels_)
    if (c->name() == name) return c.get();
  return nullptr;
}

bool Api::ParseCommands(JsonNode *body, const Channel &channel, std::vector<vxscene::Step> &steps, ApiError &error) const {
  if (!JSON_NODE_HOLDS_OBJECT(body)) {
    error = {400, "the body is a JSON object: {\"lines\": [...]}"};
    return false;
  }
  JsonObject *o = json_node_get_object(body);
  JsonNode *lines = json_object_get_member(o, "lines");
  if (!lines || !JSON_NODE_HOLDS_ARRAY(lines)) {
    error = {400, "\"lines\" must be an array of scene lines"};
    return false;
  }
  std::vector<std::string> text;
  JsonArray *a = json_node_get_array(lines);
  for (guint i = 0; i < json_array_get_length(a); ++i) {
    JsonNode *l = json_array_get_element(a, i);
    if (!JSON_NODE_HOLDS_VALUE(l) || json_node_get_value_type(l) != G_TYPE_STRING) {
      error = {400, "line " + std::to_string(i) + " is not a text", static_cast<int>(i)};
      return false;
    }
    text.emplace_back(json_node_get_string(l));
  }
  try {
    steps = ParseCommandLines(text, channel.base_dir());
  } catch (const LineError &e) {
    error = {400, e.message, static_cast<int>(e.index)};
    return false;
  }
  return true;
}

JsonNode *Api::CommandsResult(const Channel &channel, const ApplyOutcome &o) {
  JsonObject *r = json_object_new();
  json_object_set_string_member(r, "channel", channel.name().c_str());
  json_object_set_int_member(r, "batch", static_cast<gint64>(o.batch));
  json_object_set_int_member(r, "running_time_ns", static_cast<gint64>(o.running_time_ns));
  json_object_set_int_member(r, "queued_running_time_ns", static_cast<gint64>(o.queued_running_time_ns));
  JsonArray *results = json_array_new();
  for (std::size_t i = 0; i < o.lines.size(); ++i) {
    JsonObject *e = json_object_new();
    json_object_set_string_member(e, "line", o.lines[i].c_str());
    json_object_set_int_member(e, "result", i < o.results.size() ? o.results[i] : 0);
    json_object_set_string_member(e, "message", i < o.messages.size() ? o.messages[i].c_str() : "");
    json_array_add_object_element(results, e);
  }
  json_object_set_array_member(r, "results", results);
  return ObjectNode(r);
}

JsonNode *Api::ControlResult(const Channel &channel, const ApplyOutcome &o) {
  JsonNode *node = CommandsResult(channel, o);
  JsonObject *r = json_node_get_object(node);
  if (channel.on_air().empty()) json_object_set_null_member(r, "on_air");
  else json_object_set_string_member(r, "on_air", channel.on_air().c_str());
  json_object_set_int_member(r, "undo_levels", static_cast<gint64>(channel.undo_levels()));
  return node;
}

void Api::Control(Channel &channel, const std::string &action, const std::string &id, const std::string &source,
                  Channel::Reply reply) {
  if (action == "take") channel.Take(id, source, std::move(reply));
  else if (action == "next") channel.Take("", source, std::move(reply));
  else if (action == "stop") channel.Stop(source, std::move(reply));
  else channel.Undo(source, std::move(reply));
}

ApiError Api::PutRundown(Channel &channel, JsonNode *body) {
  try {
    channel.SetRundown(RundownFromJson(body, channel.base_dir()));
  } catch (const std::exception &e) {
    return {400, e.what()};
  }
  return {0, ""};
}

ApiError Api::PutBindings(Channel &channel, JsonNode *body) {
  try {
    channel.SetBindings(BindingsFromJson(body));
  } catch (const std::exception &e) {
    return {400, e.what()};
  }
  return {0, ""};
}

JsonNode *Api::ErrorJson(const ApiError &e) {
  JsonObject *err = json_object_new();
  json_object_set_int_member(err, "status", e.status);
  json_object_set_string_member(err, "message", e.message.c_str());
  if (e.index >= 0) json_object_set_int_member(err, "index", e.index);
  JsonObject *o = json_object_new();
  json_object_set_object_member(o, "error", err);
  return ObjectNode(o);
}

JsonNode *Api::ChannelsJson() const {
  JsonArray *a = json_array_new();
  for (const auto &c : channels_) json_array_add_element(a, c->ToJson());
  JsonObject *o = json_object_new();
  json_object_set_array_member(o, "channels", a);
  return ObjectNode(o);
}

JsonNode *Api::Describe() const {
  JsonArray *routes = json_array_new();
  for (const Route &r : kRoutes) {
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "method", r.method);
    json_object_set_string_member(o, "path", r.path);
    json_object_set_string_member(o, "description", r.description);
    json_array_add_object_element(routes, o);
  }
  JsonArray *requests = json_array_new();
  for (const WsRequest &w : kWsRequests) {
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "request", w.name);
    json_object_set_string_member(o, "description", w.description);
    json_array_add_object_element(requests, o);
  }
  JsonArray *events = json_array_new();
  for (const char *e : {"channel: a subscribed channel's full state (as GET /api/v1/channels/{ch}), when subscribing and after every change",
                        "asrun: an as-run entry of a subscribed channel"})
    json_array_add_string_element(events, e);
  JsonObject *ws = json_object_new();
  json_object_set_string_member(ws, "path", "/api/v1/ws");
  json_object_set_array_member(ws, "requests", requests);
  json_object_set_array_member(ws, "events", events);
  JsonObject *o = json_object_new();
  json_object_set_string_member(o, "server", "vxosd-live");
  json_object_set_int_member(o, "version", 1);
  json_object_set_array_member(o, "routes", routes);
  json_object_set_object_member(o, "websocket", ws);
  return ObjectNode(o);
}

void Api::PushState(Channel &channel) {
  for (auto &c : clients_)
    if (c->Subscribed(channel.name())) c->Event("channel", channel.name(), channel.ToJson());
}

void Api::PushAsRun(Channel &channel, const AsRunEntry &entry) {
  for (auto &c : clients_)
    if (c->Subscribed(channel.name())) c->Event("asrun", channel.name(), entry.ToJson());
}

}  // namespace vxlive
