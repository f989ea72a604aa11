#include "images.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace vxplay {

std::string WritePng(const std::string &path, const std::uint8_t *rgb, int width, int height) {
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return "cannot create " + path;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return "out of memory writing " + path;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return "cannot write " + path;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, const_cast<png_bytep>(rgb + static_cast<std::size_t>(y) * width * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 ? std::string() : "cannot write " + path;
}

GifWriter::~GifWriter() { Close(); }

bool GifWriter::Open(const std::string &path, int width, int height,
                     const std::vector<std::uint8_t> &rgb_palette) {
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  width_ = width, height_ = height;
  std::vector<std::uint8_t> h = {'G', 'I', 'F', '8', '9', 'a',
                                 static_cast<std::uint8_t>(width), static_cast<std::uint8_t>(width >> 8),
                                 static_cast<std::uint8_t>(height), static_cast<std::uint8_t>(height >> 8),
                                 0xF7, 0, 0};  // global table of 256 entries
  h.insert(h.end(), rgb_palette.begin(), rgb_palette.begin() + 768);
  // Loop forever (NETSCAPE2.0 application extension).
  const std::uint8_t loop[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E',
                               '2',  '.',  '0',  3,   1,   0,   0,   0};
  h.insert(h.end(), loop, loop + sizeof loop);
  error_ = std::fwrite(h.data(), 1, h.size(), file_) != h.size();
  return !error_;
}

void GifWriter::AddFrame(const std::uint8_t *indices, int delay_cs) {
  if (!file_) return;
  const std::size_t n = static_cast<std::size_t>(width_) * height_;
  if (has_pending_ && std::memcmp(pending_.data(), indices, n) == 0) {
    pending_delay_ += delay_cs;  // an unchanged frame only lengthens the one before
    return;
  }
  if (has_pending_) WriteFrame(pending_delay_);
  pending_.assign(indices, indices + n);
  pending_delay_ = delay_cs;
  has_pending_ = true;
}

void GifWriter::WriteFrame(int delay_cs) {
  // The rectangle that differs from the previous frame (the whole frame the first time).
  int x0 = 0, y0 = 0, x1 = width_, y1 = height_;
  if (!previous_.empty()) {
    x0 = width_, y0 = height_, x1 = 0, y1 = 0;
    for (int y = 0; y < height_; ++y) {
      const std::uint8_t *a = &pending_[static_cast<std::size_t>(y) * width_];
      const std::uint8_t *b = &previous_[static_cast<std::size_t>(y) * width_];
      if (std::memcmp(a, b, width_) == 0) continue;
      y0 = std::min(y0, y), y1 = y + 1;
      int l = 0, r = width_ - 1;
      while (a[l] == b[l]) ++l;
      while (a[r] == b[r]) --r;
      x0 = std::min(x0, l), x1 = std::max(x1, r + 1);
    }
    if (x1 <= x0) x0 = 0, y0 = 0, x1 = 1, y1 = 1;  // identical: one pixel keeps the delay
  }
  delay_cs = std::clamp(delay_cs, 2, 65535);
  const std::uint8_t gce[] = {0x21, 0xF9, 4, 0x04,  // keep the previous picture beneath
                              static_cast<std::uint8_t>(delay_cs),
                              static_cast<std::uint8_t>(delay_cs >> 8), 0, 0};
  const int w = x1 - x0, h = y1 - y0;
  const std::uint8_t desc[] = {0x2C,
                               static_cast<std::uint8_t>(x0), static_cast<std::uint8_t>(x0 >> 8),
                               static_cast<std::uint8_t>(y0), static_cast<std::uint8_t>(y0 >> 8),
                               static_cast<std::uint8_t>(w),  static_cast<std::uint8_t>(w >> 8),
                               static_cast<std::uint8_t>(h),  static_cast<std::uint8_t>(h >> 8),
                               0};
  error_ |= std::fwrite(gce, 1, sizeof gce, file_) != sizeof gce;
  error_ |= std::fwrite(desc, 1, sizeof desc, file_) != sizeof desc;
  Lzw(pending_.data(), x0, y0, w, h);
  previous_ = pending_;
  ++frames_;
}

// GIF's LZW: 8-bit minimum code size, codes of 9 to 12 bits, the table restarted when full.
void GifWriter::Lzw(const std::uint8_t *indices, int x0, int y0, int w, int h) {
  constexpr int kClear = 256, kEnd = 257;
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int nbits = 0;
  int code_size = 9;
  auto emit = [&](int code) {
    bits |= static_cast<std::uint32_t>(code) << nbits;
    nbits += code_size;
    while (nbits >= 8) {
      out.push_back(static_cast<std::uint8_t>(bits));
      bits >>= 8;
      nbits -= 8;
    }
  };
  std::vector<std::int16_t> table(4096 * 256, -1);  // (prefix code, byte) -> code
  int next = kEnd + 1;
  emit(kClear);
  int prefix = -1;
  for (int y = y0; y < y0 + h; ++y) {
    const std::uint8_t *row = indices + static_cast<std::size_t>(y) * width_ + x0;
    for (int x = 0; x < w; ++x) {
      const std::uint8_t c = row[x];
      if (prefix < 0) {
        prefix = c;
        continue;
      }
      const std::size_t key = static_cast<std::size_t>(prefix) * 256 + c;
      if (table[key] >= 0) {
        prefix = table[key];
        continue;
      }
      emit(prefix);
      table[key] = static_cast<std::int16_t>(next++);
      if (next > (1 << code_size) && code_size < 12) ++code_size;
      if (next == 4096) {  // table full: start over
        emit(kClear);
        std::fill(table.begin(), table.end(), static_cast<std::int16_t>(-1));
        next = kEnd + 1;
        code_size = 9;
      }
      prefix = c;
    }
  }
  if (prefix >= 0) emit(prefix);
  emit(kEnd);
  if (nbits > 0) out.push_back(static_cast<std::uint8_t>(bits));
  std::vector<std::uint8_t> blocks = {8};
  for (std::size_t i = 0; i < out.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, out.size() - i);
    blocks.push_back(static_cast<std::uint8_t>(n));
    blocks.insert(blocks.end(), out.begin() + static_cast<std::ptrdiff_t>(i),
                  out.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  blocks.push_back(0);
  error_ |= std::fwrite(blocks.data(), 1, blocks.size(), file_) != blocks.size();
}

bool GifWriter::Close() {
  if (!file_) return !error_;
  if (has_pending_) WriteFrame(pending_delay_);
  has_pending_ = false;
  const std::uint8_t trailer = 0x3B;
  error_ |= std::fwrite(&trailer, 1, 1, file_) != 1;
  error_ |= std::fclose(file_) != 0;
  file_ = nullptr;
  return !error_;
}

}  // namespace vxplay
