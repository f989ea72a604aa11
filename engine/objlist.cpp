#include "engine/objlist.h"

namespace vx {

TOSDObject *TOSDObjList::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[items_.size() - 1 - static_cast<std::size_t>(index)].get();
}

void TOSDObjList::Add(std::unique_ptr<TOSDObject> component) {
  if (component) items_.push_back(std::move(component));
}

TOSDObject *TOSDObjList::Find(std::string_view name) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it)
    if ((*it)->name == name) return it->get();
  return nullptr;
}

bool TOSDObjList::Delete(std::string_view name) {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if ((*it)->name != name) continue;
    // Take it out of the list before it is destroyed, so its destructor never sees itself
    // still registered.
    std::unique_ptr<TOSDObject> gone = std::move(*it);
    items_.erase(std::next(it).base());
    return true;
  }
  return false;
}

void TOSDObjList::Clear() {
  // Destroy from the front, one at a time, leaving the list consistent at every step.
  while (!items_.empty()) {
    std::unique_ptr<TOSDObject> gone = std::move(items_.back());
    items_.pop_back();
  }
}

}  // namespace vx
