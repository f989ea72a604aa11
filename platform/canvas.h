#pragma once
// TCanvas: a drawing surface over one TBitmap (a view, never an owner), with the font, brush,
// pen and clip of a device context. Every operation clips to the bitmap and to the clip
// region; nothing writes outside the bitmap whatever the coordinates. Drawing a colour on an
// 8-bit bitmap uses the bitmap's nearest palette entry.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/color.h"
#include "platform/types.h"

namespace vx {

class TBitmap;
class TCanvas;
using HDC = TCanvas *;

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

constexpr std::uint8_t ANSI_CHARSET = 0;
constexpr std::uint8_t DEFAULT_CHARSET = 1;
constexpr std::uint8_t GB2312_CHARSET = 134;

class TFont {
 public:
  // Face name, UTF-8 ("宋体", "Arial", ...); resolved through fontconfig with the
  // substitution table, case-insensitively; an unknown face falls back to the default face.
  std::string Name = "MS Sans Serif";
  TColor Color = clWindowText;
  TFontStyles Style = 0;
  int Escapement = 0;  // tenths of a degree, counter-clockwise
  std::uint8_t Charset = DEFAULT_CHARSET;

  // Size in points at 96 DPI; Height is the em height in pixels, negative as on the
  // original platform (Height = -MulDiv(Size, 96, 72)).
  int Size() const;
  void SetSize(int points);
  int Height() const { return height_; }
  void SetHeight(int height) { height_ = height; }
  void Assign(const TFont &other) { *this = other; }

 private:
  int height_ = -11;  // 8 points
};

enum class TBrushStyle { bsSolid, bsClear };
struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
};

enum class TPenStyle { psSolid, psDot, psClear };
enum class TPenMode { pmCopy, pmNot, pmXor };
struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = TPenStyle::psSolid;
  TPenMode Mode = TPenMode::pmCopy;
};

// Background modes (SetBkMode).
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawText flags.
constexpr unsigned DT_TOP = 0x0;
constexpr unsigned DT_LEFT = 0x0;
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;
constexpr unsigned DT_VCENTER = 0x4;
constexpr unsigned DT_BOTTOM = 0x8;
constexpr unsigned DT_WORDBREAK = 0x10;
constexpr unsigned DT_SINGLELINE = 0x20;
constexpr unsigned DT_EXPANDTABS = 0x40;
constexpr unsigned DT_NOCLIP = 0x100;
constexpr unsigned DT_CALCRECT = 0x400;
constexpr unsigned DT_NOPREFIX = 0x800;
constexpr unsigned DT_EDITCONTROL = 0x2000;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// Raster operations and region modes.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr int RGN_AND = 1;
constexpr int RGN_COPY = 5;

// The clip of a canvas: a rectangle, optionally narrowed by a per-pixel mask (a text path
// selected as clip). Always inside the bitmap: TCanvas::Clip() recomputes the bounds from the
// clip rectangle, the bitmap's size and the mask's extent each time it is asked.
class TClipRegion {
 public:
  const TRect &Bounds() const { return bounds_; }
  bool HasMask() const { return !mask_.empty(); }
  // Mask row for bitmap row y (one byte per bitmap column, non-zero = inside), or null when
  // there is no mask.
  const std::uint8_t *MaskRow(int y) const;
  bool Visible(int x, int y) const;

  void SetBounds(const TRect &bounds) { bounds_ = bounds; }
  // mask: bitmap-sized, width bytes per row.
  void SetMask(std::vector<std::uint8_t> mask, int width);
  void ClearMask() { mask_.clear(); mask_width_ = 0; }
  // The area the mask covers: (0, 0, width, rows); empty without a mask.
  TRect MaskBounds() const;

 private:
  TRect bounds_{};
  std::vector<std::uint8_t> mask_;
  int mask_width_ = 0;
};

class TCanvas {
 public:
  explicit TCanvas(TBitmap &bitmap);
  TCanvas(const TCanvas &) = delete;
  TCanvas &operator=(const TCanvas &) = delete;

  TBitmap &Bitmap() { return bitmap_; }
  HDC Handle() { return this; }

  TFont Font;
  TBrush Brush;
  TPen Pen;
  TPoint PenPos;

  // Background mode for text: TRANSPARENT or OPAQUE (text cells filled with the brush
  // colour). Defaults to OPAQUE, as a fresh device context does.
  int BkMode() const { return bk_mode_; }
  int SetBkMode(int mode);

  // Clip: the whole bitmap unless narrowed. ClipRect() is the bounding rectangle.
  TRect ClipRect() const;
  void SetClipRect(const TRect &rect);
  void ResetClip();
  const TClipRegion &Clip() const;
  // Narrows the clip to the non-zero bytes of a bitmap-sized mask (width bytes per row);
  // ResetClip removes it. On a pfARGB32 bitmap a mask byte is the coverage 0..255.
  void SetClipMask(std::vector<std::uint8_t> mask, int width);

  // Shapes. Right and bottom edges are exclusive.
  void FillRect(const TRect &rect);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect &rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }
  void FrameRect(const TRect &rect);
  void DrawFocusRect(const TRect &rect);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // Copies (source copy, converting through RGB unless both are 8-bit with one palette).
  void Draw(int x, int y, TBitmap &source);
  void StretchDraw(const TRect &dest, TBitmap &source);
  void CopyRect(const TRect &dest, TCanvas &source, const TRect &src);

  // Text, in the canvas font: binary coverage, anti-aliased on a pfARGB32 bitmap.
  void TextOut(int x, int y, std::u16string_view text);
  void TextRect(const TRect &rect, int x, int y, std::u16string_view text);
  TSize TextExtent(std::u16string_view text);
  int TextWidth(std::u16string_view text) { return TextExtent(text).cx; }
  int TextHeight(std::u16string_view text) { return TextExtent(text).cy; }
  // Returns the height of the text drawn (or measured, with DT_CALCRECT).
  int DrawText(std::u16string_view text, TRect &rect, unsigned format);

  // Text paths: text drawn between BeginPath and EndPath is recorded, not drawn.
  void BeginPath();
  void EndPath();
  bool SelectClipPath(int mode);        // RGN_COPY: the path becomes the clip
  void SelectClipRgn(std::nullptr_t);   // removes any clip
  void StrokeAndFillPath();             // fills the path with the brush

  // Low-level: paints `color` where coverage is non-zero, clipped. coverage is w x h with
  // `pitch` bytes per row, its top-left at (x, y) in the bitmap. On a pfARGB32 bitmap the
  // coverage (and a clip mask) is the share 0..255 of each pixel the colour covers; elsewhere
  // any non-zero value paints the whole pixel.
  void PaintCoverage(int x, int y, const std::uint8_t *coverage, int w, int h, int pitch,
                     TColor color);
  // Fills a horizontal run [x0, x1) of row y, clipped.
  void FillSpan(int x0, int x1, int y, TColor color);

 private:
  friend struct CanvasTextAccess;
  TBitmap &bitmap_;
  int bk_mode_ = OPAQUE;
  mutable TClipRegion clip_;
  bool clip_set_ = false;
  TRect clip_rect_{};  // the rectangle given to SetClipRect, kept as given
  bool in_path_ = false;
  std::vector<std::uint8_t> path_mask_;  // coverage recorded while a path is open
};

// Device-context style free functions, as the system calls them.
BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, DWORD rop);
BOOL StretchBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, int scx,
                int scy, DWORD rop);
// Colour-keyed copy with stretching: source pixels of `transparent` (0x00BBGGRR) are left out.
BOOL TransparentBlt(HDC dest, int x, int y, int cx, int cy, HDC source, int sx, int sy, int scx,
                    int scy, UINT transparent);
int SetBkMode(HDC dc, int mode);
int DrawTextW(HDC dc, const char16_t *text, int length, TRect *rect, unsigned format);

}  // namespace vx
