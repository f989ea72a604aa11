#include "engine/objlist.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace vx {

TOSDObject *TOSDObjList::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  // From the cursor when it is nearer than the front, else from the front.
  if (cursor_index_ < 0 || std::abs(index - cursor_index_) > index) {
    cursor_index_ = 0;
    cursor_ = entries_.begin();
  }
  std::advance(cursor_, index - cursor_index_);
  cursor_index_ = index;
  return cursor_->component.get();
}

void TOSDObjList::Add(std::unique_ptr<TOSDObject> component) {
  if (!component) return;
  cursor_index_ = -1;
  std::string key = component->name;
  entries_.push_front(Entry{std::move(component), std::move(key)});
  namesakes_[entries_.front().key].push_back(entries_.begin());
}

TOSDObject *TOSDObjList::Find(std::string_view name) const {
  auto it = namesakes_.find(name);
  return it == namesakes_.end() ? nullptr : it->second.back()->component.get();
}

std::unique_ptr<TOSDObject> TOSDObjList::Unlink(Entries::iterator entry) {
  cursor_index_ = -1;
  auto named = namesakes_.find(entry->key);
  std::vector<Entries::iterator> &same = named->second;
  // Removals take the front-most namesake (Delete, Clear), which is the last one here.
  same.erase(std::find(same.rbegin(), same.rend(), entry).base() - 1);
  if (same.empty()) namesakes_.erase(named);
  std::unique_ptr<TOSDObject> gone = std::move(entry->component);
  entries_.erase(entry);
  return gone;
}

bool TOSDObjList::Delete(std::string_view name) {
  auto it = namesakes_.find(name);
  if (it == namesakes_.end()) return false;
  // Out of the registry before it is destroyed, so its destructor never sees itself there.
  std::unique_ptr<TOSDObject> gone = Unlink(it->second.back());
  return true;
}

void TOSDObjList::Clear() {
  // Destroy from the front, one at a time, leaving the registry consistent at every step.
  while (!entries_.empty()) std::unique_ptr<TOSDObject> gone = Unlink(entries_.begin());
}

}  // namespace vx
