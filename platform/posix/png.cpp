#include "platform/png.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/bitmap.h"
#include "platform/blend.h"
#include "platform/exceptions.h"

namespace vx {

namespace {

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto *out = static_cast<std::vector<std::byte> *>(png_get_io_ptr(png));
  const auto *bytes = reinterpret_cast<const std::byte *>(data);
  out->insert(out->end(), bytes, bytes + length);
}

void FlushNothing(png_structp) {}

// Runs libpng with everything it needs prepared beforehand, so that its longjmp on error
// skips no destructor. Returns false on a libpng error.
bool Encode(const TBitmap &bitmap, const std::vector<png_bytep> &rows, const png_color *palette,
            std::vector<std::byte> &out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, WriteToVector, FlushNothing);
  const bool paletted = palette != nullptr;
  const bool alpha = bitmap.PixelFormat() == TPixelFormat::pfARGB32;
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
               static_cast<png_uint_32>(bitmap.Height()), 8,
               paletted ? PNG_COLOR_TYPE_PALETTE : alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (paletted) png_set_PLTE(png, info, palette, 256);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<std::byte> EncodePng(const TBitmap &bitmap) {
  if (bitmap.Empty()) throw EInvalidOperation("cannot write an empty bitmap as PNG");
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const bool paletted = bitmap.PixelFormat() == TPixelFormat::pf8bit;
  const bool alpha = bitmap.PixelFormat() == TPixelFormat::pfARGB32;
  const std::size_t out_bpp = paletted ? 1 : alpha ? 4 : 3;
  const std::size_t row_bytes = static_cast<std::size_t>(width) * out_bpp;
  std::vector<png_byte> pixels(row_bytes * height);
  std::vector<png_bytep> rows(height);
  const int bpp = TBitmap::BitsPerPixel(bitmap.PixelFormat()) / 8;
  for (int y = 0; y < height; ++y) {
    png_bytep dst = pixels.data() + row_bytes * y;
    rows[y] = dst;
    const std::uint8_t *src = bitmap.ScanLine(y);
    if (paletted) {
      std::memcpy(dst, src, row_bytes);
      continue;
    }
    if (alpha) {  // premultiplied B,G,R,A to straight R,G,B,A
      for (int x = 0; x < width; ++x) {
        const std::uint32_t c = blend::Unpremultiply(src + 4 * x);
        dst[4 * x] = static_cast<png_byte>(c);
        dst[4 * x + 1] = static_cast<png_byte>(c >> 8);
        dst[4 * x + 2] = static_cast<png_byte>(c >> 16);
        dst[4 * x + 3] = src[4 * x + 3];
      }
      continue;
    }
    for (int x = 0; x < width; ++x) {  // B,G,R[,X] to R,G,B
      dst[3 * x] = src[bpp * x + 2];
      dst[3 * x + 1] = src[bpp * x + 1];
      dst[3 * x + 2] = src[bpp * x];
    }
  }
  png_color palette[256];
  for (int i = 0; i < 256; ++i) {
    const TPaletteEntry &e = bitmap.Palette()[i];
    palette[i] = {e.peRed, e.peGreen, e.peBlue};
  }
  std::vector<std::byte> out;
  if (!Encode(bitmap, rows, paletted ? palette : nullptr, out))
    throw EInvalidOperation("PNG encoder failed");
  return out;
}

void SavePng(const TBitmap &bitmap, const std::string &path) {
  const std::vector<std::byte> bytes = EncodePng(bitmap);
  std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) throw EFCreateError("cannot create file \"" + path + "\"");
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    throw EWriteError("cannot write file \"" + path + "\"");
  if (std::fclose(file.release()) != 0) throw EWriteError("cannot write file \"" + path + "\"");
}

bool IsPng(std::span<const std::byte> bytes) {
  static constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

void DecodePng(std::span<const std::byte> bytes, TBitmap &out) {
  if (!IsPng(bytes)) throw EInvalidGraphic("PNG: missing signature");
  // libpng's simplified reader keeps its state in `image`; freed on every way out.
  struct Image {
    png_image image{};
    ~Image() { png_image_free(&image); }
  } reader;
  png_image &image = reader.image;
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
    throw EInvalidGraphic(std::string("PNG: ") + image.message);
  image.format = PNG_FORMAT_BGRA;
  const auto width = static_cast<long long>(image.width);
  const auto height = static_cast<long long>(image.height);
  if (width <= 0 || height <= 0 || width * height * 4 > static_cast<long long>(kMaxBitmapBytes))
    throw EInvalidGraphic("PNG: image of " + std::to_string(width) + " x " +
                          std::to_string(height) + " exceeds the 64 MiB limit");
  // Decoded into a bitmap of its own first, so that a failure leaves `out` untouched.
  TBitmap decoded;
  decoded.SetPixelFormat(TPixelFormat::pf32bit);
  decoded.SetSize(static_cast<int>(width), static_cast<int>(height));
  if (!png_image_finish_read(&image, nullptr, decoded.ScanLine(0), decoded.BytesPerScanLine(),
                             nullptr))
    throw EInvalidGraphic(std::string("PNG: ") + image.message);
  decoded.SetAlphaChannel(true);
  out.Assign(decoded);
}

}  // namespace vx
