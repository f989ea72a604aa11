// The same host in C++: vxosd.hpp lets u"..." literals pass where the C interface takes
// UTF-16, without casts.
#include <cstdio>
#include <cstdlib>
#include <vxosd/vxosd.hpp>

int main() {
  VxOSD_UseManualClock(1);
  InitVxOSD();  // no card: 0, and the library runs without one
  int32_t rect[4] = {0, 0, 0, 0};
  const bool ok = AddVxComponent("title", VXOSD_TEXT) &&
                  SetVxComponent_Font("title", u"宋体", 0xFFFFFF, 24) &&
                  SetVxComponent_Text("title", u"字幕 VXOSD") &&
                  GetVxComponent_TextRect("title", u"字幕 VXOSD", rect) &&
                  SetVxComponent_Visible("title", 0, 1) && !SetVxOSD_DebugView(u"wrong code");
  VxOSD_AdvanceClock(60);
  FreeVxOSD();
  std::printf("title measures %d x %d\n", rect[2] - rect[0], rect[3] - rect[1]);
  return ok && rect[2] > rect[0] && rect[3] > rect[1] ? EXIT_SUCCESS : EXIT_FAILURE;
}
