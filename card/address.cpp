#include "card/address.h"

#include <array>
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

// Token: generation in the high bits, slot + 1 in the low 8 bits; never 0.
DWORD Token(std::size_t slot, DWORD generation) {
  return (generation << 8) | static_cast<DWORD>(slot + 1);
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
    return Token(i, s.generation);
  }
  return 0;
}

void UnmapCardAddress(DWORD address) {
  std::size_t low = address & 0xFF;
  if (low == 0 || low > kSlots) return;
  Table &t = table();
  std::lock_guard lock(t.mutex);
  Slot &s = t.slots[low - 1];
  if (s.block != nullptr && Token(low - 1, s.generation) == address) s = Slot{nullptr, 0, s.generation};
}

void *ResolveCardAddress(DWORD address, std::size_t size) {
  std::size_t low = address & 0xFF;
  if (low == 0 || low > kSlots) return nullptr;
  Table &t = table();
  std::lock_guard lock(t.mutex);
  const Slot &s = t.slots[low - 1];
  if (s.block == nullptr || Token(low - 1, s.generation) != address || s.size < size)
    return nullptr;
  return const_cast<void *>(s.block);
}

}  // namespace vx
