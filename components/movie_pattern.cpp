#include "components/movie_pattern.h"

#include <algorithm>
#include <cstdint>

namespace vx {

namespace {
constexpr int kMaxPatternField = 64;

// What a width or precision field held.
enum class TField { kAbsent, kNumber, kTooLarge };
}  // namespace

std::optional<TMoviePattern> TMoviePattern::Parse(std::string_view name) {
  TMoviePattern p;
  int placeholders = 0;
  std::string *out = &p.prefix_;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%') {
      out->push_back(name[i]);
      continue;
    }
    if (++i >= name.size()) return std::nullopt;
    if (name[i] == '%') {
      out->push_back('%');
      continue;
    }
    for (; i < name.size() && (name[i] == '-' || name[i] == '0'); ++i)
      (name[i] == '-' ? p.left_ : p.zero_) = true;
    auto number = [&](int &value) {
      value = 0;
      TField field = TField::kAbsent;
      for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        value = value * 10 + (name[i] - '0');
        if (value > kMaxPatternField) return TField::kTooLarge;
        field = TField::kNumber;
      }
      return field;
    };
    // The width may be left out; a precision must be written after its '.'.
    if (number(p.width_) == TField::kTooLarge) return std::nullopt;
    if (i < name.size() && name[i] == '.') {
      ++i;
      if (number(p.precision_) != TField::kNumber) return std::nullopt;
    }
    if (i >= name.size()) return std::nullopt;
    const char c = name[i];
    if (c != 'd' && c != 'i' && c != 'u' && c != 'x' && c != 'X') return std::nullopt;
    if (++placeholders > 1) return std::nullopt;
    p.conversion_ = c;
    out = &p.suffix_;
  }
  if (placeholders != 1) return std::nullopt;
  return p;
}

std::string TMoviePattern::Format(int number) const {
  std::string digits;
  bool negative = false;
  std::uint32_t value = static_cast<std::uint32_t>(number);
  if ((conversion_ == 'd' || conversion_ == 'i') && number < 0) {
    negative = true;
    value = 0u - value;
  }
  const bool hex = conversion_ == 'x' || conversion_ == 'X';
  const char *alphabet = conversion_ == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits.insert(digits.begin(), alphabet[value % (hex ? 16 : 10)]);
    value /= hex ? 16 : 10;
  } while (value != 0);
  if (precision_ >= 0 && static_cast<int>(digits.size()) < precision_)
    digits.insert(0, static_cast<std::size_t>(precision_) - digits.size(), '0');
  std::string field = (negative ? "-" : "");
  const int length = static_cast<int>(digits.size() + field.size());
  const int pad = std::max(0, width_ - length);
  if (left_) {
    field += digits;
    field.append(static_cast<std::size_t>(pad), ' ');
  } else if (zero_ && precision_ < 0) {
    field.append(static_cast<std::size_t>(pad), '0');
    field += digits;
  } else {
    field.insert(0, static_cast<std::size_t>(pad), ' ');
    field += digits;
  }
  return prefix_ + field + suffix_;
}

}  // namespace vx
