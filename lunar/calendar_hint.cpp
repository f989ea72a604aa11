#include "lunar/calendar_hint.h"

#include <algorithm>

namespace vx {
namespace {

std::u16string_view TrimBlanks(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

// Lines split at carriage returns and line feeds; a run of them is one break, and a break at
// the end adds no line.
std::vector<std::u16string> SplitHintLines(std::u16string_view text) {
  std::vector<std::u16string> out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    while (j < text.size() && text[j] != u'\r' && text[j] != u'\n') ++j;
    out.emplace_back(text.substr(i, j - i));
    while (j < text.size() && (text[j] == u'\r' || text[j] == u'\n')) ++j;
    i = j;
  }
  return out;
}

}  // namespace

TCalendarHint::TCalendarHint(TYnrCalendar *parent) : Color(clInfoBk), parent_(parent) {
  surface_.SetPixelFormat(TPixelFormat::pf24bit);
  TFont &f = surface_.Canvas().Font;
  f.Name = "宋体";
  f.Charset = GB2312_CHARSET;
  f.SetSize(9);
  f.Color = clInfoText;
}

void TCalendarHint::SetText(std::u16string_view text) {
  if (text == text_) return;
  text_ = std::u16string(text);
  MeasureText();
  if (Width > 0 && Height > 0) {
    Show();
  } else {
    Hide();
  }
  Paint();
}

void TCalendarHint::MeasureText() {
  TCanvas &c = surface_.Canvas();
  std::vector<std::u16string> whole = SplitHintLines(text_);
  lines_.clear();
  labels_.clear();
  label_width_ = 0;
  int widest = 0;
  const bool has_labels = text_.find(u'=') != std::u16string::npos;
  for (const std::u16string &line : whole) {
    widest = std::max(widest, c.TextWidth(line));
    std::size_t eq = has_labels ? line.find(u'=') : std::u16string::npos;
    if (eq == std::u16string::npos) {
      labels_.emplace_back();
      lines_.push_back(line);
      continue;
    }
    std::u16string label(TrimBlanks(std::u16string_view(line).substr(0, eq)));
    label += u':';
    label_width_ = std::max(label_width_, c.TextWidth(label));
    labels_.push_back(std::move(label));
    lines_.push_back(line.substr(eq + 1));
  }
  if (whole.empty()) {
    Width = Height = 0;
    return;
  }
  Width = widest + 10;
  Height = c.TextHeight(text_) * static_cast<int>(whole.size()) + 10;
}

void TCalendarHint::PlaceAtCursor(TPoint cursor, TSize screen) {
  int x = cursor.X + 16, y = cursor.Y + 16;
  if (x + Width > screen.cx) x = screen.cx - Width;
  if (y + Height > screen.cy) y = screen.cy - Height;
  Left = x;
  Top = y;
}

void TCalendarHint::SetAlpha(int value) {
  if (value < 0 || value > 255 || value == alpha_) return;
  alpha_ = value;
  layered_ = true;  // the layered style, with the window's constant alpha
}

void TCalendarHint::Paint() {
  if (Width <= 0 || Height <= 0) return;
  surface_.SetSize(Width, Height);
  TCanvas &c = surface_.Canvas();
  c.Brush.Style = TBrushStyle::bsSolid;
  c.Brush.Color = Color;
  c.FillRect(Rect(0, 0, Width, Height));
  c.Brush.Color = clWindowFrame;
  c.FrameRect(Rect(0, 0, Width, Height));
  c.Brush.Style = TBrushStyle::bsClear;
  c.SetBkMode(TRANSPARENT);
  const TColor text_color = c.Font.Color;
  const int line_height = c.TextHeight(u"H");
  int y = 5;
  for (std::size_t i = 0; i < lines_.size(); ++i, y += line_height) {
    int x = 5;
    if (!labels_[i].empty()) {
      c.Font.Color = clRed;
      c.TextOut(5, y, labels_[i]);
    }
    if (label_width_ > 0) x += label_width_;
    c.Font.Color = text_color;
    c.TextOut(x, y, lines_[i]);
  }
}

}  // namespace vx
