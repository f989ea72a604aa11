// PNG input on Windows: not built in yet (the system's imaging component is the way to add it
// without importing anything but system DLLs). Pictures refuse PNG files with a clear error.

#include <cstring>

#include "platform/exceptions.h"
#include "platform/png.h"

namespace vx {

bool IsPng(std::span<const std::byte> bytes) {
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

void DecodePng(std::span<const std::byte>, TBitmap &) {
  throw EInvalidGraphic("PNG pictures are not read on Windows yet; use a 32-bit BMP with alpha");
}

}  // namespace vx
