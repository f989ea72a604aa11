#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/file_identity.h"

namespace vx {

// How a load may use the cache. What the host asks for reads the file as it is now; only a
// movie's own ticks reuse a picture, and only while its file is unchanged.
enum class TPictureRead {
  FromFile,
  ReuseUnchanged,
};

// Decoded pictures by path, so that a movie does not decode its files again every tick. A
// kept picture serves only while its file keeps its whole identity (file number, change and
// modification time, size): a file replaced by a copy of the same size and time stamps is read
// again. Bounded in entries and bytes; its owner drops what it can no longer ask for again
// (Retain), so that a slideshow does not keep every earlier picture.
class TPictureCache {
 public:
  // Null when no regular file is at path; raises vx::Exception when the file exists but
  // cannot be read as a bitmap. Either way the picture decoded is the one kept for path.
  std::shared_ptr<TBitmap> Load(const std::string &path, TPictureRead read);
  // For a picture of a true-colour frame: PNG files are read as well as BMP, and every picture
  // is kept as premultiplied ARGB, transparent where its alpha says so or, without alpha,
  // where it has the colour of its bottom-left pixel (the keyed copy's colour). Forgets what
  // was kept in the other form.
  void SetTrueColour(bool on);
  // Drops every picture whose path `keep` refuses.
  void Retain(const std::function<bool(const std::string &path)> &keep);
  std::size_t Size() const { return entries_.size(); }
  std::size_t Bytes() const { return bytes_; }
  std::uint64_t Decodes() const { return decodes_; }

 private:
  struct Entry {
    std::string path;
    TFileIdentity identity;
    std::shared_ptr<TBitmap> picture;
    std::size_t bytes = 0;
  };
  std::list<Entry> entries_;  // most recently used first
  std::size_t bytes_ = 0;
  std::uint64_t decodes_ = 0;
  bool true_colour_ = false;
};

}  // namespace vx
