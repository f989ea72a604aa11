// COM and kernel-style events on Linux: a per-thread initialisation count, a process-wide
// class registry, and events over condition variables. Built as libvxcom.so, one copy for the
// library and the drivers it reaches (see platform/CMakeLists.txt).
#include "platform/com.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vx {

namespace {

thread_local int t_co_init_count = 0;

// This module is libvxcom.so, apart from the rest of the platform layer: it keeps its own copy.
constexpr IID kIID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct Registration {
  CLSID clsid;
  IUnknown *factory;  // holds one reference
  DWORD context;
};

struct ClassRegistry {
  std::mutex mutex;
  std::map<DWORD, Registration> entries;  // by cookie; later cookies are later registrations
  DWORD next_cookie = 0;
};

// Process-wide, like the system's class store; never destroyed, so that threads still running
// while the process exits (and libraries freed during the exit) may still use it.
ClassRegistry &Registry() {
  static ClassRegistry *const registry = new ClassRegistry;
  return *registry;
}

struct Event {
  std::mutex mutex;
  std::condition_variable cv;
  bool signaled = false;
  bool manual_reset = true;
};

// Handle values count up and are not reused (until the count wraps, and then never while
// still open): a driver that signals an event after its handle was closed must find nothing,
// not a later event that happens to get the same value.
struct HandleTable {
  std::mutex mutex;
  std::unordered_map<HANDLE, std::shared_ptr<Event>> events;
  std::uintptr_t last = 0;

  HANDLE NextValue() {  // mutex held
    for (;;) {
      last += 4;  // multiples of 4, as the system's handles; never 0
      if (last == 0) continue;
      auto *value = reinterpret_cast<HANDLE>(last);
      if (!events.contains(value)) return value;
    }
  }
};

HandleTable &Handles() {
  static HandleTable *const table = new HandleTable;  // never destroyed, as the registry
  return *table;
}

// A handle that is not (or no longer) an open event gives null: calls on it fail cleanly.
std::shared_ptr<Event> Lookup(HANDLE handle) {
  HandleTable &t = Handles();
  std::lock_guard lock(t.mutex);
  auto it = t.events.find(handle);
  return it == t.events.end() ? nullptr : it->second;
}

}  // namespace

HRESULT CoInitialize(void *) { return ++t_co_init_count == 1 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_co_init_count > 0) --t_co_init_count;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (t_co_init_count == 0) return CO_E_NOTINITIALIZED;
  IUnknown *factory = nullptr;
  {
    ClassRegistry &r = Registry();
    std::lock_guard lock(r.mutex);
    // The latest registration of a class wins.
    for (auto it = r.entries.rbegin(); it != r.entries.rend(); ++it) {
      if (it->second.clsid == clsid && (it->second.context & context) != 0) {
        factory = it->second.factory;
        factory->AddRef();  // keeps it alive if revoked meanwhile
        break;
      }
    }
  }
  if (factory == nullptr) return REGDB_E_CLASSNOTREG;
  IClassFactory *cf = nullptr;
  HRESULT hr = factory->QueryInterface(kIID_IClassFactory, reinterpret_cast<void **>(&cf));
  factory->Release();
  if (FAILED(hr) || cf == nullptr) return FAILED(hr) ? hr : E_NOINTERFACE;
  hr = cf->CreateInstance(outer, iid, out);
  cf->Release();
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown *factory, DWORD context, DWORD,
                              DWORD *cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (factory == nullptr) return E_INVALIDARG;
  factory->AddRef();
  ClassRegistry &r = Registry();
  std::lock_guard lock(r.mutex);
  *cookie = ++r.next_cookie;
  r.entries.emplace(*cookie, Registration{clsid, factory, context});
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  IUnknown *factory = nullptr;
  {
    ClassRegistry &r = Registry();
    std::lock_guard lock(r.mutex);
    auto it = r.entries.find(cookie);
    if (it == r.entries.end()) return CO_E_OBJNOTREG;
    factory = it->second.factory;
    r.entries.erase(it);
  }
  factory->Release();  // outside the lock: the factory's destructor may call back in
  return S_OK;
}

// No registry: classes live only in a process's own registration table.
HRESULT RegisterInprocServer(REFCLSID, std::string_view, std::string_view) { return E_NOTIMPL; }
HRESULT UnregisterInprocServer(REFCLSID) { return E_NOTIMPL; }

HANDLE CreateEventA(void *, BOOL manual_reset, BOOL initial_state, const char *name) {
  if (name != nullptr) return nullptr;  // named (cross-process) events are not supported
  auto event = std::make_shared<Event>();
  event->manual_reset = manual_reset != 0;
  event->signaled = initial_state != 0;
  HandleTable &t = Handles();
  std::lock_guard lock(t.mutex);
  HANDLE h = t.NextValue();
  t.events.emplace(h, std::move(event));
  return h;
}

BOOL SetEvent(HANDLE handle) {
  auto e = Lookup(handle);
  if (!e) return 0;
  {
    std::lock_guard lock(e->mutex);
    e->signaled = true;
  }
  e->cv.notify_all();
  return 1;
}

BOOL ResetEvent(HANDLE handle) {
  auto e = Lookup(handle);
  if (!e) return 0;
  std::lock_guard lock(e->mutex);
  e->signaled = false;
  return 1;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD timeout_ms) {
  auto e = Lookup(handle);  // holds the event even if another thread closes the handle
  if (!e) return WAIT_FAILED;
  std::unique_lock lock(e->mutex);
  auto ready = [&] { return e->signaled; };
  if (timeout_ms == INFINITE) {
    e->cv.wait(lock, ready);
  } else if (!e->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
    return WAIT_TIMEOUT;
  }
  if (!e->manual_reset) e->signaled = false;
  return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
  HandleTable &t = Handles();
  std::lock_guard lock(t.mutex);
  return t.events.erase(handle) == 1 ? 1 : 0;
}

}  // namespace vx
