// Module blocks on Windows: each module keeps its own, and hands them to the other modules of
// the process through an exported accessor (vxosd_process_block_v1), which a module finds
// from an address in the other's code. Nothing is named outside the process, so no other
// process can create or open the memory first.
#include "platform/win32/windows_api.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "platform/process_block.h"

namespace vx {
namespace {

struct Blocks {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<std::byte[]>, std::less<>> blocks;
};

// Never freed: a module's DLL_PROCESS_DETACH during the process's exit must not take memory
// from under threads the system is ending, nor from a driver still holding addresses.
Blocks &All() {
  static Blocks *const all = new Blocks;
  return *all;
}

void *Existing(std::string_view name) {
  Blocks &all = All();
  std::lock_guard lock(all.mutex);
  auto it = all.blocks.find(name);
  return it == all.blocks.end() ? nullptr : it->second.get();
}

using Accessor = void *(*)(const char *);
constexpr char kAccessorName[] = "vxosd_process_block_v1";

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

void *ModuleBlockAt(const void *code, std::string_view name) {
  HMODULE module = nullptr;
  if (code == nullptr ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(code), &module))
    return nullptr;
  FARPROC proc = GetProcAddress(module, kAccessorName);
  if (proc == nullptr) return nullptr;
  const auto accessor = reinterpret_cast<Accessor>(reinterpret_cast<void (*)()>(proc));
  const std::string key(name);
  return accessor(key.c_str());
}

}  // namespace vx

// The accessor every module that links this file exports: its existing block of that name, or
// null.
extern "C" __declspec(dllexport) void *vxosd_process_block_v1(const char *name) {
  if (name == nullptr) return nullptr;
  return vx::Existing(name);
}
