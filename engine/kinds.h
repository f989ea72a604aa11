#pragma once
// The engine's operation table: one TOSDKindOps per component kind, saying what each engine
// operation does to a component of that kind. A null entry means the operation does not
// apply to the kind: the request changes nothing and the engine operation returns false.
//
// Adding a kind (or a row for a kind):
//   1. Write engine/kind_<kind>.cpp defining `const TOSDKindOps k<Kind>Ops = {...}` with
//      designated initializers for the rows that apply (see kind_panel.cpp). Use As<T>() to
//      reach the concrete class. New files in engine/ are picked up by the build.
//   2. Declare it below and put its address in the kind's slot of the table in kinds.cpp.
// Rows that apply to every kind alike (position, font) are the engine's own and not here; so
// is the level record of SetComponent_Color, which the engine keeps for every kind.

#include <array>
#include <memory>
#include <string_view>
#include <typeinfo>

#include "components/object.h"
#include "platform/types.h"

namespace vx {

// What a kind's constructor may need from the engine.
struct TOSDCreateContext {
  int frame_width = kFrameWidth;
  int frame_height = kFrameHeight;
};

using TFiveColors = std::array<TColor, 5>;

struct TOSDKindOps {
  // AddComponent: a fresh component of the kind (the engine then assigns name and mode).
  std::unique_ptr<TOSDObject> (*Create)(const TOSDCreateContext &) = nullptr;
  // SetComponent_Visible: the kind's visible setter (stores and redraws).
  void (*SetVisible)(TOSDObject &, bool) = nullptr;
  // SetComponent_Color: the kind's SetColor. Null: the component is left unchanged, and the
  // engine still records the level (the picture).
  void (*SetColor)(TOSDObject &, TColor color, int level) = nullptr;
  void (*SetText)(TOSDObject &, std::u16string_view text) = nullptr;
  void (*SetTime)(TOSDObject &, int ms) = nullptr;
  // GetComponent_TextRect: measures text; fills rect.
  void (*GetTextRect)(TOSDObject &, std::u16string_view text, TRect &rect) = nullptr;
  void (*SetTextStep)(TOSDObject &, int step) = nullptr;
  void (*SetTextScroll)(TOSDObject &, int scroll) = nullptr;
  void (*SetTextMode)(TOSDObject &, int mode) = nullptr;
  void (*SetTextGradual)(TOSDObject &, TColor color1, TColor color2) = nullptr;
  void (*SetTextHtml)(TOSDObject &, bool html) = nullptr;
  // SetComponent_RandomColor: the engine records the five levels (111) when this is set.
  void (*SetRandomColor)(TOSDObject &, const TFiveColors &) = nullptr;
  void (*SetRandomTextColor)(TOSDObject &, const TFiveColors &) = nullptr;
  void (*SetPicFile)(TOSDObject &, std::u16string_view path) = nullptr;
  void (*SetPicSplitFile)(TOSDObject &, std::u16string_view path, int count) = nullptr;
  void (*SetPicSplitTextPos)(TOSDObject &, int x, int step) = nullptr;
  void (*SetPicSplitShow)(TOSDObject &, int index) = nullptr;
  void (*SetPicMovie)(TOSDObject &, std::u16string_view path, int first, int last) = nullptr;
  void (*SetPicTime)(TOSDObject &, int ms) = nullptr;
  void (*SetMovieTime)(TOSDObject &, int ms, bool loop) = nullptr;
  // ComposeFrame: draws the visible component onto the frame at its (x, y). Null means a
  // plain copy of the whole bitmap; the picture sets its keyed copy here.
  void (*Draw)(TOSDObject &, TOSDGraphic &frame) = nullptr;
};

// The operations of a kind, or null for a kind value without a class.
const TOSDKindOps *KindOps(int kind);

// The component as its concrete class; throws std::bad_cast if the class does not match.
template <class T>
T &As(TOSDObject &component) {
  return dynamic_cast<T &>(component);
}

extern const TOSDKindOps kPanelOps;
extern const TOSDKindOps kPictureOps;
extern const TOSDKindOps kScrollTextOps;
extern const TOSDKindOps kTextOps;
extern const TOSDKindOps kDateTimeOps;

}  // namespace vx
