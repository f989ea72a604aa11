#include "markup/scanner.h"

#include <algorithm>

#include "markup/wideutils.h"

namespace vx {

MarkupTagKind ClassifyMarkupTag(std::u16string_view t) {
  if (t == u"br") return MarkupTagKind::Break;
  if (t == u"/font") return MarkupTagKind::FontReset;
  if (t.find(u"font") != std::u16string_view::npos) return MarkupTagKind::Font;
  if (t == u"b") return MarkupTagKind::Bold;
  if (t == u"/b") return MarkupTagKind::BoldOff;
  if (t == u"i") return MarkupTagKind::Italic;
  if (t == u"/i") return MarkupTagKind::ItalicOff;
  if (t == u"u") return MarkupTagKind::Underline;
  if (t == u"/u") return MarkupTagKind::UnderlineOff;
  return MarkupTagKind::Other;
}

MarkupScanner::MarkupScanner(std::u16string_view text) : text_(text), pos_(text.find(u'<')) {}

bool MarkupScanner::Next(MarkupTag &tag) {
  if (pos_ == std::u16string_view::npos) return false;
  const auto close = text_.find(u'>', pos_ + 1);
  if (close == std::u16string_view::npos) {
    pos_ = std::u16string_view::npos;
    return false;
  }
  tag.text = WideLowerCase(TrimWide(text_.substr(pos_ + 1, close - pos_ - 1)));
  tag.kind = ClassifyMarkupTag(tag.text);
  const auto run_start = close + 1;
  pos_ = text_.find(u'<', run_start);
  const auto run_end = pos_ == std::u16string_view::npos ? text_.size() : pos_;
  tag.run = text_.substr(run_start, run_end - run_start);
  return true;
}

std::optional<std::u16string> ReadMarkupAttribute(std::u16string_view t,
                                                  std::u16string_view name) {
  const int p = FindWideText(name, t, 1);
  if (p == 0) return std::nullopt;
  const int eq = FindWideText(u"=\"", t, p + 4);
  const int start = eq + 2;  // 2 when there is no `="`
  const int end = FindWideText(u"\"", t, start);
  if (end == 0) return std::nullopt;
  return std::u16string(t.substr(static_cast<std::size_t>(start - 1),
                                 static_cast<std::size_t>(end - start)));
}

MarkupFontAttrs ReadMarkupFontAttrs(std::u16string_view t) {
  MarkupFontAttrs attrs;
  if (auto v = ReadMarkupAttribute(t, u"size")) {
    if (auto n = ReadIntegerText(*v))
      attrs.size = std::clamp<std::int32_t>(*n, -kMaxMarkupFontPoints, kMaxMarkupFontPoints);
  }
  if (auto v = ReadMarkupAttribute(t, u"color"); v && !v->empty()) {
    // The first character (usually "#") is dropped whatever it is.
    if (auto n = ReadIntegerText(u"$" + v->substr(1))) attrs.color = *n;
  }
  if (auto v = ReadMarkupAttribute(t, u"face"); v && !v->empty()) attrs.face = std::move(*v);
  return attrs;
}

std::u16string ReplaceMarkupEntities(std::u16string_view run) {
  auto s = ReplaceAllWide(run, u"&lt;", u"<");
  s = ReplaceAllWide(s, u"&gt;", u">");
  return ReplaceAllWide(s, u"&amp;", u"&");
}

}  // namespace vx
