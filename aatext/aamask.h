#pragma once
// TAAMask: the coverage mask of a smooth text. The text is drawn at a multiple of its size
// (the scale) on an 8-bit grey bitmap with the platform's binary glyphs, and each block of
// scale x scale samples is reduced to one coverage byte (0..255). The mask can then be
// outlined, sprayed, mirrored and blurred before it is blended onto a canvas.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/types.h"

namespace vx {

class TAAFont;

// A mask row outside 0..Height-1 was asked for.
class EInvalidLine : public Exception {
 public:
  EInvalidLine() : Exception("Invalid line!") {}
};

// The process-wide grey palette (entry i = red, green, blue i) the sample bitmaps use.
const TPalette &GreyPalette();

// The effects' random source: uniform in 0..n-1, 0 for n <= 0. One generator per thread.
int AARandom(int n);
void AARandomize(unsigned seed);

class TAAMask {
 public:
  explicit TAAMask(TAAFont *owner = nullptr);

  // Copies quality, scale, size, stride and the mask bytes (not the owner).
  void Assign(const TAAMask &source);

  // 0 (best, 4 x 4 samples) .. 3 (no supersampling); other values are clamped.
  int Quality() const { return quality_; }
  void SetQuality(int quality);
  int Scale() const { return scale_; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  // Resizes to w x h, all coverage 0. Negative sizes count as 0; a mask whose samples would
  // exceed the platform's bitmap limit raises EOutOfResources.
  void SetSize(int width, int height);

  // Row `line` of the text (0 = top). Raises EInvalidLine outside 0..Height-1.
  std::uint8_t *ScanLine(int line);
  const std::uint8_t *ScanLine(int line) const;
  // Coverage at (x, y); 0 outside the mask.
  std::uint8_t Pixel(int x, int y) const;
  // Rows bottom first, each Stride bytes.
  std::span<const std::uint8_t> Bits() const { return bits_; }

  // Size of the text in the owner canvas's font, in pixels; 0 x 0 without a canvas. Also
  // records the drawing origin of a rotated font.
  TSize TextExtent(std::u16string_view text);
  TPoint Origin() const { return origin_; }
  // Renders the text into the mask (size from TextExtent).
  void DrawMask(std::u16string_view text);

  void Outline();
  void Spray(int amount);
  void HorzMirror();
  void VertMirror();
  // strength 0..100 (clamped): 100 replaces each pixel by the mean of its 5 x 5 box.
  void Blur(int strength);

 private:
  TAAFont *owner_;
  int quality_ = 0;
  int scale_ = 4;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  TPoint origin_{};
  std::vector<std::uint8_t> bits_;
};

}  // namespace vx
