// vxosd-live as an operator runs it: a process on loopback with a videotestsrc channel and
// fakesink outputs, driven over HTTP, WebSocket and OSC. Every wait is for a condition, with a
// bound; every process started is killed at the end of its test.

#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <lo/lo.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "live/json.h"
#include "tests/live/wait_for.h"

namespace vxlive {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char *kSource =
    "videotestsrc is-live=true pattern=black ! video/x-raw,width=320,height=240,framerate=25/1";

using test::WaitFor;

struct Response {
  int status = 0;
  std::string body;
  std::string content_type;
  std::string allow;
  JsonNodePtr json() const {
    std::string error;
    return ParseJson(body, error);
  }
};

struct Png {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t *At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

bool DecodePng(const std::string &bytes, Png &out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGBA;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) != 0;
}

// One vxosd-live process with its own folder (configuration, state).
class Server {
 public:
  explicit Server(fs::path dir) : dir_(std::move(dir)) {}
  ~Server() { Kill(SIGKILL); }

  void Configure(const std::string &server_keys, const std::string &channel_keys, bool osc = false) {
    std::ofstream(dir_ / "live.conf") << "[server]\nlisten=127.0.0.1:0\nstate=" << (dir_ / "state").string() << "\n"
                                       << (osc ? "osc=127.0.0.1:0\n" : "") << server_keys << "[channel main]\n"
                                       << channel_keys;
  }

  // Starts the process and waits until it says where it listens.
  bool Start() {
    const std::string log = (dir_ / "stdout.log").string();
    fs::remove(log);  // the last run's ports are not this one's
    pid_ = fork();
    if (pid_ == 0) {
      setenv("GST_PLUGIN_PATH", VXOSD_PLUGIN_DIR, 1);
      // Leaks of GStreamer's process-lifetime caches are not the server's; the plugin scan
      // runs in the server itself, so that a sanitizer build's plugin loads (the separate
      // scanner program is not instrumented).
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      setenv("GST_REGISTRY_FORK", "no", 1);
      if (!freopen(log.c_str(), "w", stdout) || !freopen((dir_ / "stderr.log").c_str(), "w", stderr)) _exit(127);
      const std::string conf = (dir_ / "live.conf").string();
      execl(VXOSD_LIVE_EXE, VXOSD_LIVE_EXE, "--config", conf.c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    http_port_ = osc_port_ = 0;
    return WaitFor([&] {
      std::ifstream in(log);
      std::string line;
      while (std::getline(in, line)) {
        if (auto p = line.find("listening on http://127.0.0.1:"); p != std::string::npos)
          http_port_ = std::atoi(line.c_str() + p + 30);
        if (auto p = line.find("OSC on udp 127.0.0.1:"); p != std::string::npos) osc_port_ = std::atoi(line.c_str() + p + 21);
        if (line.find("state in") != std::string::npos) return true;
      }
      return !Running();
    }, 30000) && http_port_ > 0;  // the first start of a fresh machine scans every plugin
  }

  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exit_status_ = status;
      pid_ = -1;
      return false;
    }
    return true;
  }
  void Kill(int sig) {
    if (pid_ > 0) {
      kill(pid_, sig);
      if (sig == SIGKILL) {
        waitpid(pid_, &exit_status_, 0);
        pid_ = -1;
      }
    }
  }
  // Waits for the process to end by itself; its wait status, or -1.
  int WaitExit(int timeout_ms) {
    if (!WaitFor([&] { return !Running(); }, timeout_ms)) return -1;
    return exit_status_;
  }
  std::string Stderr() const {
    std::ifstream in(dir_ / "stderr.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string Url(const std::string &path) const { return "http://127.0.0.1:" + std::to_string(http_port_) + path; }
  int http_port() const { return http_port_; }
  int osc_port() const { return osc_port_; }
  const fs::path &dir() const { return dir_; }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
  int exit_status_ = 0;
  int http_port_ = 0, osc_port_ = 0;
};

class LiveServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vxosd-live-" + std::to_string(getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    server_ = std::make_unique<Server>(dir_);
    session_ = soup_session_new_with_options("timeout", 10, nullptr);
  }
  void TearDown() override {
    server_.reset();
    g_object_unref(session_);
    if (!HasFailure()) fs::remove_all(dir_);
  }

  void StartDefault(const std::string &server_keys = "", bool osc = false) {
    server_->Configure(server_keys, std::string("source=") + kSource + "\noutput=fakesink\n", osc);
    ASSERT_TRUE(server_->Start()) << server_->Stderr();
    ASSERT_TRUE(WaitPlaying()) << server_->Stderr();
  }

  Response Request(const std::string &method, const std::string &path, const std::string &body = "",
                   const std::string &type = "application/json",
                   const std::vector<std::pair<std::string, std::string>> &headers = {}) {
    SoupMessage *msg = soup_message_new(method.c_str(), server_->Url(path).c_str());
    Response r;
    if (!msg) return r;
    for (const auto &[k, v] : headers.empty() ? default_headers_ : headers)
      soup_message_headers_replace(soup_message_get_request_headers(msg), k.c_str(), v.c_str());
    if (!body.empty() || method == "POST") {
      g_autoptr(GBytes) b = g_bytes_new(body.data(), body.size());
      soup_message_set_request_body_from_bytes(msg, type.empty() ? nullptr : type.c_str(), b);
    }
    g_autoptr(GError) err = nullptr;
    GBytes *bytes = soup_session_send_and_read(session_, msg, nullptr, &err);
    r.status = static_cast<int>(soup_message_get_status(msg));
    if (bytes) {
      gsize size = 0;
      const char *data = static_cast<const char *>(g_bytes_get_data(bytes, &size));
      r.body.assign(data ? data : "", size);
      g_bytes_unref(bytes);
    }
    if (const char *t = soup_message_headers_get_content_type(soup_message_get_response_headers(msg), nullptr)) r.content_type = t;
    if (const char *a = soup_message_headers_get_one(soup_message_get_response_headers(msg), "Allow")) r.allow = a;
    g_object_unref(msg);
    return r;
  }

  Response Commands(const std::vector<std::string> &lines) {
    JsonArray *a = json_array_new();
    for (const std::string &l : lines) json_array_add_string_element(a, l.c_str());
    JsonObject *o = json_object_new();
    json_object_set_array_member(o, "lines", a);
    JsonNodePtr node(ObjectNode(o));
    return Request("POST", "/api/v1/channels/main/commands", JsonText(node.get()));
  }

  JsonNodePtr Channel() { return Request("GET", "/api/v1/channels/main").json(); }
  std::string PipelineState() {
    JsonNodePtr c = Channel();
    if (!c) return "";
    return json_object_get_string_member(json_object_get_object_member(json_node_get_object(c.get()), "pipeline"), "state");
  }
  bool WaitPlaying(int timeout_ms = 15000) {
    return WaitFor([&] { return PipelineState() == "playing"; }, timeout_ms);
  }
  // The component of that name in the channel's state (null when there is none).
  JsonObject *Component(JsonNode *channel, const std::string &name) {
    JsonArray *a = json_object_get_array_member(json_node_get_object(channel), "components");
    for (guint i = 0; i < json_array_get_length(a); ++i) {
      JsonObject *c = json_array_get_object_element(a, i);
      if (name == json_object_get_string_member(c, "name")) return c;
    }
    return nullptr;
  }
  bool OsdPixel(int x, int y, Png &png) {
    Response r = Request("GET", "/api/v1/channels/main/snapshot.png?layer=osd");
    return r.status == 200 && DecodePng(r.body, png) && png.width == 640 && x < png.width && y < png.height;
  }
  // Waits until the OSD layer at (x, y) is opaque red (the panels these tests draw).
  bool WaitRed(int x, int y) {
    return WaitFor([&] {
      Png png;
      if (!OsdPixel(x, y, png)) return false;
      const uint8_t *p = png.At(x, y);
      return p[0] > 200 && p[1] < 60 && p[2] < 60 && p[3] == 255;
    });
  }

  fs::path dir_;
  std::unique_ptr<Server> server_;
  SoupSession *session_ = nullptr;
  // Sent with every request that names no headers of its own.
  std::vector<std::pair<std::string, std::string>> default_headers_;
};

const std::vector<std::string> kRedPanel = {"AddVxComponent box 0", "SetVxComponent_Pos box 100 100 60 40",
                                            "SetVxComponent_Color box 0x0000FF 255", "SetVxComponent_Visible box 0 1"};

TEST_F(LiveServerTest, EveryRouteAnswers) {
  StartDefault();
  Response api = Request("GET", "/api/v1");
  ASSERT_EQ(api.status, 200);
  EXPECT_EQ(api.content_type, "application/json");
  JsonNodePtr d = api.json();
  ASSERT_TRUE(d);
  JsonArray *routes = json_object_get_array_member(json_node_get_object(d.get()), "routes");
  std::set<std::string> listed;
  for (guint i = 0; i < json_array_get_length(routes); ++i) {
    JsonObject *r = json_array_get_object_element(routes, i);
    listed.insert(std::string(json_object_get_string_member(r, "method")) + " " + json_object_get_string_member(r, "path"));
    EXPECT_TRUE(*json_object_get_string_member(r, "description"));
  }
  for (const char *r : {"GET /api/v1/channels", "GET /api/v1/channels/{ch}", "POST /api/v1/channels/{ch}/commands",
                        "GET /api/v1/channels/{ch}/snapshot.png", "GET /api/v1/channels/{ch}/preview.mjpeg",
                        "GET /api/v1/channels/{ch}/asrun", "GET /api/v1/ws"})
    EXPECT_TRUE(listed.count(r)) << r;

  Response channels = Request("GET", "/api/v1/channels");
  ASSERT_EQ(channels.status, 200);
  EXPECT_NE(channels.body.find("\"name\":\"main\""), std::string::npos);

  Response applied = Commands(kRedPanel);
  ASSERT_EQ(applied.status, 200) << applied.body;
  JsonNodePtr a = applied.json();
  JsonArray *results = json_object_get_array_member(json_node_get_object(a.get()), "results");
  ASSERT_EQ(json_array_get_length(results), 4u);
  for (guint i = 0; i < 4; ++i) EXPECT_EQ(json_object_get_int_member(json_array_get_object_element(results, i), "result"), 1);
  // A call the library refuses answers 0 with the library's message; the others still apply.
  Response partial = Commands({"SetVxComponent_Text nobody \"x\"", "SetVxComponent_Pos box 100 100 60 40"});
  ASSERT_EQ(partial.status, 200);
  JsonNodePtr p = partial.json();
  JsonObject *first = json_array_get_object_element(json_object_get_array_member(json_node_get_object(p.get()), "results"), 0);
  EXPECT_EQ(json_object_get_int_member(first, "result"), 0);
  EXPECT_NE(std::string(json_object_get_string_member(first, "message")).find("nobody"), std::string::npos);

  JsonNodePtr ch = Channel();
  JsonObject *box = Component(ch.get(), "box");
  ASSERT_TRUE(box);
  EXPECT_TRUE(json_object_get_boolean_member(box, "visible"));
  EXPECT_STREQ(json_object_get_string_member(box, "kind_name"), "panel");
  JsonObject *pipeline = json_object_get_object_member(json_node_get_object(ch.get()), "pipeline");
  EXPECT_GT(json_object_get_int_member(pipeline, "frames"), 0);

  // The output frame at full size with the OSD scaled over it, and the OSD alone with alpha.
  ASSERT_TRUE(WaitRed(110, 110));
  Png osd;
  ASSERT_TRUE(OsdPixel(0, 0, osd));
  EXPECT_EQ(osd.At(0, 0)[3], 0);  // the key colour is transparent
  Response full = Request("GET", "/api/v1/channels/main/snapshot.png");
  ASSERT_EQ(full.status, 200);
  EXPECT_EQ(full.content_type, "image/png");
  Png out;
  ASSERT_TRUE(DecodePng(full.body, out));
  EXPECT_EQ(out.width, 320);
  EXPECT_EQ(out.height, 240);
  const uint8_t *red = out.At(65, 60);  // (130, 120) of the OSD at half size
  EXPECT_GT(red[0], 200);
  EXPECT_LT(red[1], 60);
  const uint8_t *black = out.At(10, 10);
  EXPECT_LT(black[0] + black[1] + black[2], 60);

  Response asrun = Request("GET", "/api/v1/channels/main/asrun");
  ASSERT_EQ(asrun.status, 200);
  JsonNodePtr log = asrun.json();
  JsonArray *entries = json_object_get_array_member(json_node_get_object(log.get()), "entries");
  ASSERT_EQ(json_array_get_length(entries), 2u);
  JsonObject *e0 = json_array_get_object_element(entries, 0);
  EXPECT_STREQ(json_object_get_string_member(e0, "source"), "http");
  EXPECT_EQ(json_array_get_length(json_object_get_array_member(e0, "changed")), 4u);
  EXPECT_GT(json_object_get_int_member(e0, "running_time_ns"), 0);
  EXPECT_EQ(Request("GET", "/api/v1/channels/main/asrun?limit=1").body.find("nobody") != std::string::npos, true);
  // Also kept on disk, one JSON line per entry.
  std::size_t lines = 0;
  for (const auto &f : fs::directory_iterator(dir_ / "state" / "asrun")) {
    std::ifstream in(f.path());
    std::string l;
    while (std::getline(in, l)) ++lines;
  }
  EXPECT_EQ(lines, 2u);
}

TEST_F(LiveServerTest, MalformedRequestsGetCleanClientErrorsAndApplyNothing) {
  StartDefault();
  ASSERT_EQ(Commands({"AddVxComponent keep 2"}).status, 200);
  const std::string before = JsonText(json_object_get_member(json_node_get_object(Channel().get()), "components"));
  struct Case {
    std::string method, path, body, type;
    int status;
    const char *says;
  };
  const std::string big((1 << 20) + 16, '1');
  const Case cases[] = {
      {"GET", "/api/v2", "", "", 404, "no route"},
      {"GET", "/api/v1/channels/other", "", "", 404, "no channel"},
      {"GET", "/api/v1/channels/other/snapshot.png", "", "", 404, "no channel"},
      {"PUT", "/api/v1/channels/main/commands", "{}", "application/json", 405, "not allowed"},
      {"POST", "/api/v1/channels", "{}", "application/json", 405, "not allowed"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": [", "application/json", 400, "not JSON"},
      {"POST", "/api/v1/channels/main/commands", "[]", "application/json", 400, "JSON object"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": \"AddVxComponent a 0\"}", "application/json", 400, "array"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": [1]}", "application/json", 400, "not a text"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": []}", "application/json", 400, "at least one line"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": [\"AddVxComponent a 0\", \"wait 40\"]}", "application/json", 400, "wait"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": [\"AddVxComponent a 0\"]}", "text/plain", 415, "application/json"},
      {"POST", "/api/v1/channels/main/commands", "{\"lines\": [\"AddVxComponent a 0\"], \"x\": " + big + "}", "application/json", 413, "1 MiB"},
      {"GET", "/api/v1/channels/main/snapshot.png?layer=video", "", "", 400, "layer="},
      {"GET", "/api/v1/channels/main/asrun?limit=0", "", "", 400, "limit="},
      {"GET", "/api/v1/ws", "", "", 400, "WebSocket handshake"},
      {"GET", "/api/v1/ws/more", "", "", 404, "no route"},
      {"POST", "/api/v1/ws", "{}", "application/json", 405, "GET"},
  };
  for (const Case &c : cases) {
    Response r = Request(c.method, c.path, c.body, c.type);
    EXPECT_EQ(r.status, c.status) << c.method << " " << c.path << " " << c.body.substr(0, 80) << ": " << r.body;
    EXPECT_NE(r.body.find(c.says), std::string::npos) << c.path << ": " << r.body;
    EXPECT_EQ(r.content_type, "application/json") << c.path;
  }
  EXPECT_EQ(Request("PUT", "/api/v1/channels/main/commands", "{}").allow, "POST");
  // A body announced over the limit is answered at once, without being read.
  {
    g_autoptr(GSocketClient) client = g_socket_client_new();
    g_socket_client_set_timeout(client, 10);
    g_autoptr(GSocketConnection) conn =
        g_socket_client_connect_to_host(client, "127.0.0.1", static_cast<guint16>(server_->http_port()), nullptr, nullptr);
    ASSERT_TRUE(conn);
    const std::string head = "POST /api/v1/channels/main/commands HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             "Content-Type: application/json\r\nContent-Length: 1000000000\r\n\r\n";
    ASSERT_TRUE(g_output_stream_write_all(g_io_stream_get_output_stream(G_IO_STREAM(conn)), head.data(), head.size(),
                                          nullptr, nullptr, nullptr));
    char reply[256] = {};
    g_input_stream_read(g_io_stream_get_input_stream(G_IO_STREAM(conn)), reply, sizeof reply - 1, nullptr, nullptr);
    EXPECT_TRUE(std::string(reply).starts_with("HTTP/1.1 413")) << reply;
  }
  // A bad line refuses the whole request, naming the line's index and the parser's message.
  Response bad = Commands({"AddVxComponent a 0", "SetVxComponent_Pos a 1 2", "SetVxComponent_Visible a 0 1"});
  ASSERT_EQ(bad.status, 400);
  JsonNodePtr e = bad.json();
  JsonObject *error = json_object_get_object_member(json_node_get_object(e.get()), "error");
  EXPECT_EQ(json_object_get_int_member(error, "index"), 1);
  EXPECT_NE(std::string(json_object_get_string_member(error, "message")).find("takes 5 argument(s), not 3"), std::string::npos);
  EXPECT_EQ(JsonText(json_object_get_member(json_node_get_object(Channel().get()), "components")), before);
  EXPECT_TRUE(server_->Running());
}

// A WebSocket client that keeps every message it receives.
class WsClient {
 public:
  WsClient(SoupSession *session, const std::string &url, const std::vector<std::pair<std::string, std::string>> &headers = {}) {
    SoupMessage *msg = soup_message_new("GET", url.c_str());
    for (const auto &[k, v] : headers) soup_message_headers_replace(soup_message_get_request_headers(msg), k.c_str(), v.c_str());
    soup_session_websocket_connect_async(session, msg, nullptr, nullptr, G_PRIORITY_DEFAULT, nullptr,
                                         [](GObject *source, GAsyncResult *result, gpointer data) {
                                           auto *self = static_cast<WsClient *>(data);
                                           self->conn_ = soup_session_websocket_connect_finish(SOUP_SESSION(source), result, nullptr);
                                           self->done_ = true;
                                           if (self->conn_)
                                             g_signal_connect(self->conn_, "message", G_CALLBACK(OnMessage), self);
                                         },
                                         this);
    g_object_unref(msg);
    WaitFor([&] { return done_; });
  }
  ~WsClient() {
    if (conn_) {
      g_signal_handlers_disconnect_by_data(conn_, this);
      if (soup_websocket_connection_get_state(conn_) == SOUP_WEBSOCKET_STATE_OPEN) soup_websocket_connection_close(conn_, 1000, nullptr);
      g_object_unref(conn_);
    }
  }
  bool connected() const { return conn_ != nullptr; }
  void Send(const std::string &text) { soup_websocket_connection_send_text(conn_, text.c_str()); }
  // Waits for a message that pred accepts and returns it (null after the timeout).
  JsonNodePtr Next(const std::function<bool(JsonObject *)> &pred, int timeout_ms = 10000) {
    JsonNodePtr found;
    WaitFor([&] {
      for (auto it = messages_.begin(); it != messages_.end(); ++it) {
        std::string error;
        JsonNodePtr n = ParseJson(*it, error);
        if (n && JSON_NODE_HOLDS_OBJECT(n.get()) && pred(json_node_get_object(n.get()))) {
          messages_.erase(it);
          found = std::move(n);
          return true;
        }
      }
      return false;
    }, timeout_ms);
    return found;
  }
  static std::function<bool(JsonObject *)> ReplyTo(const std::string &id) {
    return [id](JsonObject *o) {
      JsonNode *i = json_object_get_member(o, "id");
      return std::string(json_object_get_string_member_with_default(o, "type", "")) == "reply" && i &&
             ((json_node_get_value_type(i) == G_TYPE_STRING && id == json_node_get_string(i)) ||
              (json_node_get_value_type(i) == G_TYPE_INT64 && id == std::to_string(json_node_get_int(i))) ||
              (JSON_NODE_HOLDS_NULL(i) && id == "null"));
    };
  }
  static std::function<bool(JsonObject *)> Event(const std::string &event) {
    return [event](JsonObject *o) {
      return std::string(json_object_get_string_member_with_default(o, "type", "")) == "event" &&
             event == json_object_get_string_member_with_default(o, "event", "");
    };
  }

 private:
  static void OnMessage(SoupWebsocketConnection *, gint, GBytes *message, gpointer data) {
    gsize size = 0;
    const char *text = static_cast<const char *>(g_bytes_get_data(message, &size));
    static_cast<WsClient *>(data)->messages_.emplace_back(text, size);
  }
  SoupWebsocketConnection *conn_ = nullptr;
  bool done_ = false;
  std::deque<std::string> messages_;
};

std::string WsUrl(const Server &s) { return "ws://127.0.0.1:" + std::to_string(s.http_port()) + "/api/v1/ws"; }

TEST_F(LiveServerTest, WebSocketPushesStateAndRepliesCarryTheRequestsId) {
  StartDefault();
  WsClient ws(session_, WsUrl(*server_));
  ASSERT_TRUE(ws.connected());
  ws.Send(R"({"type": "request", "id": "s1", "request": "subscribe", "channel": "main"})");
  JsonNodePtr reply = ws.Next(WsClient::ReplyTo("s1"));
  ASSERT_TRUE(reply);
  EXPECT_EQ(json_object_get_int_member(json_node_get_object(reply.get()), "status"), 200);
  JsonNodePtr first = ws.Next(WsClient::Event("channel"));
  ASSERT_TRUE(first);
  EXPECT_STREQ(json_object_get_string_member(json_node_get_object(first.get()), "channel"), "main");

  // Two requests in flight; each reply carries its own id.
  ws.Send(R"({"type": "request", "id": 7, "request": "commands", "channel": "main", "lines": ["AddVxComponent w 2"]})");
  ws.Send(R"({"type": "request", "id": "c2", "request": "commands", "channel": "main", "lines": ["SetVxComponent_Text w \"hi\""]})");
  JsonNodePtr r7 = ws.Next(WsClient::ReplyTo("7"));
  JsonNodePtr r2 = ws.Next(WsClient::ReplyTo("c2"));
  ASSERT_TRUE(r7 && r2);
  JsonObject *result = json_object_get_object_member(json_node_get_object(r2.get()), "result");
  EXPECT_EQ(json_object_get_int_member(json_array_get_object_element(json_object_get_array_member(result, "results"), 0), "result"), 1);
  // The pushed state shows the change, and the as-run entry comes with its source.
  JsonNodePtr pushed = ws.Next([](JsonObject *o) {
    return WsClient::Event("channel")(o) && JsonText(json_object_get_member(o, "data")).find("\"hi\"") != std::string::npos;
  });
  EXPECT_TRUE(pushed);
  JsonNodePtr asrun = ws.Next(WsClient::Event("asrun"));
  ASSERT_TRUE(asrun);
  EXPECT_STREQ(json_object_get_string_member(json_object_get_object_member(json_node_get_object(asrun.get()), "data"), "source"), "ws");
  // A change made over HTTP is pushed too.
  ASSERT_EQ(Commands({"SetVxComponent_Visible w 0 1"}).status, 200);
  EXPECT_TRUE(ws.Next([](JsonObject *o) {
    return WsClient::Event("asrun")(o) &&
           std::string(json_object_get_string_member(json_object_get_object_member(o, "data"), "source")) == "http";
  }));

  // Malformed messages are answered, with the id when there is one.
  struct Case {
    const char *message, *id;
    int status;
  };
  const Case cases[] = {
      {"not json", "null", 400},
      {R"({"type": "request", "request": "list-channels"})", "null", 400},
      {R"({"type": "request", "id": "u", "request": "explode"})", "u", 404},
      {R"({"type": "event", "id": "t", "request": "list-channels"})", "t", 400},
      {R"({"type": "request", "id": "n", "request": "get-channel", "channel": "nope"})", "n", 404},
      {R"({"type": "request", "id": "l", "request": "commands", "channel": "main", "lines": ["wait 5"]})", "l", 400},
      {R"({"type": "request", "id": "m", "request": "commands", "channel": "main", "lines": ["AddVxComponent a 0"], "extra": 1})", "m", 400},
  };
  for (const Case &c : cases) {
    ws.Send(c.message);
    JsonNodePtr r = ws.Next(WsClient::ReplyTo(c.id));
    ASSERT_TRUE(r) << c.message;
    EXPECT_EQ(json_object_get_int_member(json_node_get_object(r.get()), "status"), c.status) << c.message;
  }
  ws.Send(R"({"type": "request", "id": "g", "request": "list-channels"})");
  EXPECT_TRUE(ws.Next(WsClient::ReplyTo("g")));

  // After unsubscribing, no more events: the change's events would come before the reply to a
  // request sent after it.
  ws.Send(R"({"type": "request", "id": "u1", "request": "unsubscribe", "channel": "main"})");
  ASSERT_TRUE(ws.Next(WsClient::ReplyTo("u1")));
  while (ws.Next(WsClient::Event("asrun"), 0) || ws.Next(WsClient::Event("channel"), 0)) {
  }
  ws.Send(R"({"type": "request", "id": "c3", "request": "commands", "channel": "main", "lines": ["SetVxComponent_Text w \"quiet\""]})");
  ASSERT_TRUE(ws.Next(WsClient::ReplyTo("c3")));
  ws.Send(R"({"type": "request", "id": "g2", "request": "get-channel", "channel": "main"})");
  ASSERT_TRUE(ws.Next(WsClient::ReplyTo("g2")));
  EXPECT_FALSE(ws.Next(WsClient::Event("asrun"), 0));
  EXPECT_FALSE(ws.Next(WsClient::Event("channel"), 0));
}

TEST_F(LiveServerTest, OscDrivesAChannel) {
  StartDefault("", true);
  ASSERT_GT(server_->osc_port(), 0);
  lo_address to = lo_address_new("127.0.0.1", std::to_string(server_->osc_port()).c_str());
  lo_send(to, "/vxosd/main/command", "s", "AddVxComponent cap 2");
  lo_send(to, "/vxosd/main/text", "ss", "cap", "from OSC");
  lo_send(to, "/vxosd/main/nonsense", "i", 3);                 // refused, logged
  lo_send(to, "/vxosd/other/command", "s", "AddVxComponent x 0");  // no such channel
  EXPECT_TRUE(WaitFor([&] {
    JsonNodePtr ch = Channel();
    JsonObject *cap = ch ? Component(ch.get(), "cap") : nullptr;
    return cap && json_object_get_boolean_member(cap, "visible") &&
           JsonText(json_object_get_member(cap, "settings")).find("from OSC") != std::string::npos;
  }));
  lo_send(to, "/vxosd/main/visible", "si", "cap", 0);
  EXPECT_TRUE(WaitFor([&] {
    JsonNodePtr ch = Channel();
    JsonObject *cap = ch ? Component(ch.get(), "cap") : nullptr;
    return cap && !json_object_get_boolean_member(cap, "visible");
  }));
  lo_address_free(to);
  EXPECT_NE(Request("GET", "/api/v1/channels/main/asrun").body.find("\"source\":\"osc\""), std::string::npos);
  EXPECT_EQ(Request("GET", "/api/v1/channels/main/asrun").body.find("AddVxComponent x 0"), std::string::npos);
}

// Reads a multipart MJPEG response from a raw socket until it has seen frames parts.
bool ReadMjpegFrames(int port, int frames, std::string &head) {
  g_autoptr(GSocketClient) client = g_socket_client_new();
  g_socket_client_set_timeout(client, 10);
  g_autoptr(GSocketConnection) conn = g_socket_client_connect_to_host(client, "127.0.0.1", static_cast<guint16>(port), nullptr, nullptr);
  if (!conn) return false;
  const std::string request = "GET /api/v1/channels/main/preview.mjpeg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  GOutputStream *out = g_io_stream_get_output_stream(G_IO_STREAM(conn));
  if (!g_output_stream_write_all(out, request.data(), request.size(), nullptr, nullptr, nullptr)) return false;
  GInputStream *in = g_io_stream_get_input_stream(G_IO_STREAM(conn));
  std::string data;
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < end) {
    char buf[65536];
    const gssize n = g_input_stream_read(in, buf, sizeof buf, nullptr, nullptr);
    if (n <= 0) return false;
    data.append(buf, static_cast<std::size_t>(n));
    // Parts arrive in HTTP chunks; a part is its header and a JPEG's start of image.
    auto count_of = [&](const std::string &what) {
      int n = 0;
      for (std::size_t pos = data.find(what); pos != std::string::npos; pos = data.find(what, pos + 1)) ++n;
      return n;
    };
    const int count = std::min(count_of("--vxosdframe\r\nContent-Type: image/jpeg\r\n"), count_of("\xFF\xD8\xFF"));
    if (count >= frames) {
      head = data.substr(0, data.find("\r\n\r\n"));
      return true;
    }
  }
  return false;
}

TEST_F(LiveServerTest, MjpegPreviewServesEveryViewerAndForgetsThoseWhoLeave) {
  StartDefault();
  std::string head1, head2;
  ASSERT_TRUE(ReadMjpegFrames(server_->http_port(), 3, head1));
  EXPECT_NE(head1.find("multipart/x-mixed-replace;boundary=vxosdframe"), std::string::npos) << head1;
  ASSERT_TRUE(ReadMjpegFrames(server_->http_port(), 2, head2));
  // Both connections are closed: the channel has no viewer left (and stops encoding).
  EXPECT_TRUE(WaitFor([&] {
    JsonNodePtr ch = Channel();
    return ch && json_object_get_int_member(json_object_get_object_member(json_node_get_object(ch.get()), "pipeline"),
                                            "preview_viewers") == 0;
  }));
}

TEST_F(LiveServerTest, ASlowPreviewViewerDropsFramesAndNeverStallsTheVideo) {
  // Snow makes large JPEGs: the socket buffers fill within a second or two.
  server_->Configure("", "source=videotestsrc is-live=true pattern=snow ! video/x-raw,width=640,height=480,framerate=25/1\n");
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitPlaying());
  // A viewer that reads nothing, with a tiny receive window: the server's socket fills up.
  GSocket *slow = g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_TCP, nullptr);
  ASSERT_TRUE(slow);
  g_socket_set_option(slow, SOL_SOCKET, SO_RCVBUF, 2048, nullptr);
  g_autoptr(GInetAddress) loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  g_autoptr(GSocketAddress) to = g_inet_socket_address_new(loopback, static_cast<guint16>(server_->http_port()));
  ASSERT_TRUE(g_socket_connect(slow, to, nullptr, nullptr));
  const std::string request = "GET /api/v1/channels/main/preview.mjpeg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(g_socket_send(slow, request.data(), request.size(), nullptr, nullptr), static_cast<gssize>(request.size()));
  auto pipeline = [&](const char *member) {
    JsonNodePtr ch = Channel();
    return ch ? json_object_get_int_member(json_object_get_object_member(json_node_get_object(ch.get()), "pipeline"), member) : -1;
  };
  EXPECT_TRUE(WaitFor([&] { return pipeline("preview_dropped") > 0; }, 20000));
  // The video goes on at its rate, and a viewer that reads still gets frames.
  const gint64 frames = pipeline("frames");
  EXPECT_TRUE(WaitFor([&] { return pipeline("frames") >= frames + 10; }));
  std::string head;
  EXPECT_TRUE(ReadMjpegFrames(server_->http_port(), 2, head));
  g_socket_close(slow, nullptr);
  g_object_unref(slow);
}

TEST_F(LiveServerTest, TokenAndOriginRules) {
  const std::vector<std::pair<std::string, std::string>> bearer = {{"Authorization", "Bearer abc.123"}};
  default_headers_ = bearer;
  StartDefault("token=abc.123\n");
  const std::vector<std::pair<std::string, std::string>> none = {{"X-Nothing", "1"}};
  EXPECT_EQ(Request("GET", "/api/v1", "", "", none).status, 401);
  EXPECT_EQ(Request("GET", "/api/v1/channels", "", "", {{"Authorization", "Bearer wrong"}}).status, 401);
  EXPECT_EQ(Request("GET", "/api/v1/channels", "", "", bearer).status, 200);
  EXPECT_EQ(Request("GET", "/api/v1/channels", "", "", {{"Cookie", "theme=dark; vxosd_token=abc.123"}}).status, 200);
  const std::string body = R"({"lines": ["AddVxComponent o 0"]})";
  EXPECT_EQ(Request("POST", "/api/v1/channels/main/commands", body, "application/json", {{"Origin", "http://127.0.0.1"}}).status, 401);
  auto with = [&](const std::string &origin) {
    auto h = bearer;
    h.push_back({"Origin", origin});
    return h;
  };
  EXPECT_EQ(Request("POST", "/api/v1/channels/main/commands", body, "application/json", with("http://evil.example")).status, 403);
  const std::string own = "http://127.0.0.1:" + std::to_string(server_->http_port());
  EXPECT_EQ(Request("POST", "/api/v1/channels/main/commands", body, "application/json", with(own)).status, 200);
  // A page elsewhere may read nothing either way, but may not change anything.
  EXPECT_EQ(Request("GET", "/api/v1/channels", "", "", with("http://evil.example")).status, 200);
  {
    WsClient no_token(session_, WsUrl(*server_));
    EXPECT_FALSE(no_token.connected());
  }
  {
    WsClient foreign(session_, WsUrl(*server_), with("http://evil.example"));
    EXPECT_FALSE(foreign.connected());
  }
  WsClient good(session_, WsUrl(*server_), {{"Cookie", "vxosd_token=abc.123"}});
  ASSERT_TRUE(good.connected());
  good.Send(R"({"type": "request", "id": 1, "request": "list-channels"})");
  EXPECT_TRUE(good.Next(WsClient::ReplyTo("1")));
}

TEST_F(LiveServerTest, RestartAfterKillRestoresTheComponents) {
  StartDefault();
  ASSERT_EQ(Commands(kRedPanel).status, 200);
  ASSERT_TRUE(WaitRed(110, 110));
  server_->Kill(SIGKILL);
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitPlaying());
  JsonNodePtr ch = Channel();
  ASSERT_TRUE(Component(ch.get(), "box"));
  // The replayed library draws the panel again.
  EXPECT_TRUE(WaitRed(110, 110));
  // No temporary state file is left over.
  for (const auto &f : fs::directory_iterator(dir_ / "state"))
    EXPECT_EQ(f.path().filename().string().find(".tmp"), std::string::npos) << f.path();
}

TEST_F(LiveServerTest, ASourceThatFailsIsRetriedAndRecovers) {
  const fs::path picture = dir_ / "picture.png";
  server_->Configure("", "source=filesrc location=" + picture.string() +
                             " ! pngdec ! videoconvert ! imagefreeze is-live=true ! video/x-raw,framerate=25/1\n");
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitFor([&] { return PipelineState() == "error"; })) << PipelineState();
  JsonNodePtr ch = Channel();
  JsonObject *pipeline = json_object_get_object_member(json_node_get_object(ch.get()), "pipeline");
  EXPECT_NE(std::string(json_object_get_string_member(pipeline, "error")).find("picture.png"), std::string::npos)
      << json_object_get_string_member(pipeline, "error");
  // Nothing is applied while the channel is down, and the request is told so.
  Response down = Commands({"AddVxComponent a 0"});
  EXPECT_EQ(down.status, 503);
  // The source comes back: the next retry plays.
  const char *src = std::getenv("VXOSD_SOURCE_DIR");
  ASSERT_TRUE(src);
  fs::copy_file(fs::path(src) / "docs" / "calendar-2008-08.png", picture);
  ASSERT_TRUE(WaitPlaying(20000)) << PipelineState();
  ch = Channel();
  pipeline = json_object_get_object_member(json_node_get_object(ch.get()), "pipeline");
  EXPECT_GE(json_object_get_int_member(pipeline, "restarts"), 1);
  EXPECT_TRUE(json_object_get_null_member(pipeline, "error"));
  EXPECT_EQ(Commands(kRedPanel).status, 200);
  EXPECT_TRUE(server_->Running());
}

TEST_F(LiveServerTest, SigtermEndsThePipelineWithEosSoFilesAreFinalised) {
  const fs::path file = dir_ / "out.avi";
  server_->Configure("", std::string("source=") + kSource + "\noutput=jpegenc ! avimux ! filesink location=" + file.string() + "\n");
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitFor([&] {
    JsonNodePtr ch = Channel();
    return ch && json_object_get_int_member(json_object_get_object_member(json_node_get_object(ch.get()), "pipeline"),
                                            "frames") >= 10;
  }));
  server_->Kill(SIGTERM);
  const int status = server_->WaitExit(10000);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << server_->Stderr();
  // The index is written at EOS: without it the file was cut off.
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_NE(s.str().find("idx1"), std::string::npos);
}

TEST_F(LiveServerTest, TheSceneRunsOnTheFirstStartOnly) {
  const fs::path scene = dir_ / "first.scene";
  std::ofstream(scene) << "AddVxComponent intro 2\nSetVxComponent_Text intro \"hello\"\nwait 40\nSetVxComponent_Visible intro 0 1\n";
  server_->Configure("", std::string("source=") + kSource + "\nscene=" + scene.string() + "\n");
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitFor([&] {
    JsonNodePtr ch = Channel();
    JsonObject *intro = ch ? Component(ch.get(), "intro") : nullptr;
    return intro && json_object_get_boolean_member(intro, "visible");
  }));
  ASSERT_EQ(Commands({"DelVxComponent intro"}).status, 200);
  server_->Kill(SIGTERM);
  ASSERT_EQ(server_->WaitExit(10000), 0);
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitPlaying());
  JsonNodePtr ch = Channel();
  EXPECT_FALSE(Component(ch.get(), "intro"));
}

TEST_F(LiveServerTest, ABadConfigurationStopsTheServerNamingTheLine) {
  server_->Configure("", "source=nosuchelement ! fakesink\n");
  EXPECT_FALSE(server_->Start());
  EXPECT_NE(server_->Stderr().find("live.conf:5: source:"), std::string::npos) << server_->Stderr();
}

// Each channel's overlay runs a library of its own: what one channel adds, the other has not.
TEST_F(LiveServerTest, TwoChannelsInOneProcessKeepTheirOwnComponents) {
  server_->Configure("", std::string("source=") + kSource + "\n[channel second]\nsource=" + kSource + "\n");
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitPlaying());
  ASSERT_EQ(Commands(kRedPanel).status, 200);
  const std::string lines = R"({"lines": ["SetVxComponent_Visible box 0 1", "AddVxComponent other 0"]})";
  Response second;
  ASSERT_TRUE(WaitFor([&] {
    second = Request("POST", "/api/v1/channels/second/commands", lines);
    return second.status == 200;
  })) << second.status << " " << second.body;
  JsonNodePtr answer = second.json();
  ASSERT_TRUE(answer);
  JsonArray *results = json_object_get_array_member(json_node_get_object(answer.get()), "results");
  ASSERT_EQ(json_array_get_length(results), 2u);
  EXPECT_EQ(json_object_get_int_member(json_array_get_object_element(results, 0), "result"), 0);
  EXPECT_EQ(json_object_get_int_member(json_array_get_object_element(results, 1), "result"), 1);
  JsonNodePtr main = Channel();
  EXPECT_TRUE(Component(main.get(), "box"));
  EXPECT_FALSE(Component(main.get(), "other"));
  JsonNodePtr other = Request("GET", "/api/v1/channels/second").json();
  ASSERT_TRUE(other);
  EXPECT_FALSE(Component(other.get(), "box"));
  EXPECT_TRUE(Component(other.get(), "other"));
}

}  // namespace
}  // namespace vxlive

namespace vxlive {
namespace {

// Three cues, each a red panel at its own place, taken off by deleting it.
std::string ThreeCues(bool autoplay, bool loop, int duration_ms) {
  std::string cues;
  for (int i = 1; i <= 3; ++i) {
    const std::string id = "c" + std::to_string(i), x = std::to_string(i * 150 - 50);
    cues += std::string(i > 1 ? "," : "") + R"({"id": ")" + id + R"(", "name": "Cue )" + id + R"(", "lines": ["AddVxComponent )" +
            id + R"( 0", "SetVxComponent_Pos )" + id + " " + x + R"( 100 60 40", "SetVxComponent_Color )" + id +
            R"( 0x0000FF 255", "SetVxComponent_Visible )" + id + R"( 0 1"], "out": ["DelVxComponent )" + id +
            R"("], "duration_ms": )" + std::to_string(duration_ms) + "}";
  }
  return std::string(R"({"autoplay": )") + (autoplay ? "true" : "false") + R"(, "loop": )" + (loop ? "true" : "false") +
         R"(, "cues": [)" + cues + "]}";
}

class RundownTest : public LiveServerTest {
 protected:
  // Which cues' panels the OSD shows.
  std::string Shown() {
    Png png;
    if (!OsdPixel(0, 0, png)) return "?";
    std::string on;
    for (int i = 1; i <= 3; ++i) {
      const uint8_t *p = png.At(i * 150 - 50 + 30, 120);
      if (p[0] > 200 && p[1] < 60 && p[3] == 255) on += "c" + std::to_string(i);
    }
    return on;
  }
  std::string OnAir() {
    JsonNodePtr ch = Channel();
    if (!ch) return "?";
    JsonObject *r = json_object_get_object_member(json_node_get_object(ch.get()), "rundown");
    if (json_object_get_null_member(r, "on_air")) return "";
    return json_object_get_string_member(json_object_get_object_member(r, "on_air"), "id");
  }
  bool Expect(const std::string &on_air, const std::string &shown) {
    return WaitFor([&] { return OnAir() == on_air && Shown() == shown; });
  }
  // The as-run log's take entries as "source:action:cue".
  std::vector<std::string> Actions() {
    std::vector<std::string> out;
    JsonNodePtr log = Request("GET", "/api/v1/channels/main/asrun").json();
    JsonArray *a = json_object_get_array_member(json_node_get_object(log.get()), "entries");
    for (guint i = 0; i < json_array_get_length(a); ++i) {
      JsonObject *e = json_array_get_object_element(a, i);
      if (!json_object_has_member(e, "action")) continue;
      out.push_back(std::string(json_object_get_string_member(e, "source")) + ":" + json_object_get_string_member(e, "action") +
                    ":" + (json_object_has_member(e, "cue") ? json_object_get_string_member(e, "cue") : ""));
    }
    return out;
  }
  int Post(const std::string &path, const std::string &body = "") {
    return Request("POST", "/api/v1/channels/main/" + path, body).status;
  }
};

TEST_F(RundownTest, TakeNextStopAndUndoOverSeveralLevelsFromHttpAndOsc) {
  StartDefault("", true);
  EXPECT_EQ(Request("PUT", "/api/v1/channels/main/rundown", R"({"cues": [{"id": "x", "lines": ["Bogus"]}]})").status, 400);
  ASSERT_EQ(Request("PUT", "/api/v1/channels/main/rundown", ThreeCues(false, false, 0)).status, 200);
  EXPECT_EQ(Post("rundown/take", R"({"id": "nope"})"), 404);
  EXPECT_EQ(Post("rundown/stop"), 409);  // nothing on air
  EXPECT_EQ(Post("undo"), 409);          // nothing done yet
  ASSERT_EQ(Post("rundown/take"), 200);
  EXPECT_TRUE(Expect("c1", "c1"));
  ASSERT_EQ(Post("rundown/next"), 200);
  EXPECT_TRUE(Expect("c2", "c2"));  // c1's out went in the same request
  lo_address to = lo_address_new("127.0.0.1", std::to_string(server_->osc_port()).c_str());
  lo_send(to, "/vxosd/main/take", "s", "c3");
  EXPECT_TRUE(Expect("c3", "c3"));
  EXPECT_EQ(Post("rundown/next"), 409);  // the last cue, no loop
  lo_send(to, "/vxosd/main/stop", "");
  EXPECT_TRUE(Expect("", ""));
  lo_send(to, "/vxosd/main/undo", "");
  EXPECT_TRUE(Expect("c3", "c3"));
  ASSERT_EQ(Post("undo"), 200);
  EXPECT_TRUE(Expect("c2", "c2"));
  ASSERT_EQ(Post("undo"), 200);
  EXPECT_TRUE(Expect("c1", "c1"));
  lo_send(to, "/vxosd/main/next", "");
  EXPECT_TRUE(Expect("c2", "c2"));
  lo_address_free(to);
  EXPECT_EQ(Actions(), (std::vector<std::string>{"http:take:c1", "http:take:c2", "osc:take:c3", "osc:stop:c3", "osc:undo:c3",
                                                 "http:undo:c2", "http:undo:c1", "osc:take:c2"}));
  // An undo also takes back what plain commands did.
  ASSERT_EQ(Commands({"DelVxComponent c2"}).status, 200);
  EXPECT_TRUE(Expect("c2", ""));
  ASSERT_EQ(Post("undo"), 200);
  EXPECT_TRUE(Expect("c2", "c2"));
  // The same over the WebSocket: the rundown, a take and an undo, replies with their ids.
  WsClient ws(session_, WsUrl(*server_));
  ASSERT_TRUE(ws.connected());
  ws.Send(R"({"type": "request", "id": "r", "request": "put-rundown", "channel": "main", "rundown": )" +
          ThreeCues(false, true, 0) + "}");
  JsonNodePtr put = ws.Next(WsClient::ReplyTo("r"));
  ASSERT_TRUE(put);
  EXPECT_EQ(json_object_get_int_member(json_node_get_object(put.get()), "status"), 200);
  ws.Send(R"({"type": "request", "id": "t", "request": "take", "channel": "main", "cue": "c3"})");
  JsonNodePtr take = ws.Next(WsClient::ReplyTo("t"));
  ASSERT_TRUE(take);
  EXPECT_STREQ(json_object_get_string_member(json_object_get_object_member(json_node_get_object(take.get()), "result"), "on_air"), "c3");
  EXPECT_TRUE(Expect("c3", "c3"));
  ws.Send(R"({"type": "request", "id": "n", "request": "next", "channel": "main"})");
  EXPECT_TRUE(ws.Next(WsClient::ReplyTo("n")));
  EXPECT_TRUE(Expect("c1", "c1"));  // the rundown loops now
  ws.Send(R"({"type": "request", "id": "u", "request": "undo", "channel": "main"})");
  EXPECT_TRUE(ws.Next(WsClient::ReplyTo("u")));
  EXPECT_TRUE(Expect("c3", "c3"));
  EXPECT_EQ(Actions().back(), "ws:undo:c3");
}

TEST_F(RundownTest, AutoplayLoopsAndARestartGoesOnWithWhatIsLeftOfTheCue) {
  StartDefault();
  ASSERT_EQ(Request("PUT", "/api/v1/channels/main/rundown", ThreeCues(true, true, 300)).status, 200);
  ASSERT_EQ(Post("rundown/take"), 200);
  ASSERT_TRUE(WaitFor([&] {
    const auto a = Actions();
    return a.size() >= 4 && a[1] == "autoplay:take:c2" && a[2] == "autoplay:take:c3" && a[3] == "autoplay:take:c1";
  }));
  // Durations are kept on air for their length (a looser bound below: the machine is shared).
  JsonNodePtr log = Request("GET", "/api/v1/channels/main/asrun").json();
  JsonArray *e = json_object_get_array_member(json_node_get_object(log.get()), "entries");
  const gint64 first = json_object_get_int_member(json_array_get_object_element(e, 0), "running_time_ns");
  const gint64 second = json_object_get_int_member(json_array_get_object_element(e, 1), "running_time_ns");
  EXPECT_GE(second - first, 300'000'000);
  EXPECT_LT(second - first, 1'500'000'000);
  // A long cue, then a kill while it is on air: the restarted server finishes its time.
  std::string rundown = ThreeCues(true, false, 2500);
  ASSERT_EQ(Request("PUT", "/api/v1/channels/main/rundown", rundown).status, 200);
  ASSERT_EQ(Post("rundown/take", R"({"id": "c2"})"), 200);
  ASSERT_TRUE(Expect("c2", "c2"));
  server_->Kill(SIGKILL);
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  ASSERT_TRUE(WaitPlaying());
  EXPECT_EQ(OnAir(), "c2");
  EXPECT_TRUE(WaitFor([&] { return Shown() == "c2"; }));
  EXPECT_TRUE(WaitFor([&] { return Shown() == "c3" && Actions().back() == "autoplay:take:c3"; }, 6000));
  // The last cue of a rundown that does not loop is taken off when its time is up.
  EXPECT_TRUE(WaitFor([&] { return Shown().empty() && Actions().back() == "autoplay:stop:c3"; }, 6000));
  EXPECT_EQ(OnAir(), "");
  // The undo history came through the restart too.
  ASSERT_EQ(Post("undo"), 200);
  EXPECT_TRUE(Expect("c3", "c3"));
}

TEST_F(RundownTest, ACueWithATimeOfDayTakesItself) {
  StartDefault();
  const time_t soon = time(nullptr) + 2;
  std::tm local{};
  localtime_r(&soon, &local);
  char at[16];
  std::strftime(at, sizeof at, "%H:%M:%S", &local);
  ASSERT_EQ(Request("PUT", "/api/v1/channels/main/rundown",
                    std::string(R"({"cues": [{"id": "t", "at": ")") + at + R"(", "lines": ["AddVxComponent t 2"]}]})")
                .status,
            200);
  EXPECT_TRUE(WaitFor([&] { return Actions() == std::vector<std::string>{"time:take:t"}; }, 5000));
  EXPECT_EQ(OnAir(), "t");
}

TEST_F(RundownTest, ABindingFeedsAComponentAndIsSavedWithTheState) {
  StartDefault();
  ASSERT_EQ(Commands({"AddVxComponent tick 2"}).status, 200);
  const fs::path file = dir_ / "tick.txt";
  std::ofstream(file) << "first\n";
  const std::string body = R"({"bindings": [{"component": "tick", "file": ")" + file.string() + R"(", "template": "> {value}"}]})";
  EXPECT_EQ(Request("PUT", "/api/v1/channels/main/bindings", R"({"bindings": [{"component": "tick"}]})").status, 400);
  ASSERT_EQ(Request("PUT", "/api/v1/channels/main/bindings", body).status, 200);
  auto text = [&] {
    JsonNodePtr ch = Channel();
    JsonObject *c = ch ? Component(ch.get(), "tick") : nullptr;
    return c ? JsonText(json_object_get_member(c, "settings")) : "";
  };
  EXPECT_TRUE(WaitFor([&] { return text().find("> first") != std::string::npos; }));
  server_->Kill(SIGKILL);
  std::ofstream(file) << "second\n";  // changed while the server was down
  ASSERT_TRUE(server_->Start()) << server_->Stderr();
  EXPECT_TRUE(WaitFor([&] { return text().find("> second") != std::string::npos; }));
  EXPECT_NE(Request("GET", "/api/v1/channels/main/asrun").body.find("\"source\":\"binding\""), std::string::npos);
}

TEST_F(RundownTest, ASavedRundownOfTheWrongShapeIsKeptAsideNotTrusted) {
  fs::create_directories(dir_ / "state");
  std::ofstream(dir_ / "state" / "main.state.json")
      << R"({"version": 1, "channel": "main", "components": [], "rundown": {"cues": []}, "on_air": {"id": 7}})";
  StartDefault();
  EXPECT_TRUE(fs::exists(dir_ / "state" / "main.state.json.unreadable"));
  EXPECT_EQ(OnAir(), "");
  EXPECT_NE(server_->Stderr().find("\"id\" is not a text"), std::string::npos) << server_->Stderr();
}

}  // namespace
}  // namespace vxlive
