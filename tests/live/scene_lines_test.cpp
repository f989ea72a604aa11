#include "live/scene_lines.h"

#include <gtest/gtest.h>

namespace vxlive {
namespace {

TEST(ParseCommandLines, GoodLinesParseInOrder) {
  const auto steps = ParseCommandLines({"AddVxComponent t 2", "SetVxComponent_Text t \"a \\\"b\\\"\""}, "/base");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].call, "AddVxComponent");
  EXPECT_EQ(steps[1].args[1].utf8, "a \"b\"");
}

TEST(ParseCommandLines, ABadLineNamesItsIndexAndTheParsersMessage) {
  try {
    ParseCommandLines({"AddVxComponent t 2", "SetVxComponent_Text t", "AddVxComponent u 1"}, "/");
    FAIL();
  } catch (const LineError &e) {
    EXPECT_EQ(e.index, 1u);
    EXPECT_NE(e.message.find("takes 2 argument(s), not 1"), std::string::npos) << e.message;
  }
}

TEST(ParseCommandLines, RefusesWhatALiveChannelDoesNotApply) {
  for (const char *line : {"wait 10", "snapshot a.png", "InitVxOSD", "FreeVxOSD", "SetVxOSD_DebugView \"x\"", "",
                           "# only a comment", "NoSuchCall a"}) {
    EXPECT_THROW(ParseCommandLines({line}, "/"), LineError) << line;
  }
  EXPECT_THROW(ParseCommandLines({}, "/"), LineError);
  EXPECT_THROW(ParseCommandLines({"AddVxComponent a 0\nAddVxComponent b 0"}, "/"), LineError);
  std::vector<std::string> many(kMaxLinesPerRequest + 1, "AddVxComponent a 0");
  EXPECT_THROW(ParseCommandLines(many, "/"), LineError);
}

TEST(ParseCommandLines, RelativePicturePathsBecomeAbsolute) {
  const auto steps = ParseCommandLines({"SetVxComponent_PicFile p \"pics/logo.bmp\"", "SetVxComponent_PicFile p \"/abs.bmp\""},
                                       "/srv/show");
  EXPECT_EQ(steps[0].args[1].utf8, "/srv/show/pics/logo.bmp");
  EXPECT_EQ(steps[0].args[1].utf16, u"/srv/show/pics/logo.bmp");
  EXPECT_EQ(steps[1].args[1].utf8, "/abs.bmp");
}

TEST(FormatStep, WritesALineThatParsesToTheSameStep) {
  for (const char *line : {"SetVxComponent_Text \"a name\" \"line 1\\nline \\\"2\\\" \\\\ 宋体\"",
                           "SetVxComponent_Color root 0xFFFFFFFF 255", "SetVxComponent_Pos t -5 +7 0 0",
                           "SetVxComponent_Font t \"Arial\" 16777215 24"}) {
    const auto a = vxscene::ParseLine(line, 1);
    const std::string written = FormatStep(*a);
    const auto b = vxscene::ParseLine(written, 1);
    ASSERT_EQ(a->args.size(), b->args.size()) << written;
    for (std::size_t i = 0; i < a->args.size(); ++i) {
      EXPECT_EQ(a->args[i].utf8, b->args[i].utf8) << written;
      EXPECT_EQ(a->args[i].number, b->args[i].number) << written;
    }
  }
}

}  // namespace
}  // namespace vxlive
