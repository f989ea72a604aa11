#include "images.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vxplay {

namespace {

std::uint32_t Crc32(const std::uint8_t *data, std::size_t n, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::uint32_t Adler32(const std::vector<std::uint8_t> &data) {
  std::uint32_t a = 1, b = 0;
  for (const std::uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

// Deflate with the fixed Huffman codes, where the only matches are runs of the previous byte
// (distance 1). With the Sub filter an even stretch of colour becomes a run of zeros, which
// is what snapshots of flat panels over the key colour mostly are.
class FixedDeflate {
 public:
  std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t> &in) {
    Bits(1, 1);  // the final block
    Bits(1, 2);  // fixed codes
    for (std::size_t i = 0; i < in.size();) {
      std::size_t run = 0;
      if (i > 0)
        while (run < 258 && i + run < in.size() && in[i + run] == in[i - 1]) ++run;
      if (run >= 3) {
        Length(static_cast<int>(run));
        Bits(0, 5);  // distance code 0: distance 1
        i += run;
      } else {
        Symbol(in[i++]);
      }
    }
    Symbol(256);
    if (nbits_ > 0) out_.push_back(static_cast<std::uint8_t>(bits_));
    return std::move(out_);
  }

 private:
  void Bits(std::uint32_t value, int n) {  // least significant bit first
    bits_ |= value << nbits_;
    nbits_ += n;
    while (nbits_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(bits_));
      bits_ >>= 8;
      nbits_ -= 8;
    }
  }
  void Code(std::uint32_t code, int n) {  // Huffman codes go most significant bit first
    for (int k = n - 1; k >= 0; --k) Bits(code >> k & 1, 1);
  }
  void Symbol(int s) {
    if (s < 144) Code(0x30 + s, 8);
    else if (s < 256) Code(0x190 + (s - 144), 9);
    else if (s < 280) Code(s - 256, 7);
    else Code(0xC0 + (s - 280), 8);
  }
  void Length(int length) {
    static const int base[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int extra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int k = 28;
    while (base[k] > length) --k;
    Symbol(257 + k);
    Bits(static_cast<std::uint32_t>(length - base[k]), extra[k]);
  }

  std::vector<std::uint8_t> out_;
  std::uint32_t bits_ = 0;
  int nbits_ = 0;
};

void Put32(std::vector<std::uint8_t> &out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(std::vector<std::uint8_t> &out, const char type[4], const std::vector<std::uint8_t> &data) {
  Put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const std::uint8_t *rgb, int width, int height, int channels) {
  const std::size_t bpp = channels == 4 ? 4 : 3;
  const std::size_t row = static_cast<std::size_t>(width) * bpp;
  std::vector<std::uint8_t> raw;
  raw.reserve((row + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const std::uint8_t *line = rgb + row * static_cast<std::size_t>(y);
    raw.push_back(1);  // Sub: each byte less the same byte of the pixel to its left
    for (std::size_t i = 0; i < row; ++i)
      raw.push_back(static_cast<std::uint8_t>(line[i] - (i >= bpp ? line[i - bpp] : 0)));
  }
  std::vector<std::uint8_t> zlib = {0x78, 0x01};
  const std::vector<std::uint8_t> deflated = FixedDeflate().Compress(raw);
  zlib.insert(zlib.end(), deflated.begin(), deflated.end());
  Put32(zlib, Adler32(raw));

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> ihdr;
  Put32(ihdr, static_cast<std::uint32_t>(width));
  Put32(ihdr, static_cast<std::uint32_t>(height));
  // 8-bit RGB (colour type 2) or RGBA (6), deflate, adaptive filters, no interlace.
  ihdr.insert(ihdr.end(), {8, static_cast<std::uint8_t>(bpp == 4 ? 6 : 2), 0, 0, 0});
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", zlib);
  Chunk(png, "IEND", {});
  return png;
}

std::string WritePng(const std::string &path, const std::uint8_t *rgb, int width, int height,
                     int channels) {
  const std::vector<std::uint8_t> png = EncodePng(rgb, width, height, channels);
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return "cannot create " + path;
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && written ? std::string() : "cannot write " + path;
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
