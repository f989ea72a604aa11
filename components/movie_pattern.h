#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx {

// A movie name used as a format with one integer argument: "%d", "%i", "%u", "%x", "%X" with
// an optional "-" or "0" flag, width and precision (each at most 64); "%%" is a percent sign.
// The name is never handed to a printf-style formatter.
class TMoviePattern {
 public:
  // Nothing when the name holds no placeholder, more than one, or any other conversion.
  static std::optional<TMoviePattern> Parse(std::string_view name);
  std::string Format(int number) const;
  // Whether Format could give `name`: the text around the placeholder matches (the number in
  // between is not checked).
  bool MayFormat(std::string_view name) const {
    return name.size() >= prefix_.size() + suffix_.size() && name.starts_with(prefix_) &&
           name.ends_with(suffix_);
  }

 private:
  std::string prefix_, suffix_;
  bool left_ = false, zero_ = false;
  int width_ = 0, precision_ = -1;
  char conversion_ = 'd';
};

}  // namespace vx
