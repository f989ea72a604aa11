#include "tests/support/bmp_builder.h"

namespace vx::testing {

void Poke32(std::vector<std::byte> &b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(v >> (8 * i));
}

void Poke16(std::vector<std::byte> &b, std::size_t at, std::uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<std::byte>(v);
  b[at + 1] = static_cast<std::byte>(v >> 8);
}

std::vector<std::byte> BuildBmp(const BmpSpec &s) {
  const bool core = s.header_size == 12;
  const std::size_t entry = core ? 3 : 4;
  const std::size_t masks_after = (!core && s.header_size < 52) ? s.masks.size() * 4 : 0;
  const std::size_t off = 14 + s.header_size + masks_after + s.palette.size() * entry;
  std::vector<std::byte> b(off, std::byte{0});
  b[0] = std::byte{'B'};
  b[1] = std::byte{'M'};
  Poke32(b, 10, static_cast<std::uint32_t>(off));
  Poke32(b, 14, s.header_size);
  if (core) {
    Poke16(b, 18, static_cast<std::uint16_t>(s.width));
    Poke16(b, 20, static_cast<std::uint16_t>(s.height));
    Poke16(b, 22, 1);
    Poke16(b, 24, static_cast<std::uint16_t>(s.bpp));
  } else {
    Poke32(b, 18, static_cast<std::uint32_t>(s.width));
    Poke32(b, 22, static_cast<std::uint32_t>(s.height));
    Poke16(b, 26, 1);
    Poke16(b, 28, static_cast<std::uint16_t>(s.bpp));
    Poke32(b, 30, s.compression);
    Poke32(b, 34, static_cast<std::uint32_t>(s.pixels.size()));
    const std::int64_t used = s.colors_used >= 0 ? s.colors_used : static_cast<std::int64_t>(s.palette.size());
    Poke32(b, 46, static_cast<std::uint32_t>(used));
    std::size_t m = s.header_size >= 52 ? 54 : 14 + s.header_size;
    for (std::uint32_t mask : s.masks) {
      Poke32(b, m, mask);
      m += 4;
    }
  }
  std::size_t p = 14 + s.header_size + masks_after;
  for (std::uint32_t c : s.palette) {
    b[p] = static_cast<std::byte>(c);
    b[p + 1] = static_cast<std::byte>(c >> 8);
    b[p + 2] = static_cast<std::byte>(c >> 16);
    p += entry;
  }
  for (std::uint8_t v : s.pixels) b.push_back(static_cast<std::byte>(v));
  Poke32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

std::vector<std::uint8_t> PadRows(const std::vector<std::uint8_t> &rows, int row_bytes) {
  std::vector<std::uint8_t> out;
  const std::size_t rb = static_cast<std::size_t>(row_bytes);
  const std::size_t padded = (rb + 3) & ~std::size_t{3};
  for (std::size_t i = 0; i + rb <= rows.size(); i += rb) {
    out.insert(out.end(), rows.begin() + static_cast<std::ptrdiff_t>(i), rows.begin() + static_cast<std::ptrdiff_t>(i + rb));
    out.resize(out.size() + padded - rb, 0);
  }
  return out;
}

}  // namespace vx::testing
