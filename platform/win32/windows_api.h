#pragma once
// <windows.h> for the Win32 backend's sources, included before any platform header. The
// system's headers define as macros several names that the platform headers declare for
// themselves (S_OK, CP_ACP, INFINITE, DT_CENTER, RGB, DrawText...). Those macros are removed
// here; the backend then uses the platform's names, whose values are the system's. Only files
// in platform/win32/ include this.
#include <windows.h>
#include <objbase.h>

// COM results and tests.
#undef S_OK
#undef S_FALSE
#undef E_NOTIMPL
#undef E_NOINTERFACE
#undef E_POINTER
#undef E_FAIL
#undef E_OUTOFMEMORY
#undef E_INVALIDARG
#undef CLASS_E_NOAGGREGATION
#undef REGDB_E_CLASSNOTREG
#undef CO_E_NOTINITIALIZED
#undef CO_E_OBJNOTREG
#undef SUCCEEDED
#undef FAILED
#undef REFIID
#undef REFCLSID
#undef REFGUID
#undef CLSCTX_ALL
// Kernel waits and events.
#undef WAIT_OBJECT_0
#undef WAIT_TIMEOUT
#undef WAIT_FAILED
#undef INFINITE
#undef CreateEvent
// Files.
#undef ReplaceFile
// Code pages.
#undef CP_ACP
#undef CP_UTF8
// GDI and USER names the canvas and forms declare.
#undef RGB
#undef GetRValue
#undef GetGValue
#undef GetBValue
#undef TRANSPARENT
#undef OPAQUE
#undef DrawText
#undef TextOut
#undef FillRect
#undef DT_TOP
#undef DT_LEFT
#undef DT_CENTER
#undef DT_RIGHT
#undef DT_VCENTER
#undef DT_BOTTOM
#undef DT_WORDBREAK
#undef DT_SINGLELINE
#undef DT_EXPANDTABS
#undef DT_TABSTOP
#undef DT_NOCLIP
#undef DT_EXTERNALLEADING
#undef DT_CALCRECT
#undef DT_NOPREFIX
#undef DT_INTERNAL
#undef DT_EDITCONTROL
#undef DT_PATH_ELLIPSIS
#undef DT_END_ELLIPSIS
#undef DT_MODIFYSTRING
#undef DT_RTLREADING
#undef DT_WORD_ELLIPSIS
#undef SRCCOPY
#undef ANSI_CHARSET
#undef DEFAULT_CHARSET
#undef SYMBOL_CHARSET
#undef GB2312_CHARSET
