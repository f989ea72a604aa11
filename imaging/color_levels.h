#pragma once
// TColorLevels: the frame's record of colour levels (FColorLevels). Each entry reads
// "name=LL,II": the component name as the engine passed it, the level and the FramePalette
// index in upper-case hex. Entries keep the order they were made in, and when the card palette
// is built the latest entry of an index wins. Adding an entry first drops an older one with
// the same name (ignoring ASCII case) and the same index, which could never win again; removing
// a name drops all its entries, ignoring case.
//
// A host may colour tens of thousands of components, so the entries are indexed by name and
// by palette index: adding, removing and looking up a level cost the same at any size.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vx {

class TColorLevels {
 public:
  void Add(std::string_view name, std::uint8_t level, std::uint8_t index);
  void Remove(std::string_view name);
  bool Empty() const { return entries_.empty(); }
  // The entries as text, oldest first.
  std::vector<std::string> Entries() const;
  // The level of the latest entry for index; none when no entry has it.
  std::optional<std::uint8_t> LevelOf(std::uint8_t index) const;

 private:
  struct Entry {
    std::string text;
    std::uint8_t level;
    std::uint8_t index;
  };
  struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using Age = std::uint64_t;

  void Erase(Age age);

  Age next_age_ = 0;
  std::map<Age, Entry> entries_;
  // Lower-case name -> the ages of its entries (at most one per palette index).
  std::unordered_map<std::string, std::vector<Age>, KeyHash, std::equal_to<>> by_name_;
  // (index, age) -> level: the last key of an index is its latest entry.
  std::map<std::pair<int, Age>, std::uint8_t> by_index_;
};

}  // namespace vx
