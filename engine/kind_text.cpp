// Operation table rows of the text component.
#include "components/text.h"
#include "engine/kinds.h"

namespace vx {

const TOSDKindOps kTextOps = {
    .Create = [](const TOSDCreateContext &) -> std::unique_ptr<TOSDObject> {
      return std::make_unique<TOSDText>();
    },
    .SetVisible = [](TOSDObject &o, bool v) { As<TOSDText>(o).SetVisible(v); },
    .SetColor = [](TOSDObject &o, TColor c, int level) { As<TOSDText>(o).SetColor(c, level); },
    .SetText = [](TOSDObject &o, std::u16string_view t) { As<TOSDText>(o).SetText(t); },
    .SetTime = [](TOSDObject &o, int ms) { As<TOSDText>(o).SetShowTime(ms); },
    .GetTextRect = [](TOSDObject &o, std::u16string_view t,
                      TRect &r) { r = As<TOSDText>(o).GetTextRect(t); },
    .SetTextMode = [](TOSDObject &o, int mode) { As<TOSDText>(o).textmode = mode; },
    .SetTextGradual = [](TOSDObject &o, TColor c1,
                         TColor c2) { As<TOSDText>(o).SetGradual(c1, c2); },
    .SetTextHtml = [](TOSDObject &o, bool on) { As<TOSDText>(o).SetHtml(on); },
    .SetRandomColor = [](TOSDObject &o, const TFiveColors &c) { As<TOSDText>(o).SetRandomColor(c); },
    .SetRandomTextColor = [](TOSDObject &o,
                             const TFiveColors &c) { As<TOSDText>(o).SetRandomTextColor(c); },
};

}  // namespace vx
