#pragma once
// TOSDObject: what every on-screen component shares. A component is at the same time a
// TOSDGraphic (its own 8-bit bitmap, canvas and font) and the holder of its settings. The
// engine creates it, assigns name and mode, writes x, y, w, h directly, and calls the
// operations of the component's concrete class, which it knows from mode.
//
// Contract for every kind:
// - Setters only store. Only SetVisible and the component's own timers redraw the bitmap.
// - Timers are owned by the component (std::unique_ptr<TTimer>), so they stop when the
//   engine destroys the component.
// - Sizes from the host go through SetBitmapSize, which never allocates for absurd values.

#include <cstdint>
#include <string>

#include "imaging/osd_graphic.h"
#include "platform/color.h"

namespace vx {

enum TOSD_Component : std::uint8_t {
  eosdPanel = 0,
  eOSDScrollText = 1,
  eOSDText = 2,
  eOSDPicute = 3,
  eOSDDateTime = 4,
};
constexpr int kComponentKindCount = 5;

// Largest component bitmap a host size can ask for; beyond it the bitmap is left empty.
constexpr int kMaxComponentSide = 16384;
constexpr long long kMaxComponentPixels = 16LL << 20;

class TOSDObject : public TOSDGraphic {
 public:
  TOSDObject() = default;
  ~TOSDObject() override = default;

  // Stores the colour pair; no redraw.
  void SetColor(TColor color, int level) {
    bkcolor = color;
    bklevel = level;
  }
  // Stores the flag; the concrete classes redraw in their own SetVisible.
  void SetVisible(bool value) { visible = value; }

  // Resizes the bitmap to width x height; a negative, zero or absurd size gives an empty
  // bitmap instead (never a huge allocation). Returns whether the bitmap is non-empty.
  bool SetBitmapSize(int width, int height);

  // Published state, named as the system names it (all start zero, false or empty).
  bool visible = false;
  TColor bkcolor = 0;
  int bklevel = 0;     // stored, never drawn with: the engine records it for the card
  std::string name;    // 8-bit, system code page
  std::u16string text;
  int x = 0, y = 0;    // top-left corner in the frame
  int w = 0, h = 0;    // requested size (panel and scrolling text read it)
  TOSD_Component mode = eosdPanel;
};

}  // namespace vx
