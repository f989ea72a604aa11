// Registration of an in-process COM server (the software card's DLL): kept apart from the rest
// of the COM backend so that only a server module links the registry.
#include "platform/win32/windows_api.h"

#include <string>

#include "platform/com.h"
#include "platform/win32/wide.h"

namespace vx {
namespace {

// The module this code is linked into, by its full path, as COM should load it.
std::wstring ModulePath() {
  const HMODULE self = win32::ThisModule();
  if (self == nullptr) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const ::DWORD n = GetModuleFileNameW(self, path.data(), static_cast<::DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

// Machine-wide classes, which hosts see through HKEY_CLASSES_ROOT. (Per-user classes would
// need no rights, but other users' hosts and services would not find the server, and Wine's
// COM reads only the machine's classes.)
std::wstring ClassKey(REFCLSID clsid) {
  return L"Software\\Classes\\CLSID\\" + win32::Widen(FormatGUID(clsid));
}

bool SetString(HKEY key, const wchar_t *name, const std::wstring &value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                        static_cast<::DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The InprocServer32 path registered for the class, or empty.
std::wstring RegisteredPath(REFCLSID clsid) {
  const std::wstring key = ClassKey(clsid) + L"\\InprocServer32";
  ::DWORD bytes = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS ||
      bytes < sizeof(wchar_t))
    return {};
  std::wstring path(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path.data(),
                   &bytes) != ERROR_SUCCESS)
    return {};
  path.resize(wcsnlen(path.c_str(), path.size()));
  return path;
}

}  // namespace

HRESULT RegisterInprocServer(REFCLSID clsid, std::string_view description,
                             std::string_view threading_model) {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  HKEY cls = nullptr, server = nullptr;
  bool ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey(clsid).c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &cls, nullptr) == ERROR_SUCCESS;
  ok = ok && SetString(cls, nullptr, win32::Widen(description));
  ok = ok && RegCreateKeyExW(cls, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server,
                             nullptr) == ERROR_SUCCESS;
  ok = ok && SetString(server, nullptr, path) &&
       SetString(server, L"ThreadingModel", win32::Widen(threading_model));
  if (server != nullptr) RegCloseKey(server);
  if (cls != nullptr) RegCloseKey(cls);
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterInprocServer(REFCLSID clsid) {
  const std::wstring registered = RegisteredPath(clsid);
  if (registered.empty()) return S_OK;
  if (CompareStringOrdinal(registered.c_str(), -1, ModulePath().c_str(), -1, TRUE) != CSTR_EQUAL)
    return S_FALSE;
  const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey(clsid).c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // namespace vx
