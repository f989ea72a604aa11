#pragma once
// The as-run log of a channel: each applied request with the wall-clock time, the channel's
// running time, where it came from and what it changed. The newest entries are kept in memory
// for the API; every entry is also appended as one JSON line to a file per channel and day
// (DIR/asrun/CHANNEL-YYYY-MM-DD.jsonl, the local day).

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "live/json.h"

namespace vxlive {

struct AsRunEntry {
  std::int64_t wall_us = 0;  // microseconds since 1970 (UTC)
  std::uint64_t running_time_ns = 0;  // the buffer the request was applied before
  std::string source;  // "http", "ws", "osc", "scene", "autoplay", "time", "binding"
  std::vector<std::string> lines;
  std::vector<int> results;
  std::vector<std::string> messages;
  std::vector<std::string> changed;
  std::string action;  // "take", "stop", "undo" for rundown and undo requests, else ""
  std::string cue;     // the cue taken (or taken off)
  JsonNode *ToJson() const;
};

class AsRunLog {
 public:
  AsRunLog(std::string channel, std::string state_dir);
  // Keeps the entry and appends it to the day's file; false (error set) when the file cannot
  // be written (the entry is kept in memory all the same).
  bool Add(const AsRunEntry &entry, std::string &error);
  // The newest entries, oldest first; at most limit of them.
  JsonNode *ToJson(std::size_t limit) const;

  static constexpr std::size_t kKept = 1000;

 private:
  std::string channel_, dir_;
  std::deque<AsRunEntry> entries_;
};

// Local time as ISO 8601 with its offset, to the millisecond.
std::string IsoLocalTime(std::int64_t wall_us);

}  // namespace vxlive
