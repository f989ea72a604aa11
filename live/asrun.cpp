#include "live/asrun.h"

#include <cstring>
#include <ctime>
#include <fstream>

#include "live/state_file.h"

namespace vxlive {

namespace {

JsonArray *Strings(const std::vector<std::string> &v) {
  JsonArray *a = json_array_new();
  for (const std::string &s : v) json_array_add_string_element(a, s.c_str());
  return a;
}

}  // namespace

std::string IsoLocalTime(std::int64_t wall_us) {
  const time_t secs = static_cast<time_t>(wall_us / 1000000);
  std::tm local{};
  localtime_r(&secs, &local);
  char date[32], zone[8];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::strftime(zone, sizeof zone, "%z", &local);
  char ms[8];
  std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>((wall_us / 1000) % 1000));
  // +0800 becomes +08:00, as ISO 8601 writes it.
  const std::string z = std::strlen(zone) == 5 ? std::string(zone, 3) + ":" + std::string(zone + 3) : std::string(zone);
  return std::string(date) + ms + z;
}

JsonNode *AsRunEntry::ToJson() const {
  JsonObject *o = json_object_new();
  json_object_set_string_member(o, "time", IsoLocalTime(wall_us).c_str());
  json_object_set_int_member(o, "running_time_ns", static_cast<gint64>(running_time_ns));
  json_object_set_string_member(o, "source", source.c_str());
  json_object_set_array_member(o, "lines", Strings(lines));
  JsonArray *r = json_array_new();
  for (const int v : results) json_array_add_int_element(r, v);
  json_object_set_array_member(o, "results", r);
  json_object_set_array_member(o, "messages", Strings(messages));
  json_object_set_array_member(o, "changed", Strings(changed));
  if (!action.empty()) json_object_set_string_member(o, "action", action.c_str());
  if (!cue.empty()) json_object_set_string_member(o, "cue", cue.c_str());
  return ObjectNode(o);
}

AsRunLog::AsRunLog(std::string channel, std::string state_dir)
    : channel_(std::move(channel)), dir_(std::move(state_dir) + "/asrun") {}

bool AsRunLog::Add(const AsRunEntry &entry, std::string &error) {
  entries_.push_back(entry);
  if (entries_.size() > kKept) entries_.pop_front();
  if (!MakeFolders(dir_, error)) return false;
  const time_t secs = static_cast<time_t>(entry.wall_us / 1000000);
  std::tm local{};
  localtime_r(&secs, &local);
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d", &local);
  const std::string file = dir_ + "/" + channel_ + "-" + day + ".jsonl";
  std::ofstream out(file, std::ios::app | std::ios::binary);
  JsonNodePtr node(entry.ToJson());
  out << JsonText(node.get()) << '\n';
  out.flush();
  if (!out) {
    error = "cannot append to " + file;
    return false;
  }
  return true;
}

JsonNode *AsRunLog::ToJson(std::size_t limit) const {
  JsonArray *a = json_array_new();
  const std::size_t skip = entries_.size() > limit ? entries_.size() - limit : 0;
  for (std::size_t i = skip; i < entries_.size(); ++i) json_array_add_element(a, entries_[i].ToJson());
  JsonObject *o = json_object_new();
  json_object_set_string_member(o, "channel", channel_.c_str());
  json_object_set_array_member(o, "entries", a);
  return ObjectNode(o);
}

}  // namespace vxlive
