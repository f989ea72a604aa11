#include "platform/file_identity.h"

#include <sys/stat.h>

namespace vx {

namespace {
std::int64_t Nanoseconds(const struct timespec &t) {
  return UnixNanoseconds(static_cast<std::int64_t>(t.tv_sec), t.tv_nsec);
}
}  // namespace

std::optional<TFileIdentity> RegularFileIdentity(const std::string &path) {
  // A name with a zero byte in it would stop early and name another file.
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  TFileIdentity id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.file = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::uint64_t>(st.st_size);
  id.modified_ns = Nanoseconds(st.st_mtim);
  id.changed_ns = Nanoseconds(st.st_ctim);
  return id;
}

}  // namespace vx
