// COM and events on Windows: the system's own. The platform's declarations have the system's
// layout (GUID, OVERLAPPED) and calling convention (IUnknown), so they pass straight through.
#include "platform/win32/windows_api.h"

#include "platform/com.h"

namespace vx {
namespace {

const ::GUID &Sys(const GUID &guid) { return reinterpret_cast<const ::GUID &>(guid); }
::IUnknown *Sys(IUnknown *unknown) { return reinterpret_cast<::IUnknown *>(unknown); }

static_assert(sizeof(GUID) == sizeof(::GUID));
static_assert(sizeof(OVERLAPPED) == sizeof(::OVERLAPPED));
static_assert(offsetof(OVERLAPPED, hEvent) == offsetof(::OVERLAPPED, hEvent));

}  // namespace

HRESULT CoInitialize(void *) { return ::CoInitialize(nullptr); }

void CoUninitialize() { ::CoUninitialize(); }

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  return ::CoCreateInstance(Sys(clsid), Sys(outer), context, Sys(iid), out);
}

// The registration belongs to the calling thread's apartment and ends, as COM does it, when
// that thread's last CoUninitialize runs.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown *factory, DWORD context, DWORD flags, DWORD *cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (factory == nullptr) return E_INVALIDARG;
  return ::CoRegisterClassObject(Sys(clsid), Sys(factory), context, flags, reinterpret_cast<::DWORD *>(cookie));
}

HRESULT CoRevokeClassObject(DWORD cookie) { return ::CoRevokeClassObject(cookie); }

HANDLE CreateEventA(void *security, BOOL manual_reset, BOOL initial_state, const char *name) {
  if (name != nullptr) return nullptr;  // unnamed only, as on Linux
  return ::CreateEventA(static_cast<SECURITY_ATTRIBUTES *>(security), manual_reset, initial_state, nullptr);
}

BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
BOOL ResetEvent(HANDLE event) { return ::ResetEvent(event); }
DWORD WaitForSingleObject(HANDLE event, DWORD timeout_ms) { return ::WaitForSingleObject(event, timeout_ms); }
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

}  // namespace vx
