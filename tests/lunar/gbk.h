#pragma once
// Reads the calendar's code page 936 bytes as UTF-8 through iconv, independently of the
// library's own conversions, so that a wrong byte in a table shows as a wrong character.

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace lunar_test {

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

}  // namespace lunar_test
