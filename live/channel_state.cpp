#include "live/channel_state.h"

#include <algorithm>
#include <stdexcept>

#include "live/scene_lines.h"

namespace vxlive {

namespace {

constexpr const char *kVisible = "SetVxComponent_Visible";

bool SameArgs(const std::vector<vxscene::Arg> &a, const std::vector<vxscene::Arg> &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].type != b[i].type || a[i].number != b[i].number || a[i].utf8 != b[i].utf8) return false;
  return true;
}

void Put(std::vector<Setting> &settings, Setting s) {
  std::erase_if(settings, [&](const Setting &o) { return o.call == s.call; });
  settings.push_back(std::move(s));
}

vxscene::Step StepOf(const std::string &call, const std::string *name, const std::vector<vxscene::Arg> &args) {
  vxscene::Step step;
  step.call = call;
  if (name) {
    vxscene::Arg a;
    a.type = vxscene::ArgType::Name;
    a.utf8 = *name;
    step.args.push_back(std::move(a));
  }
  step.args.insert(step.args.end(), args.begin(), args.end());
  return step;
}

JsonNode *ArgsJson(const std::vector<vxscene::Arg> &args) {
  JsonArray *array = json_array_new();
  for (const vxscene::Arg &a : args) {
    if (a.type == vxscene::ArgType::Int || a.type == vxscene::ArgType::Ms) json_array_add_int_element(array, a.number);
    else json_array_add_string_element(array, a.utf8.c_str());
  }
  JsonNode *node = json_node_new(JSON_NODE_ARRAY);
  json_node_take_array(node, array);
  return node;
}

// A setting read back from JSON, checked by writing it as a scene line and parsing that.
Setting SettingFromJson(JsonNode *node, const std::string *name, const std::string &where) {
  if (!JSON_NODE_HOLDS_OBJECT(node)) throw std::runtime_error(where + " is not an object");
  JsonObject *o = json_node_get_object(node);
  JsonNode *call = json_object_get_member(o, "call");
  JsonNode *args = json_object_get_member(o, "args");
  if (!call || json_node_get_value_type(call) != G_TYPE_STRING || !args || !JSON_NODE_HOLDS_ARRAY(args))
    throw std::runtime_error(where + " needs \"call\" (a text) and \"args\" (an array)");
  const std::string c = json_node_get_string(call);
  const std::vector<vxscene::ArgType> *sig = vxscene::Signature(c);
  std::string why;
  if (!sig || !IsLiveCall(c, why) || c == "AddVxComponent" || c == "DelVxComponent" || c == "GetVxComponent_TextRect")
    throw std::runtime_error(where + ": \"" + vxscene::Escaped(c) + "\" is not a setter");
  JsonArray *a = json_node_get_array(args);
  const std::size_t skip = name ? 1 : 0;
  if (sig->size() != json_array_get_length(a) + skip)
    throw std::runtime_error(where + ": " + c + " takes " + std::to_string(sig->size() - skip) + " argument(s)");
  std::string line = c;
  if (name) line += " " + QuoteText(*name);
  for (guint i = 0; i < json_array_get_length(a); ++i) {
    JsonNode *v = json_array_get_element(a, i);
    const vxscene::ArgType t = (*sig)[i + skip];
    const bool number = t == vxscene::ArgType::Int || t == vxscene::ArgType::Ms;
    if (!JSON_NODE_HOLDS_VALUE(v) || (number ? json_node_get_value_type(v) != G_TYPE_INT64
                                             : json_node_get_value_type(v) != G_TYPE_STRING))
      throw std::runtime_error(where + ": argument " + std::to_string(i + 1) + " of " + c + " must be " +
                               (number ? "an integer" : "a text"));
    line += " ";
    line += number ? std::to_string(json_node_get_int(v)) : QuoteText(json_node_get_string(v));
  }
  std::optional<vxscene::Step> step;
  try {
    step = vxscene::ParseLine(line, 1);
  } catch (const vxscene::SceneError &e) {
    throw std::runtime_error(where + ": " + e.message);
  }
  Setting s;
  s.call = c;
  s.args.assign(step->args.begin() + static_cast<std::ptrdiff_t>(skip), step->args.end());
  return s;
}

}  // namespace

const char *KindName(int kind) {
  static const char *const names[] = {"panel", "scrolltext", "text", "picture", "datetime"};
  return kind >= 0 && kind <= 4 ? names[kind] : "unknown";
}

bool ComponentState::visible() const {
  for (const Setting &s : settings)
    if (s.call == kVisible) return (s.args[1].number & 0xFF) != 0;
  return false;
}

ComponentState *ChannelState::Newest(const std::string &name) {
  for (ComponentState &c : components_)
    if (c.name == name) return &c;
  return nullptr;
}

std::string ChannelState::Record(const vxscene::Step &step, int result) {
  if (result == 0) return "";
  const std::string &call = step.call;
  std::string why;
  if (call == "GetVxComponent_TextRect" || !IsLiveCall(call, why) || step.args.empty()) return "";
  const std::string &name = step.args[0].utf8;
  if (call == "AddVxComponent") {
    components_.insert(components_.begin(), ComponentState{name, step.args[1].number & 0xFF, {}});
    return name + ": added as " + KindName(step.args[1].number & 0xFF);
  }
  if (call == "DelVxComponent") {
    auto it = std::find_if(components_.begin(), components_.end(), [&](const ComponentState &c) { return c.name == name; });
    if (it == components_.end()) return "";
    components_.erase(it);
    return name + ": deleted";
  }
  Setting s{call, {step.args.begin() + 1, step.args.end()}};
  if (call == "SetVxComponent_Color" && name == "root") {
    std::erase_if(root_levels_, [&](const Setting &o) { return o.args[0].number == s.args[0].number; });
    root_levels_.push_back(std::move(s));
    return "root: colour level";
  }
  ComponentState *c = Newest(name);
  if (!c) return "";  // the library knows a component the state does not: nothing to record
  Put(c->settings, std::move(s));
  return name + ": " + call;
}

std::vector<std::string> ChannelState::ReplayLines() const {
  std::vector<std::string> lines;
  static const std::string root = "root";
  for (const Setting &s : root_levels_) lines.push_back(FormatStep(StepOf(s.call, &root, s.args)));
  for (auto it = components_.rbegin(); it != components_.rend(); ++it) {
    vxscene::Step add = StepOf("AddVxComponent", &it->name, {});
    vxscene::Arg kind;
    kind.type = vxscene::ArgType::Int;
    kind.number = it->kind;
    add.args.push_back(kind);
    lines.push_back(FormatStep(add));
    const Setting *visible = nullptr;
    for (const Setting &s : it->settings) {
      if (s.call == kVisible) visible = &s;
      else lines.push_back(FormatStep(StepOf(s.call, &it->name, s.args)));
    }
    if (visible) lines.push_back(FormatStep(StepOf(visible->call, &it->name, visible->args)));
  }
  return lines;
}

namespace {

bool SameSettings(const std::vector<Setting> &a, const std::vector<Setting> &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].call != b[i].call || !SameArgs(a[i].args, b[i].args)) return false;
  return true;
}

// The component's settings as lines, shown or hidden last.
void SettingLines(const ComponentState &c, std::vector<std::string> &lines) {
  const Setting *visible = nullptr;
  for (const Setting &s : c.settings) {
    if (s.call == kVisible) visible = &s;
    else lines.push_back(FormatStep(StepOf(s.call, &c.name, s.args)));
  }
  if (visible) lines.push_back(FormatStep(StepOf(visible->call, &c.name, visible->args)));
}

}  // namespace

std::vector<std::string> ChannelState::LinesTo(const ChannelState &target) const {
  std::vector<std::string> lines;
  static const std::string root = "root";
  if (!SameSettings(root_levels_, target.root_levels_))
    for (const Setting &s : target.root_levels_) lines.push_back(FormatStep(StepOf(s.call, &root, s.args)));
  const std::vector<ComponentState> &now = components_, &then = target.components_;
  // The target's components must be this state's oldest ones, in the same order.
  bool keeps = now.size() >= then.size();
  const std::size_t extra = keeps ? now.size() - then.size() : 0;
  for (std::size_t i = 0; keeps && i < then.size(); ++i)
    keeps = now[extra + i].name == then[i].name && now[extra + i].kind == then[i].kind;
  for (std::size_t i = 0; keeps && i < then.size(); ++i) {
    // Settings can be given again, never taken back: the target must have every call set now.
    for (const Setting &s : now[extra + i].settings)
      if (std::none_of(then[i].settings.begin(), then[i].settings.end(), [&](const Setting &t) { return t.call == s.call; }))
        keeps = false;
  }
  if (!keeps) {
    // Deleting the newest first reaches every namesake.
    for (const ComponentState &c : now) lines.push_back(FormatStep(StepOf("DelVxComponent", &c.name, {})));
    for (auto it = then.rbegin(); it != then.rend(); ++it) {
      vxscene::Step add = StepOf("AddVxComponent", &it->name, {});
      vxscene::Arg kind;
      kind.type = vxscene::ArgType::Int;
      kind.number = it->kind;
      add.args.push_back(kind);
      lines.push_back(FormatStep(add));
      SettingLines(*it, lines);
    }
    return lines;
  }
  for (std::size_t i = 0; i < extra; ++i) lines.push_back(FormatStep(StepOf("DelVxComponent", &now[i].name, {})));
  for (std::size_t i = 0; i < then.size(); ++i)
    if (!SameSettings(now[extra + i].settings, then[i].settings)) {
      // Given in the target's order, so that the order of the settings comes out the same.
      for (const Setting &s : then[i].settings) lines.push_back(FormatStep(StepOf(s.call, &then[i].name, s.args)));
    }
  return lines;
}

void ChannelState::Clear() {
  components_.clear();
  root_levels_.clear();
}

JsonNode *ChannelState::ToJson() const {
  JsonArray *components = json_array_new();
  for (const ComponentState &c : components_) {
    JsonObject *o = json_object_new();
    json_object_set_string_member(o, "name", c.name.c_str());
    json_object_set_int_member(o, "kind", c.kind);
    json_object_set_string_member(o, "kind_name", KindName(c.kind));
    json_object_set_boolean_member(o, "visible", c.visible());
    JsonArray *settings = json_array_new();
    for (const Setting &s : c.settings) {
      JsonObject *so = json_object_new();
      json_object_set_string_member(so, "call", s.call.c_str());
      json_object_set_member(so, "args", ArgsJson(s.args));
      json_array_add_object_element(settings, so);
    }
    json_object_set_array_member(o, "settings", settings);
    json_array_add_object_element(components, o);
  }
  JsonArray *levels = json_array_new();
  for (const Setting &s : root_levels_) {
    JsonObject *so = json_object_new();
    json_object_set_string_member(so, "call", s.call.c_str());
    json_object_set_member(so, "args", ArgsJson(s.args));
    json_array_add_object_element(levels, so);
  }
  JsonObject *root = json_object_new();
  json_object_set_array_member(root, "components", components);
  json_object_set_array_member(root, "root_levels", levels);
  JsonNode *node = json_node_new(JSON_NODE_OBJECT);
  json_node_take_object(node, root);
  return node;
}

ChannelState ChannelState::FromJson(JsonNode *node) {
  if (!node || !JSON_NODE_HOLDS_OBJECT(node)) throw std::runtime_error("the state is not a JSON object");
  JsonObject *o = json_node_get_object(node);
  ChannelState state;
  JsonNode *components = json_object_get_member(o, "components");
  if (!components || !JSON_NODE_HOLDS_ARRAY(components)) throw std::runtime_error("\"components\" is not an array");
  JsonArray *list = json_node_get_array(components);
  for (guint i = 0; i < json_array_get_length(list); ++i) {
    const std::string where = "component " + std::to_string(i);
    JsonNode *cn = json_array_get_element(list, i);
    if (!JSON_NODE_HOLDS_OBJECT(cn)) throw std::runtime_error(where + " is not an object");
    JsonObject *co = json_node_get_object(cn);
    JsonNode *name = json_object_get_member(co, "name");
    JsonNode *kind = json_object_get_member(co, "kind");
    JsonNode *settings = json_object_get_member(co, "settings");
    if (!name || json_node_get_value_type(name) != G_TYPE_STRING || !*json_node_get_string(name) || !kind ||
        json_node_get_value_type(kind) != G_TYPE_INT64 || json_node_get_int(kind) < 0 || json_node_get_int(kind) > 4 ||
        !settings || !JSON_NODE_HOLDS_ARRAY(settings))
      throw std::runtime_error(where + " needs \"name\", \"kind\" (0 to 4) and \"settings\"");
    ComponentState c{json_node_get_string(name), static_cast<int>(json_node_get_int(kind)), {}};
    JsonArray *sl = json_node_get_array(settings);
    for (guint k = 0; k < json_array_get_length(sl); ++k)
      Put(c.settings, SettingFromJson(json_array_get_element(sl, k), &c.name,
                                      where + " (" + c.name + "), setting " + std::to_string(k)));
    state.components_.push_back(std::move(c));
  }
  if (JsonNode *levels = json_object_get_member(o, "root_levels")) {
    if (!JSON_NODE_HOLDS_ARRAY(levels)) throw std::runtime_error("\"root_levels\" is not an array");
    JsonArray *ll = json_node_get_array(levels);
    static const std::string root = "root";
    for (guint k = 0; k < json_array_get_length(ll); ++k) {
      Setting s = SettingFromJson(json_array_get_element(ll, k), &root, "root level " + std::to_string(k));
      if (s.call != "SetVxComponent_Color") throw std::runtime_error("root level " + std::to_string(k) + " is not a colour");
      state.root_levels_.push_back(std::move(s));
    }
  }
  return state;
}

bool ChannelState::operator==(const ChannelState &other) const {
  auto same = [](const std::vector<Setting> &a, const std::vector<Setting> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i].call != b[i].call || !SameArgs(a[i].args, b[i].args)) return false;
    return true;
  };
  if (components_.size() != other.components_.size() || !same(root_levels_, other.root_levels_)) return false;
  for (std::size_t i = 0; i < components_.size(); ++i) {
    const ComponentState &a = components_[i], &b = other.components_[i];
    if (a.name != b.name || a.kind != b.kind || !same(a.settings, b.settings)) return false;
  }
  return true;
}

}  // namespace vxlive
