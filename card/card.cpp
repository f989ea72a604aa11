#include "card/card.h"

#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace vx {

std::atomic<DWORD> TOSDCard::wait_limit_{kCardPushWaitMs};

namespace {

template <typename T>
void ReleaseRef(T *&ref) {
  if (ref != nullptr) ref->Release();
  ref = nullptr;
}

// The process's one card: held by the first channel whose probe found it, until it closes.
// Never destroyed: channels of threads still running at exit may close after static
// destructors ran.
struct CardClaim {
  std::mutex mutex;
  bool held = false;
};
CardClaim &Claim() {
  static CardClaim *const claim = new CardClaim;
  return *claim;
}

}  // namespace

// One frame handed to the driver. The driver may use the record and the OVERLAPPED, read the
// frame buffer and signal the event until it completes the frame, even after the channel
// stopped waiting or closed, so the push owns them all (a heap buffer stays allocated, and its
// address mapped until the channel closes) as long as that may happen.
struct TOSDCard::TCardPush {
  TVxFrameRequest request{};
  OVERLAPPED overlapped{};
  TCardBuffer::Heap heap;  // the channel's heap buffer the record points at, if it is one
  TCardAddress data;

  TCardPush(const std::uint8_t *buffer, std::uint32_t size, TCardBuffer::Heap owner)
      : heap(std::move(owner)), data(buffer, size) {
    request.Length = kVxFrameRequestLength;
    request.Count = 1;
    request.Header.Size = kVxStreamHeaderSize;
    request.Header.FrameExtent = size;
    request.Header.DataUsed = 0;
    request.Header.Data = data.Value();
    overlapped.hEvent = CreateEventA(nullptr, 1, 0, nullptr);
  }
  ~TCardPush() {
    if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  }
  TCardPush(const TCardPush &) = delete;
  TCardPush &operator=(const TCardPush &) = delete;

  bool Completed() const { return WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0; }
};

// A closed channel's push that its driver has not completed: the driver may still write the
// OVERLAPPED and signal the event after the channel is gone (a halted stream need not cancel
// it), and read the frame buffer at the address it was given. Closing the event then would
// free its handle value for a later event, which the late signal would end at once, so such
// pushes stay here, with their buffers, until they complete. Only pushes whose driver never
// completes stay for good: one per channel closed on a stalled card. Their entries in the
// address table go back at once (a late resolve by the software card finds nothing, and a
// stalled card cannot use the table up). The list is never destroyed, so that a channel
// closing during the process's exit still finds it.
void TOSDCard::Abandon(std::unique_ptr<TCardPush> push) {
  struct Abandoned {
    std::mutex mutex;
    std::vector<std::unique_ptr<TCardPush>> pushes;
  };
  static Abandoned *const abandoned = new Abandoned;
  if (push) push->data.Reset();
  std::lock_guard lock(abandoned->mutex);
  std::erase_if(abandoned->pushes,
                [](const std::unique_ptr<TCardPush> &p) { return p->Completed(); });
  if (push && !push->Completed()) abandoned->pushes.push_back(std::move(push));
}

std::uint8_t *TCardBuffer::AllocateHeap(std::size_t size) {
  try {
    heap_ = Heap(new (std::nothrow) std::uint8_t[size]);
  } catch (const std::bad_alloc &) {  // the shared count's allocation (the block is freed)
    heap_.reset();
  }
  data_ = heap_.get();
  capacity_ = data_ != nullptr ? size : 0;
  mapped_ = false;
  return data_;
}

void TCardBuffer::AdoptMapped(void *block, std::size_t size) {
  heap_.reset();
  data_ = static_cast<std::uint8_t *>(block);
  capacity_ = data_ != nullptr ? size : 0;
  mapped_ = data_ != nullptr;
}

void TCardBuffer::Release(IVxMapMem *mapper) {
  if (mapped_ && mapper != nullptr) mapper->Free(data_);
  heap_.reset();
  data_ = nullptr;
  capacity_ = 0;
  mapped_ = false;
}

TOSDCard::TOSDCard()
    : rect_address_(FOSDRect.data(), sizeof(FOSDRect)), push_wait_ms_(WaitLimit()) {
  FWidth = 640;
  FHeight = 480;
  RecomputeBufferSize();
  FBusy = false;
  Abandon(nullptr);  // lets go of earlier channels' pushes that completed since
  {
    // One probe at a time, so that two threads starting at once cannot both take the card.
    CardClaim &claim = Claim();
    std::lock_guard lock(claim.mutex);
    if (claim.held) {
      taken_ = true;
    } else {
      FPresent = Open();
      holds_card_ = claim.held = FPresent;
    }
  }
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
  // Only a successful CoInitialize (S_OK, or S_FALSE when the thread's apartment already
  // exists) is balanced at Close. A thread already in the multithreaded apartment gets
  // RPC_E_CHANGED_MODE: COM still works there, and its initialisation is the host's.
  com_initialised_ = SUCCEEDED(CoInitialize(nullptr));

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

void TOSDCard::Close() {
  if (closed_) return;
  closed_ = true;
  Stop();
  FBuffer.Release(FMapMem);
  ReleaseRef(FControl);
  ReleaseRef(FMapMem);
  ReleaseRef(FStream);
  // A push the driver has not completed stays alive until it does.
  Abandon(std::move(outstanding_));
  if (com_initialised_) CoUninitialize();
  com_initialised_ = false;
  if (holds_card_) {
    CardClaim &claim = Claim();
    std::lock_guard lock(claim.mutex);
    claim.held = false;
    holds_card_ = false;
  }
}

void TOSDCard::SetDMABuff(bool on) {
  if (on == FBuffer.DriverMapped()) return;
  FBusy = true;
  if (on) {
    if (FMapMem != nullptr && FBufferSize > 0) {
      FBuffer.Release(FMapMem);
      void *block = nullptr;
      DWORD result = 0;
      if (SUCCEEDED(FMapMem->Allocate(FBufferSize, &block, &result)))
        FBuffer.AdoptMapped(block, FBufferSize);
    }
  } else {
    FBuffer.Release(FMapMem);
  }
  FBusy = false;
}

std::uint8_t *TOSDCard::GetBuffer(std::uint32_t size) {
  if (size == 0) size = FBufferSize;
  if (size == 0 || size > kMaxCardBuffer) return nullptr;
  if (FBuffer.DriverMapped()) return FBuffer.Holds(size) ? FBuffer.Data() : nullptr;
  return FBuffer.AllocateHeap(size);
}

bool TOSDCard::Stalled() {
  if (outstanding_ && outstanding_->Completed()) outstanding_.reset();
  return outstanding_ != nullptr;
}

void TOSDCard::PushFrame(const std::uint8_t *buffer, std::uint32_t size) {
  if (size == 0) size = FBufferSize;
  if (!FStarted || size == 0 || FBusy || Stalled()) return;
  if (buffer == nullptr) {
    // The channel's own buffer: never let the card read past what it holds.
    if (!FBuffer.Holds(size)) return;
    buffer = FBuffer.Data();
  }
  FBusy = true;
  FOSDRect = {FLeft + 32, FTop, FWidth, FHeight};

  // The push shares the channel's heap buffer when it sends that one.
  TCardBuffer::Heap owner;
  if (buffer == FBuffer.Data()) owner = FBuffer.HeapBlock();
  std::unique_ptr<TCardPush> push;
  try {
    push = std::make_unique<TCardPush>(buffer, size, std::move(owner));
  } catch (...) {
    FBusy = false;  // no memory for the push: this cycle sends nothing
    return;
  }
  DWORD waited = WAIT_FAILED;
  try {
    FStream->Submit(&push->request, &push->overlapped);
    // In real time, whatever clock the thread's timers run on: the driver completes in real
    // time.
    waited = WaitForSingleObject(push->overlapped.hEvent, push_wait_ms_);
    if (FControl != nullptr) {
      FControl->SetProperty(kVxPropOSDRect, rect_address_.Value());
      FControl->SetProperty(kVxPropOSDUpdate, 1);
    }
  } catch (...) {
    // Driver errors during a push are ignored; the next cycle pushes again.
  }
  // The driver may still complete a push it did not complete in time: keep it until then.
  if (waited == WAIT_TIMEOUT) outstanding_ = std::move(push);
  FBusy = false;
}

}  // namespace vx
