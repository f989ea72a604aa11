// vxvirtualcard.dll's COM entry points: the software card as an in-process server, found by
// CoCreateInstance through its registration like a real card's driver. The exported names are
// plain (vxvirtualcard.def); on 32-bit Windows they are stdcall, as COM calls them.
//
// regsvr32 registers it for the machine, as a card's driver is installed (that takes an
// elevated regsvr32 on Windows). A 32-bit and a 64-bit build register in their own registry
// views, each for hosts of its own kind. The threading model is "Both": the card's objects lock
// their own state and complete frames from their own thread, so they may be called from any
// apartment without proxies.
#include "drivers/virtualcard/server.h"

#include "card/interfaces.h"
#include "platform/com.h"

using vx::HRESULT;

extern "C" {

// The class and interface ids come as references, i.e. pointers a careless caller may leave
// null.
HRESULT STDMETHODCALLTYPE DllGetClassObject(const vx::GUID *clsid, const vx::GUID *iid, void **out) {
  if (out == nullptr) return vx::E_POINTER;
  *out = nullptr;
  if (clsid == nullptr || iid == nullptr) return vx::E_INVALIDARG;
  return vx::virtualcard::GetClassObject(*clsid, *iid, out);
}

HRESULT STDMETHODCALLTYPE DllCanUnloadNow() {
  return vx::virtualcard::CanUnload() ? vx::S_OK : vx::S_FALSE;
}

HRESULT STDMETHODCALLTYPE DllRegisterServer() {
  return vx::RegisterInprocServer(vx::CLSID_VxDevice, "VXOSD software capture card", "Both");
}

HRESULT STDMETHODCALLTYPE DllUnregisterServer() {
  return vx::UnregisterInprocServer(vx::CLSID_VxDevice);
}

}  // extern "C"
