#include "live/binding.h"

#include <glib/gstdio.h>

#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>

#include "live/asrun.h"
#include "scene/scene.h"

namespace vxlive {

namespace {

std::string Escaped(const std::string &s) { return vxscene::Escaped(s); }

std::string NodeText(JsonNode *n) {
  if (JSON_NODE_HOLDS_NULL(n)) return "";
  if (JSON_NODE_HOLDS_VALUE(n)) {
    const GType t = json_node_get_value_type(n);
    if (t == G_TYPE_STRING) return json_node_get_string(n);
    if (t == G_TYPE_BOOLEAN) return json_node_get_boolean(n) ? "true" : "false";
    if (t == G_TYPE_INT64) return std::to_string(json_node_get_int(n));
    if (t == G_TYPE_DOUBLE) {
      char b[G_ASCII_DTOSTR_BUF_SIZE];
      return g_ascii_dtostr(b, sizeof b, json_node_get_double(n));
    }
  }
  return JsonText(n);
}

// RFC 6901: "/a/0/b", with ~1 for "/" and ~0 for "~"; "" is the whole document.
std::string JsonPointer(std::string_view bytes, const std::string &pointer) {
  std::string why;
  JsonNodePtr root = ParseJson(bytes, why);
  if (!root) throw std::runtime_error("not JSON: " + why);
  if (!pointer.empty() && pointer[0] != '/') throw std::runtime_error("a JSON pointer starts with \"/\"");
  JsonNode *n = root.get();
  std::size_t i = 0;
  while (i < pointer.size()) {
    std::size_t j = pointer.find('/', i + 1);
    if (j == std::string::npos) j = pointer.size();
    std::string token;
    for (std::size_t k = i + 1; k < j; ++k) {
      if (pointer[k] == '~' && k + 1 < j && (pointer[k + 1] == '0' || pointer[k + 1] == '1')) {
        token += pointer[k + 1] == '0' ? '~' : '/';
        ++k;
      } else {
        token += pointer[k];
      }
    }
    const std::string upto = pointer.substr(0, j);
    if (JSON_NODE_HOLDS_OBJECT(n)) {
      n = json_object_get_member(json_node_get_object(n), token.c_str());
    } else if (JSON_NODE_HOLDS_ARRAY(n)) {
      char *end = nullptr;
      const unsigned long index = std::strtoul(token.c_str(), &end, 10);
      JsonArray *a = json_node_get_array(n);
      n = !token.empty() && *end == 0 && index < json_array_get_length(a) ? json_array_get_element(a, static_cast<guint>(index))
                                                                          : nullptr;
    } else {
      n = nullptr;
    }
    if (!n) throw std::runtime_error("nothing at " + Escaped(upto));
    i = j;
  }
  return NodeText(n);
}

std::vector<std::vector<std::string>> ParseCsv(std::string_view s) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string cell;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quoted) {
      if (c == '"' && i + 1 < s.size() && s[i + 1] == '"') cell += '"', ++i;
      else if (c == '"') quoted = false;
      else cell += c;
      continue;
    }
    if (c == '"') quoted = true, any = true;
    else if (c == ',') row.push_back(std::move(cell)), cell.clear(), any = true;
    else if (c == '\r') continue;
    else if (c == '\n') {
      if (any || !cell.empty()) row.push_back(std::move(cell)), rows.push_back(std::move(row));
      row.clear(), cell.clear(), any = false;
    } else cell += c, any = true;
  }
  if (quoted) throw std::runtime_error("a quoted CSV cell is not closed");
  if (any || !cell.empty()) row.push_back(std::move(cell)), rows.push_back(std::move(row));
  return rows;
}

std::string Csv(std::string_view bytes, const std::string &select) {
  const auto rows = ParseCsv(bytes);
  if (rows.empty()) throw std::runtime_error("the CSV holds no row");
  std::string column = select, row;
  if (const auto comma = select.rfind(','); comma != std::string::npos) column = select.substr(0, comma), row = select.substr(comma + 1);
  // A column by its header's name, else by its number from 0.
  std::size_t col = 0;
  const auto &header = rows[0];
  auto named = std::find(header.begin(), header.end(), column);
  if (named != header.end()) col = static_cast<std::size_t>(named - header.begin());
  else if (char *end = nullptr; !column.empty() && (col = std::strtoul(column.c_str(), &end, 10), *end == 0)) {}
  else throw std::runtime_error("no column \"" + Escaped(column) + "\"");
  auto cell = [&](std::size_t r) -> std::string {
    if (col >= rows[r].size()) throw std::runtime_error("row " + std::to_string(r - 1) + " has no column " + std::to_string(col));
    return rows[r][col];
  };
  if (!row.empty()) {
    char *end = nullptr;
    const unsigned long r = std::strtoul(row.c_str(), &end, 10);
    if (*end || r + 1 >= rows.size()) throw std::runtime_error("no row " + Escaped(row) + " (rows count from 0 after the header)");
    return cell(r + 1);
  }
  std::string joined;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (r > 1) joined += kJoin;
    joined += cell(r);
  }
  return joined;
}

// RSS <item><title> or Atom <entry><title>, the first count of them.
struct Feed {
  std::vector<std::string> stack;
  std::vector<std::string> titles;
  std::string current;
  bool in_title = false;
  bool feed = false;
};

std::string Rss(std::string_view bytes, const std::string &select) {
  long count = 5;
  if (!select.empty()) {
    char *end = nullptr;
    count = std::strtol(select.c_str(), &end, 10);
    if (*end || count < 1 || count > 100) throw std::runtime_error("for RSS, select is the number of titles (1 to 100)");
  }
  static const GMarkupParser parser = {
      [](GMarkupParseContext *, const gchar *name, const gchar **, const gchar **, gpointer d, GError **) {
        auto *f = static_cast<Feed *>(d);
        const char *local = std::strchr(name, ':') ? std::strchr(name, ':') + 1 : name;
        if (!std::strcmp(local, "rss") || !std::strcmp(local, "feed") || !std::strcmp(local, "RDF")) f->feed = true;
        if (!std::strcmp(local, "title") && !f->stack.empty() && (f->stack.back() == "item" || f->stack.back() == "entry"))
          f->in_title = true, f->current.clear();
        f->stack.push_back(local);
      },
      [](GMarkupParseContext *, const gchar *, gpointer d, GError **) {
        auto *f = static_cast<Feed *>(d);
        if (f->in_title && f->stack.back() == "title") {
          f->in_title = false;
          f->titles.push_back(f->current);
        }
        f->stack.pop_back();
      },
      [](GMarkupParseContext *, const gchar *text, gsize len, gpointer d, GError **) {
        auto *f = static_cast<Feed *>(d);
        if (f->in_title) f->current.append(text, len);
      },
      nullptr, nullptr};
  Feed f;
  GMarkupParseContext *ctx = g_markup_parse_context_new(&parser, G_MARKUP_TREAT_CDATA_AS_TEXT, &f, nullptr);
  GError *err = nullptr;
  std::string text(bytes);
  // GMarkup does not take the XML declaration's DOCTYPE; a declaration is fine.
  const gboolean ok = g_markup_parse_context_parse(ctx, text.data(), static_cast<gssize>(text.size()), &err) &&
                      g_markup_parse_context_end_parse(ctx, &err);
  g_markup_parse_context_free(ctx);
  if (!ok) {
    std::string why = err ? err->message : "malformed";
    if (err) g_error_free(err);
    throw std::runtime_error("not an RSS or Atom feed: " + why);
  }
  if (!f.feed) throw std::runtime_error("not an RSS or Atom feed (no <rss> or <feed>)");
  std::string joined;
  for (std::size_t i = 0; i < f.titles.size() && i < static_cast<std::size_t>(count); ++i) {
    if (i) joined += kJoin;
    std::string t = f.titles[i];
    // Titles keep their words, not the feed's line breaks and indentation.
    g_strstrip(t.data());
    t.resize(std::strlen(t.c_str()));
    joined += t;
  }
  return joined;
}

}  // namespace

std::string ExtractValue(const BindingSettings &settings, std::string_view bytes) {
  if (!g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) throw std::runtime_error("the source is not UTF-8");
  if (settings.format == "json") return JsonPointer(bytes, settings.select);
  if (settings.format == "csv") return Csv(bytes, settings.select);
  if (settings.format == "rss") return Rss(bytes, settings.select);
  // Plain text: the whole text without its last line break.
  std::string s(bytes);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::string ApplyTemplate(const std::string &templ, const std::string &value) {
  std::string out;
  std::size_t i = 0;
  while (true) {
    const std::size_t j = templ.find("{value}", i);
    out += templ.substr(i, j == std::string::npos ? std::string::npos : j - i);
    if (j == std::string::npos) return out;
    out += value;
    i = j + 7;
  }
}

std::vector<BindingSettings> BindingsFromJson(JsonNode *node) {
  if (!node || !JSON_NODE_HOLDS_OBJECT(node)) throw std::runtime_error("the body is {\"bindings\": [...]}");
  JsonObject *o = json_node_get_object(node);
  JsonNode *list = json_object_get_member(o, "bindings");
  if (!list || !JSON_NODE_HOLDS_ARRAY(list)) throw std::runtime_error("\"bindings\" is an array");
  JsonArray *a = json_node_get_array(list);
  if (json_array_get_length(a) > kMaxBindings) throw std::runtime_error("at most " + std::to_string(kMaxBindings) + " bindings");
  std::vector<BindingSettings> all_settings;
  std::set<std::string> components;
  for (guint i = 0; i < json_array_get_length(a); ++i) {
    const std::string where = "binding " + std::to_string(i);
    JsonNode *bn = json_array_get_element(a, i);
    if (!JSON_NODE_HOLDS_OBJECT(bn)) throw std::runtime_error(where + " is not an object");
    JsonObject *b = json_node_get_object(bn);
    BindingSettings s;
    bool has_interval = false;
    GList *members = json_object_get_members(b);
    std::string bad;
    for (GList *m = members; m && bad.empty(); m = m->next) {
      const std::string k = static_cast<const char *>(m->data);
      JsonNode *v = json_object_get_member(b, k.c_str());
      // The state adds what the binding saw; a GET's body can be PUT back as it is.
      if (k == "value" || k == "text" || k == "time" || k == "error") continue;
      if (k == "interval_ms") {
        if (!JSON_NODE_HOLDS_VALUE(v) || json_node_get_value_type(v) != G_TYPE_INT64 || json_node_get_int(v) < kMinIntervalMs ||
            json_node_get_int(v) > kMaxIntervalMs)
          bad = "\"interval_ms\" is an integer from " + std::to_string(kMinIntervalMs) + " to " + std::to_string(kMaxIntervalMs);
        else s.interval_ms = static_cast<int>(json_node_get_int(v)), has_interval = true;
        continue;
      }
      std::string *field = k == "component" ? &s.component : k == "file" ? &s.file : k == "url" ? &s.url
                           : k == "format" ? &s.format : k == "select" ? &s.select : k == "template" ? &s.templ : nullptr;
      if (!field) bad = "unknown member \"" + Escaped(k) + "\"";
      else if (!JSON_NODE_HOLDS_VALUE(v) || json_node_get_value_type(v) != G_TYPE_STRING) bad = "\"" + k + "\" is a text";
      else *field = json_node_get_string(v);
    }
    g_list_free(members);
    if (!bad.empty()) throw std::runtime_error(where + ": " + bad);
    if (s.component.empty()) throw std::runtime_error(where + ": \"component\" names the component it feeds");
    if (!components.insert(s.component).second) throw std::runtime_error(where + ": \"" + Escaped(s.component) + "\" is fed by another binding");
    if (s.file.empty() == s.url.empty()) throw std::runtime_error(where + ": give one of \"file\" and \"url\"");
    if (!s.file.empty() && !g_path_is_absolute(s.file.c_str())) throw std::runtime_error(where + ": \"file\" is an absolute path");
    if (!s.url.empty()) {
      g_autoptr(GUri) uri = g_uri_parse(s.url.c_str(), G_URI_FLAGS_NONE, nullptr);
      const char *scheme = uri ? g_uri_get_scheme(uri) : nullptr;
      if (!scheme || (g_ascii_strcasecmp(scheme, "http") && g_ascii_strcasecmp(scheme, "https")) || !g_uri_get_host(uri))
        throw std::runtime_error(where + ": \"url\" is an http:// or https:// address");
    }
    if (s.format != "text" && s.format != "json" && s.format != "csv" && s.format != "rss")
      throw std::runtime_error(where + ": \"format\" is text, json, csv or rss");
    if (s.format == "json" && !s.select.empty() && s.select[0] != '/')
      throw std::runtime_error(where + ": for JSON, \"select\" is a JSON pointer (\"/items/0/title\")");
    if (s.templ.find("{value}") == std::string::npos) throw std::runtime_error(where + ": the template needs \"{value}\"");
    if (s.file.empty() && !has_interval) s.interval_ms = 5000;
    all_settings.push_back(std::move(s));
  }
  return all_settings;
}

JsonObject *BindingSettingsJson(const BindingSettings &s) {
  JsonObject *o = json_object_new();
  json_object_set_string_member(o, "component", s.component.c_str());
  if (!s.file.empty()) json_object_set_string_member(o, "file", s.file.c_str());
  else json_object_set_string_member(o, "url", s.url.c_str());
  json_object_set_string_member(o, "format", s.format.c_str());
  json_object_set_string_member(o, "select", s.select.c_str());
  json_object_set_string_member(o, "template", s.templ.c_str());
  if (s.file.empty()) json_object_set_int_member(o, "interval_ms", s.interval_ms);
  return o;
}

struct Binding::Fetch {
  std::weak_ptr<bool> alive;
  Binding *self;
  SoupMessage *msg = nullptr;
  GInputStream *in = nullptr;
  std::string body;
  char buffer[16384];
  ~Fetch() {
    if (in) g_object_unref(in);
    if (msg) g_object_unref(msg);
  }
};

Binding::Binding(BindingSettings settings, Apply apply, std::function<void()> changed)
    : settings_(std::move(settings)), apply_(std::move(apply)), changed_(std::move(changed)) {}

Binding::~Binding() {
  *alive_ = false;
  if (cancel_) {
    g_cancellable_cancel(cancel_);
    g_object_unref(cancel_);
  }
  for (guint s : {poll_source_, deadline_source_, settle_source_})
    if (s) g_source_remove(s);
  if (monitor_) {
    g_signal_handlers_disconnect_by_data(monitor_, this);
    g_file_monitor_cancel(monitor_);
    g_object_unref(monitor_);
  }
  if (session_) g_object_unref(session_);
}

void Binding::Start() {
  if (!settings_.file.empty()) {
    g_autoptr(GFile) f = g_file_new_for_path(settings_.file.c_str());
    g_autoptr(GError) err = nullptr;
    // The monitor watches the folder, so a file written by rename or made later is seen too.
    monitor_ = g_file_monitor_file(f, G_FILE_MONITOR_WATCH_MOVES, nullptr, &err);
    if (monitor_) {
      g_file_monitor_set_rate_limit(monitor_, 50);
      g_signal_connect(monitor_, "changed", G_CALLBACK(OnFileChanged), this);
    } else {
      Failed(std::string("the file cannot be watched: ") + (err ? err->message : "?"));
    }
    ReadFile();
    return;
  }
  session_ = soup_session_new_with_options("user-agent", "vxosd-live", nullptr);
  Poll();
}

void Binding::OnFileChanged(GFileMonitor *, GFile *, GFile *, GFileMonitorEvent event, gpointer data) {
  auto *self = static_cast<Binding *>(data);
  if (event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED) return;
  // A writer's several events in a row are read once, when they have settled.
  if (self->settle_source_) g_source_remove(self->settle_source_);
  self->settle_source_ = g_timeout_add(30, [](gpointer d) -> gboolean {
    auto *b = static_cast<Binding *>(d);
    b->settle_source_ = 0;
    b->ReadFile();
    return G_SOURCE_REMOVE;
  }, self);
}

void Binding::ReadFile() {
  GStatBuf st;
  if (g_stat(settings_.file.c_str(), &st) != 0) return Failed("the file " + settings_.file + " is gone (" + g_strerror(errno) + ")");
  if (!S_ISREG(st.st_mode)) return Failed(settings_.file + " is not a file");
  if (static_cast<std::size_t>(st.st_size) > kMaxBindingBytes)
    return Failed("the file is larger than " + std::to_string(kMaxBindingBytes / 1024) + " KiB");
  std::ifstream in(settings_.file, std::ios::binary);
  if (!in) return Failed("the file " + settings_.file + " cannot be read");
  std::string bytes(kMaxBindingBytes + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.size() > kMaxBindingBytes) return Failed("the file is larger than " + std::to_string(kMaxBindingBytes / 1024) + " KiB");
  Take(bytes);
}

void Binding::SchedulePoll() {
  if (poll_source_) g_source_remove(poll_source_);
  poll_source_ = g_timeout_add(static_cast<guint>(settings_.interval_ms), [](gpointer d) -> gboolean {
    auto *b = static_cast<Binding *>(d);
    b->poll_source_ = 0;
    b->Poll();
    return G_SOURCE_REMOVE;
  }, this);
}

void Binding::Poll() {
  SchedulePoll();
  if (cancel_) return;  // the last fetch is still running (its deadline ends it)
  SoupMessage *msg = soup_message_new("GET", settings_.url.c_str());
  if (!msg) return Failed("the URL cannot be requested");
  cancel_ = g_cancellable_new();
  // Slower than the interval is refused: the fetch is cancelled when its time is up.
  deadline_source_ = g_timeout_add(static_cast<guint>(settings_.interval_ms), [](gpointer d) -> gboolean {
    auto *b = static_cast<Binding *>(d);
    b->deadline_source_ = 0;
    if (b->cancel_) g_cancellable_cancel(b->cancel_);
    return G_SOURCE_REMOVE;
  }, this);
  auto *fetch = new Fetch{alive_, this, msg, nullptr, {}, {}};
  soup_session_send_async(session_, msg, G_PRIORITY_DEFAULT, cancel_, [](GObject *session, GAsyncResult *result, gpointer d) {
    std::unique_ptr<Fetch> f(static_cast<Fetch *>(d));
    GError *err = nullptr;
    GInputStream *in = soup_session_send_finish(SOUP_SESSION(session), result, &err);
    if (f->alive.expired() || !*f->alive.lock()) {
      if (in) g_object_unref(in);
      if (err) g_error_free(err);
      return;
    }
    Binding *self = f->self;
    auto finish = [&](const std::string &error) {
      if (self->deadline_source_) g_source_remove(self->deadline_source_);
      self->deadline_source_ = 0;
      g_clear_object(&self->cancel_);
      if (!error.empty()) self->Failed(error);
    };
    if (!in) {
      const bool late = g_error_matches(err, G_IO_ERROR, G_IO_ERROR_CANCELLED);
      std::string why = late ? "no answer within " + std::to_string(self->settings_.interval_ms) + " ms" : (err ? err->message : "?");
      if (err) g_error_free(err);
      return finish(why);
    }
    const guint status = soup_message_get_status(f->msg);
    if (status < 200 || status > 299) {
      g_object_unref(in);
      return finish("HTTP " + std::to_string(status) + " " + (soup_message_get_reason_phrase(f->msg) ? soup_message_get_reason_phrase(f->msg) : ""));
    }
    const goffset length = soup_message_headers_get_content_length(soup_message_get_response_headers(f->msg));
    if (length > static_cast<goffset>(kMaxBindingBytes)) {
      g_object_unref(in);
      return finish("the answer is larger than " + std::to_string(kMaxBindingBytes / 1024) + " KiB");
    }
    f->in = in;
    // Read in pieces, refused as soon as it is over the limit.
    struct Reader {
      static void Next(std::unique_ptr<Fetch> f) {
        Fetch *raw = f.release();
        g_input_stream_read_async(raw->in, raw->buffer, sizeof raw->buffer, G_PRIORITY_DEFAULT, raw->self->cancel_,
                                  [](GObject *stream, GAsyncResult *r, gpointer d) {
                                    std::unique_ptr<Fetch> f(static_cast<Fetch *>(d));
                                    GError *e = nullptr;
                                    const gssize n = g_input_stream_read_finish(G_INPUT_STREAM(stream), r, &e);
                                    if (f->alive.expired() || !*f->alive.lock()) {
                                      if (e) g_error_free(e);
                                      return;
                                    }
                                    Binding *b = f->self;
                                    auto done = [&](const std::string &error) {
                                      if (b->deadline_source_) g_source_remove(b->deadline_source_);
                                      b->deadline_source_ = 0;
                                      g_clear_object(&b->cancel_);
                                      if (!error.empty()) b->Failed(error);
                                    };
                                    if (n < 0) {
                                      const bool late = g_error_matches(e, G_IO_ERROR, G_IO_ERROR_CANCELLED);
                                      std::string why = late ? "no whole answer within " + std::to_string(b->settings_.interval_ms) + " ms"
                                                             : (e ? e->message : "?");
                                      if (e) g_error_free(e);
                                      return done(why);
                                    }
                                    if (n == 0) {
                                      done("");
                                      return b->Take(f->body);
                                    }
                                    f->body.append(f->buffer, static_cast<std::size_t>(n));
                                    if (f->body.size() > kMaxBindingBytes)
                                      return done("the answer is larger than " + std::to_string(kMaxBindingBytes / 1024) + " KiB");
                                    Next(std::move(f));
                                  },
                                  raw);
      }
    };
    Reader::Next(std::move(f));
  }, fetch);
}

void Binding::Take(std::string_view bytes) {
  std::string value;
  try {
    value = ExtractValue(settings_, bytes);
  } catch (const std::exception &e) {
    return Failed(e.what());
  }
  const std::string text = ApplyTemplate(settings_.templ, value);
  const bool recovered = !error_.empty();
  error_.clear();
  value_ = value;
  time_us_ = g_get_real_time();
  const bool fresh = !has_value_ || text != text_;
  has_value_ = true;
  text_ = text;
  if (fresh) apply_(settings_.component, text);
  if (fresh || recovered) changed_();
}

void Binding::Failed(const std::string &error) {
  if (error == error_) return;
  error_ = error;
  g_message("binding %s: %s", settings_.component.c_str(), error.c_str());
  changed_();
}

JsonObject *Binding::ToJson() const {
  JsonObject *o = BindingSettingsJson(settings_);
  if (has_value_) {
    json_object_set_string_member(o, "value", value_.c_str());
    json_object_set_string_member(o, "text", text_.c_str());
    json_object_set_string_member(o, "time", IsoLocalTime(time_us_).c_str());
  } else {
    json_object_set_null_member(o, "value");
    json_object_set_null_member(o, "text");
    json_object_set_null_member(o, "time");
  }
  if (error_.empty()) json_object_set_null_member(o, "error");
  else json_object_set_string_member(o, "error", error_.c_str());
  return o;
}

}  // namespace vxlive
