#pragma once
// A channel's rundown: an ordered list of cues, each the scene lines applied when it is taken
// and the lines applied when it is taken off (by the next take or by stop). Lines may name
// fields ({name}), filled from the cue's own values, so one lower-third cue serves every guest.
// This is the model and its JSON; the channel runs it (take, next, stop, autoplay, time of day).

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "live/json.h"
#include "scene/scene.h"

namespace vxlive {

struct Cue {
  std::string id;
  std::string name;
  std::vector<std::string> lines;  // as written, with {field} names
  std::vector<std::string> out;
  int duration_ms = 0;                   // 0: until the next take
  std::optional<int> at;                 // seconds after local midnight it is taken by itself
  std::map<std::string, std::string> fields;
  int fade_ms = 0;  // kept; a cut until the frame is true colour
};

struct Rundown {
  bool autoplay = false;
  bool loop = false;
  std::vector<Cue> cues;

  const Cue *Find(const std::string &id) const;
  // The index of the cue of that id, or -1.
  int IndexOf(const std::string &id) const;
};

// Most lines in a cue's "lines" and in its "out": a take applies the last cue's out and the new
// cue's lines together, within one request's 256.
constexpr std::size_t kMaxCueLines = 128;
constexpr std::size_t kMaxCues = 500;
constexpr int kMaxFadeMs = 60000;

// {field} names replaced by the cue's values, escaped for a quoted scene text; throws
// std::runtime_error for a field the cue has no value for. "{{" and "}}" stand for braces.
std::string FillFields(const std::string &line, const std::map<std::string, std::string> &fields);

// The lines of a cue with its fields filled, parsed and checked as one request; throws
// LineError (index into lines) or std::runtime_error.
std::vector<vxscene::Step> CueSteps(const Cue &cue, const std::vector<std::string> &lines,
                                    const std::filesystem::path &base_dir);

// Reads and checks a whole rundown (every cue's lines and out must parse with their fields):
// throws std::runtime_error naming the cue and the line.
Rundown RundownFromJson(JsonNode *node, const std::filesystem::path &base_dir);
JsonNode *RundownToJson(const Rundown &rundown);

// "HH:MM:SS" (or "HH:MM") as seconds after midnight, or nothing.
std::optional<int> ParseTimeOfDay(const std::string &text);
std::string FormatTimeOfDay(int seconds);

}  // namespace vxlive
