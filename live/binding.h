#pragma once
// Live data bindings: one component's text fed from a source, a local file (watched through
// GFileMonitor, never polled) or an HTTP URL (polled at an interval, libsoup 3), read as plain
// text, JSON (a JSON pointer), CSV (a column, and a row or all rows joined) or RSS/Atom (the
// first N item titles joined), through a template ("{value}" with fixed text around it). A
// source that fails keeps the last good text on air; its error shows in the binding's state
// until it recovers by itself. A response over the size limit, or one slower than the
// interval, is refused, never accumulated.

#include <libsoup/soup.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "live/json.h"

namespace vxlive {

struct BindingSettings {
  std::string component;
  std::string file;  // one of file and url
  std::string url;
  std::string format = "text";  // text, json, csv, rss
  std::string select;           // JSON pointer; CSV "column" or "column,row"; RSS item count
  std::string templ = "{value}";
  int interval_ms = 5000;       // URLs only
};

// Largest source taken, and the bounds of an interval.
constexpr std::size_t kMaxBindingBytes = 256 * 1024;
constexpr int kMinIntervalMs = 100, kMaxIntervalMs = 24 * 3600 * 1000;
constexpr std::size_t kMaxBindings = 64;
// Joins CSV rows and RSS titles.
constexpr std::string_view kJoin = " \xC2\xB7 ";

// The value a source's bytes hold for its settings' format and select; throws std::runtime_error
// with the reason (malformed, no such member, column or row).
std::string ExtractValue(const BindingSettings &settings, std::string_view bytes);
// The template with every "{value}" replaced.
std::string ApplyTemplate(const std::string &templ, const std::string &value);

// {"bindings": [...]} checked whole; throws std::runtime_error naming the binding.
std::vector<BindingSettings> BindingsFromJson(JsonNode *node);
JsonObject *BindingSettingsJson(const BindingSettings &settings);

// One running binding. Calls apply(component, text) on the main loop when the value changes;
// state changes (a new value or error) call changed().
class Binding {
 public:
  using Apply = std::function<void(const std::string &component, const std::string &text)>;
  Binding(BindingSettings settings, Apply apply, std::function<void()> changed);
  ~Binding();
  Binding(const Binding &) = delete;
  Binding &operator=(const Binding &) = delete;

  void Start();
  const BindingSettings &settings() const { return settings_; }
  // The settings with "value", "text", "time" (ISO local) and "error" (null when fine).
  JsonObject *ToJson() const;

 private:
  void ReadFile();
  void Poll();
  void SchedulePoll();
  void Take(std::string_view bytes);
  void Failed(const std::string &error);
  static void OnFileChanged(GFileMonitor *, GFile *, GFile *, GFileMonitorEvent event, gpointer data);

  BindingSettings settings_;
  Apply apply_;
  std::function<void()> changed_;
  std::string value_, text_, error_;
  bool has_value_ = false;
  std::int64_t time_us_ = 0;
  GFileMonitor *monitor_ = nullptr;
  SoupSession *session_ = nullptr;
  GCancellable *cancel_ = nullptr;
  guint poll_source_ = 0, deadline_source_ = 0, settle_source_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  struct Fetch;
};

}  // namespace vxlive
