// vxosd-live under the load of a busy control room: 20 WebSocket clients and 5 HTTP clients
// send 50 commands per second in all (each client its own caption) for 30 s
// (VXOSD_LIVE_BENCH_SECONDS to change it), while one viewer watches the MJPEG preview.
// Reported: commands lost and out of order per client (both must be 0); the latency from a
// request to the first output frame that shows it, in video frames (the server's queued and
// applied running times); the latency from a request to the first preview frame that shows it,
// in ms; the server's CPU (percent of one core) and memory (peak resident MiB).

#include <benchmark/benchmark.h>
#include <json-glib/json-glib.h>
#include <libsoup/soup.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kWsClients = 20, kHttpClients = 5, kCommandsPerSecond = 50;
constexpr double kFrameNs = 40e6;  // 25 frames per second

struct Command {
  int client = 0, seq = 0;
  gint64 sent_us = 0, replied_us = 0;
  guint64 batch = 0, queued_rt = 0, applied_rt = 0;
  bool ok = false;
};

struct Run {
  std::vector<Command> commands;
  std::vector<std::pair<guint64, gint64>> preview_parts;  // running time, wall time received
  std::string preview_buffer;
  int lost = 0;
};

bool WaitFor(const std::function<bool()> &done, int timeout_ms) {
  const gint64 end = g_get_monotonic_time() + gint64{timeout_ms} * 1000;
  while (!done()) {
    if (g_get_monotonic_time() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

// The reply's numbers: batch, running time queued and applied, and whether every call gave 1.
void ReadResult(JsonObject *result, Command &c) {
  c.batch = static_cast<guint64>(json_object_get_int_member(result, "batch"));
  c.queued_rt = static_cast<guint64>(json_object_get_int_member(result, "queued_running_time_ns"));
  c.applied_rt = static_cast<guint64>(json_object_get_int_member(result, "running_time_ns"));
  JsonArray *results = json_object_get_array_member(result, "results");
  c.ok = json_array_get_length(results) > 0;
  for (guint i = 0; i < json_array_get_length(results); ++i)
    c.ok = c.ok && json_object_get_int_member(json_array_get_object_element(results, i), "result") == 1;
}

std::string Body(int client, int seq) {
  return "{\"lines\": [\"SetVxComponent_Text c" + std::to_string(client) + " \\\"client " + std::to_string(client) +
         " command " + std::to_string(seq) + "\\\"\", \"SetVxComponent_Visible c" + std::to_string(client) + " 0 1\"]}";
}

struct ServerProcess {
  pid_t pid = -1;
  int port = 0;
  fs::path dir;
  ~ServerProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (!dir.empty()) fs::remove_all(dir);
  }
  bool Start() {
    dir = fs::temp_directory_path() / ("vxosd-live-bench-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "live.conf") << "[server]\nlisten=127.0.0.1:0\nstate=" << (dir / "state").string()
                                     << "\n[channel main]\nsource=videotestsrc is-live=true ! "
                                        "video/x-raw,width=1280,height=720,framerate=25/1\noutput=fakesink\n";
    pid = fork();
    if (pid == 0) {
      setenv("GST_PLUGIN_PATH", VXOSD_PLUGIN_DIR, 1);
      if (!freopen((dir / "stdout.log").c_str(), "w", stdout)) _exit(127);
      execl(VXOSD_LIVE_EXE, VXOSD_LIVE_EXE, "--config", (dir / "live.conf").c_str(), static_cast<char *>(nullptr));
      _exit(127);
    }
    return WaitFor([&] {
      std::ifstream in(dir / "stdout.log");
      std::string line;
      while (std::getline(in, line))
        if (auto p = line.find("listening on http://127.0.0.1:"); p != std::string::npos) port = std::atoi(line.c_str() + p + 30);
      return port > 0;
    }, 10000);
  }
  // CPU seconds (user + system) and resident memory (kB) now, peak resident (kB).
  double CpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(in)), {});
    std::istringstream f(s.substr(s.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && f >> field; ++i)
      if (i == 14 || i == 15) ticks += std::atof(field.c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  long StatusKb(const char *key) const {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.starts_with(key)) return std::atol(line.c_str() + std::strlen(key) + 1);
    return 0;
  }
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

void BM_LiveServerLoad(benchmark::State &state) {
  const char *env = std::getenv("VXOSD_LIVE_BENCH_SECONDS");
  const int seconds = env ? std::max(1, std::atoi(env)) : 30;
  for (auto _ : state) {
    ServerProcess server;
    if (!server.Start()) {
      state.SkipWithError("vxosd-live did not start");
      return;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port);
    SoupSession *session = soup_session_new_with_options("max-conns", 64, "max-conns-per-host", 64, nullptr);
    // Each client's caption, visible.
    {
      std::string lines;
      for (int c = 0; c < kWsClients + kHttpClients; ++c)
        lines += std::string(c ? "," : "") + "\"AddVxComponent c" + std::to_string(c) + " 2\", \"SetVxComponent_Pos c" +
                 std::to_string(c) + " 10 " + std::to_string(10 + 18 * c) + " 0 0\", \"SetVxComponent_Font c" +
                 std::to_string(c) + " \\\"Arial\\\" 16777215 12\"";
      bool ready = WaitFor([&] {
        SoupMessage *m = soup_message_new("POST", (base + "/api/v1/channels/main/commands").c_str());
        const std::string body = "{\"lines\": [" + lines + "]}";
        g_autoptr(GBytes) b = g_bytes_new(body.data(), body.size());
        soup_message_set_request_body_from_bytes(m, "application/json", b);
        GBytes *r = soup_session_send_and_read(session, m, nullptr, nullptr);
        const bool ok = soup_message_get_status(m) == 200;
        if (r) g_bytes_unref(r);
        g_object_unref(m);
        return ok;
      }, 15000);
      if (!ready) {
        state.SkipWithError("the channel did not start playing");
        return;
      }
    }
    Run run;
    // The preview viewer reads the parts' running times as they come.
    g_autoptr(GSocketClient) sc = g_socket_client_new();
    g_autoptr(GSocketConnection) preview = g_socket_client_connect_to_host(sc, "127.0.0.1", static_cast<guint16>(server.port), nullptr, nullptr);
    const std::string req = "GET /api/v1/channels/main/preview.mjpeg HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    g_output_stream_write_all(g_io_stream_get_output_stream(G_IO_STREAM(preview)), req.data(), req.size(), nullptr, nullptr, nullptr);
    GSocket *preview_socket = g_socket_connection_get_socket(preview);
    g_socket_set_blocking(preview_socket, FALSE);
    auto read_preview = [&] {
      char buf[65536];
      for (;;) {
        const gssize n = g_socket_receive(preview_socket, buf, sizeof buf, nullptr, nullptr);
        if (n <= 0) break;
        run.preview_buffer.append(buf, static_cast<std::size_t>(n));
      }
      const gint64 now = g_get_monotonic_time();
      std::size_t pos;
      while ((pos = run.preview_buffer.find("X-Running-Time: ")) != std::string::npos) {
        const std::size_t end = run.preview_buffer.find("\r\n", pos);
        if (end == std::string::npos) break;
        run.preview_parts.push_back({std::strtoull(run.preview_buffer.c_str() + pos + 16, nullptr, 10), now});
        run.preview_buffer.erase(0, end);
      }
      if (run.preview_buffer.size() > (1 << 20)) run.preview_buffer.erase(0, run.preview_buffer.size() - 64);
    };

    // WebSocket clients.
    struct Ws {
      SoupWebsocketConnection *conn = nullptr;
      Run *run;
    };
    std::vector<std::unique_ptr<Ws>> ws(kWsClients);
    int connected = 0;
    for (auto &w : ws) {
      w = std::make_unique<Ws>();
      w->run = &run;
      SoupMessage *m = soup_message_new("GET", ("ws://127.0.0.1:" + std::to_string(server.port) + "/api/v1/ws").c_str());
      struct Ctx {
        Ws *w;
        int *connected;
      };
      soup_session_websocket_connect_async(
          session, m, nullptr, nullptr, G_PRIORITY_DEFAULT, nullptr,
          [](GObject *s, GAsyncResult *r, gpointer d) {
            auto *ctx = static_cast<Ctx *>(d);
            ctx->w->conn = soup_session_websocket_connect_finish(SOUP_SESSION(s), r, nullptr);
            ++*ctx->connected;
            if (ctx->w->conn)
              g_signal_connect(ctx->w->conn, "message", G_CALLBACK(+[](SoupWebsocketConnection *, gint, GBytes *msg, gpointer data) {
                auto *self = static_cast<Ws *>(data);
                gsize size = 0;
                const char *text = static_cast<const char *>(g_bytes_get_data(msg, &size));
                g_autoptr(JsonParser) p = json_parser_new();
                if (!json_parser_load_from_data(p, text, static_cast<gssize>(size), nullptr)) return;
                JsonObject *o = json_node_get_object(json_parser_get_root(p));
                if (std::strcmp(json_object_get_string_member_with_default(o, "type", ""), "reply") != 0) return;
                const auto index = static_cast<std::size_t>(json_object_get_int_member(o, "id"));
                Command &c = self->run->commands[index];
                c.replied_us = g_get_monotonic_time();
                if (json_object_get_int_member(o, "status") == 200) ReadResult(json_object_get_object_member(o, "result"), c);
              }), ctx->w);
            delete ctx;
          },
          new Ctx{w.get(), &connected});
      g_object_unref(m);
    }
    WaitFor([&] { return connected == kWsClients; }, 10000);

    // The schedule: one command every 20 ms, the clients in turn; an HTTP client sends its
    // next command only after the reply to its last (one connection, in order).
    const int total = seconds * kCommandsPerSecond;
    run.commands.reserve(static_cast<std::size_t>(total));
    std::vector<int> seqs(kWsClients + kHttpClients, 0);
    std::vector<std::vector<std::size_t>> http_queue(kHttpClients);
    std::vector<bool> http_busy(kHttpClients, false);
    const double cpu0 = server.CpuSeconds();
    const gint64 start = g_get_monotonic_time();
    long peak_rss = 0;
    gint64 next_sample = start;
    std::function<void(int)> send_http = [&](int h) {
      if (http_busy[h] || http_queue[h].empty()) return;
      const std::size_t index = http_queue[h].front();
      http_queue[h].erase(http_queue[h].begin());
      http_busy[h] = true;
      Command &c = run.commands[index];
      SoupMessage *m = soup_message_new("POST", (base + "/api/v1/channels/main/commands").c_str());
      const std::string body = Body(c.client, c.seq);
      g_autoptr(GBytes) b = g_bytes_new(body.data(), body.size());
      soup_message_set_request_body_from_bytes(m, "application/json", b);
      c.sent_us = g_get_monotonic_time();
      struct Ctx {
        SoupMessage *m;
        std::size_t index;
        int h;
        Run *run;
        std::vector<bool> *busy;
        std::function<void(int)> *again;
      };
      soup_session_send_and_read_async(
          session, m, G_PRIORITY_DEFAULT, nullptr,
          [](GObject *s, GAsyncResult *r, gpointer d) {
            auto *ctx = static_cast<Ctx *>(d);
            GBytes *bytes = soup_session_send_and_read_finish(SOUP_SESSION(s), r, nullptr);
            Command &c = ctx->run->commands[ctx->index];
            c.replied_us = g_get_monotonic_time();
            if (bytes && soup_message_get_status(ctx->m) == 200) {
              g_autoptr(JsonParser) p = json_parser_new();
              gsize size = 0;
              const char *text = static_cast<const char *>(g_bytes_get_data(bytes, &size));
              if (json_parser_load_from_data(p, text, static_cast<gssize>(size), nullptr))
                ReadResult(json_node_get_object(json_parser_get_root(p)), c);
            }
            if (bytes) g_bytes_unref(bytes);
            g_object_unref(ctx->m);
            (*ctx->busy)[ctx->h] = false;
            (*ctx->again)(ctx->h);
            delete ctx;
          },
          new Ctx{m, index, h, &run, &http_busy, &send_http});
    };
    for (int i = 0; i < total; ++i) {
      const gint64 due = start + gint64{i} * 1000000 / kCommandsPerSecond;
      while (g_get_monotonic_time() < due) {
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(500);
        read_preview();
      }
      if (g_get_monotonic_time() >= next_sample) {
        peak_rss = std::max(peak_rss, server.StatusKb("VmRSS:"));
        next_sample += 1000000;
      }
      const int client = i % (kWsClients + kHttpClients);
      Command c;
      c.client = client;
      c.seq = seqs[static_cast<std::size_t>(client)]++;
      run.commands.push_back(c);
      const std::size_t index = run.commands.size() - 1;
      if (client < kWsClients) {
        Ws &w = *ws[static_cast<std::size_t>(client)];
        run.commands[index].sent_us = g_get_monotonic_time();
        if (!w.conn) continue;
        const std::string body = Body(client, c.seq);
        const std::string msg = "{\"type\": \"request\", \"id\": " + std::to_string(index) +
                                ", \"request\": \"commands\", \"channel\": \"main\", " + body.substr(1);
        soup_websocket_connection_send_text(w.conn, msg.c_str());
      } else {
        http_queue[static_cast<std::size_t>(client - kWsClients)].push_back(index);
        send_http(client - kWsClients);
      }
    }
    // The last replies, and the preview frames that show the last commands.
    WaitFor([&] {
      read_preview();
      return std::all_of(run.commands.begin(), run.commands.end(), [](const Command &c) { return c.replied_us != 0; });
    }, 10000);
    const gint64 sent_end = g_get_monotonic_time();
    WaitFor([&] {
      read_preview();
      return g_get_monotonic_time() - sent_end > 1000000;
    }, 2000);
    const double cpu = server.CpuSeconds() - cpu0;
    const double wall = double(g_get_monotonic_time() - start) / 1e6;
    const long hwm = server.StatusKb("VmHWM:");

    int lost = 0, failed = 0, out_of_order = 0;
    std::map<int, guint64> last_batch;
    std::vector<double> frames, preview_ms;
    for (const Command &c : run.commands) {
      if (!c.replied_us) {
        ++lost;
        continue;
      }
      if (!c.ok) {
        ++failed;
        continue;
      }
      if (c.batch <= last_batch[c.client]) ++out_of_order;
      last_batch[c.client] = c.batch;
      frames.push_back((double(c.applied_rt) - double(c.queued_rt)) / kFrameNs);
      const auto part = std::find_if(run.preview_parts.begin(), run.preview_parts.end(),
                                     [&](const auto &p) { return p.first >= c.applied_rt; });
      if (part != run.preview_parts.end()) preview_ms.push_back(double(part->second - c.sent_us) / 1000.0);
    }
    state.counters["commands"] = static_cast<double>(run.commands.size());
    state.counters["lost"] = lost;
    state.counters["failed"] = failed;
    state.counters["out_of_order"] = out_of_order;
    state.counters["frames_p50"] = Percentile(frames, 0.5);
    state.counters["frames_p99"] = Percentile(frames, 0.99);
    state.counters["preview_ms_p50"] = Percentile(preview_ms, 0.5);
    state.counters["preview_ms_p99"] = Percentile(preview_ms, 0.99);
    state.counters["preview_frames_seen"] = static_cast<double>(run.preview_parts.size());
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["rss_peak_MiB"] = double(std::max(peak_rss, hwm)) / 1024.0;
    for (auto &w : ws)
      if (w->conn) {
        g_signal_handlers_disconnect_by_data(w->conn, w.get());
        g_object_unref(w->conn);
      }
    g_object_unref(session);
  }
}

BENCHMARK(BM_LiveServerLoad)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
