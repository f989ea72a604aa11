#include "text_boxes.h"

#include <algorithm>
#include <sstream>

#include "scene/frame.h"

namespace vxplay {

using vxscene::kFrameHeight;
using vxscene::kFrameWidth;

namespace {

// The text's extent in the component's font; false when the library cannot measure it.
bool Extent(const vxscene::Library &lib, const std::string &name, std::u16string text, int &w, int &h) {
  std::vector<std::uint16_t> units(text.begin(), text.end());
  units.push_back(0);
  int32_t r[4] = {0, 0, 0, 0};
  if (!lib.GetVxComponent_TextRect(name.c_str(), units.data(), r)) return false;
  w = r[2], h = r[3];
  return true;
}

}  // namespace

TextBoxes::Component *TextBoxes::Find(const std::string &name) {
  for (auto it = components_.rbegin(); it != components_.rend(); ++it)
    if (it->name == name) return &*it;
  return nullptr;
}

void TextBoxes::Track(const vxscene::Step &s) {
  if (s.args.empty()) return;
  const std::string &name = s.args[0].utf8;
  if (s.call == "AddVxComponent") {
    const int kind = s.args[1].number & 0xFF;
    if (name == "root" || kind > VXOSD_DATETIME) return;
    Component c;
    c.name = name;
    c.kind = kind;
    components_.push_back(std::move(c));
    return;
  }
  if (s.call == "DelVxComponent") {
    for (auto it = components_.rbegin(); it != components_.rend(); ++it)
      if (it->name == name) {
        components_.erase(std::next(it).base());
        break;
      }
    return;
  }
  Component *c = Find(name);
  if (!c) return;
  if (s.call == "SetVxComponent_Pos") {
    c->x = s.args[1].number, c->y = s.args[2].number;
    c->w = s.args[3].number, c->h = s.args[4].number;
  } else if (s.call == "SetVxComponent_Text") {
    c->text = s.args[1].utf16;
  } else if (s.call == "SetVxComponent_TextMode") {
    c->mode = s.args[1].number;
  }
}

std::vector<TextBox> TextBoxes::Measure(const vxscene::Library &lib) const {
  std::vector<TextBox> boxes;
  for (const Component &c : components_) {
    // From the corner to the frame's edges, unless measured below.
    int w = kFrameWidth - c.x, h = kFrameHeight - c.y;
    if (c.kind == VXOSD_PANEL || (c.kind == VXOSD_PICTURE && c.text.empty())) continue;
    if ((c.kind == VXOSD_TEXT || c.kind == VXOSD_SCROLLTEXT) && c.text.empty()) continue;
    if (c.kind == VXOSD_TEXT && c.mode >= VXOSD_TEXT_VERTICAL) {
      // One character per line.
      int widest = 0, sum = 0;
      bool measured = true;
      for (const char16_t u : c.text) {
        int cw = 0, ch = 0;
        measured = measured && Extent(lib, c.name, std::u16string(1, u), cw, ch);
        widest = std::max(widest, cw);
        sum += ch;
      }
      if (measured) w = widest, h = sum;
    } else if (c.kind == VXOSD_TEXT) {
      Extent(lib, c.name, c.text, w, h);
    } else if (c.kind == VXOSD_SCROLLTEXT) {
      int tw = 0, th = 0;
      if (c.w != 0) {
        w = c.w, h = c.h;
      } else if (c.mode <= VXOSD_SCROLL_RIGHT || c.mode > VXOSD_SCROLL_DOWN_VERTICAL) {
        if (Extent(lib, c.name, c.text, tw, th)) w = kFrameWidth, h = th;  // a window one line high
      } else if (c.mode <= VXOSD_SCROLL_DOWN) {
        if (Extent(lib, c.name, c.text, tw, th)) w = tw, h = kFrameHeight;  // a column one line wide
      }
    }
    TextBox b{c.kind, std::max(c.x, 0), std::max(c.y, 0), std::min(c.x + w, kFrameWidth),
              std::min(c.y + h, kFrameHeight), c.name};
    if (b.right > b.left && b.bottom > b.top) boxes.push_back(b);
  }
  return boxes;
}

std::string FormatTextBoxes(const std::vector<TextBox> &boxes) {
  std::string out;
  for (const TextBox &b : boxes)
    out += std::to_string(b.kind) + " " + std::to_string(b.left) + " " + std::to_string(b.top) + " " +
           std::to_string(b.right) + " " + std::to_string(b.bottom) + " " + b.name + "\n";
  return out;
}

bool ParseTextBoxes(const std::string &text, std::vector<TextBox> &boxes) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    TextBox b;
    if (!(fields >> b.kind >> b.left >> b.top >> b.right >> b.bottom)) return false;
    std::getline(fields >> std::ws, b.name);
    boxes.push_back(b);
  }
  return true;
}

}  // namespace vxplay
