#pragma once
// PNG output for tools and snapshots: 8-bit bitmaps keep their palette indices (a paletted
// PNG), 24- and 32-bit bitmaps become RGB.

#include <cstddef>
#include <string>
#include <vector>

namespace vx {

class TBitmap;

// Raises EInvalidOperation for an empty bitmap (PNG has no empty images).
std::vector<std::byte> EncodePng(const TBitmap &bitmap);
// As EncodePng, written to a file; raises EFCreateError when the file cannot be written.
void SavePng(const TBitmap &bitmap, const std::string &path);

}  // namespace vx
