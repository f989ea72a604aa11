#include "aatext/aamask.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "aatext/aafont.h"
#include "platform/canvas.h"

namespace vx {
namespace {

TPalette MakeGreyPalette() {
  TPalette p{};
  for (int i = 0; i < 256; ++i) {
    auto v = static_cast<std::uint8_t>(i);
    p[static_cast<std::size_t>(i)] = {v, v, v, 0};
  }
  return p;
}

std::mt19937 &Generator() {
  thread_local std::mt19937 gen(0x41414655u);
  return gen;
}

// Rounds halves to even, as the original platform's Round does.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

// The font the samples are drawn with: the canvas font at scale times its height.
TFont ScaledFont(const TFont &font, int scale) {
  TFont f = font;
  long long h = static_cast<long long>(font.Height()) * scale;
  h = std::clamp<long long>(h, -100000, 100000);
  f.SetHeight(static_cast<int>(h));
  return f;
}

}  // namespace

const TPalette &GreyPalette() {
  static const TPalette palette = MakeGreyPalette();
  return palette;
}

int AARandom(int n) {
  if (n <= 0) return 0;
  return std::uniform_int_distribution<int>(0, n - 1)(Generator());
}

void AARandomize(unsigned seed) { Generator().seed(seed); }

TAAMask::TAAMask(TAAFont *owner) : owner_(owner) {}

void TAAMask::Assign(const TAAMask &source) {
  if (&source == this) return;
  quality_ = source.quality_;
  scale_ = source.scale_;
  width_ = source.width_;
  height_ = source.height_;
  stride_ = source.stride_;
  origin_ = source.origin_;
  bits_ = source.bits_;
}

void TAAMask::SetQuality(int quality) {
  quality_ = std::clamp(quality, 0, 3);
  scale_ = 4 - quality_;
}

void TAAMask::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == 0 || height == 0) width = height = 0;
  // The samples (width x scale by height x scale bytes) bound the size.
  double samples = static_cast<double>(width) * scale_ * height * scale_;
  if (samples > static_cast<double>(kMaxBitmapBytes))
    throw EOutOfResources("Text too large for a smooth mask");
  int stride = (width + 3) / 4 * 4;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * height, 0);
  width_ = width;
  height_ = height;
  stride_ = stride;
  bits_ = std::move(bits);
}

std::uint8_t *TAAMask::ScanLine(int line) {
  if (line < 0 || line >= height_) throw EInvalidLine();
  return bits_.data() + static_cast<std::size_t>(height_ - 1 - line) * stride_;
}

const std::uint8_t *TAAMask::ScanLine(int line) const {
  if (line < 0 || line >= height_) throw EInvalidLine();
  return bits_.data() + static_cast<std::size_t>(height_ - 1 - line) * stride_;
}

std::uint8_t TAAMask::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return ScanLine(y)[x];
}

TSize TAAMask::TextExtent(std::u16string_view text) {
  origin_ = {};
  TCanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
  if (!canvas) return {};
  const TFont &font = canvas->Font;
  // Measured on a scratch surface, as on a screen device context.
  TBitmap screen;
  screen.SetSize(1, 1);
  screen.Canvas().Font = ScaledFont(font, scale_);
  TSize measured = screen.Canvas().TextExtent(text);
  int w = (measured.cx + scale_ - 1) / scale_;
  int h = (measured.cy + scale_ - 1) / scale_;
  if ((font.Style & fsItalic) && !text.empty())
    w += RoundEven(static_cast<double>(w) / static_cast<double>(text.size()) * 0.3);
  if (font.Escapement != 0) {
    double t = font.Escapement * std::numbers::pi / 1800.0;
    double s = std::sin(-t), c = std::cos(-t);
    double hx = w / 2.0, hy = h / 2.0;
    const double corners[4][2] = {{-hx, -hy}, {hx, -hy}, {hx, hy}, {-hx, hy}};
    int minx = 0, maxx = 0, miny = 0, maxy = 0;
    TPoint first{};
    for (int i = 0; i < 4; ++i) {
      int px = RoundEven(corners[i][0] * c - corners[i][1] * s);
      int py = RoundEven(corners[i][0] * s + corners[i][1] * c);
      if (i == 0) {
        first = {px, py};
        minx = maxx = px;
        miny = maxy = py;
      }
      minx = std::min(minx, px);
      maxx = std::max(maxx, px);
      miny = std::min(miny, py);
      maxy = std::max(maxy, py);
    }
    w = maxx - minx;
    h = maxy - miny;
    origin_ = {w / 2 + first.X, h / 2 + first.Y};
  }
  return {w, h};
}

void TAAMask::DrawMask(std::u16string_view text) {
  TSize size = TextExtent(text);
  SetSize(size.cx, size.cy);
  TCanvas *canvas = owner_ ? owner_->Canvas() : nullptr;
  if (!canvas || width_ == 0) return;

  // The sample bitmap lives only for this rendering.
  TBitmap samples;
  samples.SetPixelFormat(TPixelFormat::pf8bit);
  samples.SetPalette(GreyPalette());
  samples.SetSize(width_ * scale_, height_ * scale_);
  TCanvas &sc = samples.Canvas();
  sc.Brush.Color = clBlack;
  sc.Brush.Style = TBrushStyle::bsSolid;
  sc.FillRect(Rect(0, 0, samples.Width(), samples.Height()));
  sc.Font = ScaledFont(canvas->Font, scale_);
  sc.Font.Color = clWhite;
  sc.Brush.Style = TBrushStyle::bsClear;
  sc.SetBkMode(TRANSPARENT);
  sc.TextOut(origin_.X * scale_, origin_.Y * scale_, text);

  for (int y = 0; y < height_; ++y) {
    std::uint8_t *dst = ScanLine(y);
    const int sy = y * scale_;
    switch (scale_) {
      case 4: {
        const std::uint8_t *r[4] = {samples.ScanLine(sy), samples.ScanLine(sy + 1),
                                    samples.ScanLine(sy + 2), samples.ScanLine(sy + 3)};
        for (int x = 0; x < width_; ++x) {
          int sx = x * 4, sum = 0;
          for (int k = 0; k < 4; ++k) sum += r[k][sx] + r[k][sx + 1] + r[k][sx + 2] + r[k][sx + 3];
          dst[x] = static_cast<std::uint8_t>(sum >> 4);
        }
        break;
      }
      case 3: {
        const std::uint8_t *r0 = samples.ScanLine(sy), *r1 = samples.ScanLine(sy + 1),
                           *r2 = samples.ScanLine(sy + 2);
        for (int x = 0; x < width_; ++x) {
          int sx = x * 3;
          int sum = r0[sx] + r0[sx + 1] + (r0[sx + 2] >> 1) + r1[sx] + r1[sx + 1] + r1[sx + 2] +
                    (r2[sx] >> 1) + r2[sx + 1] + r2[sx + 2];
          dst[x] = static_cast<std::uint8_t>(sum >> 3);
        }
        break;
      }
      case 2: {
        const std::uint8_t *r0 = samples.ScanLine(sy), *r1 = samples.ScanLine(sy + 1);
        for (int x = 0; x < width_; ++x) {
          int sx = x * 2;
          dst[x] = static_cast<std::uint8_t>((r0[sx] + r0[sx + 1] + r1[sx] + r1[sx + 1]) >> 2);
        }
        break;
      }
      default:
        std::copy_n(samples.ScanLine(sy), width_, dst);
        break;
    }
  }
}

void TAAMask::Outline() {
  if (width_ < 3 || height_ < 3) return;
  TAAMask src;
  src.Assign(*this);
  for (int y = 1; y <= height_ - 2; ++y) {
    const std::uint8_t *up = src.ScanLine(y - 1), *mid = src.ScanLine(y),
                       *down = src.ScanLine(y + 1);
    std::uint8_t *dst = ScanLine(y);
    for (int x = 1; x <= width_ - 2; ++x) {
      int c = std::abs(down[x + 1] - up[x - 1]) + std::abs(down[x] - up[x]) +
              std::abs(mid[x + 1] - mid[x - 1]) + std::abs(down[x - 1] - up[x + 1]);
      dst[x] = c >= 1024 ? 255 : static_cast<std::uint8_t>(c / 4);
    }
  }
}

void TAAMask::Spray(int amount) {
  if (amount <= 0 || width_ == 0) return;
  for (int y = 0; y < height_; ++y) {
    std::uint8_t *dst = ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      int r = AARandom(amount + 1);
      int sx = std::clamp(x + r - AARandom(2 * r), 0, width_ - 1);
      int sy = std::clamp(y + r - AARandom(2 * r), 0, height_ - 1);
      dst[x] = ScanLine(sy)[sx];  // reads what this pass may already have written
    }
  }
}

void TAAMask::HorzMirror() {
  for (int y = 0; y < height_; ++y) std::reverse(ScanLine(y), ScanLine(y) + width_);
}

void TAAMask::VertMirror() {
  for (int y = 0; y < height_ / 2; ++y)
    std::swap_ranges(ScanLine(y), ScanLine(y) + width_, ScanLine(height_ - 1 - y));
}

void TAAMask::Blur(int strength) {
  if (width_ == 0) return;
  strength = std::clamp(strength, 0, 100);
  const int k = RoundEven(strength * 255 / 100.0);
  if (k == 0) return;
  TAAMask src;
  src.Assign(*this);
  // Offsets -2..+2 clamped at the borders: the same as the offset tables of the first, second,
  // second-to-last and last rows and columns, and still inside masks narrower than 5.
  std::vector<int> cols(static_cast<std::size_t>(width_) * 5);
  for (int x = 0; x < width_; ++x)
    for (int d = -2; d <= 2; ++d) cols[static_cast<std::size_t>(x) * 5 + (d + 2)] = std::clamp(x + d, 0, width_ - 1);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t *rows[5];
    for (int d = -2; d <= 2; ++d) rows[d + 2] = src.ScanLine(std::clamp(y + d, 0, height_ - 1));
    std::uint8_t *dst = ScanLine(y);
    for (int x = 0; x < width_; ++x) {
      const int *cx = &cols[static_cast<std::size_t>(x) * 5];
      int sum = 0;
      for (const std::uint8_t *r : rows) sum += r[cx[0]] + r[cx[1]] + r[cx[2]] + r[cx[3]] + r[cx[4]];
      int v = (sum + 12) / 25;  // round(sum / 25): no ties with whole sums
      int old = dst[x];
      dst[x] = k == 255 ? static_cast<std::uint8_t>(v)
                        : static_cast<std::uint8_t>(old + (((v - old) * k) >> 8));
    }
  }
}

}  // namespace vx
