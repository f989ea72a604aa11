// vxvirtualcard.dll's COM entry points: the software card as an in-process server, found by
// CoCreateInstance through its registration like a real card's driver.
//
// regsvr32 registers it for the machine (HKLM\Software\Classes\CLSID\{...}, which hosts
// see through HKEY_CLASSES_ROOT), as a card's driver is installed: every host finds it,
// whichever user or service runs it. That takes an elevated regsvr32 on Windows. (Per-user
// classes would need no rights, but hosts of other users and services would not find the card,
// and Wine's COM reads only the machine's classes.) A 32-bit and a 64-bit build register in
// their own registry views, each for hosts of its own kind. The threading model is "Both": the
// card's objects lock their own state and complete frames from their own thread, so they may be
// called from any apartment without proxies.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>

#include "drivers/virtualcard/server.h"

namespace {

// This DLL's full path, as COM should load it.
std::wstring ModulePath() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModulePath), &self))
    return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

std::wstring ClassKey() {
  const std::string id = vx::virtualcard::ClassId();
  return L"Software\\Classes\\CLSID\\" + std::wstring(id.begin(), id.end());
}

bool SetString(HKEY key, const wchar_t *name, const std::wstring &value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The InprocServer32 path registered for the card, or empty.
std::wstring RegisteredPath() {
  const std::wstring key = ClassKey() + L"\\InprocServer32";
  DWORD bytes = 0;
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

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID *out) {
  return vx::virtualcard::GetClassObject(&clsid, &iid, out);
}

STDAPI DllCanUnloadNow(void) { return vx::virtualcard::CanUnload() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
  const std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  HKEY cls = nullptr, server = nullptr;
  bool ok = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey().c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &cls, nullptr) == ERROR_SUCCESS;
  ok = ok && SetString(cls, nullptr, L"VXOSD software capture card");
  ok = ok && RegCreateKeyExW(cls, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server,
                             nullptr) == ERROR_SUCCESS;
  ok = ok && SetString(server, nullptr, path) && SetString(server, L"ThreadingModel", L"Both");
  if (server != nullptr) RegCloseKey(server);
  if (cls != nullptr) RegCloseKey(cls);
  return ok ? S_OK : SELFREG_E_CLASS;
}

// Removes the registration when it names this file; another copy's registration is left to
// that copy (S_FALSE).
STDAPI DllUnregisterServer(void) {
  const std::wstring registered = RegisteredPath();
  if (registered.empty()) return S_OK;
  if (CompareStringOrdinal(registered.c_str(), -1, ModulePath().c_str(), -1, TRUE) != CSTR_EQUAL)
    return S_FALSE;
  const LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey().c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}

}  // extern "C"
