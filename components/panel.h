#pragma once
// TOSDPanel: a filled rectangle of w x h in bkcolor with the canvas pen's one-pixel border.

#include "components/object.h"

namespace vx {

class TOSDPanel : public TOSDObject {
 public:
  TOSDPanel() = default;

  // Stores the flag; when true, redraws at the current w, h and bkcolor. A hidden panel keeps
  // its old pixels (the cycle skips it).
  void SetVisible(bool value);

  int showtime = 0;  // written by the engine, never read by the panel
};

}  // namespace vx
