// The operating-system shims on Windows.
#include "platform/win32/windows_api.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/os.h"
#include "platform/stream.h"
#include "platform/win32/wide.h"

namespace vx::os {
namespace {

std::string ErrorText(DWORD error) {
  wchar_t *text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::u16string message;
  if (n > 0 && text != nullptr) message.assign(text, text + n);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' '))
    message.pop_back();
  if (message.empty()) return "error " + std::to_string(error);
  return Utf16ToUtf8(message);
}

}  // namespace

std::int64_t MonotonicMs() {
  // GetTickCount64 counts on the clock SetTimer uses, at the timer's own granularity.
  return static_cast<std::int64_t>(GetTickCount64());
}

TDateParts LocalTimeNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  TDateParts p;
  p.Year = st.wYear;
  p.Month = st.wMonth;
  p.Day = st.wDay;
  p.Hour = st.wHour;
  p.Minute = st.wMinute;
  p.Second = st.wSecond > 59 ? 59 : st.wSecond;
  p.MSec = st.wMilliseconds;
  return p;
}

std::FILE *OpenFile(const std::string &path, const char *mode) {
  return _wfopen(win32::Widen(path).c_str(), win32::Widen(mode).c_str());
}

std::int64_t TellFile(std::FILE *file) { return _ftelli64(file); }

bool SeekFile(std::FILE *file, std::int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }

void ReplaceFile(const std::string &path, std::string_view data) {
  static LONG counter = 0;
  const std::wstring target = win32::Widen(path);
  const std::wstring tmp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                           std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
  HANDLE file = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw EFCreateError("Cannot create file \"" + path + "\": " + ErrorText(GetLastError()));
  bool ok = true;
  const char *p = data.data();
  std::size_t left = data.size();
  while (ok && left > 0) {
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    ok = WriteFile(file, p, chunk, &written, nullptr) && written > 0;
    p += written;
    left -= written;
  }
  DWORD error = ok ? 0 : GetLastError();
  if (ok && !FlushFileBuffers(file)) ok = false, error = GetLastError();
  if (!CloseHandle(file) && ok) ok = false, error = GetLastError();
  // Replaces the old file in one step: readers see the old contents or the new, never half.
  if (ok && !MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ok = false, error = GetLastError();
  if (!ok) {
    DeleteFileW(tmp.c_str());
    throw EWriteError("Cannot write file \"" + path + "\": " + ErrorText(error));
  }
}

}  // namespace vx::os

namespace vx {

std::string FileNameFromUtf16(std::u16string_view name) { return Utf16ToUtf8(name); }

}  // namespace vx
