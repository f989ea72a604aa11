#pragma once
// Smooth text on a canvas. TAAFont measures text as its mask will render it; TAAFontEx draws
// it with the effects of its TAAEffect (shadow, gradient, texture, noise, outline, spray,
// mirrors, blur, rotation, alpha). The canvas is not owned; the calendar makes one TAAFontEx
// per paint on its own canvas.

#include <memory>
#include <string_view>

#include "aatext/aablend.h"
#include "aatext/aaeffect.h"
#include "aatext/aamask.h"
#include "platform/canvas.h"

namespace vx {

class TAAFont {
 public:
  explicit TAAFont(TCanvas *canvas);
  virtual ~TAAFont();
  TAAFont(const TAAFont &) = delete;
  TAAFont &operator=(const TAAFont &) = delete;

  TCanvas *Canvas() const { return canvas_; }
  void SetCanvas(TCanvas *canvas) { canvas_ = canvas; }

  // 0..3 (clamped): 0 samples 4 x 4 per pixel, 3 draws at the real size.
  int Quality() const { return mask_->Quality(); }
  void SetQuality(int quality) { mask_->SetQuality(quality); }

  // Pixel size of the text as drawn; 0 x 0 without a canvas.
  virtual TSize TextExtent(std::u16string_view text);
  int TextWidth(std::u16string_view text) { return TextExtent(text).cx; }
  int TextHeight(std::u16string_view text) { return TextExtent(text).cy; }

  TAAMask &Mask() { return *mask_; }
  TAABlend &Blend() { return *blend_; }

 private:
  TCanvas *canvas_;
  std::unique_ptr<TAAMask> mask_;
  std::unique_ptr<TAABlend> blend_;
};

class TAAFontEx : public TAAFont {
 public:
  explicit TAAFontEx(TCanvas *canvas);
  ~TAAFontEx() override;

  TAAEffect &Effect() { return *effect_; }
  const TAAEffect &Effect() const { return *effect_; }
  void SetEffect(const TAAEffect &effect) { effect_->Assign(effect); }

  // With the rotation of Angle, grown by the shadow's offsets when the shadow is on.
  TSize TextExtent(std::u16string_view text) override;
  // Draws the text with its top-left at (x, y) in the canvas font's colour and the effects.
  // Nothing without a canvas or with an empty text. The canvas font and brush are as before
  // afterwards, also when an error is raised.
  void TextOut(int x, int y, std::u16string_view text);

  // Foregrounds, sized to the current mask (exposed for tests and custom fills).
  void CreateGradual();
  void CreateNoiseBmp(int strength);
  void CreateTexture();
  void AddNoise(int strength);

 private:
  std::unique_ptr<TAAEffect> effect_;
};

}  // namespace vx
