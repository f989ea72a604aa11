#include "aatext/aablend.h"

#include <algorithm>

#include "aatext/aafont.h"
#include "platform/canvas.h"

namespace vx {
namespace {

// One channel toward a target by d (coverage x strength); d >> 8 is the step in 1/256.
inline std::uint8_t Toward(std::uint8_t channel, int target, int step) {
  return static_cast<std::uint8_t>(channel + (((target - channel) * step) >> 8));
}

}  // namespace

TAABlend::TAABlend(TAAFont *owner) : owner_(owner) {
  fore_.SetPixelFormat(TPixelFormat::pf24bit);
  work_.SetPixelFormat(TPixelFormat::pf24bit);
}

void TAABlend::Assign(const TAABlend &source) {
  if (&source != this) fore_.Assign(source.fore_);
}

bool TAABlend::PrepareWork(int x, int y, const TAAMask &mask) {
  TCanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
  if (!canvas || mask.Width() == 0 || mask.Height() == 0) return false;
  const int w = mask.Width(), h = mask.Height();
  work_.SetPixelFormat(TPixelFormat::pf24bit);
  work_.SetSize(w, h);
  TCanvas &wc = work_.Canvas();
  wc.Brush = canvas->Brush;
  if (canvas->Brush.Style != TBrushStyle::bsSolid) {
    wc.Brush.Color = clBlack;
    wc.Brush.Style = TBrushStyle::bsSolid;
    wc.FillRect(Rect(0, 0, w, h));
    BitBlt(&wc, 0, 0, w, h, canvas, x, y, SRCCOPY);
  } else {
    wc.FillRect(Rect(0, 0, w, h));
  }
  return true;
}

void TAABlend::BlendColor(int x, int y, TColor color, int alpha, const TAAMask &mask) {
  if (!PrepareWork(x, y, mask)) return;
  const int f = std::clamp(alpha, 0, 100) * 256 / 100;
  const TColor rgb = ColorToRGB(color);
  const int cb = GetBValue(rgb), cg = GetGValue(rgb), cr = GetRValue(rgb);
  for (int row = 0; row < mask.Height(); ++row) {
    const std::uint8_t *m = mask.ScanLine(row);
    std::uint8_t *p = work_.ScanLine(row);
    for (int col = 0; col < mask.Width(); ++col, p += 3) {
      const int d = m[col] * f;
      if ((d & 0xFF00) == 0) continue;
      if (d >= 0xFF00) {
        p[0] = static_cast<std::uint8_t>(cb);
        p[1] = static_cast<std::uint8_t>(cg);
        p[2] = static_cast<std::uint8_t>(cr);
      } else {
        const int step = d >> 8;
        p[0] = Toward(p[0], cb, step);
        p[1] = Toward(p[1], cg, step);
        p[2] = Toward(p[2], cr, step);
      }
    }
  }
  owner_->Canvas()->Draw(x, y, work_);
}

void TAABlend::BlendForeground(int x, int y, int alpha, const TAAMask &mask) {
  if (fore_.Width() != mask.Width() || fore_.Height() != mask.Height() ||
      fore_.PixelFormat() != TPixelFormat::pf24bit)
    throw EInvalidForeBmp();
  if (!PrepareWork(x, y, mask)) return;
  const int f = std::clamp(alpha, 0, 100) * 256 / 100;
  for (int row = 0; row < mask.Height(); ++row) {
    const std::uint8_t *m = mask.ScanLine(row);
    const std::uint8_t *s = fore_.ScanLine(row);
    std::uint8_t *p = work_.ScanLine(row);
    for (int col = 0; col < mask.Width(); ++col, p += 3, s += 3) {
      const int d = m[col] * f;
      if ((d & 0xFF00) == 0) continue;
      if (d > 0xFEFF) {
        p[0] = s[0];
        p[1] = s[1];
        p[2] = s[2];
      } else {
        const int step = d >> 8;
        p[0] = Toward(p[0], s[0], step);
        p[1] = Toward(p[1], s[1], step);
        p[2] = Toward(p[2], s[2], step);
      }
    }
  }
  owner_->Canvas()->Draw(x, y, work_);
}

}  // namespace vx
