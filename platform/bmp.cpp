// Windows BMP decoding and encoding for TBitmap. Decoding takes bytes and checks every size
// and offset before use; it fills a separate pixel store that replaces the bitmap's only
// when the whole file has been read, so a bad file leaves the bitmap as it was.

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "platform/palette_map.h"

namespace vx {

namespace {

constexpr std::uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3,
                        BI_ALPHABITFIELDS = 6;
constexpr std::size_t kFileHeader = 14;
// Largest BMP accepted from a stream: far above any picture under the pixel cap.
constexpr std::int64_t kMaxBmpBytes = std::int64_t{256} << 20;

[[noreturn]] void Fail(const std::string &what) { throw EInvalidGraphic("Invalid BMP: " + what); }

std::uint16_t U16(const std::byte *p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    (std::to_integer<unsigned>(p[1]) << 8));
}
std::uint32_t U32(const std::byte *p) {
  return static_cast<std::uint32_t>(std::to_integer<unsigned>(p[0])) |
         (static_cast<std::uint32_t>(std::to_integer<unsigned>(p[1])) << 8) |
         (static_cast<std::uint32_t>(std::to_integer<unsigned>(p[2])) << 16) |
         (static_cast<std::uint32_t>(std::to_integer<unsigned>(p[3])) << 24);
}
std::int32_t I32(const std::byte *p) { return static_cast<std::int32_t>(U32(p)); }

// One channel of a bit-field pixel: mask position and width, and scaling to 8 bits.
struct Field {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  std::uint8_t Get(std::uint32_t v) const {
    if (bits == 0) return 0;
    const std::uint32_t x = (v & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(x >> (bits - 8));
    // Spread a short value over 0..255 so that full scale stays full scale.
    const std::uint32_t max = (1u << bits) - 1;
    return static_cast<std::uint8_t>((x * 255 + max / 2) / max);
  }
};

Field MakeField(std::uint32_t mask, int bpp, const char *name) {
  Field f;
  f.mask = mask;
  if (mask == 0) return f;
  if (bpp == 16 && (mask >> 16) != 0) Fail(std::string(name) + " bit field mask wider than 16 bits");
  while (!((mask >> f.shift) & 1)) ++f.shift;
  const std::uint32_t m = mask >> f.shift;
  while (f.bits < 32 && ((m >> f.bits) & 1)) ++f.bits;
  if (f.bits < 32 && (m >> f.bits) != 0) Fail(std::string(name) + " bit field mask is not contiguous");
  return f;
}

struct Decoded {
  int width = 0;
  int height = 0;
  int stride = 0;
  TPixelFormat format = TPixelFormat::pf24bit;
  TPalette palette{};
  std::vector<std::uint8_t> pixels;
  std::size_t consumed = 0;  // bytes of the input the picture occupies
  bool alpha = false;        // 32-bit with straight alpha in the fourth byte
  std::uint8_t *Row(int y) { return pixels.data() + static_cast<std::size_t>(stride) * y; }
};

// RLE8/RLE4 into 8-bit rows (file rows run bottom-up). Every run is checked against the row.
void DecodeRle(std::span<const std::byte> data, bool rle4, Decoded &out) {
  std::size_t p = 0;
  int x = 0, row = 0;  // row counts from the bottom
  const int w = out.width, h = out.height;
  auto at = [&](std::size_t i) { return std::to_integer<unsigned>(data[i]); };
  while (true) {
    if (p >= data.size()) {
      if (p == data.size()) return;  // the end-of-bitmap marker may be missing
      Fail("truncated RLE data");
    }
    if (p + 2 > data.size()) Fail("truncated RLE data");
    const unsigned count = at(p), value = at(p + 1);
    p += 2;
    if (count > 0) {
      if (row >= h) Fail("RLE data past the last row");
      if (static_cast<long long>(x) + count > w) Fail("RLE run past the end of the row");
      std::uint8_t *dst = out.Row(h - 1 - row) + x;
      for (unsigned i = 0; i < count; ++i)
        dst[i] = static_cast<std::uint8_t>(rle4 ? ((i & 1) ? value & 15 : value >> 4) : value);
      x += static_cast<int>(count);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
      continue;
    }
    if (value == 1) return;  // end of bitmap
    if (value == 2) {        // delta
      if (p + 2 > data.size()) Fail("truncated RLE delta");
      const unsigned dx = at(p), dy = at(p + 1);
      p += 2;
      if (static_cast<long long>(x) + dx > w || static_cast<long long>(row) + dy > h ||
          (static_cast<long long>(row) + dy == h && (dx != 0 || x != 0)))
        Fail("RLE delta past the image");
      x += static_cast<int>(dx);
      row += static_cast<int>(dy);
      continue;
    }
    // Absolute run of `value` pixels, padded to a 16-bit boundary.
    const unsigned n = value;
    const std::size_t bytes = rle4 ? (n + 1) / 2 : n;
    const std::size_t padded = (bytes + 1) & ~std::size_t{1};
    if (p + bytes > data.size()) Fail("truncated RLE absolute run");
    if (row >= h) Fail("RLE data past the last row");
    if (static_cast<long long>(x) + n > w) Fail("RLE run past the end of the row");
    std::uint8_t *dst = out.Row(h - 1 - row) + x;
    for (unsigned i = 0; i < n; ++i) {
      const unsigned b = at(p + (rle4 ? i / 2 : i));
      dst[i] = static_cast<std::uint8_t>(rle4 ? ((i & 1) ? b & 15 : b >> 4) : b);
    }
    x += static_cast<int>(n);
    p = std::min(p + padded, data.size());
  }
}

Decoded Decode(std::span<const std::byte> in) {
  const std::size_t size = in.size();
  if (size < kFileHeader + 4) Fail("truncated file header");
  if (in[0] != std::byte{'B'} || in[1] != std::byte{'M'}) Fail("missing BM signature");
  const std::uint32_t off_bits = U32(&in[10]);
  const std::uint32_t header_size = U32(&in[14]);
  const bool core = header_size == 12;
  if (!(core || header_size == 40 || header_size == 52 || header_size == 56 ||
        header_size == 108 || header_size == 124))
    Fail("unsupported info header size " + std::to_string(header_size));
  if (size < kFileHeader + header_size) Fail("truncated info header");
  const std::byte *h = &in[kFileHeader];

  long long width, height;
  unsigned bpp;
  std::uint32_t compression = BI_RGB, colors_used = 0;
  if (core) {
    width = U16(h + 4);
    height = static_cast<std::int16_t>(U16(h + 6));
    bpp = U16(h + 10);
  } else {
    width = I32(h + 4);
    height = I32(h + 8);
    bpp = U16(h + 14);
    compression = U32(h + 16);
    colors_used = U32(h + 32);
  }
  if (width < 0) Fail("negative width");
  if (height == std::numeric_limits<std::int32_t>::min()) Fail("invalid height");
  const bool top_down = height < 0;
  if (top_down) height = -height;
  if (!(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32))
    Fail("unsupported bit depth " + std::to_string(bpp));

  switch (compression) {
    case BI_RGB: break;
    case BI_RLE8:
      if (bpp != 8) Fail("RLE8 compression needs 8 bits per pixel");
      break;
    case BI_RLE4:
      if (bpp != 4) Fail("RLE4 compression needs 4 bits per pixel");
      break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
      if (bpp != 16 && bpp != 32) Fail("bit fields need 16 or 32 bits per pixel");
      break;
    default: Fail("unsupported compression " + std::to_string(compression));
  }
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (rle && top_down) Fail("top-down RLE bitmap");

  Decoded out;
  out.format = bpp <= 8 ? TPixelFormat::pf8bit : bpp == 32 ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
  const long long out_stride = (width * TBitmap::BitsPerPixel(out.format) + 31) / 32 * 4;
  if (width > (1 << 24) || height > (1 << 24) || out_stride * height > static_cast<long long>(kMaxBitmapBytes))
    Fail("image of " + std::to_string(width) + " x " + std::to_string(height) +
         " exceeds the 64 MiB limit");
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.stride = static_cast<int>(out_stride);

  // Bit-field masks: inside V2+ headers, after a plain info header otherwise.
  std::size_t after_header = kFileHeader + header_size;
  Field red, green, blue, alpha;
  if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
    const std::byte *m;
    if (header_size >= 52) {
      m = h + 40;
    } else {
      const std::size_t n = compression == BI_ALPHABITFIELDS ? 16 : 12;
      if (size < after_header + n) Fail("truncated bit field masks");
      m = &in[after_header];
      after_header += n;
    }
    red = MakeField(U32(m), static_cast<int>(bpp), "red");
    green = MakeField(U32(m + 4), static_cast<int>(bpp), "green");
    blue = MakeField(U32(m + 8), static_cast<int>(bpp), "blue");
    // The alpha mask: in V3+ headers, or the fourth mask of BI_ALPHABITFIELDS.
    if (bpp == 32 && (header_size >= 56 || (header_size < 52 && compression == BI_ALPHABITFIELDS)))
      alpha = MakeField(U32(m + 12), 32, "alpha");
  } else if (bpp == 16) {
    red = MakeField(0x7C00, 16, "red");
    green = MakeField(0x03E0, 16, "green");
    blue = MakeField(0x001F, 16, "blue");
  }

  // Palette: up to 2^bpp entries, fewer when the file says so.
  if (bpp <= 8) {
    if (colors_used > 256) Fail("palette of " + std::to_string(colors_used) + " entries, more than 256");
    const std::size_t entry = core ? 3 : 4;
    std::size_t count = colors_used == 0 ? (std::size_t{1} << bpp)
                                         : std::min<std::size_t>(colors_used, std::size_t{1} << bpp);
    // Without a count (always so in a core header) a pixel offset that leaves room for fewer
    // entries than the depth allows means a short palette.
    if (colors_used == 0 && off_bits >= after_header)
      count = std::min<std::size_t>(count, (off_bits - after_header) / entry);
    if (after_header + count * entry > size) Fail("truncated palette");
    for (std::size_t i = 0; i < count; ++i) {
      const std::byte *e = &in[after_header + i * entry];
      out.palette[i] = {std::to_integer<std::uint8_t>(e[2]), std::to_integer<std::uint8_t>(e[1]),
                        std::to_integer<std::uint8_t>(e[0]), 0};
    }
    after_header += (colors_used > count ? colors_used : count) * entry;
    if (after_header > size) Fail("truncated palette");
  }
  if (off_bits < after_header || off_bits > size)
    Fail("pixel data offset " + std::to_string(off_bits) + " outside the file");

  std::span<const std::byte> data = in.subspan(off_bits);
  const std::size_t src_stride = static_cast<std::size_t>((width * bpp + 31) / 32 * 4);
  const std::size_t need = src_stride * static_cast<std::size_t>(height);
  if (!rle && data.size() < need) Fail("truncated pixel data");  // before allocating
  try {
    out.pixels.assign(static_cast<std::size_t>(out.stride) * static_cast<std::size_t>(out.height), 0);
  } catch (const std::bad_alloc &) {
    throw EOutOfResources("Out of memory for bitmap pixels");
  }
  if (rle) {
    DecodeRle(data, compression == BI_RLE4, out);
    out.consumed = size;
    return out;
  }

  out.consumed = off_bits + need;
  // A picture of rows without columns has no pixel memory to fill.
  for (int y = 0; out.width > 0 && y < out.height; ++y) {
    const std::byte *s = data.data() + src_stride * static_cast<std::size_t>(top_down ? y : out.height - 1 - y);
    std::uint8_t *d = out.Row(y);
    const int w = out.width;
    switch (bpp) {
      case 1:
        for (int x = 0; x < w; ++x) d[x] = (std::to_integer<unsigned>(s[x >> 3]) >> (7 - (x & 7))) & 1;
        break;
      case 4:
        for (int x = 0; x < w; ++x)
          d[x] = static_cast<std::uint8_t>((std::to_integer<unsigned>(s[x >> 1]) >> ((x & 1) ? 0 : 4)) & 15);
        break;
      case 8:
      case 24: std::memcpy(d, s, static_cast<std::size_t>(w) * (bpp / 8)); break;
      case 16:
        for (int x = 0; x < w; ++x) {
          const std::uint32_t v = U16(s + 2 * x);
          d[3 * x] = blue.Get(v);
          d[3 * x + 1] = green.Get(v);
          d[3 * x + 2] = red.Get(v);
        }
        break;
      case 32:
        if (compression == BI_RGB) {
          std::memcpy(d, s, static_cast<std::size_t>(w) * 4);
        } else {
          for (int x = 0; x < w; ++x) {
            const std::uint32_t v = U32(s + 4 * x);
            d[4 * x] = blue.Get(v);
            d[4 * x + 1] = green.Get(v);
            d[4 * x + 2] = red.Get(v);
            d[4 * x + 3] = alpha.Get(v);
          }
        }
        break;
    }
  }
  // A 32-bit picture has alpha when its fourth bytes say anything: all zero is the usual
  // unused byte of an opaque picture.
  for (int y = 0; bpp == 32 && !out.alpha && out.width > 0 && y < out.height; ++y) {
    const std::uint8_t *d = out.Row(y);
    for (int x = 0; x < out.width && !out.alpha; ++x) out.alpha = d[4 * x + 3] != 0;
  }
  return out;
}

void Put16(std::vector<std::byte> &v, std::size_t at, std::uint32_t x) {
  v[at] = static_cast<std::byte>(x);
  v[at + 1] = static_cast<std::byte>(x >> 8);
}
void Put32(std::vector<std::byte> &v, std::size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(x >> (8 * i));
}

}  // namespace

void TBitmap::LoadFromBytes(std::span<const std::byte> bytes) { LoadBmp(bytes); }

std::size_t TBitmap::LoadBmp(std::span<const std::byte> bytes) {
  if (external_) throw EInvalidOperation("Cannot load a picture into external bitmap memory");
  Decoded d = Decode(bytes);
  storage_.swap(d.pixels);
  bits_ = storage_.data();
  width_ = d.width;
  height_ = d.height;
  stride_ = d.stride;
  format_ = d.format;
  alpha_channel_ = d.alpha;
  if (palette_ != d.palette) {
    palette_ = d.palette;
    cache_.reset();
  }
  Changed();
  return d.consumed;
}

void TBitmap::LoadFromStream(TStream &stream) {
  const std::int64_t start = stream.Position();
  const std::int64_t remaining = stream.Size() - start;
  if (remaining > kMaxBmpBytes) throw EInvalidGraphic("Invalid BMP: stream larger than 256 MiB");
  std::vector<std::byte> bytes(static_cast<std::size_t>(std::max<std::int64_t>(remaining, 0)));
  bytes.resize(stream.Read(bytes.data(), bytes.size()));
  const std::size_t consumed = LoadBmp(bytes);
  stream.SetPosition(start + static_cast<std::int64_t>(consumed));
}

void TBitmap::LoadFromFile(const std::string &path) {
  LoadFromBytes(ReadFileBytes(path, static_cast<std::size_t>(kMaxBmpBytes)));
}

std::vector<std::byte> TBitmap::SaveToBytes() const {
  const int bpp = BitsPerPixel(format_);
  const std::size_t palette_bytes = format_ == TPixelFormat::pf8bit ? 1024 : 0;
  const std::size_t off = kFileHeader + 40 + palette_bytes;
  const std::size_t row = static_cast<std::size_t>(stride_);
  const std::size_t image = row * static_cast<std::size_t>(std::max(height_, 0));
  std::vector<std::byte> out(off + image, std::byte{0});
  out[0] = std::byte{'B'};
  out[1] = std::byte{'M'};
  Put32(out, 2, static_cast<std::uint32_t>(out.size()));
  Put32(out, 10, static_cast<std::uint32_t>(off));
  Put32(out, 14, 40);
  Put32(out, 18, static_cast<std::uint32_t>(width_));
  Put32(out, 22, static_cast<std::uint32_t>(height_));  // positive: bottom-up
  Put16(out, 26, 1);
  Put16(out, 28, static_cast<std::uint32_t>(bpp));
  Put32(out, 30, BI_RGB);
  Put32(out, 34, static_cast<std::uint32_t>(image));
  Put32(out, 38, 3780);  // 96 DPI
  Put32(out, 42, 3780);
  if (palette_bytes) {
    Put32(out, 46, 256);
    for (std::size_t i = 0; i < 256; ++i) {
      out[54 + 4 * i] = static_cast<std::byte>(palette_[i].peBlue);
      out[54 + 4 * i + 1] = static_cast<std::byte>(palette_[i].peGreen);
      out[54 + 4 * i + 2] = static_cast<std::byte>(palette_[i].peRed);
    }
  }
  const std::size_t row_bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(bpp / 8);
  // A bitmap with rows but no columns has no pixel memory at all.
  for (int y = 0; row_bytes && y < height_; ++y)
    std::memcpy(out.data() + off + row * static_cast<std::size_t>(height_ - 1 - y),
                bits_ + row * static_cast<std::size_t>(y), row_bytes);
  return out;
}

void TBitmap::SaveToStream(TStream &stream) const {
  const std::vector<std::byte> bytes = SaveToBytes();
  stream.WriteBuffer(bytes.data(), bytes.size());
}

void TBitmap::SaveToFile(const std::string &path) const { WriteFileBytes(path, SaveToBytes()); }

}  // namespace vx
