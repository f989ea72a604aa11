#include "card/address.h"

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/process_block.h"

namespace vx {
namespace {

constexpr std::size_t kSlots = 64;

// The table lives in a block of the module: on Windows the software card is a DLL of its own,
// and it reads the table of the module that calls it. Fixed-size fields, so that both modules
// read one layout; the layout's number is part of the block's name.
struct Slot {
  std::uint64_t block;  // address; 0 when free
  std::uint64_t size;
  std::uint32_t generation;
  std::uint32_t unused;
};

struct Table {
  std::uint32_t lock;  // a spin lock: the block is plain memory shared between modules
  std::uint32_t unused;
  Slot slots[kSlots];
};

constexpr std::string_view kTableName = "card-addresses-1";

Table &table() {
  static Table own{};  // when no block can be had
  static Table *const t = [] {
    void *block = ModuleBlock(kTableName, sizeof(Table));
    return block != nullptr ? static_cast<Table *>(block) : &own;
  }();
  return *t;
}

// The table of the module whose code holds `caller` (null: this module's); null when that
// module has none yet (it mapped nothing).
Table *TableOf(const void *caller) {
  if (caller == nullptr) return &table();
  return static_cast<Table *>(ModuleBlockAt(caller, kTableName));
}

// Held only for a few loads and stores.
class Lock {
 public:
  explicit Lock(Table &t) : lock_(t.lock) {
    std::uint32_t expected = 0;
    while (!lock_.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
      expected = 0;
      std::this_thread::yield();
    }
  }
  ~Lock() { lock_.store(0, std::memory_order_release); }
  Lock(const Lock &) = delete;
  Lock &operator=(const Lock &) = delete;

 private:
  std::atomic_ref<std::uint32_t> lock_;
};

std::uint64_t Bits(const void *block) { return reinterpret_cast<std::uintptr_t>(block); }

// What the card is given for a slot: the block's address in a 32-bit process; elsewhere a
// token with the generation in the high bits and slot + 1 in the low 8 bits. Never 0.
DWORD Value(std::size_t slot, const Slot &s) {
  if constexpr (kCardAddressIsPointer)
    return static_cast<DWORD>(s.block);
  else
    return (s.generation << 8) | static_cast<DWORD>(slot + 1);
}

// The slot holding `address`, or kSlots. With real addresses the same block may be mapped
// more than once; any of its slots serves.
std::size_t Find(const Table &t, DWORD address) {
  if constexpr (kCardAddressIsPointer) {
    for (std::size_t i = 0; i < kSlots; ++i)
      if (t.slots[i].block != 0 && Value(i, t.slots[i]) == address) return i;
    return kSlots;
  } else {
    const std::size_t low = address & 0xFF;
    if (low == 0 || low > kSlots) return kSlots;
    const Slot &s = t.slots[low - 1];
    return s.block != 0 && Value(low - 1, s) == address ? low - 1 : kSlots;
  }
}

}  // namespace

DWORD MapCardAddress(const void *block, std::size_t size) {
  if (block == nullptr) return 0;
  Table &t = table();
  Lock lock(t);
  for (std::size_t i = 0; i < kSlots; ++i) {
    Slot &s = t.slots[i];
    if (s.block != 0) continue;
    s.generation = (s.generation + 1) & 0xFFFFFF;
    if (s.generation == 0) s.generation = 1;
    s.block = Bits(block);
    s.size = size;
    return Value(i, s);
  }
  return 0;
}

void UnmapCardAddress(DWORD address) {
  if (address == 0) return;
  Table &t = table();
  Lock lock(t);
  const std::size_t i = Find(t, address);
  if (i < kSlots) {
    t.slots[i].block = 0;
    t.slots[i].size = 0;
  }
}

void *ResolveCardAddress(DWORD address, std::size_t size, const void *caller) {
  if (address == 0) return nullptr;
  Table *found = TableOf(caller);
  if (found == nullptr) return nullptr;
  Table &t = *found;
  Lock lock(t);
  const std::size_t i = Find(t, address);
  if (i == kSlots || t.slots[i].size < size) return nullptr;
  return reinterpret_cast<void *>(static_cast<std::uintptr_t>(t.slots[i].block));
}

}  // namespace vx
