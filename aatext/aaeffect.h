#pragma once
// The effect settings of smooth text: a shadow, a gradient, a texture and the effect's own
// values (alpha, blur, angle, noise, spray, outline, mirrors). Every setter ignores an
// unchanged value and otherwise notifies; the parts notify the effect that owns them. Values
// outside a setting's range are clamped into it.

#include <functional>
#include <string_view>
#include <tuple>

#include "platform/bitmap.h"
#include "platform/color.h"

namespace vx {

class TIniFile;

class TNotifyClass {
 public:
  using TNotifyEvent = std::function<void(TNotifyClass *sender)>;

  explicit TNotifyClass(void *owner = nullptr) : owner_(owner) {}
  virtual ~TNotifyClass() = default;
  TNotifyClass(const TNotifyClass &) = delete;
  TNotifyClass &operator=(const TNotifyClass &) = delete;

  void *Owner() const { return owner_; }
  TNotifyEvent OnChanged;
  // Calls OnChanged, when set, with this object as sender.
  virtual void Changed();

 private:
  void *owner_;
};

// Notifies only while enabled; switching Enabled always notifies.
class TEnabledClass : public TNotifyClass {
 public:
  using TNotifyClass::TNotifyClass;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  void Changed() override;

 protected:
  friend class TAAEffect;  // reads settings without notifications
  // The end of an Assign: a change notifies when the part was or is now enabled.
  void AssignDone(bool changed, bool was_enabled);
  bool enabled_ = false;
};

class TAAShadow : public TEnabledClass {
 public:
  using TEnabledClass::TEnabledClass;
  void Assign(const TAAShadow &source);

  int Blur() const { return blur_; }          // 0..100
  void SetBlur(int value);
  int Alpha() const { return alpha_; }        // 0..100
  void SetAlpha(int value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  int OffsetX() const { return offset_x_; }   // -20..20
  void SetOffsetX(int value);
  int OffsetY() const { return offset_y_; }   // -20..20
  void SetOffsetY(int value);

 private:
  friend class TAAEffect;
  // The published values, as one tuple that Assign compares and copies.
  template <typename Self>
  static auto Values(Self &s) {
    return std::tie(s.enabled_, s.blur_, s.alpha_, s.color_, s.offset_x_, s.offset_y_);
  }
  int blur_ = 80;
  int alpha_ = 70;
  TColor color_ = 0x444444;
  int offset_x_ = 2;
  int offset_y_ = 2;
};

enum TGradualStyle {
  gsLeftToRight,
  gsRightToLeft,
  gsTopToBottom,
  gsBottomToTop,
  gsCenterToLR,
  gsCenterToTB
};

class TAAGradual : public TEnabledClass {
 public:
  using TEnabledClass::TEnabledClass;
  void Assign(const TAAGradual &source);

  TGradualStyle Style() const { return style_; }
  void SetStyle(TGradualStyle value);
  TColor StartColor() const { return start_color_; }
  void SetStartColor(TColor value);
  TColor EndColor() const { return end_color_; }
  void SetEndColor(TColor value);

 private:
  friend class TAAEffect;
  template <typename Self>
  static auto Values(Self &s) {
    return std::tie(s.enabled_, s.style_, s.start_color_, s.end_color_);
  }
  TGradualStyle style_ = gsLeftToRight;
  TColor start_color_ = 0xFFFFFF;
  TColor end_color_ = 0x000000;
};

enum TTextureMode { tmTiled, tmStretched, tmCenter, tmNormal };

class TAATexture : public TEnabledClass {
 public:
  using TEnabledClass::TEnabledClass;
  void Assign(const TAATexture &source);

  TTextureMode Mode() const { return mode_; }
  void SetMode(TTextureMode value);
  // The owned picture. After changing it in place, call PictureChanged.
  TBitmap &Picture() { return picture_; }
  const TBitmap &Picture() const { return picture_; }
  void SetPicture(const TBitmap &picture);  // copies, then notifies
  void PictureChanged() { Changed(); }

 private:
  friend class TAAEffect;
  TTextureMode mode_ = tmTiled;
  TBitmap picture_;
};

class TAAEffect : public TNotifyClass {
 public:
  explicit TAAEffect(void *owner = nullptr);
  void Assign(const TAAEffect &source);

  TAAShadow &Shadow() { return shadow_; }
  const TAAShadow &Shadow() const { return shadow_; }
  void SetShadow(const TAAShadow &value) { shadow_.Assign(value); }
  TAAGradual &Gradual() { return gradual_; }
  const TAAGradual &Gradual() const { return gradual_; }
  void SetGradual(const TAAGradual &value) { gradual_.Assign(value); }
  TAATexture &Texture() { return texture_; }
  const TAATexture &Texture() const { return texture_; }
  void SetTexture(const TAATexture &value) { texture_.Assign(value); }

  int Alpha() const { return alpha_; }   // 0..100
  void SetAlpha(int value);
  int Blur() const { return blur_; }     // 0..100
  void SetBlur(int value);
  int Angle() const { return angle_; }   // -360..360 degrees
  void SetAngle(int value);
  int Noise() const { return noise_; }   // 0..255
  void SetNoise(int value);
  int Spray() const { return spray_; }   // 0..100
  void SetSpray(int value);
  bool Outline() const { return outline_; }
  void SetOutline(bool value);
  bool HorzMirror() const { return horz_mirror_; }
  void SetHorzMirror(bool value);
  bool VertMirror() const { return vert_mirror_; }
  void SetVertMirror(bool value);

  // Reads the keys of one section, the current values serving as defaults; stores without
  // notifications. Out-of-range numbers are brought into range ("GradualStyle" above 5 and
  // "TextureMode" above 3, or below 0, become 0).
  void LoadFromIni(const TIniFile &ini, std::string_view section);
  // Writes the keys into the file's copy in memory and then updates the file on disk.
  void SaveToIni(TIniFile &ini, std::string_view section) const;

 private:
  template <typename Self>
  static auto Values(Self &s) {
    return std::tie(s.alpha_, s.blur_, s.angle_, s.noise_, s.spray_, s.outline_, s.horz_mirror_,
                    s.vert_mirror_);
  }
  TAAShadow shadow_;
  TAAGradual gradual_;
  TAATexture texture_;
  int alpha_ = 100;
  int blur_ = 0;
  int angle_ = 0;
  int noise_ = 0;
  int spray_ = 0;
  bool outline_ = false;
  bool horz_mirror_ = false;
  bool vert_mirror_ = false;
};

}  // namespace vx
