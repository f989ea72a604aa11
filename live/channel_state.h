#pragma once
// What a channel has applied to its library, derived from the scene lines it ran: the library
// cannot be read back, so this is what the API returns, what a client sees pushed, and what a
// restart replays. Components are kept in registry order (the newest first, as the library
// draws them: the first added on top), each with its kind and the last value given to every
// setter, in the order those values were last given (later calls can undo earlier ones: a
// colour switches random colours off, markup switches the gradient off).

#include <string>
#include <vector>

#include <json-glib/json-glib.h>

#include "scene/scene.h"

namespace vxlive {

struct Setting {
  std::string call;
  std::vector<vxscene::Arg> args;  // the call's arguments after the component's name
};

struct ComponentState {
  std::string name;
  int kind = 0;  // 0 panel .. 4 clock
  std::vector<Setting> settings;  // SetVxComponent_Visible among them, if given
  bool visible() const;
};

// Kind names as the API shows them, by kind number.
const char *KindName(int kind);

class ChannelState {
 public:
  // Records one call the library answered with result (0: refused, nothing changed). Returns a
  // description of the change ("title: SetVxComponent_Text"), or "" when nothing changed.
  std::string Record(const vxscene::Step &step, int result);

  // Scene lines that rebuild this state on a fresh library: colour levels of "root" first, then
  // every component from the oldest to the newest (so that registry order and namesakes come
  // out the same), each added, set up, and last shown or hidden.
  std::vector<std::string> ReplayLines() const;

  // Scene lines that turn this state into target on a library that holds this state (what an
  // undo applies): components added since are deleted, a component whose settings changed gets
  // the target's settings again in their order, and anything else (a component deleted or
  // re-ordered, a setting the target never had) rebuilds every component. Colour levels of
  // "root" the target has are given again; a level it never had stays (the library has no
  // call that forgets one).
  std::vector<std::string> LinesTo(const ChannelState &target) const;

  const std::vector<ComponentState> &components() const { return components_; }
  bool empty() const { return components_.empty() && root_levels_.empty(); }
  void Clear();

  // {"components": [{"name", "kind", "kind_name", "visible", "settings": [{"call", "args"}]}],
  //  "root_levels": [{"color", "level"}]}
  JsonNode *ToJson() const;
  // The inverse of ToJson; throws std::runtime_error naming what is wrong (each setting is
  // checked as a scene line).
  static ChannelState FromJson(JsonNode *node);

  bool operator==(const ChannelState &other) const;

 private:
  ComponentState *Newest(const std::string &name);

  std::vector<ComponentState> components_;
  std::vector<Setting> root_levels_;  // SetVxComponent_Color root COLOR LEVEL, one per colour
};

}  // namespace vxlive
