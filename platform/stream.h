#pragma once
// Byte streams as the framework has them: a position, a size, reads and writes.
// ReadBuffer/WriteBuffer raise EReadError/EWriteError when fewer bytes move than asked for.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Moves up to count bytes; returns how many moved.
  virtual std::size_t Read(void *buffer, std::size_t count) = 0;
  virtual std::size_t Write(const void *buffer, std::size_t count) = 0;
  // Returns the new position; positions are clamped at 0.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() const = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  void ReadBuffer(void *buffer, std::size_t count);
  void WriteBuffer(const void *buffer, std::size_t count);
};

// Growable memory; Memory() stays valid until the next write or SetSize.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::span<const std::byte> initial);
  std::size_t Read(void *buffer, std::size_t count) override;
  std::size_t Write(const void *buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::size_t size) { data_.resize(size); if (pos_ > size) pos_ = size; }
  void Clear() { data_.clear(); pos_ = 0; }
  std::byte *Memory() { return data_.data(); }
  const std::byte *Memory() const { return data_.data(); }
  std::span<const std::byte> Bytes() const { return data_; }
  void Reserve(std::size_t n) { data_.reserve(n); }

 private:
  std::vector<std::byte> data_;
  std::size_t pos_ = 0;
};

// Read-only view over bytes the caller keeps alive.
class TSpanStream : public TStream {
 public:
  explicit TSpanStream(std::span<const std::byte> bytes) : bytes_(bytes) {}
  std::size_t Read(void *buffer, std::size_t count) override;
  std::size_t Write(const void *, std::size_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  std::span<const std::byte> bytes_;
  std::size_t pos_ = 0;
};

enum class TFileMode { fmOpenRead, fmCreate, fmOpenReadWrite };

// File names are byte strings: the bytes the system takes on Linux (UTF-8 in practice), UTF-8
// on Windows (opened through the UTF-16 file API, so any name opens, not only those of the
// ANSI code page).
// The byte string a UTF-16 file name becomes (the system code page on Linux, UTF-8 on Windows).
std::string FileNameFromUtf16(std::u16string_view name);

// A file opened by name. Open failures raise EFOpenError, create failures EFCreateError,
// with the path in the message.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string &path, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream &) = delete;
  TFileStream &operator=(const TFileStream &) = delete;
  std::size_t Read(void *buffer, std::size_t count) override;
  std::size_t Write(const void *buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override;

 private:
  std::FILE *file_ = nullptr;
};

// Whole-file helpers. ReadFileBytes refuses files larger than max_bytes with EReadError.
std::vector<std::byte> ReadFileBytes(const std::string &path,
                                     std::size_t max_bytes = std::size_t{256} << 20);
void WriteFileBytes(const std::string &path, std::span<const std::byte> bytes);

}  // namespace vx
