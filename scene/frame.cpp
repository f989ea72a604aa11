#include "scene/frame.h"

namespace vxscene {

std::vector<std::uint8_t> FrameStreamPaletteRgb(const std::uint8_t *stream) {
  auto clamp = [](double v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v + 0.5));
  };
  std::vector<std::uint8_t> rgb(768);
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t *e = stream + kFrameHeaderBytes + 4 * i;
    const double y = 1.164383 * (e[1] - 16), cb = e[2] - 128, cr = e[3] - 128;
    rgb[3 * i] = clamp(y + 1.596027 * cr);
    rgb[3 * i + 1] = clamp(y - 0.391762 * cb - 0.812968 * cr);
    rgb[3 * i + 2] = clamp(y + 2.017232 * cb);
  }
  return rgb;
}

}  // namespace vxscene
