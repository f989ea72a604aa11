#include "compare.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "scene/frame.h"

namespace vxplay {

using namespace vxscene;

namespace {

struct Rect {
  int left = kFrameWidth, top = kFrameHeight, right = 0, bottom = 0;
  void Add(int x0, int y0, int x1, int y1) {
    left = std::min(left, x0), top = std::min(top, y0);
    right = std::max(right, x1), bottom = std::max(bottom, y1);
  }
  std::string Text() const {
    return "(" + std::to_string(left) + "," + std::to_string(top) + ")-(" + std::to_string(right) +
           "," + std::to_string(bottom) + ")";
  }
};

std::uint8_t Pixel(const InspectedFrame &f, int x, int y) {
  return f.stream[kFramePixelsOffset + static_cast<std::size_t>(y) * kFrameWidth + x];
}

// Ink: more than one palette index inside the box (glyphs over their background).
bool HasInk(const InspectedFrame &f, const Rect &r) {
  const std::uint8_t first = Pixel(f, r.left, r.top);
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (Pixel(f, x, y) != first) return true;
  return false;
}

}  // namespace

FrameComparison CompareFrames(const InspectedFrame &a, const InspectedFrame &b) {
  FrameComparison result;
  std::vector<std::string> &faults = result.faults;
  if (a.stream.size() != kFrameStreamBytes || b.stream.size() != kFrameStreamBytes) {
    faults.push_back("frame stream sizes " + std::to_string(a.stream.size()) + " and " +
                     std::to_string(b.stream.size()) + ", not " + std::to_string(kFrameStreamBytes));
    return result;
  }
  for (std::size_t i = 0; i < kFramePixelsOffset; ++i) {
    if (a.stream[i] == b.stream[i]) continue;
    char what[160];
    if (i < kFrameHeaderBytes)
      std::snprintf(what, sizeof what, "headers differ at byte %zu: %02X and %02X", i, a.stream[i],
                    b.stream[i]);
    else
      std::snprintf(what, sizeof what, "palettes differ at entry %zu (byte %zu of A/Y/Cb/Cr): %02X and %02X",
                    (i - kFrameHeaderBytes) / 4, (i - kFrameHeaderBytes) % 4, a.stream[i], b.stream[i]);
    faults.push_back(what);
    break;
  }

  // Each named component's box: the union of what both runs measured.
  std::map<std::string, Rect> boxes;
  for (const auto *list : {&a.boxes, &b.boxes})
    for (const TextBox &t : *list) {
      const int l = std::clamp(t.left, 0, kFrameWidth), r = std::clamp(t.right, 0, kFrameWidth);
      const int top = std::clamp(t.top, 0, kFrameHeight), bot = std::clamp(t.bottom, 0, kFrameHeight);
      if (r > l && bot > top) boxes[t.name].Add(l, top, r, bot);
    }
  std::vector<bool> in_text(static_cast<std::size_t>(kFrameWidth) * kFrameHeight, false);
  for (const auto &[name, r] : boxes)
    for (int y = r.top; y < r.bottom; ++y)
      std::fill_n(in_text.begin() + static_cast<std::ptrdiff_t>(y) * kFrameWidth + r.left,
                  r.right - r.left, true);

  long outside = 0;
  Rect where;
  std::string first;
  for (int y = 0; y < kFrameHeight; ++y)
    for (int x = 0; x < kFrameWidth; ++x) {
      const std::uint8_t pa = Pixel(a, x, y), pb = Pixel(b, x, y);
      if (pa == pb) continue;
      if (in_text[static_cast<std::size_t>(y) * kFrameWidth + x]) {
        ++result.text_pixels_differing;
        continue;
      }
      if (outside++ == 0)
        first = " (the first at " + std::to_string(x) + "," + std::to_string(y) + ": index " +
                std::to_string(pa) + " and " + std::to_string(pb) + ")";
      where.Add(x, y, x + 1, y + 1);
    }
  if (outside > 0)
    faults.push_back(std::to_string(outside) + " pixels outside the text boxes differ, within " +
                     where.Text() + first);

  for (const auto &[name, r] : boxes) {
    const bool ink_a = HasInk(a, r), ink_b = HasInk(b, r);
    if (ink_a != ink_b)
      faults.push_back("text box " + name + " " + r.Text() + " has ink in the " +
                       (ink_a ? "first" : "second") + " run only");
  }
  return result;
}

}  // namespace vxplay
