#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"
#include "platform/os.h"

namespace vx {

void TStream::ReadBuffer(void *buffer, std::size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void *buffer, std::size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

namespace {
// Resolves a seek request to a new position clamped at 0 (and at max for read-only views).
std::int64_t SeekTarget(std::int64_t pos, std::int64_t size, std::int64_t offset,
                        TSeekOrigin origin) {
  std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                      : origin == TSeekOrigin::soCurrent ? pos
                                                         : size;
  std::int64_t target;
  if (__builtin_add_overflow(base, offset, &target))
    target = offset < 0 ? 0 : std::numeric_limits<std::int64_t>::max();
  return std::max<std::int64_t>(target, 0);
}
}  // namespace

TMemoryStream::TMemoryStream(std::span<const std::byte> initial)
    : data_(initial.begin(), initial.end()) {}

std::size_t TMemoryStream::Read(void *buffer, std::size_t count) {
  if (pos_ >= data_.size() || count == 0) return 0;
  std::size_t n = std::min(count, data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void *buffer, std::size_t count) {
  if (count == 0) return 0;
  if (count > data_.max_size() - pos_) return 0;
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  std::memcpy(data_.data() + pos_, buffer, count);
  pos_ += count;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t t = SeekTarget(static_cast<std::int64_t>(pos_), Size(), offset, origin);
  // A position past the end is allowed (a later write fills the gap with zeros), but it is
  // kept within what a vector could ever hold.
  const auto cap = static_cast<std::int64_t>(std::min<std::size_t>(
      data_.max_size(), static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max())));
  pos_ = static_cast<std::size_t>(std::min(t, cap));
  return static_cast<std::int64_t>(pos_);
}

std::size_t TSpanStream::Read(void *buffer, std::size_t count) {
  if (pos_ >= bytes_.size() || count == 0) return 0;
  std::size_t n = std::min(count, bytes_.size() - pos_);
  std::memcpy(buffer, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

std::int64_t TSpanStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t t = SeekTarget(static_cast<std::int64_t>(pos_), Size(), offset, origin);
  pos_ = static_cast<std::size_t>(std::min(t, Size()));
  return static_cast<std::int64_t>(pos_);
}

TFileStream::TFileStream(const std::string &path, TFileMode mode) {
  const char *m = mode == TFileMode::fmOpenRead ? "rb" : mode == TFileMode::fmCreate ? "wb" : "r+b";
  file_ = os::OpenFile(path, m);
  if (!file_) {
    if (mode == TFileMode::fmCreate) throw EFCreateError("Cannot create file \"" + path + "\"");
    throw EFOpenError("Cannot open file \"" + path + "\"");
  }
}

TFileStream::~TFileStream() {
  if (file_) std::fclose(file_);
}

std::size_t TFileStream::Read(void *buffer, std::size_t count) {
  if (count == 0) return 0;
  return std::fread(buffer, 1, count, file_);
}

std::size_t TFileStream::Write(const void *buffer, std::size_t count) {
  if (count == 0) return 0;
  return std::fwrite(buffer, 1, count, file_);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t cur = os::TellFile(file_);
  if (cur < 0) cur = 0;
  std::int64_t t = SeekTarget(cur, Size(), offset, origin);
  if (!os::SeekFile(file_, t)) return cur;
  return os::TellFile(file_);
}

std::int64_t TFileStream::Size() const {
  std::int64_t cur = os::TellFile(file_);
  if (std::fseek(file_, 0, SEEK_END) != 0) return 0;
  std::int64_t size = os::TellFile(file_);
  os::SeekFile(file_, cur);
  return size < 0 ? 0 : size;
}

std::vector<std::byte> ReadFileBytes(const std::string &path, std::size_t max_bytes) {
  TFileStream f(path, TFileMode::fmOpenRead);
  std::int64_t size = f.Size();
  if (size < 0 || static_cast<std::uint64_t>(size) > max_bytes)
    throw EReadError("File \"" + path + "\" is too large");
  std::vector<std::byte> bytes(static_cast<std::size_t>(size));
  f.ReadBuffer(bytes.data(), bytes.size());
  return bytes;
}

void WriteFileBytes(const std::string &path, std::span<const std::byte> bytes) {
  TFileStream f(path, TFileMode::fmCreate);
  f.WriteBuffer(bytes.data(), bytes.size());
}

}  // namespace vx
