#pragma once
// Card addresses. The card's record and property 822 carry buffer addresses in 32-bit
// fields, which cannot hold a pointer on a 64-bit host. The channel therefore hands the card
// a 32-bit token for each memory block it passes, registered here with the block's size, and
// the driver resolves the token (size-checked) while it handles the call. A token that was
// released, or never issued, resolves to nothing, so a late or forged address is never read.

#include <cstddef>

#include "platform/types.h"

namespace vx {

// 0 when the table is full (64 blocks at once) or for a null pointer.
DWORD MapCardAddress(const void *block, std::size_t size);
void UnmapCardAddress(DWORD address);
// The block, when `address` is live and the block holds at least `size` bytes; else null.
void *ResolveCardAddress(DWORD address, std::size_t size);

// Maps a block for the lifetime of the object.
class TCardAddress {
 public:
  TCardAddress() = default;
  TCardAddress(const void *block, std::size_t size) : address_(MapCardAddress(block, size)) {}
  ~TCardAddress() { Reset(); }
  TCardAddress(const TCardAddress &) = delete;
  TCardAddress &operator=(const TCardAddress &) = delete;
  DWORD Value() const { return address_; }
  void Reset() {
    if (address_ != 0) UnmapCardAddress(address_);
    address_ = 0;
  }

 private:
  DWORD address_ = 0;
};

}  // namespace vx
