#pragma once
// Compares two runs of one scene at the same scene time, frame by frame, where only the glyph
// source differs (FreeType on Linux, GDI on Windows): the frame streams' headers and palettes
// must be identical byte for byte, every pixel outside the text boxes identical, and a text
// box that shows ink in one run must show ink in the other.

#include <cstdint>
#include <string>
#include <vector>

#include "text_boxes.h"

namespace vxplay {

// A snapshot of a run as vxosd-play --inspect writes it.
struct InspectedFrame {
  std::vector<std::uint8_t> stream;  // the frame stream
  std::vector<TextBox> boxes;
};

struct FrameComparison {
  std::vector<std::string> faults;  // one message per fault; none when the frames agree
  long text_pixels_differing = 0;   // inside the text boxes, where the glyph sources show
};

FrameComparison CompareFrames(const InspectedFrame &a, const InspectedFrame &b);

}  // namespace vxplay
