#pragma once
// Reading the markup text: tags, the text runs behind them, and the attributes of font tags.
// Pure string work, no drawing; the measuring and drawing routines (markup.h) walk these.
//
// A tag starts at a "<" and ends at the next ">" after it. A "<" with no ">" behind it ends the
// scan: neither it nor anything after it is a tag or a run (the run before it still ends at
// it). Every step moves strictly forward, so a scan is linear in the text's length.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/color.h"

namespace vx {

enum class MarkupTagKind {
  Other,       // ends the current run and does nothing else
  FontReset,   // "/font"
  Font,        // any other tag containing "font"
  Bold,        // "b"
  BoldOff,     // "/b"
  Italic,      // "i"
  ItalicOff,   // "/i"
  Underline,   // "u"
  UnderlineOff,  // "/u"
  Break,       // "br"
};

struct MarkupTag {
  std::u16string text;        // between "<" and ">", trimmed and lower-cased
  MarkupTagKind kind = MarkupTagKind::Other;
  std::u16string_view run;    // the text run behind the tag, entities not yet replaced
  bool HasRun() const { return !run.empty(); }
};

MarkupTagKind ClassifyMarkupTag(std::u16string_view tag_text);

class MarkupScanner {
 public:
  explicit MarkupScanner(std::u16string_view text);
  // The next tag, or false when there is none left.
  bool Next(MarkupTag &tag);

 private:
  std::u16string_view text_;
  std::size_t pos_;  // index of the next "<", or npos
};

// The font settings a font tag carries; each is absent when the tag does not set it.
struct MarkupFontAttrs {
  std::optional<int> size;
  std::optional<TColor> color;
  std::optional<std::u16string> face;
};

// Largest font size (in points, either sign) a tag may set; larger ones are clamped, so that
// one tag cannot ask the font engine for glyphs many times the frame's size.
constexpr int kMaxMarkupFontPoints = 1000;

// The value of attribute `name` in a (trimmed, lower-cased) tag text, found the way the card's
// markup has always been read: the name's first occurrence p (1-based), then the first `="`
// at or after p + 4; the value runs from two characters behind the "=" to the next double
// quote. With no `="` there, the value search starts at position 2 of the tag. No closing
// quote, or no occurrence of the name at all: no value.
std::optional<std::u16string> ReadMarkupAttribute(std::u16string_view tag_text,
                                                  std::u16string_view name);
// size (through the integer reader, clamped), color (first character dropped, the rest
// hexadecimal) and face (non-empty).
MarkupFontAttrs ReadMarkupFontAttrs(std::u16string_view tag_text);

// "&lt;", "&gt;", "&amp;" in this order, each for every occurrence.
std::u16string ReplaceMarkupEntities(std::u16string_view run);

}  // namespace vx
