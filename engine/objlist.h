#pragma once
// TOSDObjList: the engine's ordered registry of components. Position 0 is the front: Add puts
// a component there, lookups walk from there, and the cycle draws from there to the back (so
// the back, added first, ends up on top). Names are not unique; a lookup takes the entry
// nearest the front. The registry owns its components: removing one destroys it, and with it
// its timers.

#include <memory>
#include <string_view>
#include <vector>

#include "components/object.h"

namespace vx {

class TOSDObjList {
 public:
  TOSDObjList() = default;
  ~TOSDObjList() { Clear(); }
  TOSDObjList(const TOSDObjList &) = delete;
  TOSDObjList &operator=(const TOSDObjList &) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // The component at position index (0 = front), or null outside 0..Count-1.
  TOSDObject *Items(int index) const;
  void Add(std::unique_ptr<TOSDObject> component);
  // The first component from the front whose name equals name byte for byte; null if none.
  TOSDObject *Find(std::string_view name) const;
  // Removes and destroys the first component from the front named name; false if none.
  bool Delete(std::string_view name);
  void Clear();

 private:
  // Stored back to front, so that Add is a push_back.
  std::vector<std::unique_ptr<TOSDObject>> items_;
};

}  // namespace vx
