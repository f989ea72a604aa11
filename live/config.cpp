#include "live/config.h"

#include <arpa/inet.h>
#include <glib.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "scene/scene.h"

namespace vxlive {

namespace fs = std::filesystem;

namespace {

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// A value without its trailing comment: '#' after a space or tab starts one.
std::string StripComment(std::string_view v) {
  for (std::size_t i = 1; i < v.size(); ++i)
    if (v[i] == '#' && (v[i - 1] == ' ' || v[i - 1] == '\t')) return Trim(v.substr(0, i));
  return Trim(v);
}

struct Entry {
  std::string value;
  int line = 0;
};

struct Group {
  std::string name;
  int line = 0;
  std::map<std::string, Entry> keys;
};

bool ValidChannelName(const std::string &n) {
  if (n.empty() || n.size() > 32) return false;
  for (const char c : n)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-')) return false;
  return true;
}

bool ValidToken(const std::string &t) {
  for (const char c : t)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || std::string_view("._~+/=-").find(c) != std::string_view::npos))
      return false;
  return true;
}

bool IsIp(const std::string &host) {
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

bool OutputKey(const std::string &key, int &index) {
  if (key == "output") {
    index = 1;
    return true;
  }
  if (!key.starts_with("output") || key.size() > 9) return false;
  const std::string digits = key.substr(6);
  for (const char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  index = std::atoi(digits.c_str());
  return index >= 2 && digits[0] != '0';
}

}  // namespace

bool HostPort::loopback() const {
  if (host == "localhost" || host == "::1") return true;
  in_addr a{};
  return inet_pton(AF_INET, host.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

std::string HostPort::ToString() const {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool ParseHostPort(std::string_view text, HostPort &out, std::string &why) {
  std::string host, port;
  if (text.starts_with("[")) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      why = "an IPv6 address is written [ADDRESS]:PORT";
      return false;
    }
    host = std::string(text.substr(1, close - 1));
    port = std::string(text.substr(close + 2));
  } else {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
      why = "\"" + vxscene::Escaped(text) + "\" is not HOST:PORT";
      return false;
    }
    host = std::string(text.substr(0, colon));
    port = std::string(text.substr(colon + 1));
    if (host.find(':') != std::string::npos) {
      why = "an IPv6 address is written [ADDRESS]:PORT";
      return false;
    }
  }
  if (host != "localhost" && !IsIp(host)) {
    why = "\"" + vxscene::Escaped(host) + "\" is not an IP address (or localhost)";
    return false;
  }
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
      std::atoi(port.c_str()) > 65535) {
    why = "\"" + vxscene::Escaped(port) + "\" is not a port (0 to 65535)";
    return false;
  }
  out.host = host;
  out.port = std::atoi(port.c_str());
  return true;
}

std::string DefaultStateDir() {
  if (const char *x = std::getenv("XDG_STATE_HOME"); x && *x == '/') return std::string(x) + "/vxosd-live";
  if (const char *home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/state/vxosd-live";
  return "/var/lib/vxosd-live";
}

std::string DefaultConfigText(bool have_display) {
  return std::string(
             "[server]\n"
             "listen=127.0.0.1:8088\n"
             "[channel main]\n"
             "source=videotestsrc is-live=true ! video/x-raw,width=1280,height=720,framerate=25/1\n"
             "output=") +
         (have_display ? "autovideosink" : "fakesink") + "\n";
}

ServerConfig ParseConfig(std::string_view text, const std::string &file, const std::string &base_dir,
                         const FragmentCheck &check) {
  // The file's own scan gives every key its line; GKeyFile then reads the values (escapes
  // such as \s and \n), so the syntax is GLib's.
  std::vector<Group> groups;
  {
    std::istringstream in{std::string(text)};
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
      ++number;
      const std::string line = Trim(raw);
      if (line.empty() || line[0] == '#') continue;
      if (line[0] == '[') {
        if (line.back() != ']') throw ConfigError(file, number, "a group header is written [NAME]");
        const std::string name = line.substr(1, line.size() - 2);
        for (const Group &g : groups)
          if (g.name == name) throw ConfigError(file, number, "[" + name + "] is given twice (first on line " + std::to_string(g.line) + ")");
        groups.push_back({name, number, {}});
        continue;
      }
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos)
        throw ConfigError(file, number, "\"" + vxscene::Escaped(line) + "\" is not KEY=VALUE, [GROUP] or a # comment");
      if (groups.empty()) throw ConfigError(file, number, "a key before the first [group]");
      const std::string key = Trim(line.substr(0, eq));
      if (key.empty()) throw ConfigError(file, number, "a value without a key");
      auto &keys = groups.back().keys;
      if (auto it = keys.find(key); it != keys.end())
        throw ConfigError(file, number, key + " is given twice in [" + groups.back().name + "] (first on line " + std::to_string(it->second.line) + ")");
      keys[key] = {"", number};
    }
  }
  g_autoptr(GKeyFile) kf = g_key_file_new();
  g_autoptr(GError) err = nullptr;
  if (!g_key_file_load_from_data(kf, text.data(), text.size(), G_KEY_FILE_NONE, &err))
    throw ConfigError(file, 0, err->message);
  for (Group &g : groups)
    for (auto &[key, entry] : g.keys) {
      g_autoptr(GError) e = nullptr;
      g_autofree gchar *v = g_key_file_get_string(kf, g.name.c_str(), key.c_str(), &e);
      if (!v) throw ConfigError(file, entry.line, e ? e->message : "cannot read the value");
      entry.value = StripComment(v);
    }

  ServerConfig config;
  config.file = file;
  config.base_dir = base_dir;
  config.state_dir = DefaultStateDir();
  auto path_of = [&](const std::string &v) { return fs::path(v).is_relative() ? (fs::path(base_dir) / v).lexically_normal().string() : v; };
  bool have_server = false;
  for (const Group &g : groups) {
    if (g.name == "server") {
      have_server = true;
      for (const auto &[key, e] : g.keys) {
        std::string why;
        if (key == "listen") {
          if (!ParseHostPort(e.value, config.listen, why)) throw ConfigError(file, e.line, "listen: " + why);
        } else if (key == "token") {
          if (!ValidToken(e.value))
            throw ConfigError(file, e.line, "token: use letters, digits and . _ ~ + / = - only");
          config.token = e.value;
        } else if (key == "state") {
          if (e.value.empty()) throw ConfigError(file, e.line, "state: a folder is needed (leave the key out for the default)");
          config.state_dir = path_of(e.value);
        } else if (key == "osc") {
          if (!e.value.empty()) {
            HostPort hp;
            if (!ParseHostPort(e.value, hp, why)) throw ConfigError(file, e.line, "osc: " + why);
            config.osc = hp;
          }
        } else if (key == "osc_from") {
          std::istringstream list(e.value);
          std::string item;
          while (std::getline(list, item, ',')) {
            item = Trim(item);
            if (item.empty()) continue;
            if (item != "any" && !IsIp(item))
              throw ConfigError(file, e.line, "osc_from: \"" + vxscene::Escaped(item) + "\" is not an IP address or \"any\"");
            config.osc_from.push_back(item);
          }
        } else {
          throw ConfigError(file, e.line, "unknown key \"" + vxscene::Escaped(key) + "\" in [server] (listen, token, state, osc, osc_from)");
        }
      }
      if (!config.listen.loopback() && config.token.empty()) {
        const auto it = g.keys.find("listen");
        throw ConfigError(file, it->second.line,
                          "listen: " + config.listen.host + " is not a loopback address, so a token= is required");
      }
      continue;
    }
    if (!g.name.starts_with("channel ")) {
      throw ConfigError(file, g.line, "unknown group [" + vxscene::Escaped(g.name) + "] ([server] or [channel NAME])");
    }
    ChannelConfig ch;
    ch.line = g.line;
    ch.name = Trim(g.name.substr(8));
    if (!ValidChannelName(ch.name))
      throw ConfigError(file, g.line, "channel name \"" + vxscene::Escaped(ch.name) + "\": use 1 to 32 letters, digits, _ or -");
    for (const ChannelConfig &other : config.channels)
      if (other.name == ch.name) throw ConfigError(file, g.line, "channel " + ch.name + " is given twice");
    // The one place that limits channels per process (see kMaxChannelsPerProcess).
    if (config.channels.size() >= kMaxChannelsPerProcess)
      throw ConfigError(file, g.line,
                        "[channel " + ch.name + "]: one vxosd-live runs at most " +
                            std::to_string(kMaxChannelsPerProcess) + " channels: run a second vxosd-live for the others");
    std::map<int, std::pair<std::string, int>> outputs;
    for (const auto &[key, e] : g.keys) {
      int index = 0;
      if (key == "source") {
        if (e.value.empty()) throw ConfigError(file, e.line, "source: a gst-launch fragment is needed");
        if (std::string why = check ? check(e.value, true) : ""; !why.empty()) throw ConfigError(file, e.line, "source: " + why);
        ch.source = e.value;
      } else if (OutputKey(key, index)) {
        if (e.value.empty()) throw ConfigError(file, e.line, key + ": a gst-launch fragment is needed");
        if (std::string why = check ? check(e.value, false) : ""; !why.empty()) throw ConfigError(file, e.line, key + ": " + why);
        outputs[index] = {e.value, e.line};
      } else if (key == "scene") {
        if (e.value.empty()) continue;
        ch.scene = path_of(e.value);
        try {
          vxscene::LoadScene(ch.scene);
        } catch (const vxscene::SceneError &se) {
          throw ConfigError(file, e.line, "scene: " + ch.scene + ":" + std::to_string(se.line) + ": " + se.message);
        } catch (const std::exception &se) {
          throw ConfigError(file, e.line, std::string("scene: ") + se.what());
        }
      } else {
        throw ConfigError(file, e.line, "unknown key \"" + vxscene::Escaped(key) + "\" in [channel " + ch.name +
                                            "] (source, output, output2, ..., scene)");
      }
    }
    if (ch.source.empty()) throw ConfigError(file, g.line, "[channel " + ch.name + "] needs a source=");
    int expect = 1;
    for (const auto &[index, out] : outputs) {
      if (index != expect)
        throw ConfigError(file, out.second, "output" + std::to_string(index) + " without output" +
                                                (expect == 1 ? std::string() : std::to_string(expect)));
      ch.outputs.push_back(out.first);
      ++expect;
    }
    if (ch.outputs.empty()) ch.outputs.push_back("fakesink");
    config.channels.push_back(std::move(ch));
  }
  (void)have_server;
  if (config.channels.empty()) throw ConfigError(file, 0, "no [channel NAME] group: the server needs a channel");
  return config;
}

ServerConfig LoadConfigFile(const std::string &path, const FragmentCheck &check) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw ConfigError(path, 0, "is a folder, not a configuration file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ConfigError(path, 0, "cannot be read");
  std::ostringstream s;
  s << in.rdbuf();
  const std::string text = s.str();
  if (text.size() > (1 << 20)) throw ConfigError(path, 0, "is larger than 1 MiB");
  const fs::path abs = fs::absolute(path, ec);
  return ParseConfig(text, path, abs.parent_path().string(), check);
}

}  // namespace vxlive
