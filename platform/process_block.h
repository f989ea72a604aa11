#pragma once
// Memory shared by every module of the process. On Windows the library (vxosd.dll) and a
// driver DLL it loads each have their own copy of every static; state both must see lives in a
// block found by name instead. On Linux one shared module (libvxcom.so) holds every block.

#include <cstddef>
#include <string_view>

namespace vx {

// The process's block called `name` (letters, digits and '-'), at least `size` bytes: created
// zero-filled by the first module that asks, the same memory for every module after that, for
// as long as the asking module is loaded. Every caller must ask with the same size. Null when
// the system refuses (the caller then keeps a block of its own).
void *ProcessWideBlock(std::string_view name, std::size_t size);

}  // namespace vx
