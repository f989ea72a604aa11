#include "components/picture_cache.h"

#include <exception>
#include <optional>

#include "platform/exceptions.h"
#include "platform/png.h"
#include "platform/stream.h"

namespace vx {

namespace {
constexpr std::size_t kCacheEntries = 32;
constexpr std::size_t kCacheBytes = std::size_t{96} << 20;
constexpr std::size_t kMaxPictureFileBytes = std::size_t{256} << 20;
}  // namespace

void TPictureCache::SetTrueColour(bool on) {
  if (on == true_colour_) return;
  true_colour_ = on;
  entries_.clear();
  bytes_ = 0;
}

std::shared_ptr<TBitmap> TPictureCache::Load(const std::string &path, TPictureRead read) {
  // Only regular files count as existing: a directory or a pipe reads as no picture at all.
  const std::optional<TFileIdentity> identity = RegularFileIdentity(path);
  if (!identity) return nullptr;

  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->path != path) continue;
    if (read == TPictureRead::ReuseUnchanged && it->identity == *identity) {
      entries_.splice(entries_.begin(), entries_, it);
      return entries_.front().picture;
    }
    bytes_ -= it->bytes;
    entries_.erase(it);
    break;
  }

  auto picture = std::make_shared<TBitmap>();
  try {
    if (true_colour_) {
      const std::vector<std::byte> bytes = ReadFileBytes(path, kMaxPictureFileBytes);
      if (IsPng(bytes))
        DecodePng(bytes, *picture);
      else
        picture->LoadFromBytes(bytes);
      picture->ConvertToPremultiplied(picture->TransparentColor());
    } else {
      picture->LoadFromFile(path);
    }
  } catch (const std::exception &e) {
    throw EInvalidGraphic("\"" + path + "\" is not a readable bitmap: " + e.what());
  }
  ++decodes_;
  const std::size_t bytes =
      static_cast<std::size_t>(picture->BytesPerScanLine()) * static_cast<std::size_t>(picture->Height());
  entries_.push_front(Entry{path, *identity, picture, bytes});
  bytes_ += bytes;
  while (entries_.size() > 1 && (entries_.size() > kCacheEntries || bytes_ > kCacheBytes)) {
    bytes_ -= entries_.back().bytes;
    entries_.pop_back();
  }
  return picture;
}

void TPictureCache::Retain(const std::function<bool(const std::string &path)> &keep) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (keep(it->path)) {
      ++it;
    } else {
      bytes_ -= it->bytes;
      it = entries_.erase(it);
    }
  }
}

}  // namespace vx
