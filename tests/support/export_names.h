#pragma once
// The names the library exports, on both systems: what hosts may call by name.

#include <array>

namespace vx::test {

// The library's exported functions and the host helpers of vxosd.h.
inline constexpr std::array<const char *, 41> kInterfaceExports = {
    "InitVxOSD", "FreeVxOSD", "AddVxComponent", "DelVxComponent", "SetVxComponent_Pos",
    "SetVxComponent_Color", "SetVxComponent_Font", "SetVxComponent_Visible",
    "SetVxComponent_Text", "SetVxComponent_Time", "GetVxComponent_TextRect",
    "SetVxComponent_TextStep", "SetVxComponent_TextScroll", "SetVxComponent_TextMode",
    "SetVxComponent_TextGradual", "SetVxComponent_TextHtml", "SetVxComponent_RandomColor",
    "SetVxComponent_RandomTextColor", "SetVxComponent_TextFile", "SetVxComponent_PicFile",
    "SetVxComponent_PicSplitFile", "SetVxComponent_PicSplitTextPos",
    "SetVxComponent_PicSplitShow", "SetVxComponent_PicMovie", "SetVxComponent_PicTime",
    "SetVxComponent_MovieTime", "SetVxOSD_Debug", "SetVxOSD_DebugView",
    // the host helpers
    "VxOSD_ProcessMessages", "VxOSD_EventFd", "VxOSD_UseManualClock", "VxOSD_AdvanceClock",
    "VxOSD_CreateBufferDC", "VxOSD_DeleteDC", "VxOSD_SetFrameCallback", "VxOSD_GetLastError",
    "VxOSD_SetManualClockStart", "VxOSD_SetManualClockStartNow", "VxOSD_GetStatus",
    "VxOSD_SetCardWaitLimit", "VxOSD_SetFrameFormat"};

// The software capture card's C functions: built into libvxosd.so on Linux, exported by the
// card's own DLL (vxvirtualcard.dll) on Windows.
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
