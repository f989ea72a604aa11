// On Linux the blocks live in libvxcom.so, the one module that the library and the drivers it
// reaches share: a block per name there is the process's.
#include "platform/process_block.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace vx {

void *ProcessWideBlock(std::string_view name, std::size_t size) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<std::byte[]>, std::less<>> blocks;
  std::lock_guard lock(mutex);
  auto it = blocks.find(name);
  if (it == blocks.end()) {
    std::unique_ptr<std::byte[]> block(new (std::nothrow) std::byte[size]());
    if (!block) return nullptr;
    it = blocks.emplace(std::string(name), std::move(block)).first;
  }
  return it->second.get();
}

}  // namespace vx
