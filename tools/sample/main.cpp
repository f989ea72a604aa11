// vxosd-sample out.png: renders sample text (Latin and CJK, several sizes, bold, italic,
// underline, rotated lines, wrapped and vertical layout, a gradient inside the glyphs) on an
// 8-bit palette bitmap and writes it as PNG.

#include <cstdio>
#include <exception>
#include <vector>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/png.h"

namespace {

using namespace vx;

// A 6x6x6 colour cube, a grey ramp and the key green.
std::vector<TPaletteEntry> SamplePalette() {
  std::vector<TPaletteEntry> p;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        p.push_back({static_cast<std::uint8_t>(r * 51), static_cast<std::uint8_t>(g * 51),
                     static_cast<std::uint8_t>(b * 51), 0});
  for (int i = 0; p.size() < 255; ++i) {
    const auto v = static_cast<std::uint8_t>(8 + i * 6);
    p.push_back({v, v, v, 0});
  }
  p.push_back({0, 255, 0, 0});
  return p;
}

void Text(TCanvas &c, int x, int y, const char *face, int size, TFontStyles style, TColor color,
          std::u16string_view text, int escapement = 0) {
  c.Font.Name = face;
  c.Font.SetSize(size);
  c.Font.Style = style;
  c.Font.Color = color;
  c.Font.Escapement = escapement;
  c.TextOut(x, y, text);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vxosd-sample out.png\n");
    return 2;
  }
  try {
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    const auto palette = SamplePalette();
    bitmap.SetPalette(palette);
    bitmap.SetSize(640, 480);
    TCanvas &c = bitmap.Canvas();
    c.Brush.Color = RGB(0, 255, 0);
    c.FillRect({0, 0, 640, 480});
    c.SetBkMode(TRANSPARENT);

    Text(c, 10, 8, "宋体", 9, 0, clWhite, u"宋体 9 pt: 视频字幕叠加 VXOSD 0123456789");
    Text(c, 10, 26, "宋体", 12, 0, clWhite, u"宋体 12 pt: 春眠不觉晓，处处闻啼鸟。");
    Text(c, 10, 50, "宋体", 24, 0, clYellow, u"宋体 24 pt 中文字幕");
    Text(c, 10, 90, "Arial", 12, 0, clWhite, u"Arial 12 pt: The quick brown fox jumps.");
    Text(c, 10, 112, "Arial", 16, fsBold, clWhite, u"Arial 16 pt bold, 粗体");
    Text(c, 10, 140, "Times New Roman", 16, fsItalic, clWhite, u"Times 16 pt italic, 斜体");
    Text(c, 10, 168, "Arial Black", 14, fsUnderline, clAqua, u"Arial Black 14 underline");
    Text(c, 10, 196, "No Such Face", 12, fsStrikeOut, clWhite, u"Unknown face, strike-out");

    c.SetBkMode(OPAQUE);
    c.Brush.Color = clNavy;
    Text(c, 10, 226, "宋体", 14, 0, clWhite, u"不透明背景 opaque background");
    c.SetBkMode(TRANSPARENT);

    Text(c, 60, 460, "Arial", 14, 0, clWhite, u"Rotated 30° 旋转", 300);
    Text(c, 300, 470, "宋体", 14, 0, clYellow, u"竖排 90°", 900);

    c.Font.Name = "宋体";
    c.Font.SetSize(12);
    c.Font.Style = 0;
    c.Font.Escapement = 0;
    c.Font.Color = clWhite;
    TRect para{340, 10, 630, 150};
    c.DrawText(u"自动换行：DrawText 在空格处换行，中文字符之间也可以换行。"
               u"Word wrap breaks at spaces and between CJK characters.",
               para, DT_WORDBREAK);
    TRect vertical{600, 160, 601, 0};
    c.DrawText(u"一字一行", vertical, DT_EDITCONTROL | DT_WORDBREAK | DT_CALCRECT);
    c.DrawText(u"一字一行", vertical, DT_EDITCONTROL | DT_WORDBREAK);

    // A gradient visible only inside the glyphs, through a text clip path.
    c.Font.SetSize(28);
    c.Font.Style = fsBold;
    TRect banner{340, 300, 640, 360};
    c.BeginPath();
    c.DrawText(u"渐变 Gradient", banner, DT_SINGLELINE);
    c.EndPath();
    c.SelectClipPath(RGN_COPY);
    for (int x = banner.Left; x < banner.Right; ++x)
      for (int y = banner.Top; y < banner.Bottom; ++y)
        c.FillSpan(x, x + 1, y, RGB(255 - (x - banner.Left) * 255 / 300, 128, (x - banner.Left) * 255 / 300));
    c.SelectClipRgn(nullptr);

    SavePng(bitmap, argv[1]);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vxosd-sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
