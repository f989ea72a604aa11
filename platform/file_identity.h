#pragma once
// What tells one state of a file from another. A copy that keeps time stamps (cp -p, rsync -t,
// an unpacked archive) can replace a file by one of the same size and modification time; it
// still gets another file number (renamed into place) or a new change time (rewritten in
// place), and neither can be set back by a program.

#include <cstdint>
#include <optional>
#include <string>

namespace vx {

struct TFileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;  // the file's number on its device (inode, or file index)
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // modification time
  std::int64_t changed_ns = 0;   // change time: any write or change of the file's metadata
  bool operator==(const TFileIdentity &) const = default;
};

// The identity of the regular file at path (the library's file name bytes, see stream.h;
// links are followed).
// Nothing when the path is empty or holds a zero byte, names nothing, names no regular file
// (a directory, a pipe, a device), or cannot be examined.
std::optional<TFileIdentity> RegularFileIdentity(const std::string &path);

}  // namespace vx
