#pragma once
// TOSDGraphic: the bitmap class of the whole system. The engine's 640 x 480 frame and every
// component are TOSDGraphics: 8 bits per pixel over the fixed FramePalette. The frame also
// keeps the colour levels the host sets (FColorLevels) and writes the frame stream the card
// takes: ">" + 24-bit length + 16-bit width + 16-bit height (big-endian), 256 A/Y/Cb/Cr
// palette entries, then one palette index per pixel, rows top-down without padding.

#include <array>
#include <cstddef>
#include <memory>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/color_levels.h"
#include "platform/bitmap.h"
#include "platform/color.h"
#include "platform/stream.h"

namespace vx {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr TColor kKeyColor = 0x00FF00;  // every frame is cleared with it
constexpr std::uint8_t kKeyIndex = 250;  // its FramePalette index
constexpr std::uint8_t kFrameStreamMagic = 0x3E;  // ">"
constexpr std::size_t kFrameStreamHeaderBytes = 8;
constexpr std::size_t kCardPaletteBytes = 1024;
constexpr std::size_t kFrameStreamPrefixBytes = kFrameStreamHeaderBytes + kCardPaletteBytes;
constexpr std::size_t FrameStreamSize(int width, int height) {
  return kFrameStreamPrefixBytes + static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}
// 308,232 bytes: the buffer the card expects for one frame.
constexpr std::size_t kFrameStreamBytes = FrameStreamSize(kFrameWidth, kFrameHeight);

// The card's studio-range colour equations, in integers so that grays stay at 128.
constexpr int RGBToY(int r, int g, int b) { return (257 * r + 504 * g + 98 * b + 16000) / 1000; }
constexpr int RGBToCb(int r, int g, int b) { return (439 * b - 148 * r - 291 * g + 128000) / 1000; }
constexpr int RGBToCr(int r, int g, int b) { return (439 * r - 368 * g - 71 * b + 128000) / 1000; }

// The smallest and largest true-colour frames.
constexpr int kMinTrueColourSide = 16;
constexpr int kMaxTrueColourWidth = 7680;
constexpr int kMaxTrueColourHeight = 4320;

// The fixed 256-colour palette of every frame and component.
const TPalette &FramePalette();

// One card palette entry per FramePalette entry, in byte order A, Y, Cb, Cr; A is 255.
using TCardPalette = std::array<std::uint8_t, kCardPaletteBytes>;
const TCardPalette &CardPalette();

// Nearest FramePalette index by |dR| + |dG| + |dB|: an exact match returns its first index,
// ties keep the lower index, and a colour no entry comes within 100 of yields 0. Only the
// low three bytes (R, G, B) are read.
std::uint8_t NearestPaletteIndex(TColor color);

// How colours become alpha in a true-colour frame, as the card palette makes them: the key
// colour is transparent, and every other colour has the level of the palette entry it would
// be drawn as in the palette frame (255 unless the host set one). Shared by the frame and
// every component drawn into it, on the library's thread.
class TLevelAlpha final : public TColorAlpha {
 public:
  TLevelAlpha();
  std::uint8_t AlphaOf(TColor rgb) const override;
  // The A bytes of a card palette (BuildCardPalette).
  void SetLevels(const TCardPalette &palette);

 private:
  std::array<std::uint8_t, 256> levels_;
  TBitmap palette_;  // FramePalette, for the entry a colour is drawn as
};

class TOSDGraphic : public TBitmap {
 public:
  // 8 bits per pixel with FramePalette, empty (0 x 0); the caller sets the size.
  TOSDGraphic();
  ~TOSDGraphic() override;

  static std::uint8_t NearestPaletteIndex(TColor color) { return vx::NearestPaletteIndex(color); }

  // Draws in true colour from now on (pfARGB32, the colours' alpha from `alpha`); a component
  // of a true-colour frame, with the frame's FrameAlpha. Pictures it is given are converted.
  void UseTrueColour(std::shared_ptr<const TColorAlpha> alpha);
  bool TrueColour() const { return true_colour_ != nullptr; }
  // The same kind of pixels as `other` (a component's scratch bitmap follows its component).
  void FollowFormat(const TOSDGraphic &other);
  // The frame itself: true colour at width x height, its colour levels becoming the alpha of
  // their colours (FrameAlpha, shared with the components).
  void MakeTrueColourFrame(int width, int height);
  std::shared_ptr<const TColorAlpha> FrameAlpha() const { return true_colour_; }

  // Records "name=LL,II" (level and palette index of the colour, upper-case hex). A level
  // outside 0..255 is clamped into one byte first, so every record stays readable. An older
  // record with the same name (ignoring case) and the same index is dropped before the new one
  // is appended at the end: it could never win again, so the card palette is unchanged and
  // the record stays bounded however often a host sets colours.
  void AddColorLevel(std::string_view name, TColor color, int level);
  // Drops every record whose name equals name, ignoring ASCII case; the rest keep their order.
  void RemoveColorLevels(std::string_view name);
  // The records as text, oldest first.
  std::vector<std::string> ColorLevels() const { return FColorLevels.Entries(); }

  // CardPalette with the recorded levels in the A bytes, later records winning.
  TCardPalette BuildCardPalette() const;

  // The frame stream (the palette frame only: on a true-colour graphic Save raises
  // EInvalidOperation). Save converts a bitmap of another depth to 8 bits first; sizes above
  // 65535 cannot be expressed and raise EInvalidOperation. Load reads one frame stream from
  // the stream's position when bytes remain there (otherwise it does nothing): a first byte
  // other than 0x3E raises EInvalidGraphic "不支持的文件格式！", a zero size EInvalidOperation,
  // a stream too short for the size in its header EReadError; in all these cases the bitmap
  // keeps its contents. The palette bytes are skipped: the bitmap keeps FramePalette.
  virtual void LoadFromFrameFile(const std::string &path);
  virtual void SaveToFrameFile(const std::string &path);
  virtual void LoadFromFrameStream(TStream &stream);
  virtual void SaveToFrameStream(TStream &stream);

  // Writes the frame stream straight into out (at least FrameStreamBytes() long) and returns
  // the bytes written: the same bytes SaveToFrameStream writes, without a stream in between.
  std::size_t SaveToFrameBytes(std::span<std::byte> out);
  std::size_t FrameStreamBytes() const { return FrameStreamSize(Width(), Height()); }

 private:
  void WriteHeaderAndPalette(std::uint8_t *out) const;
  // Converts to 8 bits if needed, then hands the frame stream to write(bytes, count) in
  // order: header and palette, then the pixel rows.
  template <class Write>
  void WriteFrameStream(Write &&write);

  void RefreshLevels();

  TColorLevels FColorLevels;
  std::shared_ptr<const TColorAlpha> true_colour_;
  std::shared_ptr<TLevelAlpha> frame_alpha_;  // the frame's own, when it is true colour
};

extern const char kInvalidFrameStreamMessage[];  // "不支持的文件格式！"

}  // namespace vx
