#pragma once
// The names the library exports, on both systems: what hosts may call by name.

#include <array>
#include <iterator>

#include "scene/library.h"

namespace vx::test {

// The library's exported functions and the host helpers of vxosd.h: the library's own list.
#define VXOSD_TEST_EXPORT_NAME(name) #name,
inline constexpr const char *kInterfaceExportList[] = {
    VXOSD_LIBRARY_ENTRIES(VXOSD_TEST_EXPORT_NAME)};
#undef VXOSD_TEST_EXPORT_NAME
inline constexpr std::array<const char *, std::size(kInterfaceExportList)> kInterfaceExports =
    std::to_array(kInterfaceExportList);

// The software capture card's C functions, exported by the card's own library
// (libvxvirtualcard.so on Linux, vxvirtualcard.dll on Windows).
inline constexpr std::array<const char *, 13> kVirtualCardExports = {
    "VxVirtualCard_ClearLog",    "VxVirtualCard_DefaultOptions", "VxVirtualCard_FrameToRGBA",
    "VxVirtualCard_GetCounters", "VxVirtualCard_GetLog",         "VxVirtualCard_GetProperty",
    "VxVirtualCard_Install",     "VxVirtualCard_Installed",      "VxVirtualCard_LastFrame",
    "VxVirtualCard_LastRequest", "VxVirtualCard_LiveObjects",    "VxVirtualCard_SetFaults",
    "VxVirtualCard_Uninstall"};

// On Windows every module with the card channel or the card exports its blocks' accessor, by
// which the card's DLL reads the address table of the module that calls it. Not for hosts.
inline constexpr std::array<const char *, 1> kModuleExports = {"vxosd_process_block_v1"};

// The entry points of the card's DLL on Windows, through which COM finds and registers it.
inline constexpr std::array<const char *, 4> kComServerExports = {
    "DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};

}  // namespace vx::test
