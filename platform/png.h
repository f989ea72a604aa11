#pragma once
// PNG output for tools and snapshots: 8-bit bitmaps keep their palette indices (a paletted
// PNG), 24- and 32-bit bitmaps become RGB, pfARGB32 bitmaps RGBA (straight alpha). PNG input
// for pictures in true-colour frames.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace vx {

class TBitmap;

// Raises EInvalidOperation for an empty bitmap (PNG has no empty images).
std::vector<std::byte> EncodePng(const TBitmap &bitmap);
// As EncodePng, written to a file; raises EFCreateError when the file cannot be written.
void SavePng(const TBitmap &bitmap, const std::string &path);

// Whether bytes begin with the PNG signature.
bool IsPng(std::span<const std::byte> bytes);
// Decodes a PNG of any colour type and depth into `out`: 32-bit, B, G, R and straight alpha
// (HasAlphaChannel), opaque where the file has no alpha. A corrupt, truncated or oversized
// file raises EInvalidGraphic naming the problem and leaves `out` as it was. On Windows no
// PNG decoder is built in yet: it always raises EInvalidGraphic saying so.
void DecodePng(std::span<const std::byte> bytes, TBitmap &out);

}  // namespace vx
