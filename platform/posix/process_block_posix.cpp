// One module holds the whole library on Linux: a block per name in this module is the
// process's.
#include "platform/process_block.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace vx {

// The blocks are never freed: code of threads still running while the process exits (or a
// library freed during the exit) may use them after static destructors ran.
void *ProcessWideBlock(std::string_view name, std::size_t size) {
  struct Blocks {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<std::byte[]>, std::less<>> blocks;
  };
  static Blocks *const all = new Blocks;
  std::lock_guard lock(all->mutex);
  auto &blocks = all->blocks;
  auto it = blocks.find(name);
  if (it == blocks.end()) {
    std::unique_ptr<std::byte[]> block(new (std::nothrow) std::byte[size]());
    if (!block) return nullptr;
    it = blocks.emplace(std::string(name), std::move(block)).first;
  }
  return it->second.get();
}

}  // namespace vx
