// The operating-system shims on Linux.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/os.h"

namespace vx::os {

std::int64_t MonotonicMs() {
  // CLOCK_MONOTONIC: the message loop's timerfd counts on the same clock.
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

TDateParts LocalTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  time_t secs = ts.tv_sec;
  localtime_r(&secs, &tm);
  TDateParts p;
  p.Year = tm.tm_year + 1900;
  p.Month = tm.tm_mon + 1;
  p.Day = tm.tm_mday;
  p.Hour = tm.tm_hour;
  p.Minute = tm.tm_min;
  p.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  p.MSec = static_cast<int>(ts.tv_nsec / 1000000);
  return p;
}

std::FILE *OpenFile(const std::string &path, const char *mode) { return std::fopen(path.c_str(), mode); }

std::int64_t TellFile(std::FILE *file) { return ftello(file); }

bool SeekFile(std::FILE *file, std::int64_t offset) {
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

void ReplaceFile(const std::string &path, std::string_view data) {
  std::string tmp = path + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw EFCreateError("Cannot create file \"" + path + "\": " + std::strerror(errno));
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  else ::fchmod(fd, 0644);
  const char *p = data.data();
  std::size_t left = data.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) { ok = false; break; }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  int err = errno;
  if (ok && ::fsync(fd) != 0) { ok = false; err = errno; }
  if (::close(fd) != 0 && ok) { ok = false; err = errno; }
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) { ok = false; err = errno; }
  if (!ok) {
    ::unlink(tmp.c_str());
    throw EWriteError("Cannot write file \"" + path + "\": " + std::strerror(err));
  }
}

}  // namespace vx::os

namespace vx {

std::string FileNameFromUtf16(std::u16string_view name) { return FromUtf16(name, CP_ACP); }

}  // namespace vx
