#include "imaging/color_levels.h"

#include <algorithm>
#include <cstdio>

#include "platform/sysutils.h"

namespace vx {

void TColorLevels::Erase(Age age) {
  auto it = entries_.find(age);
  by_index_.erase({it->second.index, age});
  entries_.erase(it);
}

void TColorLevels::Add(std::string_view name, std::uint8_t level, std::uint8_t index) {
  std::vector<Age> &ages = by_name_[LowerCase(name)];
  auto older = std::find_if(ages.begin(), ages.end(),
                            [&](Age age) { return entries_.at(age).index == index; });
  if (older != ages.end()) {
    Erase(*older);
    ages.erase(older);
  }
  char value[8];
  std::snprintf(value, sizeof value, "=%.2X,%.2X", static_cast<unsigned>(level),
                static_cast<unsigned>(index));
  const Age age = next_age_++;
  entries_.emplace(age, Entry{std::string(name) + value, level, index});
  by_index_.emplace(std::pair<int, Age>{index, age}, level);
  ages.push_back(age);
}

void TColorLevels::Remove(std::string_view name) {
  auto it = by_name_.find(LowerCase(name));
  if (it == by_name_.end()) return;
  for (Age age : it->second) Erase(age);
  by_name_.erase(it);
}

std::vector<std::string> TColorLevels::Entries() const {
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const auto &[age, entry] : entries_) out.push_back(entry.text);
  return out;
}

std::optional<std::uint8_t> TColorLevels::LevelOf(std::uint8_t index) const {
  auto it = by_index_.lower_bound({index + 1, 0});
  if (it == by_index_.begin()) return std::nullopt;
  --it;
  if (it->first.first != index) return std::nullopt;
  return it->second;
}

}  // namespace vx
