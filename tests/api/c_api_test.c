/* The library from a C host: the header compiles as C, and a scene runs end to end on the
 * manual clock. Exits non-zero on the first failed check. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vxosd/vxosd.h"
#include "c_check.h"


static int frames = 0;
static uint8_t level_of_key = 99;
static void on_frame(const uint8_t *stream, uint32_t size, void *user) {
  (void)user;
  if (size == 308232) level_of_key = stream[8 + 4 * 250];
  ++frames;
}

int main(void) {
  static uint32_t pixels[640 * 480];
  static const uint16_t code[] = {'w', 'q', 'z', 'b', 'm', 'k', 0};
  static const uint16_t face[] = {'A', 'r', 'i', 'a', 'l', 0};
  HDC dc;
  int32_t rect[4] = {0, 0, 0, 0};

  CHECK(AddVxComponent("early", 0) == 0); /* before InitVxOSD */

  VxOSD_UseManualClock(1);
  VxOSD_SetFrameCallback(on_frame, NULL);
  CHECK(InitVxOSD() == 0); /* no card installed */
  dc = VxOSD_CreateBufferDC(pixels, 640, 480, 640 * 4);
  CHECK(dc != NULL);

  CHECK(AddVxComponent("box", 0) == 1);
  CHECK(SetVxComponent_Pos("box", 600, 460, 100, 100) == 1);
  CHECK(SetVxComponent_Color("box", 0xFF0000, 200) == 1); /* blue */
  CHECK(SetVxComponent_Font("box", face, 0xFFFFFF, 12) == 1);
  CHECK(SetVxComponent_Visible("box", 0, 1) == 1);
  CHECK(GetVxComponent_TextRect("box", face, rect) == 0); /* not for a panel */
  CHECK(SetVxOSD_DebugView(code) == 1);

  CHECK(VxOSD_AdvanceClock(120) == 2);
  CHECK(frames == 2);
  CHECK(level_of_key == 0);
  SetVxOSD_Debug(dc);
  CHECK((pixels[0] & 0xFFFFFF) == 0x00FF00);                    /* key colour */
  CHECK((pixels[470 * 640 + 620] & 0xFFFFFF) == 0x0000FF);      /* blue, B in the low byte */
  CHECK((pixels[460 * 640 + 600] & 0xFFFFFF) == 0x000000);      /* border */

  CHECK(FreeVxOSD() == 1);
  CHECK(FreeVxOSD() == 0);
  CHECK(SetVxComponent_Pos("box", 0, 0, 1, 1) == 0);
  {
    char message[128];
    CHECK(VxOSD_GetLastError(message, sizeof message) > 0);
    CHECK(strstr(message, "not initialised") != NULL);
  }
  VxOSD_DeleteDC(dc);
  VxOSD_SetFrameCallback(NULL, NULL);
  return CheckResult();
}
