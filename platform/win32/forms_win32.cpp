// Forms on Windows: every TForm is a real top-level window, created hidden with the form and
// owned by the thread that created it (its messages arrive through that thread's message
// loop). Width and Height are the client area, as on Linux; the window's frame (caption,
// border) comes around it. The client area shows the form's client bitmap; closing the
// window hides it.
// forms.h (with canvas.h) before <windows.h>: some of its names are macros there, and vx::HDC
// is the project's canvas; the system's is ::HDC.
#include "platform/forms.h"
#include "platform/form_impl.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "platform/win32/wide.h"

namespace vx {

namespace {

constexpr wchar_t kFormClass[] = L"VxOsdForm";


LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

bool RegisterFormClass() {
  static const bool registered = [] {
    // The class's procedure is this module's code: pin the module, so that a host's
    // FreeLibrary cannot unmap it while a window of the class may get messages.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&FormProc), &pinned);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = FormProc;
    wc.hInstance = win32::ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kFormClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

struct WindowStyle {
  DWORD style;
  DWORD ex_style;
};

WindowStyle StyleOf(TFormBorderStyle border, TBorderIcons icons) {
  const bool menu = (icons & biSystemMenu) != 0;
  DWORD style = WS_CLIPCHILDREN;
  DWORD ex = 0;
  switch (border) {
    case TFormBorderStyle::bsNone: style |= WS_POPUP; break;
    case TFormBorderStyle::bsSingle: style |= WS_CAPTION; break;
    case TFormBorderStyle::bsSizeable: style |= WS_CAPTION | WS_THICKFRAME; break;
    case TFormBorderStyle::bsDialog: style |= WS_CAPTION | WS_DLGFRAME, ex |= WS_EX_DLGMODALFRAME; break;
    case TFormBorderStyle::bsToolWindow: style |= WS_CAPTION, ex |= WS_EX_TOOLWINDOW; break;
  }
  if (menu && border != TFormBorderStyle::bsNone) {
    style |= WS_SYSMENU;
    const bool dialog = border == TFormBorderStyle::bsDialog || border == TFormBorderStyle::bsToolWindow;
    if (!dialog && (icons & biMinimize) != 0) style |= WS_MINIMIZEBOX;
    if (!dialog && border == TFormBorderStyle::bsSizeable && (icons & biMaximize) != 0)
      style |= WS_MAXIMIZEBOX;
  }
  return {style, ex};
}

// Puts a bitmap at (0, 0) of a device context, converting through its palette or colours.
bool PutBitmap(::HDC dc, const TBitmap &bitmap) {
  if (bitmap.Empty()) return false;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info{};
  info.header.biSize = sizeof(info.header);
  info.header.biWidth = bitmap.Width();
  info.header.biPlanes = 1;
  info.header.biCompression = BI_RGB;
  switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf8bit:
      info.header.biBitCount = 8;
      info.header.biClrUsed = 256;
      for (std::size_t i = 0; i < 256; ++i) {
        const TPaletteEntry &e = bitmap.Palette()[i];
        info.colors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
      break;
    case TPixelFormat::pf24bit: info.header.biBitCount = 24; break;
    case TPixelFormat::pf32bit: info.header.biBitCount = 32; break;
    case TPixelFormat::pfARGB32: info.header.biBitCount = 32; break;  // as composed over black
  }
  const auto *bmi = reinterpret_cast<const BITMAPINFO *>(&info);
  const int w = bitmap.Width(), h = bitmap.Height();
  const int dib_stride = ((w * info.header.biBitCount + 31) / 32) * 4;
  if (bitmap.BytesPerScanLine() == dib_stride) {  // the rows are a top-down DIB as they are
    info.header.biHeight = -h;
    return SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                             static_cast<UINT>(h), bitmap.ScanLine(0), bmi, DIB_RGB_COLORS) != 0;
  }
  info.header.biHeight = -1;
  for (int y = 0; y < h; ++y)
    if (SetDIBitsToDevice(dc, 0, y, static_cast<DWORD>(w), 1, 0, 0, 0, 1, bitmap.ScanLine(y), bmi,
                          DIB_RGB_COLORS) == 0)
      return false;
  return true;
}

// A form's window: a top-level window of the form's class, made with the form.
struct Win32Form final : TForm::Impl {
  HWND hwnd = nullptr;
  // What the window currently has, to change only what changed.
  std::string shown_caption;
  int shown_w = -1, shown_h = -1;
  WindowStyle shown_style{0, 0};
  bool applying = false;  // our own resize: not the user's

  explicit Win32Form(TForm &f) : Impl(f) {
    if (!RegisterFormClass()) return;
    const WindowStyle ws = StyleOf(form.BorderStyle, form.BorderIcons);
    hwnd = CreateWindowExW(ws.ex_style, kFormClass, L"", ws.style, CW_USEDEFAULT, CW_USEDEFAULT, 1, 1,
                           nullptr, nullptr, win32::ThisModule(), nullptr);
    if (hwnd) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      shown_style = ws;
    }
  }

  ~Win32Form() override {
    if (hwnd) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      DestroyWindow(hwnd);
    }
  }


  void ApplyProperties() {
    if (!hwnd) return;
    applying = true;
    if (form.Caption != shown_caption) {
      SetWindowTextW(hwnd, win32::Widen(form.Caption).c_str());
      shown_caption = form.Caption;
    }
    const WindowStyle ws = StyleOf(form.BorderStyle, form.BorderIcons);
    const bool restyle = ws.style != shown_style.style || ws.ex_style != shown_style.ex_style;
    if (restyle) {
      SetWindowLongPtrW(hwnd, GWL_STYLE, static_cast<LONG_PTR>(ws.style | (visible ? WS_VISIBLE : 0)));
      SetWindowLongPtrW(hwnd, GWL_EXSTYLE, static_cast<LONG_PTR>(ws.ex_style));
      shown_style = ws;
    }
    const int w = std::max(0, client.Width()), h = std::max(0, client.Height());
    if (restyle || w != shown_w || h != shown_h) {
      RECT r{0, 0, w, h};
      AdjustWindowRectEx(&r, ws.style, FALSE, ws.ex_style);
      SetWindowPos(hwnd, nullptr, form.Left, form.Top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
      shown_w = w, shown_h = h;
    }
    applying = false;
  }

  void Paint(::HDC dc) { PutBitmap(dc, client); }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_CLOSE:
        // Closing hides the form, as the framework's default close action; it stays for reuse.
        Hide();
        return 0;
      case WM_PAINT: {
        PAINTSTRUCT ps;
        if (::HDC dc = BeginPaint(hwnd, &ps)) {
          try {
            Paint(dc);
          } catch (...) {
            // Validate the area anyway: an unpainted form beats a WM_PAINT storm.
          }
          EndPaint(hwnd, &ps);
        }
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;  // the paint covers the client area
      case WM_SIZE:
        // A user resizing a sizeable window resizes the client area.
        if (!applying && form.BorderStyle == TFormBorderStyle::bsSizeable && wp != SIZE_MINIMIZED) {
          form.Width = shown_w = LOWORD(lp);
          form.Height = shown_h = HIWORD(lp);
          SyncBitmap();
        }
        return 0;
      default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
  }

  void Show() override {
    visible = true;
    SyncBitmap();
    if (!hwnd) return;
    ApplyProperties();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
  }

  void Hide() override {
    visible = false;
    if (hwnd) ShowWindow(hwnd, SW_HIDE);
  }

  void Repaint() override {
    SyncBitmap();
    if (!hwnd) return;
    ApplyProperties();
    if (!visible) return;
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);  // painted when Repaint returns
  }

  unsigned long WindowId() const override {
    // Window handles keep their meaning in 32 bits, also in 64-bit processes.
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(hwnd));
  }
};

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto *impl = reinterpret_cast<Win32Form *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!impl) return DefWindowProcW(hwnd, msg, wp, lp);
  try {
    return impl->Handle(msg, wp, lp);
  } catch (...) {
    return 0;  // a paint that could not be done; nothing may unwind into the host's dispatch
  }
}

}  // namespace

std::unique_ptr<TForm::Impl> TForm::Impl::Create(TForm &form) {
  return std::make_unique<Win32Form>(form);
}

bool CopyToSystemDC(void *dc, const TBitmap &bitmap) {
  ::HDC target = static_cast<::HDC>(dc);
  if (!target) return false;
  const DWORD type = GetObjectType(target);
  if (type != OBJ_DC && type != OBJ_MEMDC) return false;
  return PutBitmap(target, bitmap);
}

}  // namespace vx
