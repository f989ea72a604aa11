#include "aatext/aaeffect.h"

#include <algorithm>

#include "platform/inifile.h"

namespace vx {
namespace {

template <typename T>
bool Store(T &field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

// Copies a tuple of values (std::tie of the source's fields) into another (std::tie of the
// target's); true when any differed.
template <typename To, typename From>
bool CopyValues(To to, const From &from) {
  if (to == from) return false;
  to = from;
  return true;
}

}  // namespace

void TNotifyClass::Changed() {
  if (OnChanged) OnChanged(this);
}

void TEnabledClass::SetEnabled(bool value) {
  if (Store(enabled_, value)) TNotifyClass::Changed();
}

void TEnabledClass::Changed() {
  if (enabled_) TNotifyClass::Changed();
}

void TEnabledClass::AssignDone(bool changed, bool was_enabled) {
  if (changed && (enabled_ || was_enabled)) TNotifyClass::Changed();
}

// --- TAAShadow ---

void TAAShadow::Assign(const TAAShadow &source) {
  if (&source == this) return;
  const bool was_enabled = enabled_;
  AssignDone(CopyValues(Values(*this), Values(source)), was_enabled);
}

void TAAShadow::SetBlur(int value) {
  if (Store(blur_, std::clamp(value, 0, 100))) Changed();
}
void TAAShadow::SetAlpha(int value) {
  if (Store(alpha_, std::clamp(value, 0, 100))) Changed();
}
void TAAShadow::SetColor(TColor value) {
  if (Store(color_, value)) Changed();
}
void TAAShadow::SetOffsetX(int value) {
  if (Store(offset_x_, std::clamp(value, -20, 20))) Changed();
}
void TAAShadow::SetOffsetY(int value) {
  if (Store(offset_y_, std::clamp(value, -20, 20))) Changed();
}

// --- TAAGradual ---

void TAAGradual::Assign(const TAAGradual &source) {
  if (&source == this) return;
  const bool was_enabled = enabled_;
  AssignDone(CopyValues(Values(*this), Values(source)), was_enabled);
}

void TAAGradual::SetStyle(TGradualStyle value) {
  if (value < gsLeftToRight || value > gsCenterToTB) value = gsLeftToRight;
  if (Store(style_, value)) Changed();
}
void TAAGradual::SetStartColor(TColor value) {
  if (Store(start_color_, value)) Changed();
}
void TAAGradual::SetEndColor(TColor value) {
  if (Store(end_color_, value)) Changed();
}

// --- TAATexture ---

void TAATexture::Assign(const TAATexture &source) {
  if (&source == this) return;
  const bool was_enabled = enabled_;
  enabled_ = source.enabled_;
  mode_ = source.mode_;
  picture_.Assign(source.picture_);
  AssignDone(true, was_enabled);  // pictures are not compared
}

void TAATexture::SetMode(TTextureMode value) {
  if (value < tmTiled || value > tmNormal) value = tmTiled;
  if (Store(mode_, value)) Changed();
}

void TAATexture::SetPicture(const TBitmap &picture) {
  if (&picture == &picture_) return;
  picture_.Assign(picture);
  Changed();
}

// --- TAAEffect ---

TAAEffect::TAAEffect(void *owner) : TNotifyClass(owner), shadow_(this), gradual_(this), texture_(this) {
  auto forward = [this](TNotifyClass *) { Changed(); };
  shadow_.OnChanged = forward;
  gradual_.OnChanged = forward;
  texture_.OnChanged = forward;
}

void TAAEffect::Assign(const TAAEffect &source) {
  if (&source == this) return;
  shadow_.Assign(source.shadow_);
  gradual_.Assign(source.gradual_);
  texture_.Assign(source.texture_);
  if (CopyValues(Values(*this), Values(source))) Changed();
}

void TAAEffect::SetAlpha(int value) {
  if (Store(alpha_, std::clamp(value, 0, 100))) Changed();
}
void TAAEffect::SetBlur(int value) {
  if (Store(blur_, std::clamp(value, 0, 100))) Changed();
}
void TAAEffect::SetAngle(int value) {
  if (Store(angle_, std::clamp(value, -360, 360))) Changed();
}
void TAAEffect::SetNoise(int value) {
  if (Store(noise_, std::clamp(value, 0, 255))) Changed();
}
void TAAEffect::SetSpray(int value) {
  if (Store(spray_, std::clamp(value, 0, 100))) Changed();
}
void TAAEffect::SetOutline(bool value) {
  if (Store(outline_, value)) Changed();
}
void TAAEffect::SetHorzMirror(bool value) {
  if (Store(horz_mirror_, value)) Changed();
}
void TAAEffect::SetVertMirror(bool value) {
  if (Store(vert_mirror_, value)) Changed();
}

void TAAEffect::LoadFromIni(const TIniFile &ini, std::string_view section) {
  auto num = [&](const char *key, int current, int lo, int hi) {
    return std::clamp(ini.ReadInteger(section, key, current), lo, hi);
  };
  auto flag = [&](const char *key, bool current) { return ini.ReadBool(section, key, current); };
  alpha_ = num("Alpha", alpha_, 0, 100);
  blur_ = num("Blur", blur_, 0, 100);
  noise_ = num("Noise", noise_, 0, 255);
  spray_ = num("Spray", spray_, 0, 100);
  angle_ = num("Angle", angle_, -360, 360);
  outline_ = flag("Outline", outline_);
  horz_mirror_ = flag("HorzMirror", horz_mirror_);
  vert_mirror_ = flag("VertMirror", vert_mirror_);
  shadow_.enabled_ = flag("Shadow", shadow_.enabled_);
  shadow_.alpha_ = num("ShadowAlpha", shadow_.alpha_, 0, 100);
  shadow_.blur_ = num("ShadowBlur", shadow_.blur_, 0, 100);
  shadow_.color_ = ini.ReadInteger(section, "ShadowColor", shadow_.color_);
  shadow_.offset_x_ = num("ShadowOffsetX", shadow_.offset_x_, -20, 20);
  shadow_.offset_y_ = num("ShadowOffsetY", shadow_.offset_y_, -20, 20);
  gradual_.enabled_ = flag("Gradual", gradual_.enabled_);
  gradual_.start_color_ = ini.ReadInteger(section, "GradualStartColor", gradual_.start_color_);
  gradual_.end_color_ = ini.ReadInteger(section, "GradualEndColor", gradual_.end_color_);
  int style = ini.ReadInteger(section, "GradualStyle", gradual_.style_);
  gradual_.style_ = style < 0 || style > gsCenterToTB ? gsLeftToRight : static_cast<TGradualStyle>(style);
  texture_.enabled_ = flag("Texture", texture_.enabled_);
  int mode = ini.ReadInteger(section, "TextureMode", texture_.mode_);
  texture_.mode_ = mode < 0 || mode > tmNormal ? tmTiled : static_cast<TTextureMode>(mode);
}

void TAAEffect::SaveToIni(TIniFile &ini, std::string_view section) const {
  ini.WriteInteger(section, "Alpha", alpha_);
  ini.WriteInteger(section, "Blur", blur_);
  ini.WriteInteger(section, "Noise", noise_);
  ini.WriteInteger(section, "Spray", spray_);
  ini.WriteInteger(section, "Angle", angle_);
  ini.WriteBool(section, "Outline", outline_);
  ini.WriteBool(section, "HorzMirror", horz_mirror_);
  ini.WriteBool(section, "VertMirror", vert_mirror_);
  ini.WriteBool(section, "Shadow", shadow_.enabled_);
  ini.WriteInteger(section, "ShadowAlpha", shadow_.alpha_);
  ini.WriteInteger(section, "ShadowBlur", shadow_.blur_);
  ini.WriteInteger(section, "ShadowColor", shadow_.color_);
  ini.WriteInteger(section, "ShadowOffsetX", shadow_.offset_x_);
  ini.WriteInteger(section, "ShadowOffsetY", shadow_.offset_y_);
  ini.WriteBool(section, "Gradual", gradual_.enabled_);
  ini.WriteInteger(section, "GradualStartColor", gradual_.start_color_);
  ini.WriteInteger(section, "GradualEndColor", gradual_.end_color_);
  ini.WriteInteger(section, "GradualStyle", gradual_.style_);
  ini.WriteBool(section, "Texture", texture_.enabled_);
  ini.WriteInteger(section, "TextureMode", texture_.mode_);
  ini.UpdateFile();
}

}  // namespace vx
