#pragma once
// TOSDCard: the channel to the capture card's OSD stream. Construction probes for the card
// through COM and starts its stream; every cycle the engine fills the buffer from GetBuffer
// with the frame stream and hands it over with PushFrame, which waits (bounded) for the
// driver to take it. Without a card the object only holds its state and nothing blocks.
// Single-threaded: every call comes from the host's thread.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "card/address.h"
#include "card/interfaces.h"

namespace vx {

// How long PushFrame waits for the driver to complete a frame.
inline constexpr DWORD kCardPushWaitMs = 20000;
// The largest buffer the channel allocates or hands out (a frame stream is far smaller).
inline constexpr std::size_t kMaxCardBuffer = std::size_t{64} << 20;

class TOSDCard {
 public:
  TOSDCard();
  ~TOSDCard();
  TOSDCard(const TOSDCard &) = delete;
  TOSDCard &operator=(const TOSDCard &) = delete;

  // The bounded push wait, process-wide; tests shorten it. Defaults to kCardPushWaitMs.
  static DWORD WaitLimit() { return wait_limit_.load(); }
  static void SetWaitLimit(DWORD ms) { wait_limit_.store(ms); }

  bool Present() const { return FPresent; }
  bool DMABuff() const { return FDMABuff; }
  bool Started() const { return FStarted; }
  bool Busy() const { return FBusy; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  std::uint32_t BufferSize() const { return FBufferSize; }
  const std::array<LONG, 4> &OSDRect() const { return FOSDRect; }

  void SetWidth(int value);
  void SetHeight(int value);
  void SetLeft(int value) { FLeft = value; }
  void SetTop(int value) { FTop = value; }

  void Start();
  void Stop();
  // Stops the stream, frees the buffer with the allocator that produced it, releases the
  // interfaces and balances the probe's CoInitialize. Runs once; the destructor calls it.
  void Close();
  void SetDMABuff(bool on);
  // The buffer to fill: 0 means BufferSize(). Null when the size is 0, too large, or larger
  // than the driver-mapped buffer.
  std::uint8_t *GetBuffer(std::uint32_t size = 0);
  // Hands a filled buffer to the card (null and 0 mean the channel's buffer and size).
  // Returns at once when the stream is not started, the size is 0, a push or buffer switch
  // is in progress, or the channel's own buffer is smaller than the size.
  void PushFrame(const std::uint8_t *buffer = nullptr, std::uint32_t size = 0);

 private:
  bool Open();
  void RecomputeBufferSize();
  void FreeHeapBuffer();

  static std::atomic<DWORD> wait_limit_;

  bool FPresent = false;
  bool FDMABuff = false;
  int FHeight = 480;
  int FWidth = 640;
  int FTop = 0;
  int FLeft = 0;
  bool FStarted = false;
  bool FBusy = false;
  IVxStream *FStream = nullptr;
  IVxControlNode *FControl = nullptr;
  IVxMapMem *FMapMem = nullptr;
  std::array<LONG, 4> FOSDRect{};
  std::uint32_t FBufferSize = 0;
  std::uint8_t *FBuffer = nullptr;

  std::size_t buffer_capacity_ = 0;  // bytes behind FBuffer
  std::unique_ptr<std::uint8_t[]> heap_buffer_;
  TCardAddress rect_address_;        // FOSDRect as the card sees it
  bool closed_ = false;
};

}  // namespace vx
