/* A host in C, built against the installed library: it installs the software capture card,
 * shows a title over a band, lets 120 ms pass on the manual clock and checks what reached the
 * card and what the frame holds. Build it with either of
 *
 *   cc host.c $(pkg-config --cflags --libs vxosd) -o vxosd-host
 *   cmake -S . -B build -DCMAKE_PREFIX_PATH=PREFIX && cmake --build build   (find_package)
 *
 * Exits 0 when every step worked. */
#include <stdio.h>
#include <stdlib.h>
#include <vxosd/virtualcard.h>
#include <vxosd/vxosd.h>

#define KEY 0x00FF00u

static int fail(const char *what) {
  char why[256];
  if (!VxOSD_GetLastError(why, sizeof why)) why[0] = 0;
  fprintf(stderr, "vxosd-host: %s %s\n", what, why);
  return EXIT_FAILURE;
}

int main(void) {
  /* "宋体" and "字幕 VXOSD" as UTF-16. */
  static const uint16_t face[] = {0x5B8B, 0x4F53, 0};
  static const uint16_t title[] = {0x5B57, 0x5E55, ' ', 'V', 'X', 'O', 'S', 'D', 0};
  static uint32_t pixels[640 * 480];
  VxVirtualCardCounters counters;
  HDC dc;
  int ink = 0, x, y;

  printf("VXOSD %s\n", VXOSD_VERSION_STRING);
  if (!VxVirtualCard_Install(NULL)) return fail("cannot install the software card");
  VxOSD_UseManualClock(1);
  if (!InitVxOSD()) return fail("the library found no card:");

  /* Components added first are drawn in front: the title before the band under it. */
  if (!AddVxComponent("title", VXOSD_TEXT) || !SetVxComponent_Pos("title", 20, 420, 400, 40) ||
      !SetVxComponent_Font("title", face, 0xFFFFFF, 24) || !SetVxComponent_Text("title", title) ||
      !SetVxComponent_Visible("title", 0, 1))
    return fail("title:");
  if (!AddVxComponent("band", VXOSD_PANEL) || !SetVxComponent_Pos("band", 0, 400, 640, 80) ||
      !SetVxComponent_Color("band", 0x402000, 200) || !SetVxComponent_Visible("band", 0, 1))
    return fail("panel:");

  VxOSD_AdvanceClock(120); /* two 60 ms cycles */

  dc = VxOSD_CreateBufferDC(pixels, 640, 480, 640 * 4);
  if (!dc) return fail("no device context:");
  SetVxOSD_Debug(dc);
  VxOSD_DeleteDC(dc);
  for (y = 420; y < 460; ++y)
    for (x = 20; x < 420; ++x) ink += (pixels[y * 640 + x] & 0xFFFFFF) == 0xFFFFFF;

  if (!VxVirtualCard_GetCounters(&counters)) return fail("no card counters");
  FreeVxOSD();
  VxVirtualCard_Uninstall();

  printf("frames sent to the card: %llu, white title pixels: %d, corner: 0x%06X\n",
         (unsigned long long)counters.frames_received, ink, (unsigned)(pixels[0] & 0xFFFFFF));
  if (counters.frames_received < 2 || ink == 0 || (pixels[0] & 0xFFFFFF) != KEY) {
    fprintf(stderr, "vxosd-host: the frame is not what the scene asked for\n");
    return EXIT_FAILURE;
  }
  return EXIT_SUCCESS;
}
