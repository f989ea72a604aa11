#pragma once
// The capture card's COM interfaces, identifiers, property numbers and the frame request
// record, as the card's driver expects them. Only the methods the channel calls have fixed
// meanings; the others keep their slots (the slot order is what a driver binds to) and have
// open signatures.

#include <cstddef>
#include <cstdint>

#include "platform/com.h"
#include "platform/types.h"

namespace vx {

extern const IID IID_IVxControlNode;  // {5D896824-4239-4DDB-AF13-C80936C246BD}
extern const IID IID_IVxBridge;       // {18CA821D-7E35-464C-9E17-C5F438F1C551}
extern const IID IID_IVxStream;       // {4757FEB1-883D-41D4-990B-2E7E9018B73A}
extern const IID IID_IVxMapMem;       // {9CB7F9A8-0AE5-4A2C-99DB-9B4D58967B45}
extern const IID IID_IVxDevice;       // {27128970-797A-460E-92EE-B63F98D755BF}
// The card's device object, created in-process.
extern const CLSID CLSID_VxDevice;    // {5E91AF27-24D3-47AC-9C55-132F04C98281}

// The pin category of the OSD stream, as passed to IVxDevice::GetPin.
inline constexpr const char *kVxCategoryPinOSD = "CATEGORY_PIN_OSD";
inline constexpr DWORD kVxPinFlags = 0;
inline constexpr LONG kVxPinIndex = -2;

// Control-node property numbers.
inline constexpr DWORD kVxPropVersion = 446;     // read at open; >= 9 selects the extended flags
inline constexpr DWORD kVxPropFlags = 422;       // flag word, adjusted once at open
inline constexpr DWORD kVxPropOSDRect = 822;     // address of four LONGs: left + 32, top, w, h
inline constexpr DWORD kVxPropOSDUpdate = 824;   // 1 after each submitted frame
inline constexpr DWORD kVxPropOSDStopped = 825;  // 1 when the stream is stopped

// Bits of property 422 the channel adjusts.
inline constexpr DWORD kVxFlagOSDEnable = 0x01;
inline constexpr DWORD kVxFlagExtClear = 0x20;
inline constexpr DWORD kVxFlagClear = 0x40;
inline constexpr DWORD kVxFlagExtended = 0x80000000u;
inline constexpr LONG kVxExtendedVersion = 9;

struct IVxControlNode : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved1(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved2(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved3(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(DWORD property, DWORD value) = 0;     // 4
  virtual HRESULT STDMETHODCALLTYPE GetProperty(DWORD property, DWORD *result) = 0;   // 5

 protected:
  ~IVxControlNode() = default;
};

struct IVxBridge : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Run() = 0;                 // 1: start the stream
  virtual HRESULT STDMETHODCALLTYPE Pause() = 0;               // 2
  virtual HRESULT STDMETHODCALLTYPE Halt() = 0;                // 3: stop the stream
  virtual HRESULT STDMETHODCALLTYPE Connect() = 0;             // 4: once, right after the stream is obtained
  virtual HRESULT STDMETHODCALLTYPE Reserved5(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved7(void *arg) = 0;

 protected:
  ~IVxBridge() = default;
};

struct TVxFrameRequest;

struct IVxStream : IVxBridge {
  virtual HRESULT STDMETHODCALLTYPE Reserved8(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved9(void *arg) = 0;
  // 3: submit one frame buffer; completion signals overlapped->hEvent.
  virtual HRESULT STDMETHODCALLTYPE Submit(TVxFrameRequest *request, OVERLAPPED *overlapped) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved11(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved12(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved13(void *arg) = 0;

 protected:
  ~IVxStream() = default;
};

struct IVxMapMem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved1(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved2(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Allocate(DWORD bytes, void **buffer, DWORD *result) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE Free(void *buffer) = 0;                                   // 4
  virtual HRESULT STDMETHODCALLTYPE Reserved5(void *arg) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6(void *arg) = 0;

 protected:
  ~IVxMapMem() = default;
};

struct IVxDevice : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Reserved1(void *arg) = 0;
  // 2: the stream of the pin of `category`, as `iid`.
  virtual HRESULT STDMETHODCALLTYPE GetPin(DWORD flags, LONG index, const char *category, REFIID iid,
                         void **out) = 0;

 protected:
  ~IVxDevice() = default;
};

// One kernel-streaming stream header as the card reads it (the 32-bit layout, 48 bytes).
struct KSSTREAM_HEADER32 {
  DWORD Size;
  DWORD TypeSpecificFlags;
  std::int64_t PresentationTime;
  DWORD PresentationNumerator;
  DWORD PresentationDenominator;
  std::int64_t Duration;
  DWORD FrameExtent;
  DWORD DataUsed;
  DWORD Data;  // card address of the frame buffer (see card/address.h)
  DWORD OptionsFlags;
};

// The frame request record: 56 bytes, zero except the fields set by the channel.
struct TVxFrameRequest {
  DWORD Length;   // 56
  DWORD Count;    // 1
  KSSTREAM_HEADER32 Header;
};

static_assert(sizeof(KSSTREAM_HEADER32) == 48);
static_assert(sizeof(TVxFrameRequest) == 56);
static_assert(offsetof(TVxFrameRequest, Length) == 0);
static_assert(offsetof(TVxFrameRequest, Count) == 4);
static_assert(offsetof(TVxFrameRequest, Header) + offsetof(KSSTREAM_HEADER32, Size) == 8);
static_assert(offsetof(TVxFrameRequest, Header) + offsetof(KSSTREAM_HEADER32, FrameExtent) == 40);
static_assert(offsetof(TVxFrameRequest, Header) + offsetof(KSSTREAM_HEADER32, DataUsed) == 44);
static_assert(offsetof(TVxFrameRequest, Header) + offsetof(KSSTREAM_HEADER32, Data) == 48);

inline constexpr DWORD kVxFrameRequestLength = sizeof(TVxFrameRequest);
inline constexpr DWORD kVxStreamHeaderSize = sizeof(KSSTREAM_HEADER32);

}  // namespace vx
