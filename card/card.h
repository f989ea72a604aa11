#pragma once
// TOSDCard: the channel to the capture card's OSD stream. Construction probes for the card
// through COM and starts its stream; every cycle the engine fills the buffer from GetBuffer
// with the frame stream and hands it over with PushFrame, which waits (bounded) for the
// driver to take it. Without a card the object only holds its state and nothing blocks.
//
// A card that stops completing frames costs one bounded wait, not one per cycle: the push
// that timed out stays outstanding (its record, OVERLAPPED, event and frame buffer alive,
// since the driver may still read the buffer and complete it; after the channel closed too),
// and later pushes are skipped until the driver completes it or the channel is closed.
//
// One card per process: the first channel whose probe finds it holds it until it closes; a
// channel built while another holds the card does not probe (CardTaken()) and runs without.
// Otherwise one object is used from one thread (its library's); channels of different threads
// are independent.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "card/address.h"
#include "card/interfaces.h"

namespace vx {

// How long PushFrame waits for the driver to complete a frame: real time, whatever clock the
// thread's timers run on (a driver completes in real time); a manual clock does not move
// meanwhile.
inline constexpr DWORD kCardPushWaitMs = 20000;
// The largest buffer the channel allocates or hands out (a frame stream is far smaller).
inline constexpr std::size_t kMaxCardBuffer = std::size_t{64} << 20;

// The buffer the channel hands out: none, a heap block of its own, or a block the driver
// mapped (which only the driver may free). A heap block is shared with the push that hands it
// to the driver, so that it outlives the channel while the driver may still read it.
class TCardBuffer {
 public:
  using Heap = std::shared_ptr<std::uint8_t[]>;
  std::uint8_t *Data() const { return data_; }
  bool DriverMapped() const { return mapped_; }
  // Whether size bytes fit in the buffer (never for no buffer).
  bool Holds(std::size_t size) const { return data_ != nullptr && size <= capacity_; }
  // Replaces the buffer by a fresh heap block; null (and no buffer) when that fails.
  std::uint8_t *AllocateHeap(std::size_t size);
  void AdoptMapped(void *block, std::size_t size);
  // Frees the buffer with the allocator that produced it (a heap block a push still holds
  // lives on with that push).
  void Release(IVxMapMem *mapper);
  const Heap &HeapBlock() const { return heap_; }

 private:
  Heap heap_;
  std::uint8_t *data_ = nullptr;
  std::size_t capacity_ = 0;
  bool mapped_ = false;
};

class TOSDCard {
 public:
  // Probes for the card unless another channel of the process holds it.
  TOSDCard();
  ~TOSDCard();
  TOSDCard(const TOSDCard &) = delete;
  TOSDCard &operator=(const TOSDCard &) = delete;

  // The bounded push wait for channels built from now on; tests shorten it. Defaults to
  // kCardPushWaitMs. Each channel can also be given its own (SetPushWaitLimit).
  static DWORD WaitLimit() { return wait_limit_.load(); }
  static void SetWaitLimit(DWORD ms) { wait_limit_.store(ms); }
  DWORD PushWaitLimit() const { return push_wait_ms_; }
  void SetPushWaitLimit(DWORD ms) { push_wait_ms_ = ms; }

  bool Present() const { return FPresent; }
  // The probe was skipped: another channel of this process holds the card.
  bool CardTaken() const { return taken_; }
  bool DMABuff() const { return FBuffer.DriverMapped(); }
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
  // interfaces, drops an outstanding push and balances the probe's CoInitialize. Runs once;
  // the destructor calls it.
  void Close();
  void SetDMABuff(bool on);
  // The buffer to fill: 0 means BufferSize(). Null when the size is 0, too large, or larger
  // than the driver-mapped buffer.
  std::uint8_t *GetBuffer(std::uint32_t size = 0);
  // Hands a filled buffer to the card (null and 0 mean the channel's buffer and size).
  // Returns at once when the stream is not started, the size is 0, a push or buffer switch
  // is in progress, the channel's own buffer is smaller than the size, or the channel is
  // stalled.
  void PushFrame(const std::uint8_t *buffer = nullptr, std::uint32_t size = 0);
  // Whether a push timed out and the driver has still not completed it. Asks the driver's
  // event without waiting; once the driver completed the push the stall is over.
  bool Stalled();

 private:
  struct TCardPush;
  // Keeps a push the driver may still complete after the channel closed, until it completes;
  // drops those kept earlier that completed since (null: only that).
  static void Abandon(std::unique_ptr<TCardPush> push);

  bool Open();
  void RecomputeBufferSize();

  static std::atomic<DWORD> wait_limit_;

  bool FPresent = false;
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
  TCardBuffer FBuffer;  // FDMABuff is FBuffer.DriverMapped()

  TCardAddress rect_address_;  // FOSDRect as the card sees it
  std::unique_ptr<TCardPush> outstanding_;  // the push that timed out, until completed
  DWORD push_wait_ms_ = kCardPushWaitMs;
  bool closed_ = false;
  bool taken_ = false;         // another channel held the card at construction
  bool holds_card_ = false;    // this channel holds the process's card
  bool com_initialised_ = false;  // CoInitialize succeeded here and must be balanced
};

}  // namespace vx
