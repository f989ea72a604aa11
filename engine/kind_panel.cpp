// Operation table rows of the panel.
#include "components/panel.h"
#include "engine/kinds.h"

namespace vx {

const TOSDKindOps kPanelOps = {
    .Create = [](const TOSDCreateContext &) -> std::unique_ptr<TOSDObject> {
      return std::make_unique<TOSDPanel>();
    },
    .SetVisible = [](TOSDObject &o, bool v) { As<TOSDPanel>(o).SetVisible(v); },
    .SetColor = [](TOSDObject &o, TColor c, int level) { As<TOSDPanel>(o).SetColor(c, level); },
    .SetTime = [](TOSDObject &o, int ms) { As<TOSDPanel>(o).showtime = ms; },
};

}  // namespace vx
