#pragma once
// TOSDObjList: the engine's ordered registry of components. Position 0 is the front: Add puts
// a component there, and the cycle draws from there to the back (so the back, added first,
// ends up on top). Names are not unique; a lookup takes the entry nearest the front, and
// deleting it reveals the older namesake behind it. The registry owns its components: removing
// one destroys it, and with it its timers.
//
// Hosts keep tens of thousands of components, so the order lives in a list and the names in
// an index of namesakes: Add, Find and Delete cost the same however large the registry is.
// A component is indexed under the name it has when added (the engine names it first).

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "components/object.h"

namespace vx {

class TOSDObjList {
  struct Entry {
    std::unique_ptr<TOSDObject> component;
    std::string key;  // the name it is indexed under
  };
  using Entries = std::list<Entry>;

 public:
  TOSDObjList() = default;
  ~TOSDObjList() { Clear(); }
  TOSDObjList(const TOSDObjList &) = delete;
  TOSDObjList &operator=(const TOSDObjList &) = delete;

  int Count() const { return static_cast<int>(entries_.size()); }
  // The component at position index (0 = front), or null outside 0..Count-1. Walking the
  // positions in order costs one step each.
  TOSDObject *Items(int index) const;
  void Add(std::unique_ptr<TOSDObject> component);
  // The first component from the front whose name equals name byte for byte; null if none.
  TOSDObject *Find(std::string_view name) const;
  // Removes and destroys the first component from the front named name; false if none.
  bool Delete(std::string_view name);
  void Clear();

  // Calls f(component) from the front to the back; f must not change the registry.
  template <class F>
  void ForEach(F &&f) const {
    for (const Entry &e : entries_) f(*e.component);
  }

 private:
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  // Removes the entry from the list and the index; returns the component to be destroyed.
  std::unique_ptr<TOSDObject> Unlink(Entries::iterator entry);

  Entries entries_;
  // Per name, its components oldest first: the last one is the front-most.
  std::unordered_map<std::string, std::vector<Entries::iterator>, NameHash, std::equal_to<>>
      namesakes_;
  // The position Items last answered, so that walking the positions is linear.
  mutable int cursor_index_ = -1;
  mutable Entries::const_iterator cursor_;
};

}  // namespace vx
