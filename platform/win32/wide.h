#pragma once
// The Win32 backend's own helpers, written once: UTF-8 <-> UTF-16 for the W calls (the
// project's text is char16_t, the system's wchar_t: also 16 bits on Windows, but a distinct
// type; invalid UTF-8 becomes U+FFFD), and the module the backend is linked into.
// <windows.h> itself, not windows_api.h: the GDI font and form sources include this and need
// the system's own macros (charsets, region modes) that windows_api.h removes.
#include <windows.h>

#include <string>
#include <string_view>

namespace vx::win32 {

constexpr UINT kCodePageUtf8 = 65001;  // the system's CP_UTF8 (a macro windows_api.h removes)

inline std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(kCodePageUtf8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kCodePageUtf8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

inline std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(kCodePageUtf8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kCodePageUtf8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

// The module (vxosd.dll, the card's DLL or a test program) this code is linked into: the
// instance its window classes belong to.
inline HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace vx::win32
