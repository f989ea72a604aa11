// C run-time descriptors on Windows, opened by UTF-8 name through the UTF-16 call.
#include "platform/win32/windows_api.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include "platform/codepage.h"
#include "platform/descriptor.h"

namespace vx {

int OpenForWriting(const std::string &path) {
  const std::u16string name = Utf8ToUtf16(path);
  return _wopen(reinterpret_cast<const wchar_t *>(name.c_str()),
                _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool WriteAll(int fd, const void *data, std::size_t size) {
  const auto *p = static_cast<const std::uint8_t *>(data);
  while (size > 0) {
    const unsigned chunk = size > (1u << 30) ? (1u << 30) : static_cast<unsigned>(size);
    const int n = _write(fd, p, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void CloseDescriptor(int fd) {
  if (fd >= 0) _close(fd);
}

}  // namespace vx
