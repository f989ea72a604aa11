/* A Windows host built from the release folder alone: vxosd.h as shipped (included by its
 * plain name, from the folder), linked with the folder's import library or with one made from
 * its .def file. Every export is referenced, so the program starts only if the import library
 * resolves each one to the name the DLL exports. Exits non-zero on the first failed check. */
#include <stdint.h>
#include <string.h>

#include "vxosd.h"
#include "c_check.h"

typedef void (*AnyFunction)(void); /* the type any function pointer converts to */

int main(void) {
  static const uint16_t face[] = {'A', 'r', 'i', 'a', 'l', 0};
  static const uint16_t hello[] = {'H', 'e', 'l', 'l', 'o', 0};
  static uint32_t pixels[640 * 480];
  /* Each export's address: an unresolved one stops the loader before main. */
  const AnyFunction exports[] = {
      (AnyFunction)InitVxOSD, (AnyFunction)FreeVxOSD, (AnyFunction)AddVxComponent,
      (AnyFunction)DelVxComponent, (AnyFunction)SetVxComponent_Pos,
      (AnyFunction)SetVxComponent_Color, (AnyFunction)SetVxComponent_Font,
      (AnyFunction)SetVxComponent_Visible, (AnyFunction)SetVxComponent_Text,
      (AnyFunction)SetVxComponent_Time, (AnyFunction)GetVxComponent_TextRect,
      (AnyFunction)SetVxComponent_TextStep, (AnyFunction)SetVxComponent_TextScroll,
      (AnyFunction)SetVxComponent_TextMode, (AnyFunction)SetVxComponent_TextGradual,
      (AnyFunction)SetVxComponent_TextHtml, (AnyFunction)SetVxComponent_RandomColor,
      (AnyFunction)SetVxComponent_RandomTextColor, (AnyFunction)SetVxComponent_TextFile,
      (AnyFunction)SetVxComponent_PicFile, (AnyFunction)SetVxComponent_PicSplitFile,
      (AnyFunction)SetVxComponent_PicSplitTextPos, (AnyFunction)SetVxComponent_PicSplitShow,
      (AnyFunction)SetVxComponent_PicMovie, (AnyFunction)SetVxComponent_PicTime,
      (AnyFunction)SetVxComponent_MovieTime, (AnyFunction)SetVxOSD_Debug,
      (AnyFunction)SetVxOSD_DebugView, (AnyFunction)VxOSD_ProcessMessages,
      (AnyFunction)VxOSD_EventFd, (AnyFunction)VxOSD_UseManualClock,
      (AnyFunction)VxOSD_SetManualClockStart, (AnyFunction)VxOSD_AdvanceClock,
      (AnyFunction)VxOSD_CreateBufferDC, (AnyFunction)VxOSD_DeleteDC,
      (AnyFunction)VxOSD_SetFrameCallback, (AnyFunction)VxOSD_GetLastError};
  size_t i;
  HDC dc;
  for (i = 0; i < sizeof exports / sizeof exports[0]; ++i) CHECK(exports[i] != NULL);

  /* A short scene through the stdcall functions: wrong stack clean-up would crash on i686. */
  VxOSD_UseManualClock(1);
  InitVxOSD();
  CHECK(AddVxComponent("title", VXOSD_TEXT) == 1);
  CHECK(SetVxComponent_Pos("title", 20, 400, 300, 40) == 1);
  CHECK(SetVxComponent_Font("title", face, 0xFFFFFF, 24) == 1);
  CHECK(SetVxComponent_Text("title", hello) == 1);
  CHECK(SetVxComponent_Visible("title", 1, 1) == 1);
  VxOSD_AdvanceClock(120);
  dc = VxOSD_CreateBufferDC(pixels, 640, 480, 640 * 4);
  CHECK(dc != NULL);
  memset(pixels, 0, sizeof pixels);
  SetVxOSD_Debug(dc);
  CHECK((pixels[0] & 0xFFFFFF) == 0x00FF00); /* the key colour, as BGRA */
  VxOSD_DeleteDC(dc);
  CHECK(FreeVxOSD() == 1);
  VxOSD_UseManualClock(0);
  return CheckResult();
}
