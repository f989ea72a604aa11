// On Linux the blocks live in libvxcom.so, the one module that the library and the drivers it
// reaches share: a block per name there is the process's.
#include "platform/process_block.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace vx {
namespace {

struct Blocks {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<std::byte[]>, std::less<>> blocks;
};

// Never freed: code of threads still running while the process exits (or a library freed
// during the exit) may use the blocks after static destructors ran.
Blocks &All() {
  static Blocks *const all = new Blocks;
  return *all;
}

}  // namespace

void *ModuleBlock(std::string_view name, std::size_t size) {
  Blocks &all = All();
  std::lock_guard lock(all.mutex);
  auto it = all.blocks.find(name);
  if (it == all.blocks.end()) {
    std::unique_ptr<std::byte[]> block(new (std::nothrow) std::byte[size]());
    if (!block) return nullptr;
    it = all.blocks.emplace(std::string(name), std::move(block)).first;
  }
  return it->second.get();
}

void *ModuleBlockAt(const void *, std::string_view name) {
  Blocks &all = All();
  std::lock_guard lock(all.mutex);
  auto it = all.blocks.find(name);
  return it == all.blocks.end() ? nullptr : it->second.get();
}

}  // namespace vx
