#pragma once
// The slice of COM the card channel needs: GUIDs, HRESULTs, IUnknown, per-thread
// initialisation, and a process-wide class registry in which drivers register their class
// factories (the analogue of installing a driver); plus kernel-style manual-reset events.
// On Windows these are the system's own (ole32 and kernel events): the declarations here
// have the system's binary layout and calling convention, and forward to it.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"

// COM methods are stdcall on 32-bit Windows (a driver calls them so); elsewhere the
// platform's one convention. Every interface method is declared with it.
#ifndef STDMETHODCALLTYPE
#if defined(_WIN32)
#define STDMETHODCALLTYPE __stdcall
#else
#define STDMETHODCALLTYPE
#endif
#endif

namespace vx {

using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_OBJNOTREG = static_cast<HRESULT>(0x800401FB);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201);
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::uint8_t Data4[8] = {};
  friend bool operator==(const GUID &, const GUID &) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID &;
using REFCLSID = const CLSID &;

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", braces optional, hex digits in either case.
std::optional<GUID> ParseGUID(std::string_view text);
// Upper-case, with braces.
std::string FormatGUID(const GUID &guid);

// Methods are virtual in the COM slot order.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) = 0;
  virtual std::uint32_t STDMETHODCALLTYPE AddRef() = 0;
  virtual std::uint32_t STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
extern const IID IID_IUnknown;

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};
extern const IID IID_IClassFactory;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

// Counted per thread: S_OK for the first call, S_FALSE for nested ones; CoUninitialize
// without a matching CoInitialize does nothing.
HRESULT CoInitialize(void *reserved);
void CoUninitialize();
// Fails with E_POINTER for a null out, REGDB_E_CLASSNOTREG for an unregistered class,
// CO_E_NOTINITIALIZED when the calling thread has not initialised COM.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD context, REFIID iid, void **out);
// The registry holds a reference to the factory until revoked; the latest registration of a
// class wins; the context must overlap the one asked for. A null cookie gives E_POINTER, a
// null factory E_INVALIDARG; revoking an unknown cookie gives CO_E_OBJNOTREG. Registration
// needs no CoInitialize (a driver may register at load time).
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown *factory, DWORD context, DWORD flags,
                              DWORD *cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

// In-process servers (a COM server DLL's DllRegisterServer and DllUnregisterServer). Registers
// the module this code is linked into for `clsid`, machine-wide, as a card's driver is
// installed: its full path under the class's InprocServer32 key, with the threading model.
// Unregistering removes the class only when its registration names this very module; another
// copy's registration is left to that copy (S_FALSE). Failures give SELFREG_E_CLASS. Where the
// system has no registry (Linux: classes are registered in-process only) both give E_NOTIMPL.
// The description and the threading model are ASCII.
HRESULT RegisterInprocServer(REFCLSID clsid, std::string_view description,
                             std::string_view threading_model);
HRESULT UnregisterInprocServer(REFCLSID clsid);

// A thread-safe reference count helper for implementations.
class RefCount {
 public:
  std::uint32_t Add() { return ++count_; }
  std::uint32_t Release() { return --count_; }
  std::uint32_t Value() const { return count_; }

 private:
  std::atomic<std::uint32_t> count_{1};
};

// Kernel-style events, usable across threads.
using HANDLE = void *;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD INFINITE = 0xFFFFFFFF;
// Returns null on failure; only unnamed events are supported (auto-reset ones too). Calls on a
// closed or unknown handle fail (FALSE, WAIT_FAILED): a closed handle's value is not given to
// a later event, so a late SetEvent cannot signal one. Closing a handle another thread waits
// on lets that wait run to its timeout or a SetEvent made before the close.
HANDLE CreateEventA(void *security, BOOL manual_reset, BOOL initial_state, const char *name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE event, DWORD timeout_ms);
BOOL CloseHandle(HANDLE handle);

struct OVERLAPPED {
  std::uintptr_t Internal = 0;
  std::uintptr_t InternalHigh = 0;
  DWORD Offset = 0;
  DWORD OffsetHigh = 0;
  HANDLE hEvent = nullptr;
};

}  // namespace vx
