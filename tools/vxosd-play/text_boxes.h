#pragma once
// Where a scene's text is drawn, as far as the library's interface tells: the boxes of the
// components that draw text, for comparing runs whose glyph sources differ (FreeType on
// Linux, GDI on Windows). Text and scrolling-text boxes are measured in the component's font
// (GetVxComponent_TextRect); a clock's lines and a picture's caption are made by the library
// and measured by nothing a host can call, so their box runs from the component's corner to
// the frame's right and bottom edges.

#include <cstdint>
#include <string>
#include <vector>

#include "scene/library.h"
#include "scene/scene.h"

namespace vxplay {

struct TextBox {
  int kind = 0;                                  // the component's kind (VXOSD_TEXT, ...)
  int left = 0, top = 0, right = 0, bottom = 0;  // within the frame, right and bottom exclusive
  std::string name;
};

class TextBoxes {
 public:
  // Follows the scene's components; call after each step ran.
  void Track(const vxscene::Step &step);
  // The boxes of the components that exist now, measured through lib, clipped to the frame;
  // components that draw no text have none.
  std::vector<TextBox> Measure(const vxscene::Library &lib) const;

 private:
  struct Component {
    std::string name;
    int kind = 0;
    int x = 0, y = 0, w = 0, h = 0;
    int mode = 1;
    std::u16string text;
  };
  Component *Find(const std::string &name);

  std::vector<Component> components_;  // the newest last
};

// One box per line: kind left top right bottom name.
std::string FormatTextBoxes(const std::vector<TextBox> &boxes);
// Reads FormatTextBoxes' output; false for a malformed line.
bool ParseTextBoxes(const std::string &text, std::vector<TextBox> &boxes);

}  // namespace vxplay
