// vxvirtualcard.dll, loaded by its path and used through its exports, as COM uses it: the class
// object serves the card without an install, the DLL refuses to be unloaded while anything of
// it is alive or a completion is pending, and frame addresses mapped in this module resolve in
// the card's (the table of card addresses is one per process).
#include "platform/win32/windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "card/address.h"
#include "card/interfaces.h"
#include "drivers/virtualcard/virtualcard.h"
#include "tests/card/card_fixture.h"

namespace vx::test {
namespace {

template <typename F>
F Proc(HMODULE module, const char *name) {
  // Through void(*)(): the one function pointer type every other converts to without a warning.
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

using GetClassObjectFn = HRESULT(STDMETHODCALLTYPE *)(const CLSID &, const IID &, void **);
using CanUnloadNowFn = HRESULT(STDMETHODCALLTYPE *)();

// The DLL loaded for one test; its card uninstalled afterwards.
class CardDll : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = VXOSD_CARD_DLL_PATH;  // the build tree's: ASCII
    dll_ = LoadLibraryW(std::wstring(path.begin(), path.end()).c_str());
    ASSERT_TRUE(dll_) << path;
    get_class_object_ = Proc<GetClassObjectFn>(dll_, "DllGetClassObject");
    can_unload_ = Proc<CanUnloadNowFn>(dll_, "DllCanUnloadNow");
    install_ = Proc<int (*)(const VxVirtualCardOptions *)>(dll_, "VxVirtualCard_Install");
    uninstall_ = Proc<void (*)()>(dll_, "VxVirtualCard_Uninstall");
    installed_ = Proc<int (*)()>(dll_, "VxVirtualCard_Installed");
    set_faults_ = Proc<void (*)(std::uint32_t)>(dll_, "VxVirtualCard_SetFaults");
    counters_ = Proc<int (*)(VxVirtualCardCounters *)>(dll_, "VxVirtualCard_GetCounters");
    live_ = Proc<std::uint32_t (*)()>(dll_, "VxVirtualCard_LiveObjects");
    ASSERT_TRUE(get_class_object_ && can_unload_ && install_ && uninstall_ && installed_ &&
                set_faults_ && counters_ && live_);
    CoInitialize(nullptr);
  }
  void TearDown() override {
    if (uninstall_) uninstall_();
    EXPECT_EQ(live_ ? live_() : 0u, 0u) << "card objects leaked";
    if (dll_) {
      CoUninitialize();
      FreeLibrary(dll_);
    }
  }

  IClassFactory *Factory() {
    void *out = nullptr;
    EXPECT_EQ(get_class_object_(CLSID_VxDevice, IID_IClassFactory, &out), S_OK);
    return static_cast<IClassFactory *>(out);
  }
  // The card's OSD stream, running, from a device of the DLL's class object.
  IVxStream *Stream() {
    IClassFactory *factory = Factory();
    if (factory == nullptr) return nullptr;
    void *device = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IVxDevice, &device), S_OK);
    factory->Release();
    if (device == nullptr) return nullptr;
    void *stream = nullptr;
    EXPECT_EQ(static_cast<IVxDevice *>(device)->GetPin(kVxPinFlags, kVxPinIndex,
                                                       kVxCategoryPinOSD, IID_IVxStream, &stream),
              S_OK);
    static_cast<IVxDevice *>(device)->Release();
    if (stream != nullptr) static_cast<IVxStream *>(stream)->Run();
    return static_cast<IVxStream *>(stream);
  }
  VxVirtualCardCounters Counters() {
    VxVirtualCardCounters c{};
    counters_(&c);
    return c;
  }

  HMODULE dll_ = nullptr;
  GetClassObjectFn get_class_object_ = nullptr;
  CanUnloadNowFn can_unload_ = nullptr;
  int (*install_)(const VxVirtualCardOptions *) = nullptr;
  void (*uninstall_)() = nullptr;
  int (*installed_)() = nullptr;
  void (*set_faults_)(std::uint32_t) = nullptr;
  int (*counters_)(VxVirtualCardCounters *) = nullptr;
  std::uint32_t (*live_)() = nullptr;
};

// A frame request for a frame stream, its buffer mapped in this module's view of the table.
struct MappedFrame {
  std::vector<std::uint8_t> stream = KeyFrame();
  TCardAddress address{stream.data(), stream.size()};
  TVxFrameRequest request{};
  MappedFrame() {
    request.Length = kVxFrameRequestLength;
    request.Count = 1;
    request.Header.Size = kVxStreamHeaderSize;
    request.Header.FrameExtent = static_cast<DWORD>(stream.size());
    request.Header.Data = address.Value();
  }
};

TEST_F(CardDll, TheClassObjectServesTheDefaultCardAndKeepsTheDllLoaded) {
  EXPECT_EQ(can_unload_(), S_OK);
  EXPECT_EQ(installed_(), 0);
  void *out = reinterpret_cast<void *>(1);
  EXPECT_EQ(get_class_object_(IID_IVxDevice, IID_IClassFactory, &out),
            static_cast<HRESULT>(0x80040111));  // CLASS_E_CLASSNOTAVAILABLE
  EXPECT_EQ(out, nullptr);

  IClassFactory *factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(installed_(), 1);  // a card with the default options serves without an install
  EXPECT_EQ(can_unload_(), S_FALSE);  // a factory is alive
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(can_unload_(), S_FALSE);  // locked
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  void *device = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVxDevice, &device), S_OK);
  factory->Release();
  EXPECT_EQ(can_unload_(), S_FALSE);  // a device is alive
  static_cast<IVxDevice *>(device)->Release();
  EXPECT_EQ(can_unload_(), S_OK);

  // An install replaces the default card; its driver thread keeps the DLL until uninstalled.
  VxVirtualCardOptions options;
  Proc<void (*)(VxVirtualCardOptions *)>(dll_, "VxVirtualCard_DefaultOptions")(&options);
  options.latency_ms = 5;
  ASSERT_EQ(install_(&options), 1);
  EXPECT_EQ(install_(&options), 0);  // a second install is refused, as on Linux
  EXPECT_EQ(can_unload_(), S_FALSE);
  uninstall_();
  EXPECT_EQ(installed_(), 0);
  EXPECT_EQ(can_unload_(), S_OK);
}

TEST_F(CardDll, AHeldCompletionKeepsTheDllLoadedAndAddressesCrossModules) {
  IVxStream *stream = Stream();
  ASSERT_NE(stream, nullptr);
  set_faults_(VXVC_FAULT_NO_COMPLETION);

  // An address this module never mapped is refused; the mapped buffer is read by the card.
  MappedFrame frame;
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, 1, 0, nullptr);
  TVxFrameRequest forged = frame.request;
  forged.Header.Data = frame.request.Header.Data + 0x100;
  EXPECT_EQ(stream->Submit(&forged, &overlapped), E_INVALIDARG);
  ResetEvent(overlapped.hEvent);
  ASSERT_EQ(stream->Submit(&frame.request, &overlapped), S_OK);
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(Counters().pushes_refused, 1u);

  stream->Release();
  EXPECT_EQ(live_(), 0u);
  // No object is left, but the card still holds a completion: unloading now would let it
  // signal from unloaded code.
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_TIMEOUT);
  EXPECT_EQ(can_unload_(), S_FALSE);
  set_faults_(0);  // the card completes the frame it held
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(can_unload_(), S_OK);
  CloseHandle(overlapped.hEvent);
}

// The card reads the calling module's address table through that module, never through named
// memory: no section another process of the session could create first (and so fill with
// addresses of its choosing) exists for this process.
TEST_F(CardDll, TheAddressTableIsNoNamedSection) {
  IVxStream *stream = Stream();
  ASSERT_NE(stream, nullptr);
  MappedFrame frame;  // this module's table now exists
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, 1, 0, nullptr);
  ASSERT_EQ(stream->Submit(&frame.request, &overlapped), S_OK);
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(Counters().pushes_refused, 0u);
  const std::wstring name =
      L"Local\\vxosd-card-addresses-1-" + std::to_wstring(GetCurrentProcessId());
  HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
  EXPECT_EQ(section, nullptr);
  if (section != nullptr) ::CloseHandle(section);
  stream->Release();
  CloseHandle(overlapped.hEvent);
}

}  // namespace
}  // namespace vx::test
