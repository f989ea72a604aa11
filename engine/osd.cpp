#include "engine/osd.h"

#include <utility>

#include "platform/canvas.h"
#include "platform/codepage.h"

namespace vx {

TOSD::Target TOSD::Lookup(std::string_view name) const {
  Target t;
  t.component = registry_->Find(name);
  if (t.component) t.ops = KindOps(t.component->mode);
  return t;
}

bool TOSD::AddComponent(std::string_view name, int kind) {
  if (name == kRootName) return false;
  const auto code = static_cast<std::uint8_t>(kind);  // only the low byte is read
  const TOSDKindOps *ops = KindOps(code);
  if (!ops || !ops->Create) return false;
  TOSDCreateContext context;
  context.frame_width = frame_->Width();
  context.frame_height = frame_->Height();
  std::unique_ptr<TOSDObject> component = ops->Create(context);
  if (!component) return false;
  // In a true-colour frame every component draws in true colour, with the frame's levels.
  if (frame_->TrueColour()) component->UseTrueColour(frame_->FrameAlpha());
  component->name = std::string(name);
  component->mode = static_cast<TOSD_Component>(code);
  registry_->Add(std::move(component));
  return true;
}

bool TOSD::DelComponent(std::string_view name) {
  const bool removed = registry_->Delete(name);
  frame_->RemoveColorLevels(name);
  return removed;
}

bool TOSD::SetComponent_Pos(std::string_view name, int x, int y, int w, int h) {
  TOSDObject *c = registry_->Find(name);
  if (!c) return false;
  c->x = x, c->y = y, c->w = w, c->h = h;
  return true;
}

bool TOSD::SetComponent_Color(std::string_view name, TColor color, int level) {
  if (name == kRootName) {
    frame_->AddColorLevel(name, color, level);
    return true;
  }
  const Target t = Lookup(name);
  if (!t.component) return false;
  if (t.ops && t.ops->SetColor) t.ops->SetColor(*t.component, color, level);
  frame_->AddColorLevel(name, color, level);
  return true;
}

bool TOSD::SetComponent_Font(std::string_view name, std::u16string_view face, TColor color,
                             int size) {
  TOSDObject *c = registry_->Find(name);
  if (!c) return false;
  TFont &font = c->Canvas().Font;
  font.Name = Utf16ToUtf8(face);
  font.SetSize(size);
  font.Color = color;
  return true;
}

// The rows that call one operation of the component's kind with the request's arguments.
template <class Op, class... Args>
bool TOSD::CallKind(std::string_view name, Op TOSDKindOps::*op, Args &&...args) const {
  const Target t = Lookup(name);
  if (!t.ops || !(t.ops->*op)) return false;
  (t.ops->*op)(*t.component, std::forward<Args>(args)...);
  return true;
}

bool TOSD::SetComponent_Visible(std::string_view name, bool /*ignored*/, bool visible) {
  return CallKind(name, &TOSDKindOps::SetVisible, visible);
}
bool TOSD::SetComponent_Text(std::string_view name, std::u16string_view text) {
  return CallKind(name, &TOSDKindOps::SetText, text);
}
bool TOSD::SetComponent_Time(std::string_view name, int ms) {
  return CallKind(name, &TOSDKindOps::SetTime, ms);
}
bool TOSD::GetComponent_TextRect(std::string_view name, std::u16string_view text, TRect &rect) {
  return CallKind(name, &TOSDKindOps::GetTextRect, text, rect);
}
bool TOSD::SetComponent_TextStep(std::string_view name, int step) {
  return CallKind(name, &TOSDKindOps::SetTextStep, step);
}
bool TOSD::SetComponent_TextScroll(std::string_view name, int scroll) {
  return CallKind(name, &TOSDKindOps::SetTextScroll, scroll);
}
bool TOSD::SetComponent_TextMode(std::string_view name, int mode) {
  return CallKind(name, &TOSDKindOps::SetTextMode, mode);
}
bool TOSD::SetComponent_TextGradual(std::string_view name, TColor color1, TColor color2) {
  return CallKind(name, &TOSDKindOps::SetTextGradual, color1, color2);
}
bool TOSD::SetComponent_TextHtml(std::string_view name, bool html) {
  return CallKind(name, &TOSDKindOps::SetTextHtml, html);
}
bool TOSD::SetComponent_RandomTextColor(std::string_view name, const TFiveColors &colors) {
  return CallKind(name, &TOSDKindOps::SetRandomTextColor, colors);
}
bool TOSD::SetComponent_PicFile(std::string_view name, std::u16string_view path) {
  return CallKind(name, &TOSDKindOps::SetPicFile, path);
}
bool TOSD::SetComponent_PicSplitFile(std::string_view name, std::u16string_view path, int count) {
  return CallKind(name, &TOSDKindOps::SetPicSplitFile, path, count);
}
bool TOSD::SetComponent_PicSplitTextPos(std::string_view name, int x, int step) {
  return CallKind(name, &TOSDKindOps::SetPicSplitTextPos, x, step);
}
bool TOSD::SetComponent_PicSplitShow(std::string_view name, int index) {
  return CallKind(name, &TOSDKindOps::SetPicSplitShow, index);
}
bool TOSD::SetComponent_PicMovie(std::string_view name, std::u16string_view path, int first,
                                 int last) {
  return CallKind(name, &TOSDKindOps::SetPicMovie, path, first, last);
}
bool TOSD::SetComponent_PicTime(std::string_view name, int ms) {
  return CallKind(name, &TOSDKindOps::SetPicTime, ms);
}
bool TOSD::SetComponent_MovieTime(std::string_view name, int ms, bool loop) {
  return CallKind(name, &TOSDKindOps::SetMovieTime, ms, loop);
}

bool TOSD::SetComponent_RandomColor(std::string_view name, const TFiveColors &colors) {
  const Target t = Lookup(name);
  if (!t.ops || !t.ops->SetRandomColor) return false;
  t.ops->SetRandomColor(*t.component, colors);
  for (TColor c : colors) frame_->AddColorLevel(name, c, kRandomColorLevel);
  return true;
}

bool TOSD::SetComponent_TextFile(std::string_view name, int /*ignored*/) {
  return registry_->Find(name) != nullptr;
}

}  // namespace vx
