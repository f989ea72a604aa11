// Windows: the player is a third-party host of vxosd.dll. It loads the DLL from its own folder
// and takes
// every entry point by its plain name, as a host without the import library does. This is the
// player's only source that sees <windows.h>.
#include <windows.h>

#include "entry_points.h"

namespace vxplay {

namespace {

// GetProcAddress hands every function as FARPROC; the table's entries carry the real types
// (stdcall for vxosd.dll's exports on 32-bit Windows, cdecl for the card's).
template <typename F>
bool Resolve(HMODULE module, const char *name, F &entry) {
  const FARPROC proc = GetProcAddress(module, name);
  if (!proc) return false;
  entry = reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
  return true;
}

std::string LoadError(const char *file) {
  return std::string("cannot load ") + file + " (Windows error " + std::to_string(GetLastError()) +
         "); it belongs beside vxosd-play.exe";
}

// A DLL named without a path, from the player's own folder or the system's, never from the
// current folder (where anyone may have put a file of that name) or the PATH.
HMODULE LoadBesideThePlayer(const wchar_t *name) {
  return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The software card's server as COM loads it for the library: the DLL registered for the
// card's device class (CLSID_VxDevice of card/interfaces.h). The player must talk to that very
// module, not to another copy of it. Empty when the card is not registered.
std::wstring RegisteredCard() {
  wchar_t path[1024];
  DWORD size = sizeof path;
  if (RegGetValueW(HKEY_CLASSES_ROOT,
                   L"CLSID\\{5E91AF27-24D3-47AC-9C55-132F04C98281}\\InprocServer32", nullptr,
                   RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
    return {};
  return path;
}

}  // namespace

std::string LoadEntryPoints(bool with_card, vxscene::Library &lib, CardFunctions &card) {
  const HMODULE vxosd = LoadBesideThePlayer(L"vxosd.dll");
  if (!vxosd) return LoadError("vxosd.dll");
  std::string missing;
#define VXPLAY_RESOLVE(name) \
  if (!Resolve(module, #name, target.name)) missing += std::string(missing.empty() ? "" : ", ") + #name;
  {
    const HMODULE module = vxosd;
    vxscene::Library &target = lib;
    VXOSD_LIBRARY_ENTRIES(VXPLAY_RESOLVE)
  }
  if (!missing.empty()) return "vxosd.dll does not export " + missing;
  if (!with_card) return {};
  // The software card: the DLL registered for its class (the very module COM loads for the
  // library), else one found by name.
  const std::wstring registered = RegisteredCard();
  HMODULE module = registered.empty() ? nullptr : LoadLibraryW(registered.c_str());
  const char *from = "the registered vxvirtualcard.dll";
  if (!module) module = LoadBesideThePlayer(L"vxvirtualcard.dll"), from = "vxvirtualcard.dll";
  if (!module)
    return "the software card is not registered and vxvirtualcard.dll cannot be loaded (Windows "
           "error " + std::to_string(GetLastError()) + "); register it with regsvr32, or play "
           "with --card=none";
  CardFunctions &target = card;
  VXPLAY_CARD_ENTRIES(VXPLAY_RESOLVE)
#undef VXPLAY_RESOLVE
  if (!missing.empty()) return std::string(from) + " does not export the software card's " + missing;
  return {};
}

}  // namespace vxplay
