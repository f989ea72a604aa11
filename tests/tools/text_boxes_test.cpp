// The text boxes the player reports with --inspect, measured through the library's table
// (here a fake that makes every character 10 x 20 pixels).
#include <gtest/gtest.h>

#include "text_boxes.h"

namespace vxplay {
namespace {

uint8_t VXOSD_CALL TenByTwenty(const char *, const uint16_t *text, int32_t r[4]) {
  int n = 0;
  while (text[n]) ++n;
  r[0] = r[1] = 0, r[2] = 10 * n, r[3] = 20;
  return 1;
}

std::string Boxes(const char *scene) {
  vxscene::Library lib;
  lib.GetVxComponent_TextRect = TenByTwenty;
  TextBoxes boxes;
  for (const vxscene::Step &s : vxscene::ParseScene(scene)) boxes.Track(s);
  return FormatTextBoxes(boxes.Measure(lib));
}

TEST(TextBoxesTest, EachKindHasTheBoxItDraws) {
  EXPECT_EQ(Boxes("AddVxComponent t 2\nSetVxComponent_Pos t 5 6 0 0\nSetVxComponent_Text t \"abc\"\n"
                  "AddVxComponent v 2\nSetVxComponent_Pos v 600 0 0 0\nSetVxComponent_Text v \"abcd\"\n"
                  "SetVxComponent_TextMode v 2\n"
                  "AddVxComponent s 1\nSetVxComponent_Pos s 0 440 0 0\nSetVxComponent_Text s \"ab\"\n"
                  "AddVxComponent w 1\nSetVxComponent_Pos w 10 10 50 30\nSetVxComponent_Text w \"ab\"\n"
                  "AddVxComponent c 4\nSetVxComponent_Pos c 400 200 0 0\n"
                  "AddVxComponent p 3\nSetVxComponent_Pos p 100 100 0 0\nSetVxComponent_Text p \"x\"\n"),
            "2 5 6 35 26 t\n"
            "2 600 0 610 80 v\n"        // one character per line
            "1 0 440 640 460 s\n"       // a window across the frame, one line high
            "1 10 10 60 40 w\n"         // the window it was given
            "4 400 200 640 480 c\n"     // not measurable: to the frame's edges
            "3 100 100 640 480 p\n");   // a caption, the same
}

TEST(TextBoxesTest, OnlyComponentsThatDrawTextAndStillExist) {
  EXPECT_EQ(Boxes("AddVxComponent panel 0\nSetVxComponent_Pos panel 0 0 100 100\n"
                  "AddVxComponent pic 3\nAddVxComponent empty 2\n"
                  "AddVxComponent t 2\nSetVxComponent_Text t \"ab\"\nDelVxComponent t\n"
                  "AddVxComponent off 2\nSetVxComponent_Pos off -15 470 0 0\n"
                  "SetVxComponent_Text off \"ab\"\n"),
            "2 0 470 5 480 off\n");  // clipped to the frame
}

}  // namespace
}  // namespace vxplay
