#pragma once
// The library's entry points as a host reaches them: one table of function pointers with the
// exact types of vxosd.h (stdcall on 32-bit Windows), which scene runs call through. A host
// that links the library takes LinkedLibrary(); one that loads vxosd.dll at run time fills
// the table with GetProcAddress, entry by entry, under the names VXOSD_LIBRARY_ENTRIES lists.

// The declarations only: their types name the entry points. A host that loads the DLL needs
// nothing of <windows.h> here (HDC is declared as <windows.h> declares it).
#ifndef VXOSD_NO_WINDOWS_H
#define VXOSD_NO_WINDOWS_H
#endif
#include "vxosd/vxosd.h"

namespace vxscene {

// Every export of vxosd.h, in the header's order: the one list of the library's exports. The
// DLL's .def file (api/CMakeLists.txt) and the tests' list of names are made from it.
#define VXOSD_LIBRARY_ENTRIES(X)                                                                   \
  X(InitVxOSD) X(FreeVxOSD) X(AddVxComponent) X(DelVxComponent) X(SetVxComponent_Pos)              \
  X(SetVxComponent_Color) X(SetVxComponent_Font) X(SetVxComponent_Visible) X(SetVxComponent_Text)  \
  X(SetVxComponent_Time) X(GetVxComponent_TextRect) X(SetVxComponent_TextStep)                     \
  X(SetVxComponent_TextScroll) X(SetVxComponent_TextMode) X(SetVxComponent_TextGradual)            \
  X(SetVxComponent_TextHtml) X(SetVxComponent_RandomColor) X(SetVxComponent_RandomTextColor)       \
  X(SetVxComponent_TextFile) X(SetVxComponent_PicFile) X(SetVxComponent_PicSplitFile)              \
  X(SetVxComponent_PicSplitTextPos) X(SetVxComponent_PicSplitShow) X(SetVxComponent_PicMovie)      \
  X(SetVxComponent_PicTime) X(SetVxComponent_MovieTime) X(SetVxOSD_Debug) X(SetVxOSD_DebugView)    \
  X(VxOSD_ProcessMessages) X(VxOSD_EventFd) X(VxOSD_UseManualClock) X(VxOSD_SetManualClockStart)   \
  X(VxOSD_SetManualClockStartNow) X(VxOSD_AdvanceClock) X(VxOSD_SetFrameFormat)                  \
  X(VxOSD_CreateBufferDC) X(VxOSD_DeleteDC) X(VxOSD_SetFrameCallback) X(VxOSD_GetLastError)         \
  X(VxOSD_GetStatus) X(VxOSD_SetCardWaitLimit)

struct Library {
#define VXOSD_LIBRARY_FIELD(name) decltype(&::name) name = nullptr;
  VXOSD_LIBRARY_ENTRIES(VXOSD_LIBRARY_FIELD)
#undef VXOSD_LIBRARY_FIELD
};

// The table of the library this program is linked with (libvxosd.so, or vxosd.dll through
// its import library). Defined by the vxosd_scene target, which links the library.
const Library &LinkedLibrary();

}  // namespace vxscene
