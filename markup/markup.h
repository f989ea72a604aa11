#pragma once
// Measuring and drawing the small HTML-like markup that text components can show:
//   <font size="20" color="#0000ff" face="arial">...</font>, <b> <i> <u> and their closers,
//   <br> for a line break, &lt; &gt; &amp; in the text.
// Text before the first tag is neither measured nor drawn. Each call starts from the
// defaults: face "宋体", 8 points, black, no styles.
//
// The first line's height: a size tag in front of the first text run sets the line's height
// (it replaces the initial 8 points, also when it is smaller), just as a size tag at the
// start of any later line does. So "<font size="6">x" is one 6-point line high.

#include <string_view>
#include <vector>

namespace vx {

class TCanvas;

// line = -1: the sum of all lines' heights; 0: the first line's; n >= 1: line n's, counted
// from 1, or 0 when there are fewer lines. Pixels.
int MarkupLineHeight(std::u16string_view text, int line);
// mode = 0: the first line's width; anything else: the widest line's. Pixels; every run
// counts one pixel more than it draws.
int MarkupWidth(std::u16string_view text, int mode);
// Draws the (trimmed) text with its top-left corner at (x, y). Leaves the canvas font as the
// markup last set it.
void DrawMarkup(TCanvas &canvas, int x, int y, std::u16string_view text);

// The heights of all lines in order, in one pass (what MarkupLineHeight(text, n) gives for
// n = 1, 2, ...). Never empty.
std::vector<int> MarkupLineHeights(std::u16string_view text);

}  // namespace vx
