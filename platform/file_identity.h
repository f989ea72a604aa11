#pragma once
// What tells one state of a file from another. A copy that keeps time stamps (cp -p, rsync -t,
// an unpacked archive) can replace a file by one of the same size and modification time; it
// still gets another file number (renamed into place) or a new change time (rewritten in
// place), and neither can be set back by a program.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace vx {

struct TFileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;  // the file's number on its device (inode, or file index)
  std::uint64_t size = 0;
  // Nanoseconds since 1970-01-01 00:00 UTC on every system; times outside what 64 bits of
  // nanoseconds hold (before 1677, after 2262) stand at the nearest end.
  std::int64_t modified_ns = 0;  // modification time
  std::int64_t changed_ns = 0;   // change time: any write or change of the file's metadata
  bool operator==(const TFileIdentity &) const = default;
};

// seconds + nanoseconds (0 <= nanoseconds < 10^9) since 1970 as 64-bit nanoseconds, saturated.
constexpr std::int64_t UnixNanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  if (seconds > (kMax - nanoseconds) / 1'000'000'000) return kMax;
  if (seconds < kMin / 1'000'000'000) return kMin;
  return seconds * 1'000'000'000 + nanoseconds;
}

// A Windows file time (100 ns ticks since 1601-01-01 UTC) in the same terms.
constexpr std::int64_t FileTimeToUnixNanoseconds(std::int64_t ticks) {
  constexpr std::int64_t kTicksPerSecond = 10'000'000;
  constexpr std::int64_t kSeconds1601To1970 = 11'644'473'600;
  std::int64_t seconds = ticks / kTicksPerSecond, rest = ticks % kTicksPerSecond;
  if (rest < 0) rest += kTicksPerSecond, --seconds;
  return UnixNanoseconds(seconds - kSeconds1601To1970, rest * 100);
}

// The identity of the regular file at path (the library's file name bytes, see stream.h;
// links are followed).
// Nothing when the path is empty or holds a zero byte, names nothing, names no regular file
// (a directory, a pipe, a device), or cannot be examined.
std::optional<TFileIdentity> RegularFileIdentity(const std::string &path);

}  // namespace vx
