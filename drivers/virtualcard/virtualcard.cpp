// The software capture card. One installed card at a time; its state lives in a shared
// CardState that the COM objects keep alive, so a client that still holds interfaces after
// the card was uninstalled keeps valid objects (which then refuse frames).

#include "drivers/virtualcard/virtualcard.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "card/address.h"
#include "card/interfaces.h"
#include "drivers/virtualcard/server.h"
#include "platform/descriptor.h"

namespace vx {
namespace {

constexpr std::size_t kMaxLogLines = 256;
constexpr std::size_t kMaxFrame = std::size_t{64} << 20;
constexpr int kSinkWidth = 640;
constexpr int kSinkHeight = 480;
constexpr std::uintptr_t kStatusPending = 0x103;

std::atomic<std::uint32_t> g_live{0};
// Class factories alive (those the system's COM holds included) and LockServer locks: while
// either is non-zero the DLL must stay loaded.
std::atomic<std::uint32_t> g_factories{0};
std::atomic<std::int32_t> g_locks{0};
constexpr HRESULT kClassNotAvailable = static_cast<HRESULT>(0x80040111);

using SteadyClock = std::chrono::steady_clock;

struct Completion {
  SteadyClock::time_point due;
  HANDLE event;
};

struct CardState {
  std::mutex mutex;
  VxVirtualCardOptions options{};
  bool removed = false;
  std::map<DWORD, DWORD> properties;
  VxVirtualCardCounters counters{};
  std::vector<std::uint8_t> last_frame;
  std::array<std::uint8_t, 56> last_request{};
  bool has_request = false;
  std::deque<std::string> log;
  std::map<void *, std::unique_ptr<std::uint8_t[]>> dma;

  // The sink has its own lock: writing to a pipe may block, the counters must not.
  std::mutex sink_mutex;
  int sink_fd = -1;
  bool own_sink = false;
  std::vector<std::uint8_t> rgba;

  // Events of frames accepted under VXVC_FAULT_NO_COMPLETION, completed when it is cleared.
  std::vector<HANDLE> held;  // guarded by mutex

  // Driver thread for completions with latency.
  std::mutex queue_mutex;
  std::condition_variable queue_cv;
  std::deque<Completion> queue;
  bool stopping = false;
  std::thread thread;
  // The driver thread runs (its code is the DLL's): read without the locks by CanUnload.
  std::atomic<bool> driver_running{false};

  // A card still installed when the process exits gets here with its driver thread. On Windows
  // the system has ended that thread already (a lock it held stays held): let it go. Elsewhere
  // it still runs: stop it.
  ~CardState() {
#ifdef _WIN32
    if (thread.joinable()) thread.detach();
#else
    StopThread();
#endif
  }

  void Log(std::string line) {  // mutex held
    if (log.size() >= kMaxLogLines) log.pop_front();
    log.push_back(std::move(line));
  }
  std::uint32_t Faults() {  // mutex held
    return options.faults;
  }
  void CloseSink() {  // sink_mutex held
    if (own_sink) CloseDescriptor(sink_fd);
    sink_fd = -1;
  }
  // Counts a refused submission and completes it at once with its error, so the caller
  // never waits for it (mutex held).
  HRESULT Refuse(OVERLAPPED *overlapped, HRESULT error, const char *why);
  // Counts and keeps an accepted frame (mutex held); says how to deliver and complete it.
  struct Delivery {
    std::vector<std::uint8_t> sink_copy;  // empty without a sink
    void (*on_frame)(void *) = nullptr;
    void *user = nullptr;
    std::uint32_t latency_ms = 0;
    bool hold = false;  // not completed until the no-completion fault is cleared
  };
  Delivery Accept(std::span<const std::uint8_t> frame);
  // Completes a frame as the delivery says: now, after the latency, or when released.
  void Complete(HANDLE event, const Delivery &delivery);
  void Signal(HANDLE event);
  void ReleaseHeld();
  void RunCompletions();
  void StopThread();
};

HRESULT CardState::Refuse(OVERLAPPED *overlapped, HRESULT error, const char *why) {
  Log(std::string("Refused: ") + why);
  ++counters.pushes_refused;
  if (overlapped != nullptr) {
    overlapped->Internal = static_cast<std::uint32_t>(error);
    if (overlapped->hEvent != nullptr) {
      ++counters.completions;
      SetEvent(overlapped->hEvent);
    }
  }
  return error;
}

CardState::Delivery CardState::Accept(std::span<const std::uint8_t> frame) {
  // One copy per frame into the kept buffer (its capacity is reused, so no allocation once the
  // size is steady); a second, private copy only when a sink will write it outside the lock.
  last_frame.assign(frame.begin(), frame.end());
  ++counters.frames_received;
  counters.bytes_received += frame.size();
  Delivery d;
  if (options.sink != VXVC_SINK_NONE) d.sink_copy = last_frame;
  d.on_frame = options.on_frame;
  d.user = options.user;
  d.latency_ms = options.latency_ms;
  d.hold = (Faults() & VXVC_FAULT_NO_COMPLETION) != 0;
  return d;
}

void CardState::Signal(HANDLE event) {
  {
    std::lock_guard lock(mutex);  // counted first: the waiter may read it at once
    ++counters.completions;
  }
  SetEvent(event);
}

void CardState::Complete(HANDLE event, const Delivery &delivery) {
  if (event == nullptr) return;
  if (delivery.hold) {
    std::lock_guard lock(mutex);
    if (!removed) held.push_back(event);
  } else if (delivery.latency_ms == 0) {
    Signal(event);
  } else {
    {
      std::lock_guard lock(queue_mutex);
      if (!stopping)
        queue.push_back(
            {SteadyClock::now() + std::chrono::milliseconds(delivery.latency_ms), event});
    }
    queue_cv.notify_all();
  }
}

void CardState::ReleaseHeld() {
  std::vector<HANDLE> events;
  {
    std::lock_guard lock(mutex);
    events.swap(held);
  }
  for (HANDLE event : events) Signal(event);
}

void CardState::RunCompletions() {
  std::unique_lock lock(queue_mutex);
  for (;;) {
    if (stopping) return;
    if (queue.empty()) {
      queue_cv.wait(lock);
      continue;
    }
    const Completion next = queue.front();
    if (SteadyClock::now() < next.due) {
      queue_cv.wait_until(lock, next.due);
      continue;
    }
    queue.pop_front();
    lock.unlock();
    Signal(next.event);
    lock.lock();
  }
}

void CardState::StopThread() {
  {
    std::lock_guard lock(queue_mutex);
    stopping = true;
    queue.clear();
  }
  queue_cv.notify_all();
  if (thread.joinable()) thread.join();
  driver_running = false;
}

std::uint8_t ClampByte(double v) {
  v = std::round(v);
  return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Frame stream header check; returns the pixel size or 0.
bool ParseFrameHeader(const std::uint8_t *stream, std::size_t length, int &width, int &height) {
  if (stream == nullptr || length < 1032) return false;
  if (stream[0] != 0x3E) return false;
  width = (stream[4] << 8) | stream[5];
  height = (stream[6] << 8) | stream[7];
  return width > 0 && height > 0;
}

std::mutex g_mutex;
std::shared_ptr<CardState> g_card;
// The card was created for a client of the registered DLL, without VxVirtualCard_Install.
bool g_implicit = false;
DWORD g_cookie = 0;
// The installing thread's CoInitialize succeeded and is balanced at Uninstall (a thread in the
// multithreaded apartment gets RPC_E_CHANGED_MODE, and its COM is the host's).
bool g_com_initialised = false;

// A card's state for the options (already checked), its sink opened; null when the sink
// cannot be opened.
std::shared_ptr<CardState> MakeState(VxVirtualCardOptions opts) {
  auto state = std::make_shared<CardState>();
  if (opts.sink != VXVC_SINK_NONE) {
    if (opts.sink_fd >= 0) {
      state->sink_fd = opts.sink_fd;
    } else {
      if (opts.sink_path == nullptr) return nullptr;
      // A named pipe blocks here until its reader opens it.
      state->sink_fd = OpenForWriting(opts.sink_path);
      if (state->sink_fd < 0) return nullptr;
      state->own_sink = true;
    }
  }
  opts.sink_path = nullptr;  // not kept: the caller owns the string
  state->options = opts;
  state->properties[kVxPropVersion] = opts.version;
  state->properties[kVxPropFlags] = opts.flags;
  return state;
}

// Takes a card out of service: its objects refuse frames from now on, its pending and held
// completions are dropped, its driver thread stops and its sink closes.
void Retire(const std::shared_ptr<CardState> &state) {
  {
    std::lock_guard lock(state->mutex);
    state->removed = true;
    state->held.clear();
  }
  state->StopThread();
  std::lock_guard sink_lock(state->sink_mutex);
  state->CloseSink();
}

// The card that serves the registered DLL's clients: the installed one, else one with the
// default options, created now.
std::shared_ptr<CardState> CurrentOrDefault() {
  std::lock_guard lock(g_mutex);
  if (!g_card) {
    VxVirtualCardOptions defaults;
    VxVirtualCard_DefaultOptions(&defaults);
    g_card = MakeState(defaults);
    g_implicit = true;
  }
  return g_card;
}

// ---- COM objects -------------------------------------------------------------------------

// Reference counting and the live-object count shared by every card object.
class CardObject {
 protected:
  CardObject(std::shared_ptr<CardState> state, const char *name)
      : state_(std::move(state)), name_(name) {
    ++g_live;
  }
  virtual ~CardObject() { --g_live; }
  std::uint32_t DoAddRef() { return ref_.Add(); }
  std::uint32_t DoRelease() {
    const std::uint32_t left = ref_.Release();
    if (left == 0) {
      {
        std::lock_guard lock(state_->mutex);
        state_->Log(std::string("Release ") + name_);
      }
      delete this;  // COM lifetime: the last Release frees the object
    }
    return left;
  }
  void Log(std::string line) {
    std::lock_guard lock(state_->mutex);
    state_->Log(std::move(line));
  }

  std::shared_ptr<CardState> state_;

 private:
  RefCount ref_;
  const char *name_;
};

class Pin;

class ControlNode final : public IVxControlNode, CardObject {
 public:
  ControlNode(std::shared_ptr<CardState> state, Pin *pin);
  ~ControlNode() override;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  std::uint32_t STDMETHODCALLTYPE Release() override { return DoRelease(); }
  HRESULT STDMETHODCALLTYPE Reserved1(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved2(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved3(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetProperty(DWORD property, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetProperty(DWORD property, DWORD *result) override;

 private:
  Pin *pin_;
};

class MapMem final : public IVxMapMem, CardObject {
 public:
  MapMem(std::shared_ptr<CardState> state, Pin *pin);
  ~MapMem() override;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  std::uint32_t STDMETHODCALLTYPE Release() override { return DoRelease(); }
  HRESULT STDMETHODCALLTYPE Reserved1(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved2(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Allocate(DWORD bytes, void **buffer, DWORD *result) override;
  HRESULT STDMETHODCALLTYPE Free(void *buffer) override;
  HRESULT STDMETHODCALLTYPE Reserved5(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6(void *) override { return E_NOTIMPL; }

 private:
  Pin *pin_;
};

class Pin final : public IVxStream, CardObject {
 public:
  explicit Pin(std::shared_ptr<CardState> state) : CardObject(std::move(state), "IVxStream") {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IVxBridge || iid == IID_IVxStream) {
      AddRef();
      *out = static_cast<IVxStream *>(this);
      return S_OK;
    }
    // The control node and the mapper are tear-offs, so that each reference is released
    // through the interface it was taken for.
    if (iid == IID_IVxControlNode) {
      *out = static_cast<IVxControlNode *>(new ControlNode(state_, this));
      return S_OK;
    }
    if (iid == IID_IVxMapMem) {
      *out = static_cast<IVxMapMem *>(new MapMem(state_, this));
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  std::uint32_t STDMETHODCALLTYPE Release() override { return DoRelease(); }

  HRESULT STDMETHODCALLTYPE Run() override {
    std::lock_guard lock(state_->mutex);
    state_->Log("Run");
    state_->counters.started = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Halt() override {
    std::lock_guard lock(state_->mutex);
    state_->Log("Halt");
    state_->counters.started = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Connect() override {
    Log("Connect");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reserved5(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved8(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved9(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Submit(TVxFrameRequest *request, OVERLAPPED *overlapped) override;
  HRESULT STDMETHODCALLTYPE Reserved11(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved12(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved13(void *) override { return E_NOTIMPL; }

 private:
  void WriteSink(const std::vector<std::uint8_t> &frame);
};

ControlNode::ControlNode(std::shared_ptr<CardState> state, Pin *pin)
    : CardObject(std::move(state), "IVxControlNode"), pin_(pin) {
  pin_->AddRef();
}
ControlNode::~ControlNode() { pin_->Release(); }

HRESULT STDMETHODCALLTYPE ControlNode::QueryInterface(REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IVxControlNode) {
    AddRef();
    *out = static_cast<IVxControlNode *>(this);
    return S_OK;
  }
  return pin_->QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE ControlNode::GetProperty(DWORD property, DWORD *result) {
  std::lock_guard lock(state_->mutex);
  state_->Log("GetProperty " + std::to_string(property));
  if (state_->Faults() & VXVC_FAULT_PROPERTIES) return E_FAIL;
  if (result == nullptr) return E_POINTER;
  auto it = state_->properties.find(property);
  *result = it != state_->properties.end() ? it->second : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlNode::SetProperty(DWORD property, DWORD value) {
  // Addresses are resolved in the table of the module that called (see card/address.h).
  const void *caller = __builtin_return_address(0);
  std::lock_guard lock(state_->mutex);
  if (property == kVxPropOSDRect) {
    // The value is the card address of four LONGs.
    const auto *rect =
        static_cast<const LONG *>(ResolveCardAddress(value, 4 * sizeof(LONG), caller));
    if (rect == nullptr) {
      state_->Log("SetProperty 822 (invalid address)");
      return E_INVALIDARG;
    }
    char line[96];
    std::snprintf(line, sizeof line, "SetProperty 822 (%d,%d,%d,%d)", rect[0], rect[1],
                  rect[2], rect[3]);
    state_->Log(line);
    if (state_->Faults() & VXVC_FAULT_PROPERTIES) return E_FAIL;
    std::copy(rect, rect + 4, state_->counters.rect);
  } else {
    char line[64];
    std::snprintf(line, sizeof line, "SetProperty %u 0x%X", property, value);
    state_->Log(line);
    if (state_->Faults() & VXVC_FAULT_PROPERTIES) return E_FAIL;
  }
  state_->properties[property] = value;
  ++state_->counters.property_writes;
  return S_OK;
}

MapMem::MapMem(std::shared_ptr<CardState> state, Pin *pin)
    : CardObject(std::move(state), "IVxMapMem"), pin_(pin) {
  pin_->AddRef();
}
MapMem::~MapMem() { pin_->Release(); }

HRESULT STDMETHODCALLTYPE MapMem::QueryInterface(REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IVxMapMem) {
    AddRef();
    *out = static_cast<IVxMapMem *>(this);
    return S_OK;
  }
  return pin_->QueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE MapMem::Allocate(DWORD bytes, void **buffer, DWORD *result) {
  std::lock_guard lock(state_->mutex);
  state_->Log("Allocate " + std::to_string(bytes));
  if (buffer == nullptr) return E_POINTER;
  *buffer = nullptr;
  if (state_->Faults() & VXVC_FAULT_DMA) return E_OUTOFMEMORY;
  if (bytes == 0 || bytes > kMaxFrame) return E_INVALIDARG;
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes]());
  if (!block) return E_OUTOFMEMORY;
  *buffer = block.get();
  state_->dma.emplace(block.get(), std::move(block));
  state_->counters.dma_buffers = static_cast<std::uint32_t>(state_->dma.size());
  if (result != nullptr) *result = bytes;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MapMem::Free(void *buffer) {
  std::lock_guard lock(state_->mutex);
  state_->Log("Free");
  auto it = state_->dma.find(buffer);
  if (it == state_->dma.end()) return E_INVALIDARG;
  state_->dma.erase(it);
  state_->counters.dma_buffers = static_cast<std::uint32_t>(state_->dma.size());
  return S_OK;
}

void Pin::WriteSink(const std::vector<std::uint8_t> &frame) {
  CardState &s = *state_;
  std::lock_guard lock(s.sink_mutex);
  if (s.sink_fd < 0) return;
  bool ok = true;
  if (s.options.sink == VXVC_SINK_RAW) {
    ok = WriteAll(s.sink_fd, frame.data(), frame.size());
  } else if (s.options.sink == VXVC_SINK_RGBA) {
    s.rgba.resize(std::size_t{4} * kSinkWidth * kSinkHeight);
    VxVirtualCard_FrameToRGBA(frame.data(), frame.size(), s.rgba.data());
    ok = WriteAll(s.sink_fd, s.rgba.data(), s.rgba.size());
  }
  if (!ok) {
    s.CloseSink();
    std::lock_guard state_lock(s.mutex);
    ++s.counters.sink_errors;
  }
}

// The frame a request carries, checked as a strict driver checks it: record length, one
// stream header of size 48, a buffer mapped for the whole extent, a frame stream header whose
// size and length field agree with the extent. Nothing past the extent is read.
struct CheckedFrame {
  std::span<const std::uint8_t> bytes;
  HRESULT error = S_OK;
  const char *why = nullptr;  // set when refused
};

CheckedFrame Refused(HRESULT error, const char *why) { return {{}, error, why}; }

CheckedFrame CheckRequest(const CardState &s, const TVxFrameRequest &request,
                          const void *caller) {
  if (s.removed) return Refused(E_FAIL, "card removed");
  if (s.counters.started == 0) return Refused(E_FAIL, "stream stopped");
  if (request.Length != kVxFrameRequestLength) return Refused(E_INVALIDARG, "record length");
  if (request.Count != 1) return Refused(E_INVALIDARG, "header count");
  const KSSTREAM_HEADER32 &header = request.Header;
  if (header.Size != kVxStreamHeaderSize) return Refused(E_INVALIDARG, "header size");
  if (header.FrameExtent < 1032 || header.FrameExtent > kMaxFrame)
    return Refused(E_INVALIDARG, "frame extent");
  const auto *data =
      static_cast<const std::uint8_t *>(ResolveCardAddress(header.Data, header.FrameExtent, caller));
  if (data == nullptr) return Refused(E_INVALIDARG, "frame address");
  int width = 0, height = 0;
  if (!ParseFrameHeader(data, header.FrameExtent, width, height))
    return Refused(E_INVALIDARG, "frame header");
  const std::uint64_t length = std::uint64_t(width) * std::uint64_t(height) + 1032;
  const std::uint32_t length_field =
      (std::uint32_t(data[1]) << 16) | (std::uint32_t(data[2]) << 8) | data[3];
  if (length != header.FrameExtent || length_field != (length & 0xFFFFFF))
    return Refused(E_INVALIDARG, "frame length");
  return {{data, header.FrameExtent}};
}

HRESULT STDMETHODCALLTYPE Pin::Submit(TVxFrameRequest *request, OVERLAPPED *overlapped) {
  const void *caller = __builtin_return_address(0);  // whose address table to read
  CardState &s = *state_;
  const HANDLE event = overlapped != nullptr ? overlapped->hEvent : nullptr;
  CardState::Delivery delivery;
  {
    std::lock_guard lock(s.mutex);
    s.Log("Submit");
    if (request == nullptr) return s.Refuse(overlapped, E_POINTER, "no record");
    std::memcpy(s.last_request.data(), request, sizeof(TVxFrameRequest));
    s.has_request = true;
    const CheckedFrame frame = CheckRequest(s, *request, caller);
    if (frame.why != nullptr) return s.Refuse(overlapped, frame.error, frame.why);
    delivery = s.Accept(frame.bytes);
    if (overlapped != nullptr)
      overlapped->Internal = delivery.hold || delivery.latency_ms > 0 ? kStatusPending : 0;
  }
  if (delivery.on_frame != nullptr) delivery.on_frame(delivery.user);
  if (!delivery.sink_copy.empty()) WriteSink(delivery.sink_copy);
  s.Complete(event, delivery);
  return S_OK;
}

class Device final : public IVxDevice, CardObject {
 public:
  explicit Device(std::shared_ptr<CardState> state) : CardObject(std::move(state), "IVxDevice") {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IVxDevice) {
      AddRef();
      *out = static_cast<IVxDevice *>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  std::uint32_t STDMETHODCALLTYPE Release() override { return DoRelease(); }
  HRESULT STDMETHODCALLTYPE Reserved1(void *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPin(DWORD flags, LONG index, const char *category, REFIID iid,
                 void **out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    {
      std::lock_guard lock(state_->mutex);
      char line[96];
      std::snprintf(line, sizeof line, "GetPin %u %d %.40s", flags, index,
                    category != nullptr ? category : "(null)");
      state_->Log(line);
      if (state_->Faults() & VXVC_FAULT_NO_OSD_PIN) return E_FAIL;
    }
    if (category == nullptr || std::strcmp(category, kVxCategoryPinOSD) != 0) return E_INVALIDARG;
    auto pin = std::make_unique<Pin>(state_);
    const HRESULT hr = pin->QueryInterface(iid, out);
    // The pin starts with one reference of its own; a successful query took another.
    pin.release()->Release();
    return hr;
  }
};

// Creates devices on its card; a factory without one (the registered DLL's) on the card that
// serves at the time.
class Factory final : public IClassFactory {
 public:
  explicit Factory(std::shared_ptr<CardState> state) : state_(std::move(state)) { ++g_factories; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      AddRef();
      *out = static_cast<IClassFactory *>(this);
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return ref_.Add(); }
  std::uint32_t STDMETHODCALLTYPE Release() override {
    const std::uint32_t left = ref_.Release();
    if (left == 0) delete this;  // COM lifetime
    return left;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    const std::shared_ptr<CardState> state = state_ ? state_ : CurrentOrDefault();
    {
      std::lock_guard lock(state->mutex);
      state->Log("CreateInstance");
      if (state->Faults() & VXVC_FAULT_CREATE) return E_FAIL;
    }
    auto device = std::make_unique<Device>(state);
    const HRESULT hr = device->QueryInterface(iid, out);
    device.release()->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++g_locks;
    } else {
      std::int32_t held = g_locks.load();  // an unlock without a lock changes nothing
      while (held > 0 && !g_locks.compare_exchange_weak(held, held - 1)) {
      }
    }
    return S_OK;
  }

 private:
  ~Factory() { --g_factories; }
  RefCount ref_;
  std::shared_ptr<CardState> state_;
};

}  // namespace

namespace virtualcard {

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_VxDevice) return kClassNotAvailable;
  {
    const std::shared_ptr<CardState> state = CurrentOrDefault();
    if (!state) return E_OUTOFMEMORY;
    std::lock_guard lock(state->mutex);
    state->Log("DllGetClassObject");
  }
  IClassFactory *factory = new Factory(nullptr);  // COM lifetime: released below
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

bool CanUnload() {
  if (g_live > 0 || g_factories > 0 || g_locks > 0) return false;
  std::shared_ptr<CardState> state;
  {
    std::lock_guard lock(g_mutex);
    state = g_card;
  }
  if (!state) return true;
  if (state->driver_running) return false;
  std::lock_guard lock(state->mutex);
  return state->held.empty();
}

}  // namespace virtualcard
}  // namespace vx

using namespace vx;

namespace {
// The installed card, if any. A C++ helper, outside the C interface below.
std::shared_ptr<CardState> Current() {
  std::lock_guard lock(g_mutex);
  return g_card;
}
}  // namespace

extern "C" {

void VxVirtualCard_DefaultOptions(VxVirtualCardOptions *options) {
  if (options == nullptr) return;
  *options = VxVirtualCardOptions{};
  options->sink = VXVC_SINK_NONE;
  options->sink_path = nullptr;
  options->sink_fd = -1;
  options->version = 9;
  options->flags = 0x60;
}

int VxVirtualCard_Install(const VxVirtualCardOptions *options) {
  VxVirtualCardOptions opts;
  VxVirtualCard_DefaultOptions(&opts);
  if (options != nullptr) opts = *options;
  if (opts.sink < VXVC_SINK_NONE || opts.sink > VXVC_SINK_RGBA) return 0;

  std::shared_ptr<CardState> replaced;
  {
    std::lock_guard lock(g_mutex);
    if (g_card && !g_implicit) return 0;
    std::shared_ptr<CardState> state = MakeState(opts);
    if (!state) return 0;

    // With the system's COM a registration lives in the installing thread's apartment and ends
    // with its last CoUninitialize: the card holds one of its own until it is uninstalled.
    const bool com_initialised = SUCCEEDED(CoInitialize(nullptr));
    IClassFactory *factory = new Factory(state);  // COM lifetime: released below
    DWORD cookie = 0;
    const HRESULT hr = CoRegisterClassObject(CLSID_VxDevice, factory, CLSCTX_INPROC_SERVER,
                                             REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();  // the registry holds its own reference
    if (FAILED(hr)) {
      if (com_initialised) CoUninitialize();
      std::lock_guard sink_lock(state->sink_mutex);
      state->CloseSink();
      return 0;
    }
    if (opts.latency_ms > 0) {
      CardState *raw = state.get();
      state->driver_running = true;
      state->thread = std::thread([raw] { raw->RunCompletions(); });
    }
    g_cookie = cookie;
    g_com_initialised = com_initialised;
    replaced = std::move(g_card);  // the default card of the registered DLL, if it served
    g_card = std::move(state);
    g_implicit = false;
  }
  if (replaced) Retire(replaced);
  return 1;
}

void VxVirtualCard_Uninstall(void) {
  std::shared_ptr<CardState> state;
  {
    std::lock_guard lock(g_mutex);
    if (!g_card) return;
    if (!g_implicit) {
      CoRevokeClassObject(g_cookie);
      if (g_com_initialised) CoUninitialize();
      g_com_initialised = false;
    }
    g_cookie = 0;
    g_implicit = false;
    state = std::move(g_card);
  }
  Retire(state);
}

int VxVirtualCard_Installed(void) {
  std::lock_guard lock(g_mutex);
  return g_card ? 1 : 0;
}

void VxVirtualCard_SetFaults(uint32_t faults) {
  if (auto state = Current()) {
    {
      std::lock_guard lock(state->mutex);
      state->options.faults = faults;
    }
    if ((faults & VXVC_FAULT_NO_COMPLETION) == 0) state->ReleaseHeld();
  }
}

int VxVirtualCard_GetCounters(VxVirtualCardCounters *out) {
  if (out == nullptr) return 0;
  *out = VxVirtualCardCounters{};
  auto state = Current();
  if (!state) return 0;
  std::lock_guard lock(state->mutex);
  *out = state->counters;
  return 1;
}

int VxVirtualCard_GetProperty(uint32_t number, uint32_t *value) {
  if (value == nullptr) return 0;
  *value = 0;
  auto state = Current();
  if (!state) return 0;
  std::lock_guard lock(state->mutex);
  auto it = state->properties.find(number);
  if (it == state->properties.end()) return 0;
  *value = it->second;
  return 1;
}

size_t VxVirtualCard_LastFrame(uint8_t *dest, size_t capacity) {
  auto state = Current();
  if (!state) return 0;
  std::lock_guard lock(state->mutex);
  if (dest != nullptr)
    std::memcpy(dest, state->last_frame.data(), std::min(capacity, state->last_frame.size()));
  return state->last_frame.size();
}

int VxVirtualCard_LastRequest(uint8_t record[56]) {
  auto state = Current();
  if (!state || record == nullptr) return 0;
  std::lock_guard lock(state->mutex);
  if (!state->has_request) return 0;
  std::memcpy(record, state->last_request.data(), 56);
  return 1;
}

size_t VxVirtualCard_GetLog(char *dest, size_t capacity) {
  std::string text;
  if (auto state = Current()) {
    std::lock_guard lock(state->mutex);
    for (const std::string &line : state->log) text += line + '\n';
  }
  if (dest != nullptr && capacity > 0) {
    const std::size_t n = std::min(capacity - 1, text.size());
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
  }
  return text.size();
}

void VxVirtualCard_ClearLog(void) {
  if (auto state = Current()) {
    std::lock_guard lock(state->mutex);
    state->log.clear();
  }
}

uint32_t VxVirtualCard_LiveObjects(void) { return g_live.load(); }

int VxVirtualCard_FrameToRGBA(const uint8_t *stream, size_t length, uint8_t *rgba) {
  int width = 0, height = 0;
  if (rgba == nullptr || !ParseFrameHeader(stream, length, width, height)) return 0;
  if (std::uint64_t(width) * std::uint64_t(height) + 1032 > length) return 0;
  // The palette once per frame, then one lookup per pixel.
  std::array<std::array<std::uint8_t, 4>, 256> lut;
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t *e = stream + 8 + 4 * i;
    const double y = 1.164383 * (e[1] - 16);
    const double cb = e[2] - 128;
    const double cr = e[3] - 128;
    lut[i] = {ClampByte(y + 1.596027 * cr), ClampByte(y - 0.391762 * cb - 0.812968 * cr),
              ClampByte(y + 2.017232 * cb), e[0]};
  }
  std::memset(rgba, 0, std::size_t{4} * kSinkWidth * kSinkHeight);
  const int w = std::min(width, kSinkWidth);
  const int h = std::min(height, kSinkHeight);
  for (int row = 0; row < h; ++row) {
    const std::uint8_t *src = stream + 1032 + std::size_t(row) * width;
    std::uint8_t *dst = rgba + std::size_t(row) * kSinkWidth * 4;
    for (int x = 0; x < w; ++x) std::memcpy(dst + 4 * x, lut[src[x]].data(), 4);
  }
  return 1;
}

}  // extern "C"
