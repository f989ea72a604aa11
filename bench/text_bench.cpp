// What a host pays for text: a text component's redraw (plain, gradient, markup), one tick of
// a scrolling text, a long ticker's redraw, and measuring a markup text.
#include <benchmark/benchmark.h>

#include <string>

#include "components/scrolltext.h"
#include "components/text.h"
#include "markup/markup.h"
#include "platform/canvas.h"

namespace vx {
namespace {

// 40 characters, CJK and Latin mixed.
const std::u16string kLine = u"新闻快讯 Breaking: 股市收盘上涨 Index +2.5% 今日天气晴";

template <class T>
void SetUp(T &c, std::u16string_view text) {
  c.Canvas().Font.Name = "宋体";
  c.Canvas().Font.SetSize(24);
  c.Canvas().Font.Color = clWhite;
  c.SetText(text);
}

void BM_TextRedrawPlain(benchmark::State &state) {
  TOSDText t;
  SetUp(t, kLine);
  for (auto _ : state) t.SetVisible(true);
  state.SetLabel("one 40-character line at 24 pt");
}
BENCHMARK(BM_TextRedrawPlain)->Unit(benchmark::kMicrosecond);

void BM_TextRedrawGradient(benchmark::State &state) {
  TOSDText t;
  SetUp(t, kLine);
  t.SetGradual(clRed, clYellow);
  for (auto _ : state) t.SetVisible(true);
}
BENCHMARK(BM_TextRedrawGradient)->Unit(benchmark::kMicrosecond);

void BM_TextRedrawMarkup(benchmark::State &state) {
  TOSDText t;
  SetUp(t, u"<font size=\"24\" color=\"#ffffff\">新闻快讯 <b>Breaking:</b> 股市收盘上涨 "
           u"<font size=\"24\" color=\"#00ffff\">Index +2.5%</font><font size=\"24\"> 今日天气晴");
  t.SetHtml(true);
  for (auto _ : state) t.SetVisible(true);
}
BENCHMARK(BM_TextRedrawMarkup)->Unit(benchmark::kMicrosecond);

void BM_ScrollTick640(benchmark::State &state) {
  TOSDScrollText s;
  SetUp(s, kLine);
  s.SetVisible(true);
  s.step = 0;
  s.xpos = 100;  // text in view
  for (auto _ : state) s.OnScrollTimer();
  state.SetLabel("640-pixel window");
}
BENCHMARK(BM_ScrollTick640)->Unit(benchmark::kMicrosecond);

void BM_TickerRedraw2000(benchmark::State &state) {
  std::u16string ticker;
  while (ticker.size() < 2000) ticker += kLine;
  ticker.resize(2000);
  TOSDScrollText s;
  SetUp(s, ticker);
  for (auto _ : state) s.SetVisible(true);
  state.SetLabel("2,000 characters at 24 pt");
}
BENCHMARK(BM_TickerRedraw2000)->Unit(benchmark::kMillisecond);

void BM_MarkupWidth20Lines(benchmark::State &state) {
  std::u16string m;
  for (int i = 0; i < 20; ++i)
    m += u"<font size=\"" + std::u16string(i % 2 ? u"18" : u"24") +
         u"\" color=\"#00ffff\">第" + std::u16string(1, char16_t(u'0' + i % 10)) +
         u"行 line</font> <b>bold &amp; more</b><br>";
  for (auto _ : state) benchmark::DoNotOptimize(MarkupWidth(m, -1));
  state.SetLabel("20 lines");
}
BENCHMARK(BM_MarkupWidth20Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vx
