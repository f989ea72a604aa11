#pragma once
// DrawText layout as named stages, each testable on its own with made-up advances:
//   SplitLines (hard breaks) -> advances (the font measures) -> WrapLine (soft breaks) ->
//   LayoutText (lines and extent) -> AlignLines (origins in the rectangle) -> drawing (canvas).

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace vx {

// A line of a text: code points [begin, end); width is the sum of their advances.
struct TextLine {
  std::size_t begin = 0;
  std::size_t end = 0;
  int width = 0;
  friend bool operator==(const TextLine &, const TextLine &) = default;
};

// Hard lines: CR, LF, CR LF and LF CR each make one break; a break at the very end of the
// text starts no further line. An empty text has no lines.
std::vector<TextLine> SplitLines(std::u32string_view text);

// Whether a line may break between text[i - 1] and text[i]: after a run of spaces, and next to
// a CJK character (except before closing and after opening punctuation).
bool CanBreakBefore(std::u32string_view text, std::size_t i);
bool IsCjk(char32_t ch);

// Soft breaks of the hard line [begin, end) to fit max_width. A word wider than the line stays
// whole unless break_words, which breaks it between characters (at least one character per
// line). Spaces at a soft break belong to no line.
std::vector<TextLine> WrapLine(std::u32string_view text, const int *advances, std::size_t begin,
                               std::size_t end, int max_width, bool break_words);

struct TextLayout {
  std::vector<TextLine> lines;
  int width = 0;        // widest line
  int height = 0;       // lines x line height
  int line_height = 0;
};

// Lines and extent of a text for DrawText flags (DT_SINGLELINE, DT_WORDBREAK, DT_EDITCONTROL).
// advances[i] is the advance of text[i].
TextLayout LayoutText(std::u32string_view text, const int *advances, int line_height,
                      int max_width, unsigned format);

// Top-left origin of each line inside rect: DT_CENTER / DT_RIGHT per line; DT_VCENTER and
// DT_BOTTOM only for a single-line layout (DT_SINGLELINE), as the original platform does.
std::vector<TPoint> AlignLines(const TextLayout &layout, const TRect &rect, unsigned format);

}  // namespace vx
