// Operation table rows of the picture. Colour operations do not apply to it (the engine still
// records the level); the cycle draws it with the keyed copy.
#include "components/picture.h"
#include "engine/kinds.h"

namespace vx {

const TOSDKindOps kPictureOps = {
    .Create = [](const TOSDCreateContext &) -> std::unique_ptr<TOSDObject> {
      return std::make_unique<TOSDPicute>();
    },
    .SetVisible = [](TOSDObject &o, bool v) { As<TOSDPicute>(o).SetVisible(v); },
    .SetText = [](TOSDObject &o, std::u16string_view t) { As<TOSDPicute>(o).SetText(t); },
    .SetTextMode = [](TOSDObject &o, int mode) { As<TOSDPicute>(o).textmode = mode; },
    .SetPicFile = [](TOSDObject &o, std::u16string_view path) { As<TOSDPicute>(o).SetPicFile(path); },
    .SetPicSplitFile = [](TOSDObject &o, std::u16string_view path,
                          int count) { As<TOSDPicute>(o).SetPicSplitFile(path, count); },
    .SetPicSplitTextPos = [](TOSDObject &o, int x,
                             int step) { As<TOSDPicute>(o).SetPicSplitTextPos(x, step); },
    .SetPicSplitShow = [](TOSDObject &o, int index) { As<TOSDPicute>(o).SetPicSplitShow(index); },
    .SetPicMovie = [](TOSDObject &o, std::u16string_view path, int first,
                      int last) { As<TOSDPicute>(o).SetPicMovie(path, first, last); },
    .SetPicTime = [](TOSDObject &o, int ms) { As<TOSDPicute>(o).SethideTime(ms); },
    .SetMovieTime =
        [](TOSDObject &o, int ms, bool loop) {
          auto &picture = As<TOSDPicute>(o);
          picture.Loop = loop;  // Loop first, then the interval
          picture.SetmovieTime(ms);
        },
    .Draw = [](TOSDObject &o, TOSDGraphic &frame) { As<TOSDPicute>(o).DrawTo(frame); },
};

}  // namespace vx
