#pragma once
// Memory one module hands to the others of its process. On Windows the library (vxosd.dll)
// and a driver DLL it loads each have their own copy of every static; state the driver must
// read of the library's lives in a named block of the library's, which the driver reaches
// through the library module itself (an accessor it exports, found at run time from an
// address in its code), never through a name another process could create first. On Linux
// one shared module (libvxcom.so) holds every block.

#include <cstddef>
#include <string_view>

namespace vx {

// This module's block called `name` (letters, digits and '-'), at least `size` bytes: created
// zero-filled on the first ask, the same memory after that, never freed (threads still running
// at exit may use it). Every caller must ask with the same size. Null when memory runs out.
void *ModuleBlock(std::string_view name, std::size_t size);
// The block `name` of the module whose code contains `code` (a caller's return address), or
// null when that module has no such block yet (or exports no accessor). On Linux, the block.
void *ModuleBlockAt(const void *code, std::string_view name);

}  // namespace vx
