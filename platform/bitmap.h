#pragma once
// TBitmap: a device-independent bitmap with one owner. Scan lines are top-down (row 0 is the
// top), each row padded to 4 bytes. 24-bit pixels are B,G,R; 32-bit pixels are B,G,R,X.
// 8-bit pixels index a 256-entry palette. pfARGB32 pixels are premultiplied B,G,R,A (a
// true-colour surface: what is drawn on it carries alpha, see TColorAlpha).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/color.h"
#include "platform/stream.h"
#include "platform/types.h"

namespace vx {

class TCanvas;
class PaletteMap;

enum class TPixelFormat { pf8bit, pf24bit, pf32bit, pfARGB32 };

// The alpha a colour is drawn with on a pfARGB32 bitmap (0 transparent, 255 opaque). A bitmap
// without one draws every colour opaque.
class TColorAlpha {
 public:
  virtual ~TColorAlpha() = default;
  virtual std::uint8_t AlphaOf(TColor rgb) const = 0;
};

struct TPaletteEntry {
  std::uint8_t peRed = 0;
  std::uint8_t peGreen = 0;
  std::uint8_t peBlue = 0;
  std::uint8_t peFlags = 0;
  friend bool operator==(const TPaletteEntry &, const TPaletteEntry &) = default;
};
using TPalette = std::array<TPaletteEntry, 256>;

// Any bitmap whose pixel storage would exceed this is refused with EOutOfResources.
constexpr std::size_t kMaxBitmapBytes = std::size_t{64} << 20;
// pfARGB32 bitmaps may be larger: a 7680 x 4320 true-colour frame takes 127 MiB.
constexpr std::size_t kMaxTrueColourBitmapBytes = std::size_t{128} << 20;

class TBitmap {
 public:
  TBitmap();
  virtual ~TBitmap();
  TBitmap(const TBitmap &) = delete;
  TBitmap &operator=(const TBitmap &) = delete;

  // Copies size, format, palette, pixels and transparent colour.
  void Assign(const TBitmap &source);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  // Resizing keeps the old pixels at the top-left; new pixels are zero. Negative sizes count
  // as 0. A size over kMaxBitmapBytes raises EOutOfResources and leaves the bitmap unchanged.
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels (to 8 bits through the nearest palette entry; to pfARGB32 opaque;
  // from pfARGB32 as composed over black).
  void SetPixelFormat(TPixelFormat format);
  // Converts to pfARGB32 keeping what is transparent: a picture with an alpha channel
  // (HasAlphaChannel) keeps its alpha; otherwise pixels of `key` become transparent (alpha 0;
  // clNone keys out nothing) and every other pixel is opaque.
  void ConvertToPremultiplied(TColor key);
  // A 32-bit bitmap whose fourth byte is straight (not premultiplied) alpha, as a 32-bit BMP
  // with alpha or a PNG loads. Any change of format clears it.
  bool HasAlphaChannel() const { return alpha_channel_; }
  void SetAlphaChannel(bool on) { alpha_channel_ = on && format_ == TPixelFormat::pf32bit; }
  // How colours drawn on a pfARGB32 bitmap get their alpha; shared, not copied by Assign (it
  // belongs to where the bitmap is drawn, like its canvas).
  void SetColorAlpha(std::shared_ptr<const TColorAlpha> alpha) { color_alpha_ = std::move(alpha); }
  const TColorAlpha *ColorAlpha() const { return color_alpha_.get(); }
  // The alpha `rgb` is drawn with on this bitmap: 255 unless the bitmap is pfARGB32 and has a
  // TColorAlpha.
  std::uint8_t AlphaOf(TColor rgb) const;
  static int BitsPerPixel(TPixelFormat format);

  const TPalette &Palette() const { return palette_; }
  // Installs entries 0..n-1 (the rest keep their values); pixel indices are unchanged.
  void SetPalette(std::span<const TPaletteEntry> entries);
  // Nearest palette entry to a colour: exact match first, then the smallest squared RGB
  // distance, lowest index on ties. Cached per palette.
  std::uint8_t NearestIndex(TColor color) const;

  int BytesPerScanLine() const { return stride_; }
  // Row access; raises EInvalidOperation for a row outside 0..Height-1.
  std::uint8_t *ScanLine(int row);
  const std::uint8_t *ScanLine(int row) const;
  std::span<std::uint8_t> Bits() { return {bits_, static_cast<std::size_t>(stride_) * height_}; }

  // Colour of one pixel as 0x00BBGGRR (palette resolved; on pfARGB32 the straight colour,
  // black where transparent); -1 outside the bitmap.
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // The colour keyed out by transparent copies: set explicitly, or the bottom-left pixel's
  // (clNone, which keys out nothing, for an empty bitmap).
  TColor TransparentColor() const;
  void SetTransparentColor(TColor color);
  void ResetTransparentColor();

  TCanvas &Canvas();

  // Windows BMP. Loading replaces size, format and palette with the file's own; a corrupt,
  // truncated or hostile file raises EInvalidGraphic naming the problem and leaves the
  // bitmap exactly as it was. Other depths than 8/24/32 load as 24-bit (8-bit when paletted).
  void LoadFromBytes(std::span<const std::byte> bytes);
  virtual void LoadFromStream(TStream &stream);
  void LoadFromFile(const std::string &path);
  virtual void SaveToStream(TStream &stream) const;
  void SaveToFile(const std::string &path) const;
  std::vector<std::byte> SaveToBytes() const;

  // Wraps memory the caller owns (for a host's device context). The bitmap never frees or
  // resizes it; SetSize/SetPixelFormat on an attached bitmap raise EInvalidOperation.
  void AttachExternal(void *bits, int width, int height, int stride, TPixelFormat format);
  bool IsExternal() const { return external_; }

  // Bumped on every change through the bitmap or its canvas; pictures use it to refresh.
  std::uint64_t ChangeCount() const { return change_count_; }
  void Changed() { ++change_count_; }

 private:
  friend const PaletteMap &PaletteMapOf(const TBitmap &bitmap);
  void Reallocate(int width, int height, TPixelFormat format, bool keep);
  // Decodes a BMP and installs it (unchanged on failure); returns the bytes it used.
  std::size_t LoadBmp(std::span<const std::byte> bytes);

  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  TPixelFormat format_ = TPixelFormat::pf24bit;
  TPalette palette_{};
  std::vector<std::uint8_t> storage_;
  std::uint8_t *bits_ = nullptr;
  bool external_ = false;
  bool transparent_set_ = false;
  bool alpha_channel_ = false;
  std::shared_ptr<const TColorAlpha> color_alpha_;
  TColor transparent_color_ = 0;
  std::uint64_t change_count_ = 0;
  mutable std::unique_ptr<struct PaletteCache> cache_;
  std::unique_ptr<TCanvas> canvas_;
};

}  // namespace vx
