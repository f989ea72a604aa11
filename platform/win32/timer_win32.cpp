// The message loop on Windows. Each thread's loop owns a hidden message-only window with one
// USER timer, kept on the earliest due time of the thread's TTimers. The timer's WM_TIMER
// fires the due TTimers wherever it is dispatched: in ProcessMessages, or in a host's own
// GetMessage/DispatchMessage loop, which is how the host drives the library. Keeping the queue
// in our hands (rather than one USER timer per TTimer) keeps the order of equal due times, the
// no-burst rule and the manual clock the same as on Linux.
#include "platform/win32/windows_api.h"

#include <algorithm>

#include "platform/com.h"
#include "platform/message_loop_impl.h"
#include "platform/win32/wide.h"

namespace vx {
namespace {

constexpr UINT_PTR kTimerId = 1;

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

const wchar_t *WindowClass() {
  static const wchar_t *const name = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = win32::ThisModule();
    wc.lpszClassName = L"VxOSDMessageLoop";
    RegisterClassExW(&wc);  // fails harmlessly if this module registered it already
    return L"VxOSDMessageLoop";
  }();
  return name;
}

}  // namespace

struct MessageLoop::Impl::Os {
  HWND window = nullptr;
  std::int64_t armed_due = -1;  // the due time the USER timer is set for, -1 when stopped
  std::uint64_t fired = 0;      // TTimer events run from WM_TIMER, for ProcessMessages' count
  ~Os() {
    if (window != nullptr) DestroyWindow(window);
  }
};

// The thread's loop is destroyed by a fiber-local storage callback when the thread ends: the
// run-time's thread_local objects with destructors are not reliable on this platform (their
// storage can be gone before the destructor runs).
namespace {

using ShutdownQuery = BOOLEAN(WINAPI *)();

// The system's "is the process exiting" (ntdll's RtlDllShutdownInProgress), null if absent.
ShutdownQuery ShutdownInProgress() {
  static const ShutdownQuery query = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC proc = ntdll != nullptr ? GetProcAddress(ntdll, "RtlDllShutdownInProgress") : nullptr;
    return reinterpret_cast<ShutdownQuery>(reinterpret_cast<void (*)()>(proc));
  }();
  return query;
}

void WINAPI DestroyLoop(void *loop) {
  // During the process's exit the system has ended the other threads already, and may have
  // detached the DLLs they used (a card's driver): leave the loop and what it holds alone.
  if (ShutdownQuery query = ShutdownInProgress(); query != nullptr && query()) return;
  delete static_cast<MessageLoop *>(loop);
}

// Once a thread has a loop, the slot's callback and the hidden window's procedure are code of
// this module that the system calls later (at thread end, on WM_TIMER): a host's FreeLibrary
// must not unmap it, so the module is pinned from then on.
DWORD AllocateLoopSlot() {
  HMODULE pinned = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&DestroyLoop), &pinned);
  ShutdownInProgress();  // looked up now, not first during the exit
  return FlsAlloc(DestroyLoop);
}

}  // namespace

MessageLoop &MessageLoop::Current() {
  static const DWORD slot = AllocateLoopSlot();
  thread_local MessageLoop *loop = nullptr;
  if (loop == nullptr) {
    auto owned = std::make_unique<MessageLoop>();
    if (slot != FLS_OUT_OF_INDEXES) FlsSetValue(slot, owned.get());
    loop = owned.release();  // owned by the slot from here on (leaked if there is none)
  }
  return *loop;
}

MessageLoop::Impl::Impl() : os(std::make_unique<Os>()) {}
MessageLoop::Impl::~Impl() = default;

namespace {

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kTimerId) {
    auto *loop = reinterpret_cast<MessageLoop::Impl *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (loop != nullptr) {
      loop->os->armed_due = -1;  // rearmed below for the next due time
      // The handlers' own errors stay in FireDue; nothing may unwind into DispatchMessageW.
      try {
        std::shared_ptr<Clock> clock = loop->clock;
        if (!clock->IsManual()) loop->os->fired += loop->FireDue(clock->NowMs());
        else KillTimer(window, kTimerId);
      } catch (...) {
        loop->ReportHandlerError("the message loop ran out of memory");
        loop->Rearm();
      }
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void MessageLoop::Impl::Rearm() {
  const bool wanted = !queue.empty() && !clock->IsManual();
  if (!wanted) {
    if (os->armed_due >= 0 && os->window != nullptr) KillTimer(os->window, kTimerId);
    os->armed_due = -1;
    return;
  }
  const std::int64_t due = queue.begin()->due;
  if (due == os->armed_due) return;
  if (os->window == nullptr) {
    os->window = CreateWindowExW(0, WindowClass(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, win32::ThisModule(), nullptr);
    if (os->window == nullptr) return;  // ProcessMessages still fires timers on its own wait
    SetWindowLongPtrW(os->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  const std::int64_t delay = std::clamp<std::int64_t>(due - clock->NowMs(), USER_TIMER_MINIMUM, 0x7FFFFFFF);
  if (SetTimer(os->window, kTimerId, static_cast<UINT>(delay), nullptr) != 0) os->armed_due = due;
}

namespace {

// Dispatches every message waiting for the thread; true when there was one. WM_QUIT is put
// back for the host's own loop to see.
bool DispatchWaiting() {
  bool any = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    any = true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return any;
}

}  // namespace

std::uint32_t MessageLoop::ProcessMessages(std::uint32_t max_wait_ms) {
  Impl &m = *impl_;
  const std::uint64_t fired_before = m.os->fired;
  m.Pump();
  // Messages already waiting count as the first event: dispatch them and do not wait.
  const bool input_waiting = DispatchWaiting();
  std::shared_ptr<Clock> clock = m.clock;  // a handler may replace the loop's clock
  std::int64_t now = clock->NowMs();
  if (!input_waiting && m.os->fired == fired_before) {
    m.WaitForInput(*clock, now, max_wait_ms, [&](std::uint32_t ms) {
      if (MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0 ||
          !DispatchWaiting())
        return false;
      m.Pump();
      return true;
    });
    now = clock->NowMs();
  }
  const std::uint64_t from_messages = m.os->fired - fired_before;
  return static_cast<std::uint32_t>(from_messages) + m.FireDue(now);
}

// Windows hosts drive the loop through their own message loop; there is no descriptor.
int MessageLoop::EventFd() { return -1; }

}  // namespace vx
