#include "platform/inifile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/exceptions.h"
#include "platform/os.h"

namespace vx {
namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

std::string_view Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// "[name]" with optional blanks around; returns false for other lines.
bool ParseHeader(std::string_view line, std::string_view &name) {
  std::string_view t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  std::size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsComment(std::string_view line) {
  std::string_view t = Trim(line);
  return t.empty() || t.front() == ';' || t.front() == '#';
}

// "ident=value"; returns false for lines without "=".
bool ParseKey(std::string_view line, std::string_view &ident, std::string_view &value) {
  if (IsComment(line)) return false;
  std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  ident = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

std::string Clean(std::string_view s, const char *extra) {
  std::string out(Trim(s));
  for (char &c : out)
    if (c == '\r' || c == '\n' || c == '\0' || (extra && std::strchr(extra, c) != nullptr)) c = ' ';
  return out;
}

bool ParseInt(std::string_view s, int &out) {
  s = Trim(s);
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  long long v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || p != s.data() + s.size()) return false;
  if (neg) v = -v;
  // Hexadecimal values up to 0xFFFFFFFF stand for 32-bit patterns (colours), as on the
  // original platform.
  if (base == 16 && !neg && v > std::numeric_limits<int>::max() && v <= 0xFFFFFFFFLL)
    v -= 0x100000000LL;
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {
  errno = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(os::OpenFile(path_, "rb"), &std::fclose);
  if (!in) {
    if (errno == ENOENT) return;  // a new file
    throw EFOpenError("Cannot open file \"" + path_ + "\"");
  }
  std::string data;
  char buf[65536];
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, in.get());
    data.append(buf, n);
    if (data.size() > kMaxIniBytes) throw EReadError("Settings file too large: \"" + path_ + "\"");
    if (n < sizeof buf) break;
  }
  if (std::ferror(in.get())) throw EFOpenError("Cannot read file \"" + path_ + "\"");
  // A UTF-8 byte-order mark stays part of the first line and is written back as it stands.
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t nl = data.find('\n', start);
    std::size_t end = nl == std::string::npos ? data.size() : nl;
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (lines_.empty()) crlf_ = true;
    }
    lines_.push_back(std::move(line));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
}

std::size_t TIniFile::FindSection(std::string_view section) const {
  std::string want = Clean(section, "]");
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    std::string_view line = lines_[i];
    if (i == 0 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
    if (ParseHeader(line, name) && SameText(name, want)) return i;
  }
  return npos;
}

std::size_t TIniFile::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  std::string_view name;
  while (i < lines_.size() && !ParseHeader(lines_[i], name)) ++i;
  return i;
}

std::size_t TIniFile::FindKey(std::size_t header, std::string_view ident) const {
  std::string want = Clean(ident, "=");
  std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    std::string_view id, value;
    if (ParseKey(lines_[i], id, value) && SameText(id, want)) return i;
  }
  return npos;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident,
                                 std::string_view def) const {
  std::size_t h = FindSection(section);
  if (h == npos) return std::string(def);
  std::size_t k = FindKey(h, ident);
  if (k == npos) return std::string(def);
  std::string_view id, value;
  ParseKey(lines_[k], id, value);
  return std::string(value);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view ident, int def) const {
  if (!ValueExists(section, ident)) return def;
  int v = 0;
  return ParseInt(ReadString(section, ident, ""), v) ? v : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view ident,
                           std::string_view value) {
  // Built by appending: gcc 12 at -O3 reports a false -Wrestrict for chained operator+.
  std::string line = Clean(ident, "=");
  line += '=';
  line += Clean(value, nullptr);
  std::size_t h = FindSection(section);
  if (h == npos) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    std::string header = "[";
    header += Clean(section, "]");
    header += ']';
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(line));
    modified_ = true;
    return;
  }
  std::size_t k = FindKey(h, ident);
  if (k != npos) {
    if (lines_[k] != line) {
      lines_[k] = std::move(line);
      modified_ = true;
    }
    return;
  }
  // Append after the section's last non-blank line, so a blank separator stays last.
  std::size_t at = SectionEnd(h);
  while (at > h + 1 && Trim(lines_[at - 1]).empty()) --at;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  modified_ = true;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
  WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) != npos; }

bool TIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  std::size_t h = FindSection(section);
  return h != npos && FindKey(h, ident) != npos;
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident) {
  std::size_t h = FindSection(section);
  if (h == npos) return;
  std::size_t k = FindKey(h, ident);
  if (k == npos) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
  modified_ = true;
}

void TIniFile::EraseSection(std::string_view section) {
  std::size_t h = FindSection(section);
  if (h == npos) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(h),
               lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(h)));
  modified_ = true;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> out;
  std::size_t h = FindSection(section);
  if (h == npos) return out;
  std::size_t end = SectionEnd(h);
  for (std::size_t i = h + 1; i < end; ++i) {
    std::string_view id, value;
    if (ParseKey(lines_[i], id, value)) out.emplace_back(id);
  }
  return out;
}

void TIniFile::UpdateFile() {
  std::string data;
  const char *eol = crlf_ ? "\r\n" : "\n";
  for (const std::string &line : lines_) {
    data += line;
    data += eol;
  }
  os::ReplaceFile(path_, data);
  modified_ = false;
}

}  // namespace vx
