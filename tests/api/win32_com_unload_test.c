/* vxosd.dll as a plugin host meets it, loaded with LoadLibraryW and called by plain names:
 * - on a thread already in the multithreaded apartment, InitVxOSD and FreeVxOSD leave the
 *   host's COM initialisation as it was (FreeVxOSD undoes only what InitVxOSD did);
 * - FreeLibrary after a library ran on a thread leaves no callback in unmapped code: the
 *   module stays loaded (pinned) while the thread's loop, window and fibre-local slot exist,
 *   and the thread still ends cleanly afterwards. */
#include <windows.h>

#include <objbase.h>
#include <stdio.h>

#include "tests/api/c_check.h"
#include "vxosd/vxosd.h"

typedef uint8_t(VXOSD_CALL *NoArgs)(void);
typedef uint32_t(VXOSD_CALL *Advance)(uint32_t);
typedef void(VXOSD_CALL *UseManual)(uint8_t);

static DWORD WINAPI InMultithreadedApartment(void *unused) {
  HMODULE dll;
  (void)unused;
  CHECK(CoInitializeEx(NULL, COINIT_MULTITHREADED) == S_OK);
  dll = LoadLibraryW(L"vxosd.dll");
  CHECK(dll != NULL);
  if (dll) {
    NoArgs init = (NoArgs)(void (*)(void))GetProcAddress(dll, "InitVxOSD");
    NoArgs free_osd = (NoArgs)(void (*)(void))GetProcAddress(dll, "FreeVxOSD");
    CHECK(init && free_osd);
    if (init && free_osd) {
      init();
      CHECK(free_osd() == 1);
    }
  }
  /* Still in the multithreaded apartment: the host's reference was not taken away. */
  CHECK(CoInitializeEx(NULL, COINIT_MULTITHREADED) == S_FALSE);
  CoUninitialize();
  CoUninitialize();
  return 0;
}

static DWORD WINAPI LoadRunUnload(void *unused) {
  HMODULE dll;
  MSG msg;
  (void)unused;
  dll = LoadLibraryW(L"vxosd.dll");
  CHECK(dll != NULL);
  if (!dll) return 0;
  {
    UseManual manual = (UseManual)(void (*)(void))GetProcAddress(dll, "VxOSD_UseManualClock");
    NoArgs init = (NoArgs)(void (*)(void))GetProcAddress(dll, "InitVxOSD");
    NoArgs free_osd = (NoArgs)(void (*)(void))GetProcAddress(dll, "FreeVxOSD");
    Advance advance = (Advance)(void (*)(void))GetProcAddress(dll, "VxOSD_AdvanceClock");
    CHECK(manual && init && free_osd && advance);
    if (manual && init && free_osd && advance) {
      manual(0);
      init();
      Sleep(100); /* the real-time loop's timer is armed on the thread's hidden window */
      CHECK(free_osd() == 1);
    }
  }
  FreeLibrary(dll);
  /* Pinned: the slot's callback and the window procedure stay mapped. */
  CHECK(GetModuleHandleW(L"vxosd.dll") != NULL);
  while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  return 0; /* the thread's end runs the slot's callback */
}

static void RunOnThread(LPTHREAD_START_ROUTINE routine) {
  HANDLE thread = CreateThread(NULL, 0, routine, NULL, 0, NULL);
  CHECK(thread != NULL);
  if (thread) {
    CHECK(WaitForSingleObject(thread, 60000) == WAIT_OBJECT_0);
    CloseHandle(thread);
  }
}

int main(void) {
  RunOnThread(InMultithreadedApartment);
  RunOnThread(LoadRunUnload);
  return CheckResult();
}
