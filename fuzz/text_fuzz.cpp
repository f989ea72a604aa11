// Text of any shape (bad UTF-16, lone surrogates, runs of breaks, any DrawText flags and
// rectangle, any size and escapement): layout stays consistent and drawing stays inside the
// bitmap. Input: 2 bytes flags, 2 bytes rect width, 1 byte size, 1 byte escapement, then UTF-16.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/font.h"
#include "platform/text_layout.h"

namespace {

vx::TBitmap &Target() {
  static vx::TBitmap bitmap;
  if (bitmap.Empty()) {
    bitmap.SetPixelFormat(vx::TPixelFormat::pf8bit);
    bitmap.SetSize(64, 32);
  }
  return bitmap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 6) return 0;
  const unsigned format = data[0] | (data[1] << 8);
  const int width = static_cast<std::int16_t>(data[2] | (data[3] << 8));
  const int points = data[4] % 48 - 4;
  const int escapement = data[5] * 15;
  std::u16string text((size - 6) / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data + 6, text.size() * 2);

  // The stages on their own, with made-up advances.
  const std::u32string cps = vx::DecodeUtf16(text);
  if (cps.size() > text.size()) __builtin_trap();
  std::vector<int> advances(cps.size());
  for (std::size_t i = 0; i < cps.size(); ++i) advances[i] = static_cast<int>(cps[i] % 23);
  const vx::TextLayout layout = vx::LayoutText(cps, advances.data(), 7, width, format);
  for (const vx::TextLine &line : layout.lines) {
    if (line.begin > line.end || line.end > cps.size()) __builtin_trap();
    if (line.width > layout.width) __builtin_trap();
  }
  if (layout.height != static_cast<int>(layout.lines.size()) * 7) __builtin_trap();
  const vx::TRect rect{3, 2, 3 + width, 30};
  if (vx::AlignLines(layout, rect, format).size() != layout.lines.size()) __builtin_trap();

  // The canvas with the real fonts.
  vx::TCanvas &c = Target().Canvas();
  c.Font.Name = (format & 0x80) ? "宋体" : "Arial";
  c.Font.SetSize(points);
  c.Font.Escapement = escapement;
  c.Font.Style = (format >> 12) & 0xF;
  vx::TRect r = rect;
  c.DrawText(text, r, format);
  if (format & vx::DT_CALCRECT) {
    if (r.Left != rect.Left || r.Top != rect.Top || r.Right < r.Left || r.Bottom < r.Top)
      __builtin_trap();
  }
  c.TextOut(static_cast<int>(width) - 20, points, text);
  return 0;
}
