#pragma once
// TAABlend: puts colour on a canvas through a coverage mask. The area under the mask is
// taken into a 24-bit work bitmap (the canvas pixels under a clear brush, the brush colour
// under a solid one), each pixel moves toward the colour (or a foreground bitmap's pixel) by
// its coverage times the strength, and the work bitmap is copied back.

#include <cstdint>

#include "aatext/aamask.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"

namespace vx {

class TAAFont;

// The foreground bitmap does not have the mask's size or is not 24-bit.
class EInvalidForeBmp : public Exception {
 public:
  EInvalidForeBmp() : Exception("Invalid foreground bitmap!") {}
};

class TAABlend {
 public:
  explicit TAABlend(TAAFont *owner = nullptr);

  // Copies the foreground bitmap.
  void Assign(const TAABlend &source);

  // The gradient, noise or texture to blend; 24-bit, the mask's size.
  TBitmap &ForeBmp() { return fore_; }
  const TBitmap &WorkBmp() const { return work_; }

  // Blends at canvas position (x, y) with strength alpha 0..100 (clamped). Nothing happens
  // without a canvas or with an empty mask.
  void BlendColor(int x, int y, TColor color, int alpha, const TAAMask &mask);
  // Raises EInvalidForeBmp when ForeBmp does not match the mask.
  void BlendForeground(int x, int y, int alpha, const TAAMask &mask);

 private:
  bool PrepareWork(int x, int y, const TAAMask &mask);

  TAAFont *owner_;
  TBitmap fore_;
  TBitmap work_;
};

}  // namespace vx
