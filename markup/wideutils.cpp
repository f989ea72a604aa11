#include "markup/wideutils.h"

namespace vx {

int FindWideText(std::u16string_view sub, std::u16string_view text, int offset) {
  if (offset < 1 || sub.empty()) return 0;
  const auto start = static_cast<std::size_t>(offset - 1);
  if (start >= text.size()) return 0;
  const auto found = text.find(sub, start);
  return found == std::u16string_view::npos ? 0 : static_cast<int>(found) + 1;
}

char16_t WideLowerChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c < 0xC0) return c;
  // Latin-1 capitals, except the multiplication sign.
  if (c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
  // Latin Extended-A: capitals on even code points, their small letters right behind, except
  // for the block U+0139..U+0148 and U+0179..U+017E, where the capitals sit on odd ones.
  if (c >= 0x100 && c <= 0x137) return (c & 1) ? c : static_cast<char16_t>(c + 1);
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
  if (c >= 0x14A && c <= 0x177) return (c & 1) ? c : static_cast<char16_t>(c + 1);
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
  // Greek capitals (U+03A2 is unassigned).
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  // Cyrillic.
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  // Full-width Latin capitals.
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
  return c;
}

std::u16string WideLowerCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto &c : out) c = WideLowerChar(c);
  return out;
}

bool SameWideText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (WideLowerChar(a[i]) != WideLowerChar(b[i])) return false;
  return true;
}

std::u16string ReplaceAllWide(std::u16string_view text, std::u16string_view from,
                              std::u16string_view to) {
  if (from.empty()) return std::u16string(text);
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (;;) {
    const auto found = text.find(from, pos);
    if (found == std::u16string_view::npos) break;
    out.append(text.substr(pos, found - pos));
    out.append(to);
    pos = found + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::u16string_view TrimWide(std::u16string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] <= 32) ++first;
  while (last > first && text[last - 1] <= 32) --last;
  return text.substr(first, last - first);
}

namespace {
int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::int32_t> ReadIntegerText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  bool hex = false;
  if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;  // no digits
  std::uint64_t value = 0;
  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < text.size(); ++i) {
    const int d = hex ? HexDigit(text[i]) : (text[i] >= u'0' && text[i] <= u'9' ? text[i] - u'0' : -1);
    if (d < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
    if (value > limit) return std::nullopt;
  }
  auto bits = static_cast<std::uint32_t>(value);
  if (negative) bits = 0u - bits;
  return static_cast<std::int32_t>(bits);
}

}  // namespace vx
