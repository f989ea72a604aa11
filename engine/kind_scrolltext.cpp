// Operation table rows of the scrolling text component.
#include "components/scrolltext.h"
#include "engine/kinds.h"

namespace vx {

const TOSDKindOps kScrollTextOps = {
    .Create = [](const TOSDCreateContext &ctx) -> std::unique_ptr<TOSDObject> {
      auto s = std::make_unique<TOSDScrollText>();
      s->max_Scrollw = ctx.frame_width;
      s->max_Scrollh = ctx.frame_height;
      return s;
    },
    .SetVisible = [](TOSDObject &o, bool v) { As<TOSDScrollText>(o).SetVisible(v); },
    .SetColor = [](TOSDObject &o, TColor c,
                   int level) { As<TOSDScrollText>(o).SetColor(c, level); },
    .SetText = [](TOSDObject &o, std::u16string_view t) { As<TOSDScrollText>(o).SetText(t); },
    .GetTextRect = [](TOSDObject &o, std::u16string_view t,
                      TRect &r) { r = As<TOSDScrollText>(o).GetTextRect(t); },
    .SetTextStep = [](TOSDObject &o, int step) { As<TOSDScrollText>(o).step = step; },
    .SetTextScroll = [](TOSDObject &o, int scroll) { As<TOSDScrollText>(o).Scroll = scroll; },
    .SetTextMode = [](TOSDObject &o, int mode) { As<TOSDScrollText>(o).textmode = mode; },
    .SetTextGradual = [](TOSDObject &o, TColor c1,
                         TColor c2) { As<TOSDScrollText>(o).SetGradual(c1, c2); },
    .SetTextHtml = [](TOSDObject &o, bool on) { As<TOSDScrollText>(o).SetHtml(on); },
    .SetRandomColor = [](TOSDObject &o,
                         const TFiveColors &c) { As<TOSDScrollText>(o).SetRandomColor(c); },
    .SetRandomTextColor = [](TOSDObject &o,
                             const TFiveColors &c) { As<TOSDScrollText>(o).SetRandomTextColor(c); },
};

}  // namespace vx
