#pragma once
// Reads the calendar's code page 936 bytes as UTF-8 through the system's converter (iconv
// here, independently of the library's own conversions; on Windows the library's conversion
// is the system's), so that a wrong byte in a table shows as a wrong character.

#include <stdexcept>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/codepage.h"
#else
#include <iconv.h>
#endif

namespace lunar_test {

#ifdef _WIN32
inline std::string Utf8(std::string_view gbk) {
  const std::u16string text = vx::ToUtf16(gbk, vx::CP_GBK);
  if (text.find(u'\uFFFD') != std::u16string::npos) throw std::runtime_error("not GBK: " + std::string(gbk));
  return vx::Utf16ToUtf8(text);
}

inline std::string Gbk(std::string_view utf8) { return vx::FromUtf16(vx::Utf8ToUtf16(utf8), vx::CP_GBK); }
#else
// Throws on bytes that are not valid GBK.
inline std::string Utf8(std::string_view gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: no GBK");
  std::string out(gbk.size() * 2 + 4, '\0');
  char *in = const_cast<char *>(gbk.data());
  std::size_t in_left = gbk.size();
  char *dst = out.data();
  std::size_t out_left = out.size();
  const std::size_t r = iconv(cd, &in, &in_left, &dst, &out_left);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1) || in_left != 0)
    throw std::runtime_error("not GBK: " + std::string(gbk));
  out.resize(out.size() - out_left);
  return out;
}

// GBK bytes of UTF-8 text, for entries a test adds.
inline std::string Gbk(std::string_view utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string in(utf8), out(in.size() * 2 + 4, '\0');
  char *src = in.data(), *dst = out.data();
  std::size_t in_left = in.size(), out_left = out.size();
  iconv(cd, &src, &in_left, &dst, &out_left);
  iconv_close(cd);
  out.resize(out.size() - out_left);
  return out;
}
#endif

}  // namespace lunar_test
