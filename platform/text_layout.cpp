#include "platform/text_layout.h"

#include <algorithm>

#include "platform/canvas.h"

namespace vx {

namespace {

bool IsBreakChar(char32_t c) { return c == U'\r' || c == U'\n'; }
bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// Kinsoku: characters that never start a line, and characters that never end one.
bool NoBreakBefore(char32_t c) {
  static constexpr std::u32string_view kClosing =
      U"，。、；：？！）」』】》〉〕〗〙〛｝］’”…‥·・ー々〜～.,;:!?)]}%";
  return kClosing.find(c) != std::u32string_view::npos;
}
bool NoBreakAfter(char32_t c) {
  static constexpr std::u32string_view kOpening = U"（「『【《〈〔〖〘〚｛［‘“([{$";
  return kOpening.find(c) != std::u32string_view::npos;
}

long long SumAdvances(const int *advances, std::size_t begin, std::size_t end) {
  long long w = 0;
  for (std::size_t i = begin; i < end; ++i) w += advances[i];
  return w;
}

int ClampInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, 0, 0x3FFFFFFF));
}

}  // namespace

bool IsCjk(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) ||   // radicals, punctuation, kana, CJK ideographs
         (c >= 0xAC00 && c <= 0xD7AF) ||   // Hangul syllables
         (c >= 0xF900 && c <= 0xFAFF) ||   // compatibility ideographs
         (c >= 0xFE30 && c <= 0xFE4F) ||   // compatibility forms
         (c >= 0xFF00 && c <= 0xFFEF) ||   // full-width forms
         (c >= 0x20000 && c <= 0x3FFFF);   // supplementary ideographs
}

std::vector<TextLine> SplitLines(std::u32string_view text) {
  std::vector<TextLine> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char32_t c = text[i];
    if (!IsBreakChar(c)) {
      ++i;
      continue;
    }
    lines.push_back({start, i, 0});
    // CR LF and LF CR are one break; CR CR or LF LF are two.
    if (i + 1 < text.size() && IsBreakChar(text[i + 1]) && text[i + 1] != c)
      i += 2;
    else
      i += 1;
    start = i;
  }
  if (start < text.size()) lines.push_back({start, text.size(), 0});
  return lines;
}

bool CanBreakBefore(std::u32string_view text, std::size_t i) {
  if (i == 0 || i >= text.size()) return false;
  const char32_t prev = text[i - 1];
  const char32_t cur = text[i];
  if (IsSpace(cur)) return false;
  if (IsSpace(prev)) return true;
  if (IsCjk(prev) || IsCjk(cur)) return !NoBreakBefore(cur) && !NoBreakAfter(prev);
  return false;
}

std::vector<TextLine> WrapLine(std::u32string_view text, const int *advances, std::size_t begin,
                               std::size_t end, int max_width, bool break_words) {
  std::vector<TextLine> lines;
  std::size_t pos = begin;
  while (pos < end) {
    long long x = 0;
    std::size_t last_break = 0;  // 0: none yet on this line (pos >= 0 so a break is > pos)
    std::size_t line_end = end;
    std::size_t i = pos;
    for (; i < end; ++i) {
      if (i > pos && CanBreakBefore(text, i)) last_break = i;
      const int w = advances[i];
      if (IsSpace(text[i])) {  // spaces hang past the edge; they never force a break
        x += w;
        continue;
      }
      if (x + w > max_width && i > pos) {
        if (last_break > pos) {
          line_end = last_break;
        } else if (break_words) {
          line_end = i;
        } else {
          // The word stays whole: run to the next break opportunity.
          std::size_t k = i + 1;
          while (k < end && !CanBreakBefore(text, k) && !IsSpace(text[k])) ++k;
          line_end = k;
        }
        break;
      }
      x += w;
    }
    if (i >= end) line_end = end;
    // Spaces at a soft break belong to no line.
    std::size_t visible_end = line_end;
    if (line_end < end)
      while (visible_end > pos && IsSpace(text[visible_end - 1])) --visible_end;
    lines.push_back({pos, visible_end, ClampInt(SumAdvances(advances, pos, visible_end))});
    pos = line_end;
    if (pos < end)
      while (pos < end && IsSpace(text[pos])) ++pos;
  }
  return lines;
}

TextLayout LayoutText(std::u32string_view text, const int *advances, int line_height,
                      int max_width, unsigned format) {
  TextLayout layout;
  layout.line_height = line_height;
  if (format & DT_SINGLELINE) {
    if (!text.empty())
      layout.lines.push_back({0, text.size(), ClampInt(SumAdvances(advances, 0, text.size()))});
  } else {
    for (TextLine hard : SplitLines(text)) {
      hard.width = ClampInt(SumAdvances(advances, hard.begin, hard.end));
      if ((format & DT_WORDBREAK) && hard.width > max_width) {
        for (const TextLine &soft : WrapLine(text, advances, hard.begin, hard.end, max_width,
                                             (format & DT_EDITCONTROL) != 0))
          layout.lines.push_back(soft);
      } else {
        layout.lines.push_back(hard);
      }
    }
  }
  for (const TextLine &line : layout.lines) layout.width = std::max(layout.width, line.width);
  layout.height = ClampInt(static_cast<long long>(layout.lines.size()) * line_height);
  return layout;
}

std::vector<TPoint> AlignLines(const TextLayout &layout, const TRect &rect, unsigned format) {
  std::vector<TPoint> origins;
  origins.reserve(layout.lines.size());
  long long y = rect.Top;
  if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
    y = rect.Top + (static_cast<long long>(rect.Bottom) - rect.Top - layout.line_height) / 2;
  else if ((format & DT_SINGLELINE) && (format & DT_BOTTOM))
    y = static_cast<long long>(rect.Bottom) - layout.line_height;
  for (const TextLine &line : layout.lines) {
    long long x = rect.Left;
    if (format & DT_CENTER)
      x = rect.Left + (static_cast<long long>(rect.Right) - rect.Left - line.width) / 2;
    else if (format & DT_RIGHT)
      x = static_cast<long long>(rect.Right) - line.width;
    origins.push_back({static_cast<int>(std::clamp<long long>(x, INT32_MIN, INT32_MAX)),
                       static_cast<int>(std::clamp<long long>(y, INT32_MIN, INT32_MAX))});
    y += layout.line_height;
  }
  return origins;
}

}  // namespace vx
