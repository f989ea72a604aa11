#include "platform/descriptor.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace vx {

int OpenForWriting(const std::string &path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

bool WriteAll(int fd, const void *data, std::size_t size) {
  // SIGPIPE is blocked while writing and a pending one from our own write is taken back.
  sigset_t pipe_set, old_set;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
  const auto *p = static_cast<const std::uint8_t *>(data);
  bool ok = true;
  bool broken = false;
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      broken = errno == EPIPE;
      ok = false;
      break;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  if (broken && !sigismember(&old_set, SIGPIPE)) {
    const timespec zero{0, 0};
    while (sigtimedwait(&pipe_set, nullptr, &zero) > 0) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
  return ok;
}

void CloseDescriptor(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace vx
