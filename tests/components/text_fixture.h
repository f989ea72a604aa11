#pragma once
// A manual clock on the thread's message loop, and pixel readers for component bitmaps.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "imaging/osd_graphic.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/timer.h"

namespace vx {

class TextComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = std::make_shared<ManualClock>();
    MessageLoop::Current().SetClock(clock_);
  }
  void TearDown() override { MessageLoop::Current().SetClock(std::make_shared<RealClock>()); }
  void Advance(std::int64_t ms) { MessageLoop::Current().Advance(ms); }

  static void SetFont(TBitmap &b, const char *face, int size, TColor color) {
    b.Canvas().Font.Name = face;
    b.Canvas().Font.SetSize(size);
    b.Canvas().Font.Color = color;
  }
  // Every colour in the bitmap, with its pixel count.
  static std::map<TColor, int> Histogram(const TBitmap &b) {
    std::map<TColor, int> h;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) ++h[b.GetPixel(x, y)];
    return h;
  }
  // Pixels that differ from `background`, as a set of (x, y).
  static std::set<std::pair<int, int>> Ink(const TBitmap &b, TColor background) {
    std::set<std::pair<int, int>> s;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (b.GetPixel(x, y) != background) s.insert({x, y});
    return s;
  }
  // The colour a bitmap shows for `c` (its nearest palette entry).
  static TColor Shown(const TBitmap &b, TColor c) {
    const auto &e = b.Palette()[b.NearestIndex(c)];
    return RGB(e.peRed, e.peGreen, e.peBlue);
  }

  std::shared_ptr<ManualClock> clock_;
};

}  // namespace vx
