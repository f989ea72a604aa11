#pragma once
// The names the library exports, on both systems: what hosts may call by name.

#include <array>

namespace vx::test {

// The library's exported functions and the host helpers of vxosd.h.
inline constexpr std::array<const char *, 37> kInterfaceExports = {
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
    "VxOSD_SetManualClockStart"};

// The software capture card's C functions, exported by the card's own library
// (libvxvirtualcard.so on Linux, vxvirtualcard.dll on Windows).
inline constexpr std::array<const char *, 13> kVirtualCardExports = {
    "VxVirtualCard_ClearLog",    "VxVirtualCard_DefaultOptions", "VxVirtualCard_FrameToRGBA",
    "VxVirtualCard_GetCounters", "VxVirtualCard_GetLog",         "VxVirtualCard_GetProperty",
    "VxVirtualCard_Install",     "VxVirtualCard_Installed",      "VxVirtualCard_LastFrame",
    "VxVirtualCard_LastRequest", "VxVirtualCard_LiveObjects",    "VxVirtualCard_SetFaults",
    "VxVirtualCard_Uninstall"};

// The entry points of the card's DLL on Windows, through which COM finds and registers it.
inline constexpr std::array<const char *, 4> kComServerExports = {
    "DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};

}  // namespace vx::test
