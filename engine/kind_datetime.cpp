// Operation table rows of the date-time clock.
#include "components/datetime.h"
#include "engine/kinds.h"

namespace vx {

const TOSDKindOps kDateTimeOps = {
    .Create = [](const TOSDCreateContext &) -> std::unique_ptr<TOSDObject> {
      return std::make_unique<TOSDDateTime>();
    },
    .SetVisible = [](TOSDObject &o, bool v) { As<TOSDDateTime>(o).SetVisible(v); },
    .SetColor = [](TOSDObject &o, TColor c, int level) { As<TOSDDateTime>(o).SetColor(c, level); },
    .SetTime = [](TOSDObject &o, int ms) { As<TOSDDateTime>(o).SetShowtime(ms); },
    // Written directly; it takes effect at the next redraw.
    .SetTextMode = [](TOSDObject &o, int mode) { As<TOSDDateTime>(o).textmode = mode; },
};

}  // namespace vx
