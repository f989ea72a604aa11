#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/blend.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/palette_map.h"
#include "platform/pixels.h"

namespace vx {

namespace {

// Row size in bytes, padded to 4; refused (with the bitmap untouched) when the storage
// would pass the cap. A single row over the cap is refused even at height 0.
int CheckedStride(long long width, long long height, TPixelFormat format) {
  const long long bits = width * TBitmap::BitsPerPixel(format);
  const long long stride = (bits + 31) / 32 * 4;
  const bool true_colour = format == TPixelFormat::pfARGB32;
  const auto cap = static_cast<long long>(true_colour ? kMaxTrueColourBitmapBytes : kMaxBitmapBytes);
  if (stride > cap || (height > 0 && stride * height > cap))
    throw EOutOfResources("Bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                          " at " + std::to_string(TBitmap::BitsPerPixel(format)) +
                          " bits per pixel exceeds the " + (true_colour ? "128" : "64") +
                          " MiB limit");
  return static_cast<int>(stride);
}

std::vector<std::uint8_t> AllocatePixels(std::size_t bytes) {
  try {
    return std::vector<std::uint8_t>(bytes, 0);
  } catch (const std::bad_alloc &) {
    throw EOutOfResources("Out of memory for bitmap pixels");
  }
}

}  // namespace

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

int TBitmap::BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    case TPixelFormat::pfARGB32: return 32;
  }
  return 24;
}

void TBitmap::Assign(const TBitmap &source) {
  if (&source == this) return;
  const int row_bytes = source.width_ * BytesPerPixel(source.format_);
  if (external_) {
    if (source.width_ != width_ || source.height_ != height_ || source.format_ != format_)
      throw EInvalidOperation("Cannot assign a bitmap of another size or format to external memory");
  } else {
    std::vector<std::uint8_t> storage =
        AllocatePixels(static_cast<std::size_t>(source.stride_) * std::max(source.height_, 0));
    storage_.swap(storage);
    bits_ = storage_.data();
    width_ = source.width_;
    height_ = source.height_;
    stride_ = source.stride_;
    format_ = source.format_;
  }
  for (int y = 0; row_bytes > 0 && y < height_; ++y)
    std::memcpy(bits_ + static_cast<std::size_t>(stride_) * y,
                source.bits_ + static_cast<std::size_t>(source.stride_) * y,
                static_cast<std::size_t>(row_bytes));
  if (palette_ != source.palette_) {
    palette_ = source.palette_;
    cache_.reset();
  }
  transparent_set_ = source.transparent_set_;
  transparent_color_ = source.transparent_color_;
  alpha_channel_ = source.alpha_channel_;
  Changed();
}

void TBitmap::SetWidth(int width) { SetSize(width, height_); }
void TBitmap::SetHeight(int height) { SetSize(width_, height); }
void TBitmap::SetSize(int width, int height) {
  Reallocate(std::max(width, 0), std::max(height, 0), format_, true);
}

void TBitmap::Reallocate(int width, int height, TPixelFormat format, bool keep) {
  if (width == width_ && height == height_ && format == format_) return;
  if (external_) throw EInvalidOperation("Cannot resize a bitmap over external memory");
  const int stride = CheckedStride(width, height, format);
  std::vector<std::uint8_t> storage =
      AllocatePixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  if (keep && format == format_) {
    const int rows = std::min(height, height_);
    const int row_bytes = std::min(width, width_) * BytesPerPixel(format);
    // A zero-width side has no bytes to keep (and a null row pointer memcpy must not see).
    for (int y = 0; row_bytes > 0 && y < rows; ++y)
      std::memcpy(storage.data() + static_cast<std::size_t>(stride) * y,
                  bits_ + static_cast<std::size_t>(stride_) * y, static_cast<std::size_t>(row_bytes));
  }
  storage_.swap(storage);
  bits_ = storage_.data();
  width_ = width;
  height_ = height;
  stride_ = stride;
  if (format != format_) alpha_channel_ = false;
  format_ = format;
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  if (external_) throw EInvalidOperation("Cannot change the pixel format of external memory");
  const int stride = CheckedStride(width_, height_, format);
  std::vector<std::uint8_t> storage =
      AllocatePixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height_));
  if (!Empty()) {
    Surface src = SurfaceOf(*this);
    Surface dst{storage.data(), stride, width_, height_, BytesPerPixel(format), &palette_,
                format == TPixelFormat::pfARGB32};
    BlitPlan plan;
    plan.xs.resize(static_cast<std::size_t>(width_));
    plan.ys.resize(static_cast<std::size_t>(height_));
    for (int i = 0; i < width_; ++i) plan.xs[static_cast<std::size_t>(i)] = i;
    for (int i = 0; i < height_; ++i) plan.ys[static_cast<std::size_t>(i)] = i;
    RunBlit(dst, format == TPixelFormat::pf8bit ? &PaletteMapOf(*this) : nullptr, src, plan);
  }
  storage_.swap(storage);
  bits_ = storage_.data();
  stride_ = stride;
  format_ = format;
  alpha_channel_ = false;
  Changed();
}

void TBitmap::ConvertToPremultiplied(TColor key) {
  if (format_ == TPixelFormat::pfARGB32) return;
  if (alpha_channel_) {
    // Straight alpha in the fourth byte: premultiply in place, the format changes only.
    for (int y = 0; y < height_ && width_ > 0; ++y) {
      std::uint8_t *p = ScanLine(y);
      for (int x = 0; x < width_; ++x, p += 4)
        blend::Premultiply(p, p[2], p[1], p[0], p[3]);
    }
    format_ = TPixelFormat::pfARGB32;
    alpha_channel_ = false;
    Changed();
    return;
  }
  const TColor rgb = key == clNone ? clNone : ColorToRGB(key);
  std::vector<std::uint8_t> keyed;
  if (rgb != clNone && !Empty()) {
    keyed.resize(static_cast<std::size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x)
        keyed[static_cast<std::size_t>(y) * width_ + x] = GetPixel(x, y) == rgb;
  }
  SetPixelFormat(TPixelFormat::pfARGB32);
  for (int y = 0; !keyed.empty() && y < height_; ++y) {
    std::uint8_t *p = ScanLine(y);
    for (int x = 0; x < width_; ++x, p += 4)
      if (keyed[static_cast<std::size_t>(y) * width_ + x]) p[0] = p[1] = p[2] = p[3] = 0;
  }
  Changed();
}

std::uint8_t TBitmap::AlphaOf(TColor rgb) const {
  if (format_ != TPixelFormat::pfARGB32 || !color_alpha_) return 255;
  return color_alpha_->AlphaOf(rgb);
}

void TBitmap::SetPalette(std::span<const TPaletteEntry> entries) {
  const std::size_t n = std::min<std::size_t>(entries.size(), palette_.size());
  std::copy_n(entries.begin(), n, palette_.begin());
  cache_.reset();
  Changed();
}

const PaletteMap &PaletteMapOf(const TBitmap &bitmap) {
  if (!bitmap.cache_) bitmap.cache_ = std::make_unique<PaletteCache>();
  if (!bitmap.cache_->map) bitmap.cache_->map = SharedPaletteMap(bitmap.palette_);
  return *bitmap.cache_->map;
}

std::uint8_t TBitmap::NearestIndex(TColor color) const {
  const TColor rgb = ColorToRGB(color);
  return PaletteMapOf(*this).Nearest(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

std::uint8_t *TBitmap::ScanLine(int row) {
  if (row < 0 || row >= height_ || width_ <= 0) throw EInvalidOperation("Scan line index out of range");
  return bits_ + static_cast<std::size_t>(stride_) * row;
}

const std::uint8_t *TBitmap::ScanLine(int row) const {
  if (row < 0 || row >= height_ || width_ <= 0) throw EInvalidOperation("Scan line index out of range");
  return bits_ + static_cast<std::size_t>(stride_) * row;
}

TColor TBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
  const std::uint8_t *p = bits_ + static_cast<std::size_t>(stride_) * y;
  switch (format_) {
    case TPixelFormat::pf8bit: {
      const TPaletteEntry &e = palette_[p[x]];
      return RGB(e.peRed, e.peGreen, e.peBlue);
    }
    case TPixelFormat::pf24bit: p += 3 * x; break;
    case TPixelFormat::pf32bit: p += 4 * x; break;
    case TPixelFormat::pfARGB32: return static_cast<TColor>(blend::Unpremultiply(p + 4 * x));
  }
  return RGB(p[2], p[1], p[0]);
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const TColor rgb = ColorToRGB(color);
  std::uint8_t *p = bits_ + static_cast<std::size_t>(stride_) * y;
  switch (format_) {
    case TPixelFormat::pf8bit: p[x] = NearestIndex(rgb); Changed(); return;
    case TPixelFormat::pf24bit: p += 3 * x; break;
    case TPixelFormat::pf32bit: p += 4 * x; p[3] = 0; break;
    case TPixelFormat::pfARGB32:
      blend::Premultiply(p + 4 * x, GetRValue(rgb), GetGValue(rgb), GetBValue(rgb), AlphaOf(rgb));
      Changed();
      return;
  }
  p[0] = static_cast<std::uint8_t>(GetBValue(rgb));
  p[1] = static_cast<std::uint8_t>(GetGValue(rgb));
  p[2] = static_cast<std::uint8_t>(GetRValue(rgb));
  Changed();
}

TColor TBitmap::TransparentColor() const {
  if (transparent_set_) return transparent_color_;
  if (Empty()) return clNone;
  return GetPixel(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor color) {
  transparent_color_ = color;
  transparent_set_ = true;
}

void TBitmap::ResetTransparentColor() { transparent_set_ = false; }

TCanvas &TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(*this);
  return *canvas_;
}

void TBitmap::AttachExternal(void *bits, int width, int height, int stride, TPixelFormat format) {
  if (width < 0 || height < 0) throw EInvalidOperation("Negative size for external bitmap memory");
  const int min_stride = CheckedStride(width, height, format);
  const int row_bytes = width * BytesPerPixel(format);
  if (stride < row_bytes || (bits == nullptr && width > 0 && height > 0))
    throw EInvalidOperation("Invalid external bitmap memory");
  const bool true_colour = format == TPixelFormat::pfARGB32;
  if (static_cast<long long>(stride) * height >
      static_cast<long long>(true_colour ? kMaxTrueColourBitmapBytes : kMaxBitmapBytes))
    throw EOutOfResources(std::string("External bitmap memory exceeds the ") +
                          (true_colour ? "128" : "64") + " MiB limit");
  (void)min_stride;
  storage_.clear();
  storage_.shrink_to_fit();
  bits_ = static_cast<std::uint8_t *>(bits);
  width_ = width;
  height_ = height;
  stride_ = stride;
  format_ = format;
  external_ = true;
  Changed();
}

Surface SurfaceOf(TBitmap &bitmap) {
  Surface s;
  s.bits = bitmap.Bits().data();
  s.stride = bitmap.BytesPerScanLine();
  s.width = bitmap.Width();
  s.height = bitmap.Height();
  s.bytes = BytesPerPixel(bitmap.PixelFormat());
  s.palette = &bitmap.Palette();
  s.alpha = bitmap.PixelFormat() == TPixelFormat::pfARGB32;
  return s;
}

}  // namespace vx
