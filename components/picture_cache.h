#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <string>

#include "platform/bitmap.h"

namespace vx {

// Decoded pictures by path, kept while the file's size and modification time are unchanged,
// so that a movie does not decode its files again every tick. Bounded in entries and bytes.
class TPictureCache {
 public:
  // Null when the file does not exist; raises vx::Exception when it exists but cannot be read
  // as a bitmap.
  std::shared_ptr<TBitmap> Load(const std::string &path);
  std::size_t Size() const { return entries_.size(); }
  std::uint64_t Decodes() const { return decodes_; }

 private:
  struct Entry {
    std::string path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type mtime;
    std::shared_ptr<TBitmap> picture;
    std::size_t bytes = 0;
  };
  std::list<Entry> entries_;  // most recently used first
  std::size_t bytes_ = 0;
  std::uint64_t decodes_ = 0;
};

}  // namespace vx
