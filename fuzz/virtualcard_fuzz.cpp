// The software card's submission checks on arbitrary records and buffers: the first 56 bytes
// are the frame request record, the rest the frame buffer. Whatever they hold, the card must
// refuse or accept without reading past the buffer, and always complete the request.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "card/address.h"
#include "card/interfaces.h"
#include "drivers/virtualcard/virtualcard.h"

namespace {

vx::IVxStream *g_stream = nullptr;
std::vector<std::uint8_t> *g_rgba = nullptr;

}  // namespace

// The card is installed once, before inputs run (so it is not counted as an input's leak).
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  VxVirtualCard_Install(nullptr);
  vx::CoInitialize(nullptr);
  vx::IVxDevice *device = nullptr;
  vx::CoCreateInstance(vx::CLSID_VxDevice, nullptr, vx::CLSCTX_INPROC_SERVER, vx::IID_IVxDevice,
                       reinterpret_cast<void **>(&device));
  void *out = nullptr;
  device->GetPin(0, -2, vx::kVxCategoryPinOSD, vx::IID_IVxStream, &out);
  device->Release();
  g_stream = static_cast<vx::IVxStream *>(out);
  g_stream->Run();
  g_rgba = new std::vector<std::uint8_t>(640 * 480 * 4);
  // Released before the COM registry goes away at exit, so nothing is left to report.
  std::atexit([] {
    g_stream->Release();
    VxVirtualCard_Uninstall();
    vx::CoUninitialize();
    delete g_rgba;
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < sizeof(vx::TVxFrameRequest)) return 0;
  vx::TVxFrameRequest request;
  std::memcpy(&request, data, sizeof request);
  // The buffer in a block of its own size, so that any overread is caught.
  std::vector<std::uint8_t> buffer(data + sizeof request, data + size);
  vx::TCardAddress address(buffer.data(), buffer.size());
  // Mostly the real address (to reach the checks behind it), sometimes the record's own.
  if ((request.Count & 0x100) == 0) request.Header.Data = address.Value();
  vx::OVERLAPPED overlapped{};
  overlapped.hEvent = vx::CreateEventA(nullptr, 1, 0, nullptr);
  g_stream->Submit(&request, &overlapped);
  if (vx::WaitForSingleObject(overlapped.hEvent, 0) != vx::WAIT_OBJECT_0) __builtin_trap();
  vx::CloseHandle(overlapped.hEvent);

  VxVirtualCard_FrameToRGBA(buffer.data(), buffer.size(), g_rgba->data());
  return 0;
}
