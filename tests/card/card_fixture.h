#pragma once
// Shared by the card tests: a software card installed per test, and frame streams built the
// way the card expects them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "card/card.h"
#include "drivers/virtualcard/virtualcard.h"

namespace vx::test {

// The fixed frame palette's colour for an index (as R, G, B).
inline void FrameColor(int i, int &r, int &g, int &b) {
  static const int low[10][3] = {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},    {128, 128, 0},
                                 {0, 0, 128},   {128, 0, 128},   {0, 128, 128},  {192, 192, 192},
                                 {192, 220, 192}, {166, 202, 240}};
  static const int high[10][3] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                  {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                  {0, 255, 255},   {255, 255, 255}};
  if (i < 10) {
    r = low[i][0], g = low[i][1], b = low[i][2];
  } else if (i >= 246) {
    r = high[i - 246][0], g = high[i - 246][1], b = high[i - 246][2];
  } else {
    r = (i % 8) * 32, g = ((i / 8) % 8) * 32, b = (i / 64) * 64;
  }
}

// A frame stream: header, card palette (A = 255 except `levels`), pixels from `paint`.
template <typename Paint>
std::vector<std::uint8_t> MakeFrameStream(int width, int height, Paint paint,
                                          std::vector<std::pair<int, int>> levels = {}) {
  const std::uint32_t length = std::uint32_t(width) * std::uint32_t(height) + 1032;
  std::vector<std::uint8_t> s(length);
  s[0] = 0x3E;
  s[1] = (length >> 16) & 0xFF, s[2] = (length >> 8) & 0xFF, s[3] = length & 0xFF;
  s[4] = width >> 8, s[5] = width & 0xFF, s[6] = height >> 8, s[7] = height & 0xFF;
  for (int i = 0; i < 256; ++i) {
    int r, g, b;
    FrameColor(i, r, g, b);
    std::uint8_t *e = &s[8 + 4 * i];
    e[0] = 255;
    e[1] = static_cast<std::uint8_t>((257 * r + 504 * g + 98 * b + 16000) / 1000);
    e[2] = static_cast<std::uint8_t>((439 * b - 148 * r - 291 * g + 128000) / 1000);
    e[3] = static_cast<std::uint8_t>((439 * r - 368 * g - 71 * b + 128000) / 1000);
  }
  for (auto [index, level] : levels) s[8 + 4 * index] = static_cast<std::uint8_t>(level);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) s[1032 + std::size_t(y) * width + x] = paint(x, y);
  return s;
}

inline std::vector<std::uint8_t> KeyFrame(int width = 640, int height = 480) {
  return MakeFrameStream(width, height, [](int, int) { return std::uint8_t{250}; });
}

inline std::string CardLog() {
  std::vector<char> text(VxVirtualCard_GetLog(nullptr, 0) + 1);
  VxVirtualCard_GetLog(text.data(), text.size());
  return text.data();
}

inline VxVirtualCardCounters Counters() {
  VxVirtualCardCounters c;
  VxVirtualCard_GetCounters(&c);
  return c;
}

// Installs the software card for one test; the push wait is kept tiny so that a card that
// never completes costs 20 ms.
class CardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TOSDCard::SetWaitLimit(20);
    VxVirtualCard_DefaultOptions(&options_);
  }
  void TearDown() override {
    VxVirtualCard_Uninstall();
    TOSDCard::SetWaitLimit(kCardPushWaitMs);
    EXPECT_EQ(VxVirtualCard_LiveObjects(), 0u) << "card objects leaked";
  }
  void Install() { ASSERT_EQ(VxVirtualCard_Install(&options_), 1); }

  VxVirtualCardOptions options_{};
};

}  // namespace vx::test
