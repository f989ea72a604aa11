// Code page conversions through iconv.
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <map>

#include "platform/codepage.h"
#include "platform/os.h"

namespace vx::os {
namespace {

constexpr char16_t kReplacement16 = 0xFFFD;

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

}  // namespace

// The character set of the environment's LC_CTYPE, read without touching the process-wide
// locale (a library must not call setlocale behind its host's back).
std::string SystemCharset() {
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

std::optional<std::u16string> ToUtf16(std::string_view bytes, unsigned, const std::string &name) {
  iconv_t cd = Cache().Get("UTF-16LE", name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::u16string out;
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

std::optional<std::string> FromUtf16(std::u16string_view text, unsigned, const std::string &name) {
  iconv_t cd = Cache().Get(name, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string utf8 = Utf16ToUtf8(text);  // unpaired surrogates are U+FFFD from here on
  std::string out;
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
    NextUtf8CodePoint(utf8, pos);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Close any shift state (stateful code pages).
  char *o = buffer;
  std::size_t o_left = sizeof buffer;
  if (iconv(cd, nullptr, nullptr, &o, &o_left) != static_cast<std::size_t>(-1)) out.append(buffer, o);
  return out;
}

}  // namespace vx::os
