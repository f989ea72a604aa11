// Markup text of any shape: the scan ends, reads stay inside the text, and every attribute
// reading is defined.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "markup/markup.h"
#include "markup/scanner.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "markup/wideutils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);

  vx::MarkupScanner scanner(text);
  vx::MarkupTag tag;
  std::size_t tags = 0;
  while (scanner.Next(tag)) {
    // Each tag consumes at least its "<" and ">": more tags than half the text is a loop.
    if (++tags > text.size() / 2 + 1) __builtin_trap();
    auto attrs = vx::ReadMarkupFontAttrs(tag.text);
    if (attrs.size && (*attrs.size > vx::kMaxMarkupFontPoints || *attrs.size < -vx::kMaxMarkupFontPoints))
      __builtin_trap();
    auto run = vx::ReplaceMarkupEntities(tag.run);
    if (run.size() > tag.run.size()) __builtin_trap();
    (void)vx::TrimWide(run);
    (void)vx::ReadIntegerText(tag.text);
  }

  // Measuring and drawing: defined results, no reads or writes outside the canvas.
  const auto heights = vx::MarkupLineHeights(text);
  if (heights.empty() || heights.size() > tags + 1) __builtin_trap();
  if (vx::MarkupLineHeight(text, -1) < 0 || vx::MarkupWidth(text, -1) < 0) __builtin_trap();
  static vx::TBitmap sheet;
  if (sheet.Empty()) {
    sheet.SetPixelFormat(vx::TPixelFormat::pf8bit);
    sheet.SetSize(160, 90);
  }
  vx::DrawMarkup(sheet.Canvas(), size % 7 - 3, size % 5 - 2, text);
  return 0;
}
