// The rundown's model: fields filled into cue lines, the JSON checked whole (a cue that
// cannot be taken is not saved), times of day.

#include "live/rundown.h"

#include <gtest/gtest.h>

#include "live/json.h"
#include "live/scene_lines.h"

namespace vxlive {
namespace {

JsonNodePtr Json(const std::string &text) {
  std::string why;
  JsonNodePtr n = ParseJson(text, why);
  EXPECT_TRUE(n) << why;
  return n;
}

Rundown Parse(const std::string &text) { return RundownFromJson(Json(text).get(), "/srv/show"); }

std::string Refusal(const std::string &text) {
  try {
    Parse(text);
  } catch (const std::runtime_error &e) {
    return e.what();
  }
  return "";
}

TEST(RundownFields, NamesAreFilledAndEscapedForAQuotedText) {
  EXPECT_EQ(FillFields("SetVxComponent_Text t \"{name}, {title}\"", {{"name", "Ann \"A\" \\"}, {"title", "CEO"}}),
            "SetVxComponent_Text t \"Ann \\\"A\\\" \\\\, CEO\"");
  EXPECT_EQ(FillFields("x {{name}} { } {not a field}", {}), "x {name} { } {not a field}");
  EXPECT_THROW(FillFields("SetVxComponent_Text t \"{missing}\"", {}), std::runtime_error);
}

TEST(RundownJson, ReadsWhatItWritesWithDefaults) {
  const Rundown r = Parse(R"({"autoplay": true, "loop": true, "cues": [
      {"id": "c1", "name": "Headline", "lines": ["SetVxComponent_Text t \"{name}\""], "out": ["DelVxComponent t"],
       "duration_ms": 1500, "at": "18:30:00", "fields": {"name": "Ann"}, "fade_ms": 250},
      {"id": "c2", "lines": []}]})");
  ASSERT_EQ(r.cues.size(), 2u);
  EXPECT_TRUE(r.autoplay && r.loop);
  EXPECT_EQ(r.cues[0].at, 18 * 3600 + 30 * 60);
  EXPECT_EQ(r.cues[0].fade_ms, 250);
  EXPECT_EQ(r.cues[1].duration_ms, 0);
  EXPECT_FALSE(r.cues[1].at);
  JsonNodePtr again(RundownToJson(r));
  const Rundown back = RundownFromJson(again.get(), "/srv/show");
  EXPECT_EQ(JsonText(again.get()), JsonText(JsonNodePtr(RundownToJson(back)).get()));
  EXPECT_EQ(CueSteps(r.cues[0], r.cues[0].lines, "/")[0].args[1].utf8, "Ann");
}

TEST(RundownJson, ACueThatCannotBeTakenIsNotSaved) {
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a", "lines": ["Bogus x"]}]})").find("cue 0 (a): lines[0]: unknown call"), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a", "out": ["SetVxComponent_Text t \"{who}\""]}]})").find("{who}"), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a", "lines": ["wait 10"]}]})").find("lines[0]"), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a"}, {"id": "a"}]})").find("taken"), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": ""}]})").find("\"id\""), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a", "at": "25:00:00"}]})").find("\"at\""), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a", "duration_ms": -1}]})").find("duration_ms"), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": [{"id": "a", "colour": 1}]})").find("unknown member"), std::string::npos);
  EXPECT_NE(Refusal(R"({"cues": 3})").find("cues"), std::string::npos);
  EXPECT_NE(Refusal(R"([1])").find("object"), std::string::npos);
  std::string many = R"({"cues": [{"id": "a", "lines": [)";
  for (std::size_t i = 0; i <= kMaxCueLines; ++i) many += std::string(i ? "," : "") + "\"DelVxComponent x\"";
  EXPECT_NE(Refusal(many + "]}]}").find("at most"), std::string::npos);
}

TEST(RundownTimeOfDay, TakesHoursMinutesAndSeconds) {
  EXPECT_EQ(ParseTimeOfDay("00:00:00"), 0);
  EXPECT_EQ(ParseTimeOfDay("23:59:59"), 86399);
  EXPECT_EQ(ParseTimeOfDay("07:05"), 7 * 3600 + 5 * 60);
  for (const char *bad : {"24:00:00", "7:5", "12:60:00", "12:00:00x", "", "aa:bb:cc"}) EXPECT_FALSE(ParseTimeOfDay(bad)) << bad;
  EXPECT_EQ(FormatTimeOfDay(18 * 3600 + 30 * 60 + 5), "18:30:05");
}

}  // namespace
}  // namespace vxlive
