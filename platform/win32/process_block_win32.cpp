// Process-wide blocks on Windows: a named file mapping whose name carries the process id, so
// that every module of this process opens the same memory and no other process's. Each module
// maps its own view and unmaps it when it is unloaded.
#include "platform/win32/windows_api.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "platform/process_block.h"

namespace vx {
namespace {

struct View {
  HANDLE mapping = nullptr;
  void *data = nullptr;
};

struct Views {
  std::mutex mutex;
  std::map<std::string, View, std::less<>> views;
  ~Views() {
    for (auto &[name, view] : views) {
      UnmapViewOfFile(view.data);
      ::CloseHandle(view.mapping);
    }
  }
};

}  // namespace

void *ProcessWideBlock(std::string_view name, std::size_t size) {
  static Views views;
  std::lock_guard lock(views.mutex);
  if (auto it = views.views.find(name); it != views.views.end()) return it->second.data;
  const std::wstring wide = L"Local\\vxosd-" + std::wstring(name.begin(), name.end()) + L"-" +
                            std::to_wstring(GetCurrentProcessId());
  // Backed by the paging file: the system hands it out zero-filled.
  View view;
  view.mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                    static_cast<::DWORD>(std::uint64_t(size) >> 32),
                                    static_cast<::DWORD>(size), wide.c_str());
  if (view.mapping == nullptr) return nullptr;
  view.data = MapViewOfFile(view.mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (view.data == nullptr) {
    ::CloseHandle(view.mapping);
    return nullptr;
  }
  views.views.emplace(std::string(name), view);
  return view.data;
}

}  // namespace vx
