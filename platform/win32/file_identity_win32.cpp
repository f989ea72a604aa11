// File identity on Windows: the volume serial number and file index stand for device and
// inode; the change time comes from the file's basic information.
#include "platform/win32/windows_api.h"

#include "platform/codepage.h"
#include "platform/file_identity.h"

namespace vx {

namespace {

std::int64_t Nanoseconds(LARGE_INTEGER t) { return FileTimeToUnixNanoseconds(t.QuadPart); }

// A closed handle on every path out.
struct Handle {
  HANDLE h;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};

}  // namespace

std::optional<TFileIdentity> RegularFileIdentity(const std::string &path) {
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  const std::u16string name = Utf8ToUtf16(path);
  // Opened for its attributes only, shared every way, so that it never stands in a writer's way.
  const Handle file{CreateFileW(reinterpret_cast<const wchar_t *>(name.c_str()), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  if (file.h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (GetFileType(file.h) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      !GetFileInformationByHandleEx(file.h, FileBasicInfo, &basic, sizeof basic))
    return std::nullopt;
  TFileIdentity id;
  id.device = info.dwVolumeSerialNumber;
  id.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  id.modified_ns = Nanoseconds(basic.LastWriteTime);
  id.changed_ns = Nanoseconds(basic.ChangeTime);
  return id;
}

}  // namespace vx
