#pragma once
// Scene lines as the live server takes them from its clients: parsed and checked whole before
// anything is applied, and written back as lines (the form the element and the saved state
// take).

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "scene/scene.h"

namespace vxlive {

// A request's line that cannot be applied: its index in the request and the reason.
struct LineError : std::runtime_error {
  LineError(std::size_t index, const std::string &message)
      : std::runtime_error("line " + std::to_string(index) + ": " + message), index(index), message(message) {}
  std::size_t index;
  std::string message;
};

// Most lines one request may carry: what the overlay applies as one batch before one frame.
constexpr std::size_t kMaxLinesPerRequest = 256;

// Parses every line of a request; throws LineError for the first one that is not a call the
// live server applies (a parse error, a blank line, wait, snapshot, InitVxOSD, FreeVxOSD,
// SetVxOSD_DebugView). Relative picture paths are made absolute against base_dir, so that a
// replay after a restart finds the same files.
std::vector<vxscene::Step> ParseCommandLines(const std::vector<std::string> &lines,
                                             const std::filesystem::path &base_dir);

// Whether the live server applies this call (an export on a component, or a colour level).
bool IsLiveCall(std::string_view call, std::string &why);

// A step written back as one scene line that parses to the same step.
std::string FormatStep(const vxscene::Step &step);

// A quoted scene text: \" \\ and \n escaped.
std::string QuoteText(std::string_view text);

}  // namespace vxlive
