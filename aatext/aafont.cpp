#include "aatext/aafont.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace vx {
namespace {

// Puts a canvas's font (and brush) back when a call ends, however it ends.
class CanvasStateGuard {
 public:
  explicit CanvasStateGuard(TCanvas &canvas)
      : canvas_(canvas), font_(canvas.Font), brush_(canvas.Brush) {}
  ~CanvasStateGuard() {
    canvas_.Font = font_;
    canvas_.Brush = brush_;
  }
  CanvasStateGuard(const CanvasStateGuard &) = delete;
  CanvasStateGuard &operator=(const CanvasStateGuard &) = delete;

 private:
  TCanvas &canvas_;
  TFont font_;
  TBrush brush_;
};

inline std::uint8_t ClampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

// --- TAAFont ---

TAAFont::TAAFont(TCanvas *canvas)
    : canvas_(canvas), mask_(std::make_unique<TAAMask>(this)),
      blend_(std::make_unique<TAABlend>(this)) {}

TAAFont::~TAAFont() = default;

TSize TAAFont::TextExtent(std::u16string_view text) { return mask_->TextExtent(text); }

// --- TAAFontEx ---

TAAFontEx::TAAFontEx(TCanvas *canvas) : TAAFont(canvas), effect_(std::make_unique<TAAEffect>(this)) {}

TAAFontEx::~TAAFontEx() = default;

TSize TAAFontEx::TextExtent(std::u16string_view text) {
  if (!Canvas()) return {};
  TSize size;
  if (effect_->Angle() != 0) {
    CanvasStateGuard guard(*Canvas());
    Canvas()->Font.Escapement = effect_->Angle() * 10;
    size = TAAFont::TextExtent(text);
  } else {
    size = TAAFont::TextExtent(text);
  }
  if (effect_->Shadow().Enabled()) {
    size.cx += std::abs(effect_->Shadow().OffsetX());
    size.cy += std::abs(effect_->Shadow().OffsetY());
  }
  return size;
}

void TAAFontEx::CreateGradual() {
  TBitmap &fore = Blend().ForeBmp();
  const int w = Mask().Width(), h = Mask().Height();
  fore.SetPixelFormat(TPixelFormat::pf24bit);
  fore.SetSize(w, h);
  if (w == 0 || h == 0) return;
  const TAAGradual &g = effect_->Gradual();
  const TGradualStyle style = g.Style();
  const bool horizontal = style == gsLeftToRight || style == gsRightToLeft || style == gsCenterToLR;
  const bool centre = style == gsCenterToLR || style == gsCenterToTB;
  const int len = horizontal ? w : h;
  const int n = centre ? (len + 1) / 2 : len;
  const bool forward = style == gsLeftToRight || style == gsTopToBottom;
  const TColor a = ColorToRGB(forward ? g.StartColor() : g.EndColor());
  const TColor b = ColorToRGB(forward ? g.EndColor() : g.StartColor());
  // One line of B, G, R triples.
  std::vector<std::uint8_t> line(static_cast<std::size_t>(len) * 3);
  auto channel = [n](int ca, int cb, int i) { return static_cast<std::uint8_t>(ca + i * (cb - ca) / n); };
  for (int i = 0; i < n; ++i) {
    line[i * 3 + 0] = channel(GetBValue(a), GetBValue(b), i);
    line[i * 3 + 1] = channel(GetGValue(a), GetGValue(b), i);
    line[i * 3 + 2] = channel(GetRValue(a), GetRValue(b), i);
  }
  if (centre)
    for (int o = 0; o < n; ++o) std::copy_n(&line[o * 3], 3, &line[(len - 1 - o) * 3]);
  for (int y = 0; y < h; ++y) {
    std::uint8_t *row = fore.ScanLine(y);
    if (horizontal) {
      std::copy(line.begin(), line.end(), row);
    } else {
      for (int x = 0; x < w; ++x) std::copy_n(&line[y * 3], 3, row + x * 3);
    }
  }
}

void TAAFontEx::CreateNoiseBmp(int strength) {
  TBitmap &fore = Blend().ForeBmp();
  const int w = Mask().Width(), h = Mask().Height();
  fore.SetPixelFormat(TPixelFormat::pf24bit);
  fore.SetSize(w, h);
  const TColor c = ColorToRGB(Canvas() ? Canvas()->Font.Color : clBlack);
  const int base[3] = {GetBValue(c), GetGValue(c), GetRValue(c)};
  for (int y = 0; y < h; ++y) {
    std::uint8_t *row = fore.ScanLine(y);
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < 3; ++k)
        row[x * 3 + k] = ClampByte(base[k] + AARandom(strength) - strength / 2);
  }
}

void TAAFontEx::CreateTexture() {
  TBitmap &fore = Blend().ForeBmp();
  const int w = Mask().Width(), h = Mask().Height();
  fore.SetPixelFormat(TPixelFormat::pf24bit);
  fore.SetSize(w, h);
  if (w == 0 || h == 0) return;
  TCanvas &fc = fore.Canvas();
  fc.Brush.Style = TBrushStyle::bsSolid;
  fc.Brush.Color = Canvas() ? Canvas()->Font.Color : clBlack;
  fc.FillRect(Rect(0, 0, w, h));
  TBitmap &pic = effect_->Texture().Picture();
  if (pic.Empty()) return;
  const int pw = pic.Width(), ph = pic.Height();
  switch (effect_->Texture().Mode()) {
    case tmTiled:
      for (int j = 0; j <= h / ph; ++j)
        for (int i = 0; i <= w / pw; ++i) fc.Draw(i * pw, j * ph, pic);
      break;
    case tmStretched:
      fc.StretchDraw(Rect(0, 0, w, h), pic);
      break;
    case tmCenter:
      fc.Draw((w - pw) / 2, (h - ph) / 2, pic);
      break;
    case tmNormal:
      fc.Draw(0, 0, pic);
      break;
  }
}

void TAAFontEx::AddNoise(int strength) {
  TBitmap &fore = Blend().ForeBmp();
  if (fore.Empty()) return;
  const int bytes = fore.Width() * TBitmap::BitsPerPixel(fore.PixelFormat()) / 8;
  for (int y = 0; y < fore.Height(); ++y) {
    std::uint8_t *row = fore.ScanLine(y);
    for (int i = 0; i < bytes; ++i) row[i] = ClampByte(row[i] + AARandom(strength) - strength / 2);
  }
}

void TAAFontEx::TextOut(int x, int y, std::u16string_view text) {
  TCanvas *canvas = Canvas();
  if (!canvas || text.empty()) return;
  CanvasStateGuard guard(*canvas);
  const TAAEffect &e = *effect_;
  if (e.Angle() != 0) canvas->Font.Escapement = e.Angle() * 10;

  int tx = x, ty = y, sx = x, sy = y;
  const TAAShadow &shadow = e.Shadow();
  if (shadow.Enabled()) {
    tx = x + std::max(0, -shadow.OffsetX());
    ty = y + std::max(0, -shadow.OffsetY());
    sx = x + std::max(0, shadow.OffsetX());
    sy = y + std::max(0, shadow.OffsetY());
  }

  TAAMask &mask = Mask();
  mask.DrawMask(text);
  if (e.Outline()) mask.Outline();
  if (e.Spray() > 0) mask.Spray(e.Spray());
  if (e.HorzMirror()) mask.HorzMirror();
  if (e.VertMirror()) mask.VertMirror();

  if (shadow.Enabled()) {
    TAAMask shade;
    shade.Assign(mask);
    if (shadow.Blur() > 0) shade.Blur(shadow.Blur());
    Blend().BlendColor(sx, sy, shadow.Color(), e.Alpha() * shadow.Alpha() / 100, shade);
    canvas->Brush.Style = TBrushStyle::bsClear;  // the text blends over the shadow
  }

  if (e.Blur() > 0) mask.Blur(e.Blur());

  const TAATexture &texture = e.Texture();
  if (texture.Enabled() && !texture.Picture().Empty()) {
    CreateTexture();
    if (e.Noise() > 0) AddNoise(e.Noise());
    Blend().BlendForeground(tx, ty, e.Alpha(), mask);
  } else if (e.Gradual().Enabled()) {
    CreateGradual();
    if (e.Noise() > 0) AddNoise(e.Noise());
    Blend().BlendForeground(tx, ty, e.Alpha(), mask);
  } else if (e.Noise() > 0) {
    CreateNoiseBmp(e.Noise());
    Blend().BlendForeground(tx, ty, e.Alpha(), mask);
  } else {
    Blend().BlendColor(tx, ty, canvas->Font.Color, e.Alpha(), mask);
  }
}

}  // namespace vx
