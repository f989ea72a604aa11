#include "markup/markup.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "markup/scanner.h"
#include "markup/wideutils.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/codepage.h"

namespace vx {

namespace {

constexpr char16_t kDefaultFace[] = u"宋体";
constexpr int kDefaultSize = 8;

int Saturate(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN / 2, INT_MAX / 2));
}

void SetFace(TFont &font, std::u16string_view face) { font.Name = Utf16ToUtf8(face); }

// Heights of "0" per face and size, on one scratch canvas: a text of many lines in few fonts
// asks the font engine only a few times.
class LineMeasurer {
 public:
  int Height(const std::u16string &face, int size) {
    auto key = std::make_pair(face, size);
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    TCanvas &c = scratch_.Canvas();
    SetFace(c.Font, face);
    c.Font.SetSize(size);
    const int h = c.TextExtent(u"0").cy;
    cache_.emplace(std::move(key), h);
    return h;
  }

 private:
  TBitmap scratch_;
  std::map<std::pair<std::u16string, int>, int> cache_;
};

}  // namespace

std::vector<int> MarkupLineHeights(std::u16string_view text) {
  LineMeasurer measure;
  std::vector<int> heights;
  std::u16string face = kDefaultFace;
  int size = kDefaultSize;
  std::u16string line_face = face;
  int line_size = size;
  // Set at the start of the text too: a size in front of the first run replaces the 8 points.
  bool line_start = true;

  MarkupScanner scanner(text);
  MarkupTag tag;
  while (scanner.Next(tag)) {
    if (tag.kind == MarkupTagKind::FontReset) {
      face = kDefaultFace;
      size = kDefaultSize;
    } else if (tag.kind == MarkupTagKind::Font) {
      auto attrs = ReadMarkupFontAttrs(tag.text);
      if (attrs.face) face = *attrs.face;
      if (attrs.size) {
        size = *attrs.size;
        if (line_start || size > line_size) {
          line_size = size;
          line_face = face;
        }
        line_start = false;
      }
    } else if (tag.kind == MarkupTagKind::Break) {
      heights.push_back(measure.Height(line_face, line_size));
      line_start = true;
      line_face = face;
      line_size = size;
    }
    if (tag.HasRun()) line_start = false;
  }
  heights.push_back(measure.Height(line_face, line_size));
  return heights;
}

int MarkupLineHeight(std::u16string_view text, int line) {
  if (line < -1) return 0;
  const auto heights = MarkupLineHeights(text);
  if (line == -1) {
    std::int64_t sum = 0;
    for (int h : heights) sum += h;
    return Saturate(sum);
  }
  if (line == 0) return heights.front();
  return static_cast<std::size_t>(line) <= heights.size() ? heights[line - 1] : 0;
}

int MarkupWidth(std::u16string_view text, int mode) {
  TBitmap scratch;
  TCanvas &c = scratch.Canvas();
  SetFace(c.Font, kDefaultFace);
  c.Font.SetSize(kDefaultSize);
  std::int64_t current = 0;
  std::int64_t widest = 0;
  int line = 0;
  int run_line = 0;

  MarkupScanner scanner(text);
  MarkupTag tag;
  while (scanner.Next(tag)) {
    if (tag.kind == MarkupTagKind::FontReset) {
      SetFace(c.Font, kDefaultFace);
      c.Font.SetSize(kDefaultSize);
    } else if (tag.kind == MarkupTagKind::Font) {
      auto attrs = ReadMarkupFontAttrs(tag.text);
      if (attrs.face) SetFace(c.Font, *attrs.face);
      if (attrs.size) c.Font.SetSize(*attrs.size);
    } else if (tag.kind == MarkupTagKind::Break) {
      if (mode == 0) break;
      ++line;
    }
    if (!tag.HasRun()) continue;
    const auto run = ReplaceMarkupEntities(tag.run);
    if (line > run_line) {
      widest = std::max(widest, current);
      current = 0;
      run_line = line;
    }
    TRect r{};
    c.DrawText(run, r, DT_CALCRECT | DT_VCENTER);
    current += std::max(r.Right, 0) + 1;
  }
  return Saturate(std::max(widest, current));
}

void DrawMarkup(TCanvas &canvas, int x, int y, std::u16string_view text) {
  auto reset = [&canvas] {
    SetFace(canvas.Font, kDefaultFace);
    canvas.Font.Color = clBlack;
    canvas.Font.SetSize(kDefaultSize);
    canvas.Font.Style = 0;
  };
  reset();
  text = TrimWide(text);
  // One pass for all line heights instead of one per line: same heights, linear cost.
  const auto heights = MarkupLineHeights(text);
  std::size_t k = 0;
  std::int64_t h = heights.front();
  std::int64_t px = x;
  std::int64_t py = y;

  MarkupScanner scanner(text);
  MarkupTag tag;
  while (scanner.Next(tag)) {
    switch (tag.kind) {
      case MarkupTagKind::FontReset: reset(); break;
      case MarkupTagKind::Font: {
        auto attrs = ReadMarkupFontAttrs(tag.text);
        if (attrs.size) canvas.Font.SetSize(*attrs.size);
        if (attrs.color) canvas.Font.Color = *attrs.color;
        if (attrs.face) SetFace(canvas.Font, *attrs.face);
        break;
      }
      case MarkupTagKind::Bold: canvas.Font.Style |= fsBold; break;
      case MarkupTagKind::BoldOff: canvas.Font.Style &= ~unsigned{fsBold}; break;
      case MarkupTagKind::Italic: canvas.Font.Style |= fsItalic; break;
      case MarkupTagKind::ItalicOff: canvas.Font.Style &= ~unsigned{fsItalic}; break;
      case MarkupTagKind::Underline: canvas.Font.Style |= fsUnderline; break;
      case MarkupTagKind::UnderlineOff: canvas.Font.Style &= ~unsigned{fsUnderline}; break;
      case MarkupTagKind::Break:
        ++k;
        px = x;
        py += h;
        h = k < heights.size() ? heights[k] : 0;
        break;
      case MarkupTagKind::Other: break;
    }
    if (!tag.HasRun()) continue;
    const auto run = ReplaceMarkupEntities(tag.run);
    TRect m{};
    canvas.DrawText(run, m, DT_CALCRECT | DT_VCENTER);
    const int w = std::max(m.Right, 0);
    const int rh = std::max(m.Bottom, 0);
    TRect r{Saturate(px), Saturate(py + h - rh), Saturate(px + w), Saturate(py + h)};
    canvas.DrawText(run, r, DT_WORDBREAK | DT_VCENTER);
    px += w;
  }
}

}  // namespace vx
