#include "platform/codepage.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <map>
#include <mutex>

namespace vx {
namespace {

constexpr char16_t kReplacement16 = 0xFFFD;

std::mutex g_system_mutex;
std::string g_system_override;  // set by SetSystemCodePageForTesting

// The character set of the environment's LC_CTYPE, read without touching the process-wide
// locale (a library must not call setlocale behind its host's back).
std::string EnvironmentCharset() {
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  std::string name;
  if (loc != static_cast<locale_t>(nullptr)) {
    const char *cs = nl_langinfo_l(CODESET, loc);
    if (cs != nullptr) name = cs;
    freelocale(loc);
  }
  // The C/POSIX locale reports plain ASCII. Every byte text the system handles is a superset
  // of ASCII, and UTF-8 is the one superset that loses nothing, so ASCII counts as UTF-8.
  if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
    name = "UTF-8";
  return name;
}

std::string Upper(std::string s) {
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool IsUtf8Name(const std::string &name) {
  std::string u = Upper(name);
  return u == "UTF-8" || u == "UTF8";
}

// iconv's name for a code page number.
std::string CodePageName(unsigned code_page) {
  switch (code_page) {
    case CP_ACP: return SystemCodePageName();
    case CP_UTF8: return "UTF-8";
    case CP_GBK: return "GBK";
    case 20127: return "ASCII";
    case 54936: return "GB18030";
    default: break;
  }
  if (code_page > 28590 && code_page < 28606) return "ISO-8859-" + std::to_string(code_page - 28590);
  return "CP" + std::to_string(code_page);
}

// iconv descriptors are costly to open and not thread-safe to share: one cache per thread.
class IconvCache {
 public:
  ~IconvCache() {
    for (auto &[key, cd] : map_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  // Returns (iconv_t)-1 when iconv does not know the pair.
  iconv_t Get(const std::string &to, const std::string &from) {
    std::string key = to + '\n' + from;
    auto it = map_.find(key);
    if (it == map_.end()) it = map_.emplace(key, iconv_open(to.c_str(), from.c_str())).first;
    iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    return it->second;
  }

 private:
  std::map<std::string, iconv_t> map_;
};

IconvCache &Cache() {
  thread_local IconvCache cache;
  return cache;
}

void AppendUtf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns the code point or U+FFFD and advances i past
// the sequence (or past the longest valid prefix of a broken one, at least one byte).
char32_t DecodeUtf8(std::string_view s, std::size_t &i) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int len;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    ++i;
    return 0xFFFD;
  }
  std::size_t j = i + 1;
  for (int k = 1; k < len; ++k, ++j) {
    if (j >= s.size()) {
      i = j;
      return 0xFFFD;
    }
    auto c = static_cast<unsigned char>(s[j]);
    unsigned char l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
    if (c < l || c > h) {
      i = j;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  i = j;
  return cp;
}

// Decodes one UTF-16 code point at s[i]; unpaired surrogates give U+FFFD.
char32_t DecodeUtf16(std::u16string_view s, std::size_t &i) {
  char16_t c = s[i++];
  if (c < 0xD800 || c > 0xDFFF) return c;
  if (c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
    char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i] - 0xDC00);
    ++i;
    return cp;
  }
  return 0xFFFD;
}

}  // namespace

std::string SystemCodePageName() {
  std::lock_guard lock(g_system_mutex);
  if (!g_system_override.empty()) return g_system_override;
  static const std::string name = EnvironmentCharset();
  return name;
}

unsigned SystemCodePage() {
  std::string u = Upper(SystemCodePageName());
  if (u == "UTF-8" || u == "UTF8") return CP_UTF8;
  if (u == "GBK" || u == "GB2312" || u == "CP936" || u == "EUC-CN") return CP_GBK;
  if (u == "GB18030") return 54936;
  if (u.rfind("ISO-8859-", 0) == 0) return 28590 + static_cast<unsigned>(std::atoi(u.c_str() + 9));
  if (u.rfind("CP", 0) == 0) return static_cast<unsigned>(std::atoi(u.c_str() + 2));
  return 0;
}

void SetSystemCodePageForTesting(std::string_view charset) {
  std::lock_guard lock(g_system_mutex);
  g_system_override = std::string(charset);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size();) AppendUtf8(out, DecodeUtf16(text, i));
  return out;
}

std::u16string ToUtf16(std::string_view bytes, unsigned code_page) {
  std::string name = CodePageName(code_page);
  if (IsUtf8Name(name)) return Utf8ToUtf16(bytes);
  iconv_t cd = Cache().Get("UTF-16LE", name);
  std::u16string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // A code page iconv does not know: keep ASCII, replace the rest.
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : kReplacement16;
    return out;
  }
  out.reserve(bytes.size());
  char buffer[1024];
  std::size_t pos = 0;
  auto flush = [&](char *end) {
    for (char *p = buffer; p + 1 < end; p += 2)
      out += static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                   (static_cast<unsigned char>(p[1]) << 8));
  };
  while (pos < bytes.size()) {
    char *in = const_cast<char *>(bytes.data() + pos);
    std::size_t in_left = bytes.size() - pos;
    char *o = buffer;
    std::size_t o_left = sizeof buffer;
    std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    flush(o);
    pos = bytes.size() - in_left;
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    out += kReplacement16;
    if (errno == EINVAL) break;  // truncated sequence at the end
    ++pos;                       // EILSEQ: skip one byte and go on
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string FromUtf16(std::u16string_view text, unsigned code_page) {
  std::string name = CodePageName(code_page);
  std::string utf8 = Utf16ToUtf8(text);  // unpaired surrogates are U+FFFD from here on
  if (IsUtf8Name(name)) return utf8;
  iconv_t cd = Cache().Get(name, "UTF-8");
  std::string out;
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (std::size_t i = 0; i < utf8.size();) {
      char32_t cp = DecodeUtf8(utf8, i);
      out += cp < 0x80 ? static_cast<char>(cp) : '?';
    }
    return out;
  }
  // The code page's own replacement character when it has one, else '?'.
  std::string replacement = "?";
  {
    char src[] = "\xEF\xBF\xBD";
    char dst[16];
    char *in = src, *o = dst;
    std::size_t in_left = 3, o_left = sizeof dst;
    if (iconv(cd, &in, &in_left, &o, &o_left) != static_cast<std::size_t>(-1) && o > dst &&
        iconv(cd, nullptr, nullptr, &o, &o_left) != static_cast<std::size_t>(-1))
      replacement.assign(dst, o);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.reserve(utf8.size());
  char buffer[1024];
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    char *in = utf8.data() + pos;
    std::size_t in_left = utf8.size() - pos;
    char *o = buffer;
    std::size_t o_left = sizeof buffer;
    std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buffer, o);
    pos = utf8.size() - in_left;
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    out += replacement;  // a character the code page lacks: skip the whole character
    if (errno == EINVAL) break;
    DecodeUtf8(utf8, pos);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Close any shift state (stateful code pages).
  char *o = buffer;
  std::size_t o_left = sizeof buffer;
  if (iconv(cd, nullptr, nullptr, &o, &o_left) != static_cast<std::size_t>(-1)) out.append(buffer, o);
  return out;
}

std::size_t StrLen16(const char16_t *text, std::size_t max_units) {
  if (text == nullptr) return 0;
  std::size_t n = 0;
  while (n < max_units && text[n] != 0) ++n;
  return n;
}

}  // namespace vx
