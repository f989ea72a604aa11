#include "live/rundown.h"

#include <cctype>
#include <set>
#include <stdexcept>

#include "live/scene_lines.h"

namespace vxlive {

const Cue *Rundown::Find(const std::string &id) const {
  const int i = IndexOf(id);
  return i < 0 ? nullptr : &cues[static_cast<std::size_t>(i)];
}

int Rundown::IndexOf(const std::string &id) const {
  for (std::size_t i = 0; i < cues.size(); ++i)
    if (cues[i].id == id) return static_cast<int>(i);
  return -1;
}

std::string FillFields(const std::string &line, const std::map<std::string, std::string> &fields) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if ((c == '{' || c == '}') && i + 1 < line.size() && line[i + 1] == c) {
      out += c;
      ++i;
      continue;
    }
    if (c != '{') {
      out += c;
      continue;
    }
    std::size_t j = i + 1;
    while (j < line.size() && (std::isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_')) ++j;
    if (j == i + 1 || j >= line.size() || line[j] != '}') {
      out += c;  // not a field name: a brace as it stands
      continue;
    }
    const std::string name = line.substr(i + 1, j - i - 1);
    auto it = fields.find(name);
    if (it == fields.end()) throw std::runtime_error("the field {" + name + "} has no value in the cue's \"fields\"");
    // The value goes inside a quoted text: quotes, backslashes and line breaks escaped.
    const std::string quoted = QuoteText(it->second);
    out += quoted.substr(1, quoted.size() - 2);
    i = j;
  }
  return out;
}

std::vector<vxscene::Step> CueSteps(const Cue &cue, const std::vector<std::string> &lines,
                                    const std::filesystem::path &base_dir) {
  std::vector<std::string> filled;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    try {
      filled.push_back(FillFields(lines[i], cue.fields));
    } catch (const std::runtime_error &e) {
      throw LineError(i, e.what());
    }
  }
  return ParseCommandLines(filled, base_dir);
}

std::optional<int> ParseTimeOfDay(const std::string &text) {
  int h = 0, m = 0, s = 0;
  char extra = 0;
  const int n = std::sscanf(text.c_str(), "%2d:%2d:%2d%c", &h, &m, &s, &extra);
  if (n < 2 || n > 3 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
  if (text.size() != (n == 2 ? 5u : 8u)) return std::nullopt;
  return h * 3600 + m * 60 + s;
}

std::string FormatTimeOfDay(int seconds) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return b;
}

namespace {

std::vector<std::string> Lines(JsonObject *o, const char *member, const std::string &where) {
  std::vector<std::string> lines;
  JsonNode *n = json_object_get_member(o, member);
  if (!n || JSON_NODE_HOLDS_NULL(n)) return lines;
  if (!JSON_NODE_HOLDS_ARRAY(n)) throw std::runtime_error(where + ": \"" + member + "\" is an array of scene lines");
  JsonArray *a = json_node_get_array(n);
  if (json_array_get_length(a) > kMaxCueLines)
    throw std::runtime_error(where + ": \"" + member + "\" takes at most " + std::to_string(kMaxCueLines) + " lines");
  for (guint i = 0; i < json_array_get_length(a); ++i) {
    JsonNode *l = json_array_get_element(a, i);
    if (!JSON_NODE_HOLDS_VALUE(l) || json_node_get_value_type(l) != G_TYPE_STRING)
      throw std::runtime_error(where + ": " + member + "[" + std::to_string(i) + "] is not a text");
    lines.emplace_back(json_node_get_string(l));
  }
  return lines;
}

int Int(JsonObject *o, const char *member, int lo, int hi, const std::string &where) {
  JsonNode *n = json_object_get_member(o, member);
  if (!n || JSON_NODE_HOLDS_NULL(n)) return 0;
  if (!JSON_NODE_HOLDS_VALUE(n) || json_node_get_value_type(n) != G_TYPE_INT64 || json_node_get_int(n) < lo ||
      json_node_get_int(n) > hi)
    throw std::runtime_error(where + ": \"" + member + "\" is an integer from " + std::to_string(lo) + " to " +
                             std::to_string(hi));
  return static_cast<int>(json_node_get_int(n));
}

bool Bool(JsonObject *o, const char *member) {
  JsonNode *n = json_object_get_member(o, member);
  if (!n || JSON_NODE_HOLDS_NULL(n)) return false;
  if (!JSON_NODE_HOLDS_VALUE(n) || json_node_get_value_type(n) != G_TYPE_BOOLEAN)
    throw std::runtime_error(std::string("\"") + member + "\" is true or false");
  return json_node_get_boolean(n);
}

std::string Text(JsonObject *o, const char *member, const std::string &where) {
  JsonNode *n = json_object_get_member(o, member);
  if (!n || JSON_NODE_HOLDS_NULL(n)) return "";
  if (!JSON_NODE_HOLDS_VALUE(n) || json_node_get_value_type(n) != G_TYPE_STRING)
    throw std::runtime_error(where + ": \"" + member + "\" is a text");
  return json_node_get_string(n);
}

void OnlyMembers(JsonObject *o, const std::set<std::string> &known, const std::string &where) {
  GList *members = json_object_get_members(o);
  std::string unknown;
  for (GList *m = members; m; m = m->next)
    if (!known.count(static_cast<const char *>(m->data)) && unknown.empty()) unknown = static_cast<const char *>(m->data);
  g_list_free(members);
  if (!unknown.empty()) throw std::runtime_error(where + ": unknown member \"" + vxscene::Escaped(unknown) + "\"");
}

}  // namespace

Rundown RundownFromJson(JsonNode *node, const std::filesystem::path &base_dir) {
  if (!node || !JSON_NODE_HOLDS_OBJECT(node)) throw std::runtime_error("a rundown is a JSON object");
  JsonObject *o = json_node_get_object(node);
  OnlyMembers(o, {"autoplay", "loop", "cues", "on_air"}, "the rundown");
  Rundown r;
  r.autoplay = Bool(o, "autoplay");
  r.loop = Bool(o, "loop");
  JsonNode *cues = json_object_get_member(o, "cues");
  if (!cues || !JSON_NODE_HOLDS_ARRAY(cues)) throw std::runtime_error("\"cues\" is an array of cues");
  JsonArray *a = json_node_get_array(cues);
  if (json_array_get_length(a) > kMaxCues) throw std::runtime_error("a rundown holds at most " + std::to_string(kMaxCues) + " cues");
  std::set<std::string> ids;
  for (guint i = 0; i < json_array_get_length(a); ++i) {
    std::string where = "cue " + std::to_string(i);
    JsonNode *cn = json_array_get_element(a, i);
    if (!JSON_NODE_HOLDS_OBJECT(cn)) throw std::runtime_error(where + " is not an object");
    JsonObject *c = json_node_get_object(cn);
    OnlyMembers(c, {"id", "name", "lines", "out", "duration_ms", "at", "fields", "fade_ms"}, where);
    Cue cue;
    cue.id = Text(c, "id", where);
    if (cue.id.empty() || cue.id.size() > 64) throw std::runtime_error(where + ": \"id\" is a text of 1 to 64 characters");
    if (!ids.insert(cue.id).second) throw std::runtime_error(where + ": the id \"" + vxscene::Escaped(cue.id) + "\" is taken by another cue");
    where += " (" + cue.id + ")";
    cue.name = Text(c, "name", where);
    cue.lines = Lines(c, "lines", where);
    cue.out = Lines(c, "out", where);
    cue.duration_ms = Int(c, "duration_ms", 0, 24 * 3600 * 1000, where);
    cue.fade_ms = Int(c, "fade_ms", 0, kMaxFadeMs, where);
    if (const std::string at = Text(c, "at", where); !at.empty()) {
      cue.at = ParseTimeOfDay(at);
      if (!cue.at) throw std::runtime_error(where + ": \"at\" is a time of day, \"HH:MM:SS\"");
    }
    if (JsonNode *f = json_object_get_member(c, "fields"); f && !JSON_NODE_HOLDS_NULL(f)) {
      if (!JSON_NODE_HOLDS_OBJECT(f)) throw std::runtime_error(where + ": \"fields\" is an object of texts");
      JsonObject *fo = json_node_get_object(f);
      GList *members = json_object_get_members(fo);
      for (GList *m = members; m; m = m->next) {
        const char *k = static_cast<const char *>(m->data);
        JsonNode *v = json_object_get_member(fo, k);
        if (!JSON_NODE_HOLDS_VALUE(v) || json_node_get_value_type(v) != G_TYPE_STRING) {
          g_list_free(members);
          throw std::runtime_error(where + ": the field \"" + vxscene::Escaped(k) + "\" is not a text");
        }
        cue.fields[k] = json_node_get_string(v);
      }
      g_list_free(members);
    }
    // A cue that cannot be taken is not saved: every line must parse with its fields.
    for (const auto *part : {&cue.lines, &cue.out}) {
      if (part->empty()) continue;
      try {
        CueSteps(cue, *part, base_dir);
      } catch (const LineError &e) {
        throw std::runtime_error(where + ": " + (part == &cue.lines ? "lines" : "out") + "[" + std::to_string(e.index) +
                                 "]: " + e.message);
      }
    }
    r.cues.push_back(std::move(cue));
  }
  return r;
}

JsonNode *RundownToJson(const Rundown &rundown) {
  JsonArray *cues = json_array_new();
  for (const Cue &c : rundown.cues) {
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "id", c.id.c_str());
    json_object_set_string_member(o, "name", c.name.c_str());
    for (const auto &[member, lines] : {std::pair{"lines", &c.lines}, std::pair{"out", &c.out}}) {
      JsonArray *a = json_array_new();
      for (const std::string &l : *lines) json_array_add_string_element(a, l.c_str());
      json_object_set_array_member(o, member, a);
    }
    json_object_set_int_member(o, "duration_ms", c.duration_ms);
    if (c.at) json_object_set_string_member(o, "at", FormatTimeOfDay(*c.at).c_str());
    JsonObject *f = json_object_new();
    for (const auto &[k, v] : c.fields) json_object_set_string_member(f, k.c_str(), v.c_str());
    json_object_set_object_member(o, "fields", f);
    json_object_set_int_member(o, "fade_ms", c.fade_ms);
    json_array_add_object_element(cues, o);
  }
  JsonObject *o = json_object_new();
  json_object_set_boolean_member(o, "autoplay", rundown.autoplay);
  json_object_set_boolean_member(o, "loop", rundown.loop);
  json_object_set_array_member(o, "cues", cues);
  return ObjectNode(o);
}

}  // namespace vxlive
