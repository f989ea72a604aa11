#include "scene.h"

#include <cctype>
#include <fstream>
#include <map>

namespace vxscene {

namespace {

using enum ArgType;

const std::map<std::string, std::vector<ArgType>, std::less<>> &Signatures() {
  static const std::map<std::string, std::vector<ArgType>, std::less<>> table = {
      {"InitVxOSD", {}},
      {"FreeVxOSD", {}},
      {"AddVxComponent", {Name, Int}},
      {"DelVxComponent", {Name}},
      {"SetVxComponent_Pos", {Name, Int, Int, Int, Int}},
      {"SetVxComponent_Color", {Name, Int, Int}},
      {"SetVxComponent_Font", {Name, Text, Int, Int}},
      {"SetVxComponent_Visible", {Name, Int, Int}},
      {"SetVxComponent_Text", {Name, Text}},
      {"SetVxComponent_Time", {Name, Int}},
      {"GetVxComponent_TextRect", {Name, Text}},
      {"SetVxComponent_TextStep", {Name, Int}},
      {"SetVxComponent_TextScroll", {Name, Int}},
      {"SetVxComponent_TextMode", {Name, Int}},
      {"SetVxComponent_TextGradual", {Name, Int, Int}},
      {"SetVxComponent_TextHtml", {Name, Int}},
      {"SetVxComponent_RandomColor", {Name, Int, Int, Int, Int, Int}},
      {"SetVxComponent_RandomTextColor", {Name, Int, Int, Int, Int, Int}},
      {"SetVxComponent_TextFile", {Name, Int}},
      {"SetVxComponent_PicFile", {Name, Path}},
      {"SetVxComponent_PicSplitFile", {Name, Path, Int}},
      {"SetVxComponent_PicSplitTextPos", {Name, Int, Int}},
      {"SetVxComponent_PicSplitShow", {Name, Int}},
      {"SetVxComponent_PicMovie", {Name, Path, Int, Int}},
      {"SetVxComponent_PicTime", {Name, Int}},
      {"SetVxComponent_MovieTime", {Name, Int, Int}},
      {"SetVxOSD_DebugView", {Text}},
      {"wait", {Ms}},
      {"snapshot", {File}},
  };
  return table;
}

struct Token {
  bool quoted = false;
  std::string text;
};

bool BareChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '+' ||
         c == '.' || c == '/' || c == ':' || (static_cast<unsigned char>(c) >= 0x80);
}

std::vector<Token> Tokenize(std::string_view line, int number) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == ',') {
      ++i;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      Token t{true, {}};
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        // The exports take zero-terminated texts: a NUL would cut the text short unseen.
        if (d == '\0') throw SceneError(number, "a text holds a NUL character (\\x00)");
        if (d != '\\') {
          t.text += d;
          continue;
        }
        if (i >= line.size()) break;
        const char e = line[i++];
        if (e == '"' || e == '\\') t.text += e;
        else if (e == 'n') t.text += '\n';
        else throw SceneError(number, "unknown escape \\" + Escaped({&e, 1}) + " in a text");
      }
      if (!closed) throw SceneError(number, "a text is not closed with \"");
      tokens.push_back(std::move(t));
    } else if (BareChar(c)) {
      Token t;
      while (i < line.size() && BareChar(line[i])) t.text += line[i++];
      tokens.push_back(std::move(t));
    } else {
      throw SceneError(number, "unexpected character '" + Escaped({&c, 1}) + "'");
    }
  }
  return tokens;
}

bool ParseInt(const std::string &s, std::int64_t lo, std::int64_t hi, std::int64_t &out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int base = 10;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  std::int64_t v = 0;
  for (; i < s.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else return false;
    v = v * base + d;
    if (v > (std::int64_t{1} << 33)) return false;
  }
  if (negative) v = -v;
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

}  // namespace

bool Utf8ToUtf16(std::string_view in, std::u16string &out) {
  out.clear();
  for (std::size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    std::uint32_t cp;
    int extra;
    if (b < 0x80) cp = b, extra = 0;
    else if ((b & 0xE0) == 0xC0) cp = b & 0x1F, extra = 1;
    else if ((b & 0xF0) == 0xE0) cp = b & 0x0F, extra = 2;
    else if ((b & 0xF8) == 0xF0) cp = b & 0x07, extra = 3;
    else return false;
    if (extra > 0 && i + extra >= in.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(in[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const std::uint32_t min_for[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < min_for[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += 1 + extra;
  }
  return true;
}

const std::vector<ArgType> *Signature(std::string_view call) {
  const auto &table = Signatures();
  auto it = table.find(call);
  return it == table.end() ? nullptr : &it->second;
}

std::optional<Step> ParseLine(std::string_view line, int number) {
  std::vector<Token> tokens = Tokenize(line, number);
  if (tokens.empty()) return std::nullopt;
  if (tokens[0].quoted) throw SceneError(number, "a line starts with a call name, not a text");
  Step step;
  step.line = number;
  step.call = tokens[0].text;
  const std::vector<ArgType> *sig = Signature(step.call);
  if (!sig) throw SceneError(number, "unknown call \"" + Escaped(step.call) + "\"");
  if (tokens.size() - 1 != sig->size())
    throw SceneError(number, step.call + " takes " + std::to_string(sig->size()) +
                                 " argument(s), not " + std::to_string(tokens.size() - 1));
  for (std::size_t k = 0; k < sig->size(); ++k) {
    const Token &t = tokens[k + 1];
    Arg a;
    a.type = (*sig)[k];
    const std::string which = "argument " + std::to_string(k + 1) + " of " + step.call;
    switch (a.type) {
      case Name:
      case File:
        if (t.text.empty()) throw SceneError(number, which + " is empty");
        a.utf8 = t.text;
        break;
      case Text:
      case Path:
        if (!t.quoted) throw SceneError(number, which + " must be a text in double quotes");
        if (!Utf8ToUtf16(t.text, a.utf16)) throw SceneError(number, which + " is not UTF-8");
        a.utf8 = t.text;
        break;
      case Int:
      case Ms: {
        std::int64_t v = 0;
        const bool ok = !t.quoted && (a.type == Ms ? ParseInt(t.text, 0, 0x7FFFFFFF, v)
                                                   : ParseInt(t.text, -2147483648LL,
                                                              0xFFFFFFFFLL, v));
        if (!ok) throw SceneError(number, which + ": bad value \"" + Escaped(t.text) + "\"");
        a.number = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        break;
      }
    }
    step.args.push_back(std::move(a));
  }
  return step;
}

std::vector<Step> ParseScene(std::string_view text) {
  // Editors on some systems start a UTF-8 file with a byte-order mark.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<Step> steps;
  int number = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (std::optional<Step> step = ParseLine(line, number)) steps.push_back(std::move(*step));
  }
  return steps;
}

std::vector<Step> LoadScene(const std::filesystem::path &file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (fs::is_directory(status)) throw SceneFileError(file.string() + " is a directory, not a scene");
  if (ec || !fs::exists(status)) throw SceneFileError("cannot read " + file.string());
  // A device or a pipe could give bytes for ever, or none and never end: only files are read.
  if (!fs::is_regular_file(status))
    throw SceneFileError(file.string() + " is not a regular file (a device, a pipe or a socket), not a scene");
  const std::string too_large =
      file.string() + " is larger than " + std::to_string(kMaxSceneBytes >> 20) + " MiB, too large for a scene";
  if (const std::uintmax_t size = fs::file_size(file, ec); !ec && size > kMaxSceneBytes)
    throw SceneFileError(too_large);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SceneFileError("cannot read " + file.string());
  // Bounded also while reading: the file may grow after its size was taken.
  std::string text;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxSceneBytes) throw SceneFileError(too_large);
  }
  if (in.bad()) throw SceneFileError("cannot read " + file.string());
  std::vector<Step> steps = ParseScene(text);
  if (steps.empty()) throw SceneFileError(file.string() + " is an empty scene: it has no step");
  return steps;
}

std::string Escaped(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      out += "\\x";
      out += hex[b >> 4];
      out += hex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::uint64_t SceneDuration(const std::vector<Step> &steps) {
  std::uint64_t total = 0;
  for (const Step &s : steps)
    if (s.call == "wait") total += static_cast<std::uint32_t>(s.args[0].number);
  return total;
}

}  // namespace vxscene
