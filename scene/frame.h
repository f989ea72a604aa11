#pragma once
// What a scene's host reads from a composed frame stream (8-byte header, 256 A/Y/Cb/Cr
// palette entries, then one palette index per pixel).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vxscene {

constexpr int kFrameWidth = 640, kFrameHeight = 480;
constexpr std::size_t kFrameHeaderBytes = 8, kFramePaletteBytes = 1024;
constexpr std::size_t kFramePixelsOffset = kFrameHeaderBytes + kFramePaletteBytes;
constexpr std::size_t kFrameStreamBytes = kFramePixelsOffset + std::size_t{kFrameWidth} * kFrameHeight;

// R, G, B of each palette entry (Y, Cb, Cr back through the inverse BT.601 studio-range
// equations, rounded, as the software card's RGBA output does). The alpha of an entry is its
// A byte, the colour level.
std::vector<std::uint8_t> FrameStreamPaletteRgb(const std::uint8_t *stream);

}  // namespace vxscene
