#include "live/scene_lines.h"

#include <cctype>

namespace vxlive {

namespace fs = std::filesystem;

bool IsLiveCall(std::string_view call, std::string &why) {
  if (call == "wait" || call == "snapshot") {
    why = std::string(call) + " belongs in a scene file, not in a live command";
    return false;
  }
  if (call == "InitVxOSD" || call == "FreeVxOSD") {
    why = std::string(call) + " is not available: the channel starts and frees the library itself";
    return false;
  }
  if (call == "SetVxOSD_DebugView") {
    why = "SetVxOSD_DebugView is not available on a live channel (it opens a window on the server)";
    return false;
  }
  return true;
}

std::vector<vxscene::Step> ParseCommandLines(const std::vector<std::string> &lines, const fs::path &base_dir) {
  if (lines.empty()) throw LineError(0, "a request needs at least one line");
  if (lines.size() > kMaxLinesPerRequest)
    throw LineError(kMaxLinesPerRequest, "a request takes at most " + std::to_string(kMaxLinesPerRequest) + " lines");
  std::vector<vxscene::Step> steps;
  steps.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find('\n') != std::string::npos)
      throw LineError(i, "a line holds a line break; send one call per line");
    std::optional<vxscene::Step> step;
    try {
      step = vxscene::ParseLine(lines[i], static_cast<int>(i) + 1);
    } catch (const vxscene::SceneError &e) {
      throw LineError(i, e.message);
    }
    if (!step) throw LineError(i, "the line holds no call");
    std::string why;
    if (!IsLiveCall(step->call, why)) throw LineError(i, why);
    for (vxscene::Arg &a : step->args) {
      if (a.type != vxscene::ArgType::Path || a.utf8.empty()) continue;
      const fs::path p(a.utf8);
      if (p.is_relative()) {
        a.utf8 = (base_dir / p).lexically_normal().string();
        vxscene::Utf8ToUtf16(a.utf8, a.utf16);
      }
    }
    steps.push_back(std::move(*step));
  }
  return steps;
}

std::string QuoteText(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\', out += c;
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out + "\"";
}

namespace {

bool Bare(std::string_view word) {
  if (word.empty()) return false;
  for (const char c : word) {
    const auto b = static_cast<unsigned char>(c);
    if (!(std::isalnum(b) || c == '_' || c == '-' || c == '+' || c == '.' || c == '/' || c == ':' || b >= 0x80))
      return false;
  }
  return true;
}

}  // namespace

std::string FormatStep(const vxscene::Step &step) {
  std::string line = step.call;
  for (const vxscene::Arg &a : step.args) {
    line += ' ';
    switch (a.type) {
      case vxscene::ArgType::Name:
      case vxscene::ArgType::File: line += Bare(a.utf8) ? a.utf8 : QuoteText(a.utf8); break;
      case vxscene::ArgType::Text:
      case vxscene::ArgType::Path: line += QuoteText(a.utf8); break;
      case vxscene::ArgType::Int:
      case vxscene::ArgType::Ms: line += std::to_string(a.number); break;
    }
  }
  return line;
}

}  // namespace vxlive
