// The BMP reader on arbitrary bytes: it may refuse them, but only with the library's own
// errors, and a refused load leaves the bitmap as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "platform/bitmap.h"
#include "platform/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::span<const std::byte> bytes(reinterpret_cast<const std::byte *>(data), size);
  // RLE pictures of many megapixels from a few bytes are legal (up to the 64 MiB cap) but
  // cost a large allocation per run; they add no new paths, so they are skipped for speed.
  if (size >= 34 && (data[30] == 1 || data[30] == 2)) {
    std::int64_t w, h;
    std::int32_t wi, hi;
    std::memcpy(&wi, data + 18, 4);
    std::memcpy(&hi, data + 22, 4);
    w = wi;
    h = hi;
    if (w * w + h * h > std::int64_t{4096} * 4096) return 0;
  }
  vx::TBitmap bmp;
  bmp.SetPixelFormat(vx::TPixelFormat::pf8bit);
  bmp.SetSize(3, 2);
  bmp.ScanLine(1)[1] = 7;
  const auto before = bmp.SaveToBytes();
  try {
    bmp.LoadFromBytes(bytes);
  } catch (const vx::EInvalidGraphic &) {
    if (bmp.SaveToBytes() != before) std::abort();
    return 0;
  }
  // A loaded picture can be read, converted and saved again.
  for (int y = 0; y < bmp.Height(); ++y) (void)bmp.GetPixel(bmp.Width() - 1, y);
  const auto saved = bmp.SaveToBytes();
  vx::TBitmap again;
  again.LoadFromBytes(saved);
  if (again.Width() != bmp.Width() || again.Height() != bmp.Height()) std::abort();
  return 0;
}
