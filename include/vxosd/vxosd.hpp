// VXOSD for C++ hosts: the C interface of vxosd.h, plus overloads that take char16_t text, so
// that u"..." literals and std::u16string::c_str() pass without casts. The C interface and its
// ABI stay as they are; these overloads are inline and only convert the pointer type.
#ifndef VXOSD_VXOSD_HPP
#define VXOSD_VXOSD_HPP

#include "vxosd.h"

static_assert(sizeof(char16_t) == sizeof(uint16_t) && alignof(char16_t) == alignof(uint16_t),
              "char16_t and uint16_t must share their representation");

namespace vxosd_detail {
inline const uint16_t *Utf16(const char16_t *text) {
  return reinterpret_cast<const uint16_t *>(text);
}
}  // namespace vxosd_detail

inline uint8_t SetVxComponent_Font(const char *name, const char16_t *face, int32_t color,
                                   int32_t size) {
  return SetVxComponent_Font(name, vxosd_detail::Utf16(face), color, size);
}
inline uint8_t SetVxComponent_Text(const char *name, const char16_t *text) {
  return SetVxComponent_Text(name, vxosd_detail::Utf16(text));
}
inline uint8_t GetVxComponent_TextRect(const char *name, const char16_t *text, int32_t rect[4]) {
  return GetVxComponent_TextRect(name, vxosd_detail::Utf16(text), rect);
}
inline uint8_t SetVxComponent_PicFile(const char *name, const char16_t *path) {
  return SetVxComponent_PicFile(name, vxosd_detail::Utf16(path));
}
inline uint8_t SetVxComponent_PicSplitFile(const char *name, const char16_t *path, int32_t count) {
  return SetVxComponent_PicSplitFile(name, vxosd_detail::Utf16(path), count);
}
inline uint8_t SetVxComponent_PicMovie(const char *name, const char16_t *path, int32_t first,
                                       int32_t last) {
  return SetVxComponent_PicMovie(name, vxosd_detail::Utf16(path), first, last);
}
inline uint8_t SetVxOSD_DebugView(const char16_t *code) {
  return SetVxOSD_DebugView(vxosd_detail::Utf16(code));
}

#endif  // VXOSD_VXOSD_HPP
