#include "card/address.h"

#include <array>
#include <cstdint>
#include <mutex>

namespace vx {
namespace {

constexpr std::size_t kSlots = 64;

struct Slot {
  const void *block = nullptr;
  std::size_t size = 0;
  DWORD generation = 0;
};

struct Table {
  std::mutex mutex;
  std::array<Slot, kSlots> slots;
};

Table &table() {
  static Table t;
  return t;
}

// What the card is given for a slot: the block's address in a 32-bit process; elsewhere a
// token with the generation in the high bits and slot + 1 in the low 8 bits. Never 0.
DWORD Value(std::size_t slot, const Slot &s) {
  if constexpr (kCardAddressIsPointer)
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(s.block));
  else
    return (s.generation << 8) | static_cast<DWORD>(slot + 1);
}

// The slot holding `address`, or kSlots. With real addresses the same block may be mapped
// more than once; any of its slots serves.
std::size_t Find(const Table &t, DWORD address) {
  if constexpr (kCardAddressIsPointer) {
    for (std::size_t i = 0; i < kSlots; ++i)
      if (t.slots[i].block != nullptr && Value(i, t.slots[i]) == address) return i;
    return kSlots;
  } else {
    const std::size_t low = address & 0xFF;
    if (low == 0 || low > kSlots) return kSlots;
    const Slot &s = t.slots[low - 1];
    return s.block != nullptr && Value(low - 1, s) == address ? low - 1 : kSlots;
  }
}

}  // namespace

DWORD MapCardAddress(const void *block, std::size_t size) {
  if (block == nullptr) return 0;
  Table &t = table();
  std::lock_guard lock(t.mutex);
  for (std::size_t i = 0; i < kSlots; ++i) {
    Slot &s = t.slots[i];
    if (s.block != nullptr) continue;
    s.generation = (s.generation + 1) & 0xFFFFFF;
    if (s.generation == 0) s.generation = 1;
    s.block = block;
    s.size = size;
    return Value(i, s);
  }
  return 0;
}

void UnmapCardAddress(DWORD address) {
  if (address == 0) return;
  Table &t = table();
  std::lock_guard lock(t.mutex);
  const std::size_t i = Find(t, address);
  if (i < kSlots) t.slots[i] = Slot{nullptr, 0, t.slots[i].generation};
}

void *ResolveCardAddress(DWORD address, std::size_t size) {
  if (address == 0) return nullptr;
  Table &t = table();
  std::lock_guard lock(t.mutex);
  const std::size_t i = Find(t, address);
  if (i == kSlots || t.slots[i].size < size) return nullptr;
  return const_cast<void *>(t.slots[i].block);
}

}  // namespace vx
