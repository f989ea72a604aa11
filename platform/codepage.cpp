#include "platform/codepage.h"

#include <cstdlib>
#include <mutex>

#include "platform/os.h"

namespace vx {
namespace {

constexpr char16_t kReplacement16 = 0xFFFD;

std::mutex g_system_mutex;
std::string g_system_override;  // set by SetSystemCodePageForTesting

std::string Upper(std::string s) {
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool IsUtf8Name(const std::string &name) {
  std::string u = Upper(name);
  return u == "UTF-8" || u == "UTF8";
}

// The converters' name for a code page number.
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

}  // namespace

// Returns the code point or U+FFFD and advances i past the sequence (or past the longest
// valid prefix of a broken one, at least one byte).
char32_t NextUtf8CodePoint(std::string_view s, std::size_t &i) {
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

namespace {

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
  static const std::string name = os::SystemCharset();
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
  for (std::size_t i = 0; i < utf8.size();) AppendUtf16(out, NextUtf8CodePoint(utf8, i));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size();) AppendUtf8(out, DecodeUtf16(text, i));
  return out;
}

std::u16string ToUtf16(std::string_view bytes, unsigned code_page) {
  const std::string name = CodePageName(code_page);
  if (IsUtf8Name(name)) return Utf8ToUtf16(bytes);
  const unsigned number = code_page == CP_ACP ? SystemCodePage() : code_page;
  if (auto out = os::ToUtf16(bytes, number, name)) return std::move(*out);
  // A code page the system does not know: keep ASCII, replace the rest.
  std::u16string out;
  for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : kReplacement16;
  return out;
}

std::string FromUtf16(std::u16string_view text, unsigned code_page) {
  const std::string name = CodePageName(code_page);
  if (IsUtf8Name(name)) return Utf16ToUtf8(text);
  const unsigned number = code_page == CP_ACP ? SystemCodePage() : code_page;
  if (auto out = os::FromUtf16(text, number, name)) return std::move(*out);
  const std::string utf8 = Utf16ToUtf8(text);
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t cp = NextUtf8CodePoint(utf8, i);
    out += cp < 0x80 ? static_cast<char>(cp) : '?';
  }
  return out;
}

std::size_t StrLen16(const char16_t *text, std::size_t max_units) {
  if (text == nullptr) return 0;
  std::size_t n = 0;
  while (n < max_units && text[n] != 0) ++n;
  return n;
}

}  // namespace vx
