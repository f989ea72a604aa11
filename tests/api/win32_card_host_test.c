/* A Windows host in C with the software card registered (regsvr32 vxvirtualcard.dll): the
 * library, linked through vxosd.dll's import library, finds the card only through
 * CoCreateInstance and the registration; the host reads back what the card received through
 * the card's own functions, from the registered DLL itself (the same file, so the same card).
 * A stalled card and a card that completes late from its driver thread behave as on Linux;
 * without the registration the library runs card-less. Exits non-zero on the first failed
 * check. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vxosd/vxosd.h" /* brings <windows.h> */
#include "c_check.h"
#include "drivers/virtualcard/virtualcard.h"


static const wchar_t kServerKey[] =
    L"CLSID\\{5E91AF27-24D3-47AC-9C55-132F04C98281}\\InprocServer32";

/* The registered DLL's path (this process's registry view); 0 when the card is not registered. */
static int RegisteredPath(wchar_t *path, DWORD bytes) {
  return RegGetValueW(HKEY_CLASSES_ROOT, kServerKey, NULL, RRF_RT_REG_SZ, NULL, path, &bytes) ==
         ERROR_SUCCESS;
}

/* The card's functions, resolved in the registered DLL. */
typedef void (*AnyFn)(void);
static AnyFn Fn(HMODULE card, const char *name) {
  /* Through void(*)(void), which every function pointer type converts to without a warning. */
  AnyFn f = (AnyFn)GetProcAddress(card, name);
  if (!f) fprintf(stderr, "the card DLL does not export %s\n", name);
  return f;
}
static int (*card_counters)(VxVirtualCardCounters *);
static size_t (*card_last_frame)(uint8_t *, size_t);
static size_t (*card_log)(char *, size_t);
static void (*card_set_faults)(uint32_t);
static void (*card_default_options)(VxVirtualCardOptions *);
static int (*card_install)(const VxVirtualCardOptions *);
static void (*card_uninstall)(void);
static uint32_t (*card_live)(void);
static HRESULT(STDAPICALLTYPE *card_register)(void);
static HRESULT(STDAPICALLTYPE *card_unregister)(void);

static VxVirtualCardCounters Counters(void) {
  VxVirtualCardCounters c;
  memset(&c, 0, sizeof c);
  card_counters(&c);
  return c;
}

static int LastErrorSays(const char *text) {
  char message[256];
  VxOSD_GetLastError(message, sizeof message);
  return strstr(message, text) != NULL;
}

static uint32_t cardless_frames = 0;
static void on_frame(const uint8_t *stream, uint32_t size, void *user) {
  (void)stream, (void)size, (void)user;
  ++cardless_frames;
}

static int Panel(void) {
  return AddVxComponent("p", 0) == 1 && SetVxComponent_Pos("p", 100, 50, 40, 30) == 1 &&
         SetVxComponent_Color("p", 0x0000FF, 255) == 1 && SetVxComponent_Visible("p", 0, 1) == 1;
}

int main(void) {
  static uint8_t frame[308232];
  static const uint8_t header[8] = {0x3E, 0x04, 0xB4, 0x08, 0x02, 0x80, 0x01, 0xE0};
  wchar_t registered[MAX_PATH * 2], loaded[MAX_PATH * 2];
  HMODULE card, pinned;
  VxVirtualCardCounters c;
  VxVirtualCardOptions options;
  static char log[1 << 14];
  int i;

  if (!RegisteredPath(registered, sizeof registered)) {
    fprintf(stderr, "the software card is not registered (regsvr32 vxvirtualcard.dll)\n");
    return EXIT_FAILURE;
  }

  /* The library finds the card by itself: nothing of the card is loaded before InitVxOSD. */
  CHECK(GetModuleHandleW(L"vxvirtualcard.dll") == NULL);
  VxOSD_UseManualClock(1);
  CHECK(VxOSD_SetCardWaitLimit(50) == 1); /* the card's wait is real time, on either clock */
  CHECK(InitVxOSD() == 1);
  CHECK(VxOSD_GetStatus() == VXOSD_STATUS_CARD);
  card = GetModuleHandleW(L"vxvirtualcard.dll");
  CHECK(card != NULL);
  if (!card) return EXIT_FAILURE;
  CHECK(GetModuleFileNameW(card, loaded, MAX_PATH * 2) > 0);
  CHECK(CompareStringOrdinal(loaded, -1, registered, -1, TRUE) == CSTR_EQUAL);
  /* The host's own reference: COM may unload the DLL when the library lets its card go. */
  pinned = LoadLibraryW(registered);
  CHECK(pinned == card);

  card_counters = (int (*)(VxVirtualCardCounters *))Fn(card, "VxVirtualCard_GetCounters");
  card_last_frame = (size_t(*)(uint8_t *, size_t))Fn(card, "VxVirtualCard_LastFrame");
  card_log = (size_t(*)(char *, size_t))Fn(card, "VxVirtualCard_GetLog");
  card_set_faults = (void (*)(uint32_t))Fn(card, "VxVirtualCard_SetFaults");
  card_default_options = (void (*)(VxVirtualCardOptions *))Fn(card, "VxVirtualCard_DefaultOptions");
  card_install = (int (*)(const VxVirtualCardOptions *))Fn(card, "VxVirtualCard_Install");
  card_uninstall = (void (*)(void))Fn(card, "VxVirtualCard_Uninstall");
  card_live = (uint32_t(*)(void))Fn(card, "VxVirtualCard_LiveObjects");
  card_register = (HRESULT(STDAPICALLTYPE *)(void))Fn(card, "DllRegisterServer");
  card_unregister = (HRESULT(STDAPICALLTYPE *)(void))Fn(card, "DllUnregisterServer");
  if (!card_counters || !card_last_frame || !card_log || !card_set_faults ||
      !card_default_options || !card_install || !card_uninstall || !card_live ||
      !card_register || !card_unregister)
    return EXIT_FAILURE;

  /* Served through the registration, with the default options, no install. */
  card_log(log, sizeof log);
  CHECK(strstr(log, "DllGetClassObject\nCreateInstance\n") != NULL);
  c = Counters();
  CHECK(c.started == 1);

  /* A panel reaches the card; the frame's address crossed from vxosd.dll to the card's DLL. */
  CHECK(Panel());
  CHECK(VxOSD_AdvanceClock(60) == 1);
  c = Counters();
  CHECK(c.frames_received == 1 && c.completions == 1 && c.pushes_refused == 0);
  CHECK(c.rect[0] == 32 && c.rect[1] == 0 && c.rect[2] == 640 && c.rect[3] == 480);
  CHECK(card_last_frame(frame, sizeof frame) == sizeof frame);
  CHECK(memcmp(frame, header, 8) == 0);
  CHECK(frame[1032 + 60 * 640 + 120] == 249); /* red panel */
  CHECK(frame[1032 + 10 * 640 + 10] == 250);  /* key colour */

  /* A card that stops completing: one wait (the limit, in real time), reported, no frames
   * sent until the card completes the one it holds. */
  card_set_faults(VXVC_FAULT_NO_COMPLETION);
  CHECK(VxOSD_AdvanceClock(60) >= 1);
  CHECK(LastErrorSays("the capture card did not complete a frame within 50 ms"));
  CHECK(VxOSD_AdvanceClock(600) >= 10);
  c = Counters();
  CHECK(c.frames_received == 2 && c.completions == 1);
  card_set_faults(0);
  CHECK(VxOSD_AdvanceClock(60) == 1);
  c = Counters();
  CHECK(c.frames_received == 3 && c.completions == 3);
  CHECK(FreeVxOSD() == 1);
  CHECK(card_live() == 0);

  /* A card installed with a latency completes from its driver thread: on real time each push
   * waits for that completion and none is left outstanding. */
  card_default_options(&options);
  options.latency_ms = 5;
  CHECK(card_install(&options) == 1);
  VxOSD_UseManualClock(0);
  CHECK(InitVxOSD() == 1);
  for (i = 0; i < 200 && Counters().frames_received < 3; ++i) VxOSD_ProcessMessages(60);
  c = Counters();  /* a stalled channel would have sent one frame only */
  CHECK(c.frames_received >= 3 && c.completions == c.frames_received);
  CHECK(FreeVxOSD() == 1);
  card_uninstall();
  CHECK(card_live() == 0);

  /* Without the registration the library runs card-less. */
  CHECK(card_unregister() == S_OK);
  CHECK(!RegisteredPath(loaded, sizeof loaded));
  VxOSD_UseManualClock(1);
  VxOSD_SetFrameCallback(on_frame, NULL);
  CHECK(InitVxOSD() == 0);
  CHECK(Panel());
  CHECK(VxOSD_AdvanceClock(120) == 2);
  CHECK(cardless_frames == 2);
  CHECK(FreeVxOSD() == 1);
  VxOSD_SetFrameCallback(NULL, NULL);
  /* Registered again, as the test found it. */
  CHECK(card_register() == S_OK);
  CHECK(RegisteredPath(loaded, sizeof loaded) &&
        CompareStringOrdinal(loaded, -1, registered, -1, TRUE) == CSTR_EQUAL);

  FreeLibrary(pinned);
  return CheckResult();
}
