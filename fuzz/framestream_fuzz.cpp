// The frame stream reader on arbitrary bytes: it either loads a frame whose size matches the
// header or raises one of the platform's errors, and a loaded frame writes back the same
// pixel bytes it read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/osd_graphic.h"
#include "platform/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vx::TSpanStream stream({reinterpret_cast<const std::byte *>(data), size});
  vx::TOSDGraphic g;
  try {
    g.LoadFromFrameStream(stream);
  } catch (const vx::Exception &) {
    return 0;
  }
  if (size == 0) return 0;
  const int w = (data[4] << 8) | data[5], h = (data[6] << 8) | data[7];
  if (g.Width() != w || g.Height() != h) std::abort();
  vx::TMemoryStream out;
  g.SaveToFrameStream(out);
  const std::size_t pixels = static_cast<std::size_t>(w) * h;
  if (out.Bytes().size() != 1032 + pixels) std::abort();
  if (std::memcmp(out.Memory() + 1032, data + 1032, pixels) != 0) std::abort();
  return 0;
}
