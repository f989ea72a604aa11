#include "live/channel_state.h"

#include <gtest/gtest.h>

#include "live/json.h"
#include "live/scene_lines.h"
#include "scene/library.h"
#include "scene/run.h"
#include "tests/support/host_scene.h"

namespace vxlive {
namespace {

vxscene::Step Line(const std::string &text) { return *vxscene::ParseLine(text, 1); }

// Records lines as if the library had answered each with result.
void RecordAll(ChannelState &state, const std::vector<std::string> &lines, int result = 1) {
  for (const std::string &l : lines) state.Record(Line(l), result);
}

const Setting *Find(const ComponentState &c, const std::string &call) {
  for (const Setting &s : c.settings)
    if (s.call == call) return &s;
  return nullptr;
}

TEST(ChannelState, EverySetterKeepsItsLastValue) {
  ChannelState state;
  const std::vector<std::string> setters = {
      "SetVxComponent_Pos t 1 2 3 4",          "SetVxComponent_Color t 255 128",
      "SetVxComponent_Font t \"Arial\" 65535 20", "SetVxComponent_Text t \"hello\"",
      "SetVxComponent_Time t 500",             "SetVxComponent_TextStep t 4",
      "SetVxComponent_TextScroll t 2",         "SetVxComponent_TextMode t 3",
      "SetVxComponent_TextGradual t 1 2",      "SetVxComponent_TextHtml t 1",
      "SetVxComponent_RandomColor t 1 2 3 4 5", "SetVxComponent_RandomTextColor t 5 4 3 2 1",
      "SetVxComponent_TextFile t 0",           "SetVxComponent_PicFile t \"/a.bmp\"",
      "SetVxComponent_PicSplitFile t \"/b.bmp\" 3", "SetVxComponent_PicSplitTextPos t 4 5",
      "SetVxComponent_PicSplitShow t 2",       "SetVxComponent_PicMovie t \"/m%d.bmp\" 1 9",
      "SetVxComponent_PicTime t 0",            "SetVxComponent_MovieTime t 40 1",
      "SetVxComponent_Visible t 0 1",
  };
  state.Record(Line("AddVxComponent t 1"), 1);
  for (const std::string &l : setters) EXPECT_FALSE(state.Record(Line(l), 1).empty()) << l;
  ASSERT_EQ(state.components().size(), 1u);
  const ComponentState &c = state.components()[0];
  EXPECT_EQ(c.settings.size(), setters.size());
  // A second value replaces the first and moves to the end (it was given last).
  state.Record(Line("SetVxComponent_Text t \"again\""), 1);
  const ComponentState &after = state.components()[0];
  EXPECT_EQ(after.settings.size(), setters.size());
  EXPECT_EQ(after.settings.back().call, "SetVxComponent_Text");
  EXPECT_EQ(after.settings.back().args[0].utf8, "again");
  EXPECT_EQ(Find(after, "SetVxComponent_Pos")->args[3].number, 4);
  EXPECT_TRUE(after.visible());
  state.Record(Line("SetVxComponent_Visible t 1 0"), 1);
  EXPECT_FALSE(state.components()[0].visible());
}

TEST(ChannelState, ARefusedCallChangesNothing) {
  ChannelState state;
  EXPECT_EQ(state.Record(Line("AddVxComponent t 9"), 0), "");
  EXPECT_TRUE(state.empty());
  state.Record(Line("AddVxComponent t 2"), 1);
  EXPECT_EQ(state.Record(Line("SetVxComponent_TextStep t 3"), 0), "");
  EXPECT_TRUE(state.components()[0].settings.empty());
  // Measuring changes nothing either.
  EXPECT_EQ(state.Record(Line("GetVxComponent_TextRect t \"x\""), 1), "");
}

TEST(ChannelState, NamesakesFollowTheRegistry) {
  ChannelState state;
  RecordAll(state, {"AddVxComponent a 0", "SetVxComponent_Pos a 1 1 1 1", "AddVxComponent b 2", "AddVxComponent a 2",
                    "SetVxComponent_Pos a 2 2 2 2"});
  ASSERT_EQ(state.components().size(), 3u);
  // The newest first, as the library keeps them; a setter reaches the newest namesake.
  EXPECT_EQ(state.components()[0].name, "a");
  EXPECT_EQ(state.components()[0].kind, 2);
  EXPECT_EQ(state.components()[1].name, "b");
  EXPECT_EQ(Find(state.components()[0], "SetVxComponent_Pos")->args[0].number, 2);
  EXPECT_EQ(Find(state.components()[2], "SetVxComponent_Pos")->args[0].number, 1);
  // Deleting takes the newest; the older one is addressed again.
  EXPECT_EQ(state.Record(Line("DelVxComponent a"), 1), "a: deleted");
  ASSERT_EQ(state.components().size(), 2u);
  EXPECT_EQ(state.components()[1].kind, 0);
  state.Record(Line("SetVxComponent_Pos a 3 3 3 3"), 1);
  EXPECT_EQ(Find(state.components()[1], "SetVxComponent_Pos")->args[0].number, 3);
  EXPECT_EQ(state.Record(Line("DelVxComponent a"), 1), "a: deleted");
  EXPECT_EQ(state.Record(Line("DelVxComponent a"), 1), "");
  EXPECT_EQ(state.components().size(), 1u);
}

TEST(ChannelState, ReplayAddsOldestFirstAndShowsLast) {
  ChannelState state;
  RecordAll(state, {"SetVxComponent_Color root 65280 0", "AddVxComponent a 0", "SetVxComponent_Visible a 0 1",
                    "SetVxComponent_Pos a 1 2 3 4", "AddVxComponent \"b c\" 2", "SetVxComponent_Text \"b c\" \"x\\ny\""});
  EXPECT_EQ(state.ReplayLines(),
            (std::vector<std::string>{"SetVxComponent_Color root 65280 0", "AddVxComponent a 0",
                                      "SetVxComponent_Pos a 1 2 3 4", "SetVxComponent_Visible a 0 1",
                                      "AddVxComponent \"b c\" 2", "SetVxComponent_Text \"b c\" \"x\\ny\""}));
}

TEST(ChannelState, JsonRoundTrip) {
  ChannelState state;
  RecordAll(state, {"AddVxComponent a 0", "SetVxComponent_Pos a -1 2 3 4", "AddVxComponent t 2",
                    "SetVxComponent_Font t \"宋体\" 0xFFFFFF 24", "SetVxComponent_Text t \"\\\"quoted\\\"\"",
                    "SetVxComponent_Visible t 0 1", "SetVxComponent_Color root 255 100"});
  JsonNodePtr node(state.ToJson());
  const std::string text = JsonText(node.get());
  std::string error;
  JsonNodePtr again = ParseJson(text, error);
  ASSERT_TRUE(again) << error;
  const ChannelState back = ChannelState::FromJson(again.get());
  EXPECT_TRUE(back == state) << text;
  EXPECT_EQ(back.ReplayLines(), state.ReplayLines());
}

TEST(ChannelState, FromJsonRefusesWhatIsNotAState) {
  for (const char *bad : {
           "[]", "{}", "{\"components\": 1}", "{\"components\": [{\"name\": \"a\", \"kind\": 7, \"settings\": []}]}",
           "{\"components\": [{\"name\": \"\", \"kind\": 0, \"settings\": []}]}",
           "{\"components\": [{\"name\": \"a\", \"kind\": 0, \"settings\": [{\"call\": \"wait\", \"args\": [1]}]}]}",
           "{\"components\": [{\"name\": \"a\", \"kind\": 0, \"settings\": [{\"call\": \"DelVxComponent\", \"args\": []}]}]}",
           "{\"components\": [{\"name\": \"a\", \"kind\": 0, \"settings\": [{\"call\": \"SetVxComponent_Pos\", \"args\": [1, 2]}]}]}",
           "{\"components\": [{\"name\": \"a\", \"kind\": 0, \"settings\": [{\"call\": \"SetVxComponent_Pos\", \"args\": [1, 2, \"3\", 4]}]}]}",
           "{\"components\": [{\"name\": \"a\", \"kind\": 0, \"settings\": [{\"call\": \"SetVxComponent_Pos\", \"args\": [1, 2, 3, 99999999999]}]}]}",
           "{\"components\": [], \"root_levels\": [{\"call\": \"SetVxComponent_Pos\", \"args\": [1, 2, 3, 4]}]}",
       }) {
    std::string error;
    JsonNodePtr node = ParseJson(bad, error);
    ASSERT_TRUE(node) << bad;
    EXPECT_THROW(ChannelState::FromJson(node.get()), std::runtime_error) << bad;
  }
}

// Runs lines through the library as the element would, and records them.
std::vector<uint8_t> Play(const std::vector<std::string> &lines, ChannelState *state) {
  vx::test::HostScene scene;
  for (const std::string &l : lines) {
    const vxscene::Step step = Line(l);
    std::string note;
    const int result = vxscene::CallExport(vxscene::LinkedLibrary(), step, "/", note);
    if (state) state->Record(step, result);
  }
  scene.Advance(300);
  return scene.stream();
}

TEST(ChannelState, ReplayGivesTheSameFrames) {
  const std::vector<std::string> show = {
      "AddVxComponent bg 0", "SetVxComponent_Pos bg 10 300 400 80", "SetVxComponent_Color bg 0x800000 200",
      "SetVxComponent_Visible bg 0 1",
      "AddVxComponent title 2", "SetVxComponent_Pos title 20 310 0 0", "SetVxComponent_Font title \"Arial\" 0xFFFFFF 20",
      "SetVxComponent_Text title \"Before\"", "SetVxComponent_Visible title 0 1",
      "SetVxComponent_TextGradual title 0x0000FF 0x00FFFF", "SetVxComponent_TextHtml title 1",  // markup wins: given last
      "SetVxComponent_Text title \"<font size=\\\"20\\\" color=\\\"#FFFFFF\\\">After</font>\"",
      "SetVxComponent_Visible title 0 1",
      "AddVxComponent tick 1", "SetVxComponent_Pos tick 0 440 640 30", "SetVxComponent_Text tick \"ticker text\"",
      "SetVxComponent_TextStep tick 2", "SetVxComponent_Font tick \"Arial\" 0x00FFFF 16", "SetVxComponent_Visible tick 0 1",
      "AddVxComponent tick 0", "SetVxComponent_Pos tick 500 20 50 50", "SetVxComponent_Color tick 0xFF 255",
      "SetVxComponent_Visible tick 0 1",  // a namesake over the ticker's name
      "AddVxComponent gone 0", "SetVxComponent_Pos gone 0 0 640 480", "SetVxComponent_Visible gone 0 1",
      "DelVxComponent gone",
      "SetVxComponent_Text nobody \"refused: no such component\"",
  };
  ChannelState state;
  const std::vector<uint8_t> original = Play(show, &state);
  ASSERT_EQ(original.size(), vx::test::HostScene::kStreamBytes);
  EXPECT_EQ(state.components().size(), 4u);
  const std::vector<uint8_t> replayed = Play(state.ReplayLines(), nullptr);
  EXPECT_TRUE(original == replayed) << "the replay draws another frame";
  // The frame is not empty: the test would not notice a replay that draws nothing otherwise.
  const std::vector<uint8_t> empty = Play({}, nullptr);
  EXPECT_FALSE(original == empty);
}

// The lines an undo applies, recorded on the state they start from, give the target exactly.
ChannelState Undone(const ChannelState &now, const ChannelState &target, std::vector<std::string> &lines) {
  lines = now.LinesTo(target);
  ChannelState s = now;
  RecordAll(s, lines);
  return s;
}

TEST(ChannelStateUndo, AChangedTextIsGivenBackWithoutRebuilding) {
  ChannelState before;
  RecordAll(before, {"AddVxComponent t 2", "SetVxComponent_Text t \"one\"", "SetVxComponent_Visible t 0 1"});
  ChannelState now = before;
  RecordAll(now, {"SetVxComponent_Text t \"two\""});
  std::vector<std::string> lines;
  EXPECT_TRUE(Undone(now, before, lines) == before);
  for (const std::string &l : lines) EXPECT_EQ(l.find("AddVxComponent"), std::string::npos) << l;
}

TEST(ChannelStateUndo, ComponentsAddedSinceAreDeleted) {
  ChannelState before;
  RecordAll(before, {"AddVxComponent a 0", "SetVxComponent_Pos a 1 1 1 1"});
  ChannelState now = before;
  RecordAll(now, {"AddVxComponent b 0", "AddVxComponent a 2"});  // a namesake in front
  std::vector<std::string> lines;
  EXPECT_TRUE(Undone(now, before, lines) == before);
  EXPECT_EQ(lines, (std::vector<std::string>{"DelVxComponent a", "DelVxComponent b"}));
}

TEST(ChannelStateUndo, ADeletedComponentOrANewSettingRebuildsEverything) {
  ChannelState before;
  RecordAll(before, {"AddVxComponent a 0", "SetVxComponent_Pos a 1 1 1 1", "AddVxComponent b 2",
                     "SetVxComponent_Text b \"x\"", "SetVxComponent_Visible b 0 1"});
  ChannelState deleted = before;
  RecordAll(deleted, {"DelVxComponent a"});
  std::vector<std::string> lines;
  EXPECT_TRUE(Undone(deleted, before, lines) == before);
  ChannelState set = before;
  RecordAll(set, {"SetVxComponent_Font b \"Arial\" 255 20"});  // a setting before never had
  EXPECT_TRUE(Undone(set, before, lines) == before);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "AddVxComponent a 0"), lines.end());
  EXPECT_TRUE(before.LinesTo(before).empty());
}

}  // namespace
}  // namespace vxlive
