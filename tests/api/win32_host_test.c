/* A Windows host in C, linked against vxosd.dll's import library with vxosd.h as it ships:
 * it runs a scene on the manual clock, reads the frame back through a memory DC of its own
 * and through a window's DC, and opens, closes and reopens the Debug View window.
 * Exits non-zero on the first failed check. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vxosd/vxosd.h" /* brings <windows.h>: HDC is the system's */
#include "c_check.h"


/* Pixel (x, y) of a 32-bit top-down DIB as 0x00RRGGBB. */
static uint32_t At(const uint32_t *bits, int width, int x, int y) {
  return bits[y * width + x] & 0xFFFFFF;
}

static uint32_t frames = 0;
static void on_frame(const uint8_t *stream, uint32_t size, void *user) {
  (void)stream, (void)size, (void)user;
  ++frames;
}

int main(void) {
  static const uint16_t code[] = {'w', 'q', 'z', 'b', 'm', 'k', 0};
  static const uint16_t upper[] = {'W', 'Q', 'Z', 'B', 'M', 'K', 0};
  static const uint16_t face[] = {'A', 'r', 'i', 'a', 'l', 0};
  static const uint16_t hello[] = {'H', 'e', 'l', 'l', 'o', 0};
  BITMAPINFO info;
  uint32_t *bits = NULL;
  HDC memory = CreateCompatibleDC(NULL);
  HBITMAP bitmap;
  HWND view;
  RECT client, outer;
  int32_t rect[4] = {0, 0, 0, 0};
  long ink = 0;
  int x, y;

  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 640;
  info.bmiHeader.biHeight = -480;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, (void **)&bits, NULL, 0);
  CHECK(memory && bitmap && bits);
  SelectObject(memory, bitmap);

  VxOSD_UseManualClock(1);
  VxOSD_SetFrameCallback(on_frame, NULL);
  CHECK(InitVxOSD() == 0); /* no card */
  CHECK(VxOSD_EventFd() == -1);
  CHECK(AddVxComponent("box", 0) == 1);
  CHECK(SetVxComponent_Pos("box", 600, 460, 100, 100) == 1);
  CHECK(SetVxComponent_Color("box", 0xFF0000, 200) == 1); /* blue */
  CHECK(SetVxComponent_Visible("box", 0, 1) == 1);
  CHECK(AddVxComponent("title", 2) == 1);
  CHECK(SetVxComponent_Pos("title", 20, 20, 200, 40) == 1);
  CHECK(SetVxComponent_Font("title", face, 0xFFFFFF, 16) == 1);
  CHECK(SetVxComponent_Text("title", hello) == 1);
  CHECK(GetVxComponent_TextRect("title", hello, rect) == 1);
  CHECK(rect[2] > rect[0] && rect[3] > rect[1]);
  CHECK(SetVxComponent_Visible("title", 0, 1) == 1);
  CHECK(VxOSD_AdvanceClock(60) == 1);
  CHECK(frames == 1);

  /* The frame through the host's own memory DC: GDI converts the palette to 32 bits. */
  SetVxOSD_Debug(memory);
  GdiFlush();
  CHECK(At(bits, 640, 0, 0) == 0x00FF00);     /* key colour */
  CHECK(At(bits, 640, 620, 470) == 0x0000FF); /* the blue panel */
  for (y = 20; y < 60; ++y)
    for (x = 20; x < 220; ++x) ink += At(bits, 640, x, y) == 0xFFFFFF;
  CHECK(ink > 20); /* white text */

  /* A handle that is no device context is refused, not dereferenced. */
  SetVxOSD_Debug((HDC)(uintptr_t)0x1234);
  {
    char message[160];
    CHECK(VxOSD_GetLastError(message, sizeof message) > 0);
    CHECK(strstr(message, "not a device context") != NULL);
  }

  /* The Debug View: a real window with a 640 x 480 client area; closing hides it. */
  CHECK(FindWindowW(NULL, L"Debug View") == NULL);
  CHECK(SetVxOSD_DebugView(code) == 1);
  view = FindWindowW(NULL, L"Debug View");
  CHECK(view != NULL);
  if (view) {
    CHECK(IsWindowVisible(view));
    CHECK(GetClientRect(view, &client));
    CHECK(client.right - client.left == 640 && client.bottom - client.top == 480);
    CHECK((GetWindowLongW(view, GWL_STYLE) & WS_CAPTION) == WS_CAPTION);
    CHECK(GetWindowRect(view, &outer));
    CHECK(outer.bottom - outer.top > 480 && outer.right - outer.left > 640); /* caption, border */
    CHECK(GetParent(view) == NULL && GetAncestor(view, GA_ROOT) == view);    /* top-level */
    CHECK((GetWindowLongW(view, GWL_STYLE) & WS_THICKFRAME) == 0); /* not resizable */
    CHECK((GetWindowLongW(view, GWL_STYLE) & WS_SYSMENU) != 0);
    {
      /* Repainted from the frame each cycle: read the window's own client area back. */
      HDC window = GetDC(view);
      memset(bits, 0, 640 * 480 * 4);
      CHECK(VxOSD_AdvanceClock(60) == 1);
      BitBlt(memory, 0, 0, 640, 480, window, 0, 0, SRCCOPY);
      GdiFlush();
      CHECK(At(bits, 640, 620, 470) == 0x0000FF);
      CHECK(At(bits, 640, 5, 5) == 0x00FF00);
      /* ...and the frame copies into the window's DC too. */
      SetVxOSD_Debug(window);
      ReleaseDC(view, window);
    }
    SendMessageW(view, WM_CLOSE, 0, 0);
    CHECK(IsWindow(view) && !IsWindowVisible(view)); /* hidden, not destroyed */
    /* The library goes on as before: its components, its cycle, its frame; a cycle does not
     * bring the closed view back. */
    CHECK(SetVxComponent_Pos("box", 500, 400, 100, 100) == 1);
    CHECK(VxOSD_AdvanceClock(60) == 1);
    CHECK(!IsWindowVisible(view));
    memset(bits, 0, 640 * 480 * 4);
    SetVxOSD_Debug(memory);
    GdiFlush();
    CHECK(At(bits, 640, 520, 420) == 0x0000FF);
    CHECK(At(bits, 640, 5, 5) == 0x00FF00);
    CHECK(SetVxOSD_DebugView(code) == 1);
    CHECK(FindWindowW(NULL, L"Debug View") == view && IsWindowVisible(view));
  }
  CHECK(SetVxOSD_DebugView(upper) == 0);

  CHECK(FreeVxOSD() == 1);
  CHECK(FindWindowW(NULL, L"Debug View") == NULL); /* freed with the engine */
  CHECK(FreeVxOSD() == 0);
  CHECK(InitVxOSD() == 0); /* a fresh library after a free */
  CHECK(FreeVxOSD() == 1);
  VxOSD_SetFrameCallback(NULL, NULL);
  DeleteDC(memory);
  DeleteObject(bitmap);
  return CheckResult();
}
