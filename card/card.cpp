#include "card/card.h"

#include <cstring>
#include <new>

namespace vx {

std::atomic<DWORD> TOSDCard::wait_limit_{kCardPushWaitMs};

namespace {

template <typename T>
void ReleaseRef(T *&ref) {
  if (ref != nullptr) ref->Release();
  ref = nullptr;
}

}  // namespace

TOSDCard::TOSDCard() : rect_address_(FOSDRect.data(), sizeof(FOSDRect)) {
  FWidth = 640;
  FHeight = 480;
  RecomputeBufferSize();
  FDMABuff = false;
  FBusy = false;
  FBuffer = nullptr;
  FPresent = Open();
  Start();
}

TOSDCard::~TOSDCard() { Close(); }

void TOSDCard::RecomputeBufferSize() {
  if (FWidth <= 0 || FHeight <= 0) return;
  const std::uint64_t size = std::uint64_t(FWidth) * std::uint64_t(FHeight) + 1032;
  // A size the channel could never allocate is not taken over.
  if (size > kMaxCardBuffer) return;
  FBufferSize = static_cast<std::uint32_t>(size);
}

void TOSDCard::SetWidth(int value) {
  if (value == FWidth) return;
  FWidth = value;
  RecomputeBufferSize();
}

void TOSDCard::SetHeight(int value) {
  if (value == FHeight) return;
  FHeight = value;
  RecomputeBufferSize();
}

bool TOSDCard::Open() {
  CoInitialize(nullptr);

  IVxDevice *device = nullptr;
  if (FAILED(CoCreateInstance(CLSID_VxDevice, nullptr, CLSCTX_INPROC_SERVER, IID_IVxDevice,
                              reinterpret_cast<void **>(&device))) ||
      device == nullptr)
    return false;

  void *stream = nullptr;
  const HRESULT hr =
      device->GetPin(kVxPinFlags, kVxPinIndex, kVxCategoryPinOSD, IID_IVxStream, &stream);
  device->Release();
  if (FAILED(hr) || stream == nullptr) return false;
  FStream = static_cast<IVxStream *>(stream);

  FStream->Connect();

  if (FAILED(FStream->QueryInterface(IID_IVxControlNode, reinterpret_cast<void **>(&FControl))) ||
      FControl == nullptr) {
    FControl = nullptr;
    return false;
  }
  if (FAILED(FStream->QueryInterface(IID_IVxMapMem, reinterpret_cast<void **>(&FMapMem))) ||
      FMapMem == nullptr) {
    FMapMem = nullptr;
    return false;
  }

  DWORD version = 0;
  DWORD flags = 0;
  FControl->GetProperty(kVxPropVersion, &version);
  FControl->GetProperty(kVxPropFlags, &flags);

  flags = (flags & ~kVxFlagClear) | kVxFlagOSDEnable;
  if (static_cast<LONG>(version) >= kVxExtendedVersion)
    flags = (flags | kVxFlagExtended) & ~kVxFlagExtClear;
  FControl->SetProperty(kVxPropFlags, flags);
  return true;
}

void TOSDCard::Start() {
  if (FStarted || FStream == nullptr) return;
  FStream->Run();
  FStarted = true;
}

void TOSDCard::Stop() {
  if (!FStarted || FStream == nullptr) return;
  FStream->Halt();
  if (FControl != nullptr) FControl->SetProperty(kVxPropOSDStopped, 1);
  FStarted = false;
}

void TOSDCard::FreeHeapBuffer() {
  if (heap_buffer_ && FBuffer == heap_buffer_.get()) {
    FBuffer = nullptr;
    buffer_capacity_ = 0;
  }
  heap_buffer_.reset();
}

void TOSDCard::Close() {
  if (closed_) return;
  closed_ = true;
  Stop();
  if (FDMABuff && FMapMem != nullptr && FBuffer != nullptr) {
    FMapMem->Free(FBuffer);
    FBuffer = nullptr;
    buffer_capacity_ = 0;
    FDMABuff = false;
  } else {
    FreeHeapBuffer();
  }
  ReleaseRef(FControl);
  ReleaseRef(FMapMem);
  ReleaseRef(FStream);
  CoUninitialize();
}

void TOSDCard::SetDMABuff(bool on) {
  if (on == FDMABuff) return;
  FBusy = true;
  if (on) {
    if (FMapMem != nullptr && FBufferSize > 0) {
      FreeHeapBuffer();
      void *buffer = nullptr;
      DWORD result = 0;
      const HRESULT hr = FMapMem->Allocate(FBufferSize, &buffer, &result);
      FDMABuff = SUCCEEDED(hr) && buffer != nullptr;
      FBuffer = FDMABuff ? static_cast<std::uint8_t *>(buffer) : nullptr;
      buffer_capacity_ = FDMABuff ? FBufferSize : 0;
    }
  } else {
    if (FMapMem != nullptr && FBuffer != nullptr) FMapMem->Free(FBuffer);
    FBuffer = nullptr;
    buffer_capacity_ = 0;
    FDMABuff = false;
  }
  FBusy = false;
}

std::uint8_t *TOSDCard::GetBuffer(std::uint32_t size) {
  if (size == 0) size = FBufferSize;
  if (size == 0 || size > kMaxCardBuffer) return nullptr;
  if (FDMABuff) return size <= buffer_capacity_ ? FBuffer : nullptr;
  FreeHeapBuffer();
  heap_buffer_.reset(new (std::nothrow) std::uint8_t[size]);
  if (!heap_buffer_) return nullptr;
  FBuffer = heap_buffer_.get();
  buffer_capacity_ = size;
  return FBuffer;
}

void TOSDCard::PushFrame(const std::uint8_t *buffer, std::uint32_t size) {
  if (size == 0) size = FBufferSize;
  if (!FStarted || size == 0 || FBusy) return;
  if (buffer == nullptr) {
    // The channel's own buffer: never let the card read past what it holds.
    if (FBuffer == nullptr || size > buffer_capacity_) return;
    buffer = FBuffer;
  }
  FBusy = true;
  FOSDRect = {FLeft + 32, FTop, FWidth, FHeight};

  TCardAddress data(buffer, size);
  TVxFrameRequest request;
  std::memset(&request, 0, sizeof(request));
  request.Length = kVxFrameRequestLength;
  request.Count = 1;
  request.Header.Size = kVxStreamHeaderSize;
  request.Header.FrameExtent = size;
  request.Header.DataUsed = 0;
  request.Header.Data = data.Value();

  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, 1, 0, nullptr);
  try {
    FStream->Submit(&request, &overlapped);
    WaitForSingleObject(overlapped.hEvent, WaitLimit());
    if (FControl != nullptr) {
      FControl->SetProperty(kVxPropOSDRect, rect_address_.Value());
      FControl->SetProperty(kVxPropOSDUpdate, 1);
    }
  } catch (...) {
    // Driver errors during a push are ignored; the next cycle pushes again.
  }
  if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  FBusy = false;
}

}  // namespace vx
