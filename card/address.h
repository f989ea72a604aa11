#pragma once
// Card addresses. The card's record and property 822 carry buffer addresses in 32-bit
// fields. In a 32-bit process (the product: a real driver reads the memory at that address)
// the field holds the block's own address. A 64-bit process cannot put a pointer there, so it
// hands the card a 32-bit token instead, which only the software card can use. Either way each
// block the channel passes is registered here with its size while the call lasts, and the
// software card resolves the value (size-checked) through this table: a value that was
// released, or never issued, resolves to nothing, so a late or forged address is never read.
// On Windows the software card is a DLL of its own and resolves what vxosd.dll (or a program
// with the channel linked in) mapped: it reads the table of the module that called it, which
// that module hands out through an accessor it exports (platform/process_block.h). The table
// is never in memory another process can name or open.

#include <cstddef>

#include "platform/types.h"

namespace vx {

// Whether the values handed to the card are the blocks' real addresses (32-bit builds).
constexpr bool kCardAddressIsPointer = sizeof(void *) <= sizeof(DWORD);

// 0 when the table is full (64 blocks at once) or for a null pointer.
DWORD MapCardAddress(const void *block, std::size_t size);
void UnmapCardAddress(DWORD address);
// The block, when `address` is live and the block holds at least `size` bytes; else null.
// `caller` is an address in the code of the module that passed `address` (the return address
// of the driver call): its table is read. Null reads this module's own.
void *ResolveCardAddress(DWORD address, std::size_t size, const void *caller = nullptr);

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
