#include "platform/forms.h"
#include "platform/form_impl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/timer.h"

#ifdef VXOSD_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace vx {

#ifdef VXOSD_HAVE_X11
namespace {

// Xlib's default error handler ends the process; a debug window must never do that to the
// host. Errors on our requests (a window the server already dropped) are ignored.
int IgnoreXError(Display *, XErrorEvent *) { return 0; }

// Motif window-manager hints: the de-facto way to ask for title-bar buttons.
struct MotifHints {
  unsigned long flags, functions, decorations;
  long input_mode;
  unsigned long status;
};
constexpr unsigned long kMwmHintsFunctions = 1, kMwmHintsDecorations = 2;
constexpr unsigned long kMwmFuncResize = 2, kMwmFuncMove = 4, kMwmFuncMinimize = 8,
                        kMwmFuncMaximize = 16, kMwmFuncClose = 32;
constexpr unsigned long kMwmDecorBorder = 2, kMwmDecorResizeH = 4, kMwmDecorTitle = 8,
                        kMwmDecorMenu = 16, kMwmDecorMinimize = 32, kMwmDecorMaximize = 64;

int MaskShift(unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
  return shift;
}
int MaskBits(unsigned long mask) {
  int bits = 0;
  for (; mask != 0; mask >>= 1) bits += static_cast<int>(mask & 1);
  return bits;
}

}  // namespace
#endif

namespace {

// A form's window on the X server named by DISPLAY, made at its first Show; none without one.
struct X11Form final : TForm::Impl {
#ifdef VXOSD_HAVE_X11
  bool tried_display = false;
  Display *display = nullptr;
  Window window = 0;
  Atom wm_protocols = 0, wm_delete = 0, net_wm_name = 0, utf8_string = 0, motif_hints = 0;
  MessageLoop::Source source;
  // What the window currently shows, to change only what changed.
  std::string shown_caption;
  int shown_w = -1, shown_h = -1;
  TFormBorderStyle shown_style{};
  TBorderIcons shown_icons = ~0u;
  unsigned long resize_serial = 0;  // our last resize: older configure events are stale
#endif

  explicit X11Form(TForm &f) : Impl(f) {}

  ~X11Form() override {
#ifdef VXOSD_HAVE_X11
    source.Reset();
    if (display != nullptr) {
      if (window != 0) XDestroyWindow(display, window);
      XCloseDisplay(display);
    }
#endif
  }

  // The client bitmap follows the client size; a refused size (absurd numbers) keeps the old.

#ifdef VXOSD_HAVE_X11
  void EnsureWindow() {
    if (window != 0 || tried_display) return;
    tried_display = true;
    const char *name = std::getenv("DISPLAY");
    if (name == nullptr || *name == 0) return;
    display = XOpenDisplay(name);
    if (display == nullptr) return;
    XSetErrorHandler(IgnoreXError);
    const int screen = DefaultScreen(display);
    const int w = std::max(1, client.Width()), h = std::max(1, client.Height());
    resize_serial = NextRequest(display);
    window = XCreateSimpleWindow(display, RootWindow(display, screen), form.Left, form.Top,
                                 static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                                 BlackPixel(display, screen), BlackPixel(display, screen));
    XSelectInput(display, window, ExposureMask | StructureNotifyMask);
    wm_protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    wm_delete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
    utf8_string = XInternAtom(display, "UTF8_STRING", False);
    motif_hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    XSetWMProtocols(display, window, &wm_delete, 1);
    source = MessageLoop::Current().AddSource(ConnectionNumber(display), [this] { PumpEvents(); });
  }

  void ApplyProperties() {
    if (window == 0) return;
    const int w = std::max(1, client.Width()), h = std::max(1, client.Height());
    if (form.Caption != shown_caption || shown_w < 0) {
      const auto *bytes = reinterpret_cast<const unsigned char *>(form.Caption.data());
      const int len = static_cast<int>(form.Caption.size());
      const bool ascii = std::all_of(form.Caption.begin(), form.Caption.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
      XChangeProperty(display, window, XA_WM_NAME, ascii ? XA_STRING : utf8_string, 8,
                      PropModeReplace, bytes, len);
      XChangeProperty(display, window, net_wm_name, utf8_string, 8, PropModeReplace, bytes, len);
      shown_caption = form.Caption;
    }
    const bool fixed = form.BorderStyle != TFormBorderStyle::bsSizeable;
    if (w != shown_w || h != shown_h || form.BorderStyle != shown_style) {
      if (shown_w >= 0 && (w != shown_w || h != shown_h)) {
        resize_serial = NextRequest(display);
        XResizeWindow(display, window, static_cast<unsigned>(w), static_cast<unsigned>(h));
      }
      XSizeHints *hints = XAllocSizeHints();
      hints->flags = PPosition | USPosition | PSize;
      hints->x = form.Left, hints->y = form.Top, hints->width = w, hints->height = h;
      if (fixed) {  // a single border: not resizable
        hints->flags |= PMinSize | PMaxSize;
        hints->min_width = hints->max_width = w;
        hints->min_height = hints->max_height = h;
      }
      XSetWMNormalHints(display, window, hints);
      XFree(hints);
      shown_w = w, shown_h = h;
    }
    if (form.BorderStyle != shown_style || form.BorderIcons != shown_icons) {
      const bool menu = (form.BorderIcons & biSystemMenu) != 0;
      MotifHints mh{kMwmHintsFunctions | kMwmHintsDecorations, kMwmFuncMove, 0, 0, 0};
      if (form.BorderStyle != TFormBorderStyle::bsNone) mh.decorations = kMwmDecorBorder | kMwmDecorTitle;
      if (!fixed) mh.functions |= kMwmFuncResize, mh.decorations |= kMwmDecorResizeH;
      if (menu) {
        mh.functions |= kMwmFuncClose;
        if (form.BorderStyle != TFormBorderStyle::bsNone) mh.decorations |= kMwmDecorMenu;
        // Minimise and maximise buttons come with the system menu, and not on dialogs.
        const bool dialog = form.BorderStyle == TFormBorderStyle::bsDialog ||
                            form.BorderStyle == TFormBorderStyle::bsToolWindow;
        if (!dialog && (form.BorderIcons & biMinimize) != 0)
          mh.functions |= kMwmFuncMinimize, mh.decorations |= kMwmDecorMinimize;
        if (!dialog && !fixed && (form.BorderIcons & biMaximize) != 0)
          mh.functions |= kMwmFuncMaximize, mh.decorations |= kMwmDecorMaximize;
      }
      XChangeProperty(display, window, motif_hints, motif_hints, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char *>(&mh), 5);
      shown_style = form.BorderStyle;
      shown_icons = form.BorderIcons;
    }
  }

  // Puts the client bitmap on the window.
  void PutImage() {
    if (window == 0 || !visible || client.Empty()) return;
    const int screen = DefaultScreen(display);
    Visual *visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    const int w = client.Width(), h = client.Height();
    XImage *image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (image == nullptr) return;
    std::vector<char> data(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(h));
    image->data = data.data();
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
                        image->blue_mask == 0xFF;
    if (direct) {  // B,G,R,X rows are the server's own layout
      for (int y = 0; y < h; ++y)
        std::memcpy(data.data() + static_cast<std::size_t>(y) * image->bytes_per_line, client.ScanLine(y),
                    static_cast<std::size_t>(w) * 4);
    } else {
      const int rs = MaskShift(image->red_mask), gs = MaskShift(image->green_mask),
                bs = MaskShift(image->blue_mask);
      const int rb = MaskBits(image->red_mask), gb = MaskBits(image->green_mask),
                bb = MaskBits(image->blue_mask);
      for (int y = 0; y < h; ++y) {
        const std::uint8_t *row = client.ScanLine(y);
        for (int x = 0; x < w; ++x) {
          const std::uint8_t *p = row + x * 4;
          unsigned long pixel = (static_cast<unsigned long>(p[2]) >> (8 - std::min(rb, 8))) << rs |
                                (static_cast<unsigned long>(p[1]) >> (8 - std::min(gb, 8))) << gs |
                                (static_cast<unsigned long>(p[0]) >> (8 - std::min(bb, 8))) << bs;
          XPutPixel(image, x, y, pixel);
        }
      }
    }
    GC gc = DefaultGC(display, screen);
    XPutImage(display, window, gc, image, 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
    image->data = nullptr;  // ours, not Xlib's to free
    XDestroyImage(image);
    XSync(display, False);  // on screen when Repaint returns, for whoever looks next
  }

  // Handles what the window system sent, without blocking.
  void PumpEvents() {
    if (display == nullptr) return;
    while (XPending(display) > 0) {
      XEvent ev;
      XNextEvent(display, &ev);
      if (ev.xany.window != window) continue;
      switch (ev.type) {
        case ClientMessage:
          // Closing the window hides the form, as the framework's default close action.
          if (ev.xclient.message_type == wm_protocols &&
              static_cast<Atom>(ev.xclient.data.l[0]) == wm_delete)
            Hide();
          break;
        case Expose:
          if (ev.xexpose.count == 0) PutImage();
          break;
        case ConfigureNotify:
          // A user resizing a sizeable window resizes the client area.
          if (form.BorderStyle == TFormBorderStyle::bsSizeable && visible &&
              ev.xany.serial >= resize_serial &&
              (ev.xconfigure.width != shown_w || ev.xconfigure.height != shown_h)) {
            form.Width = shown_w = ev.xconfigure.width;
            form.Height = shown_h = ev.xconfigure.height;
            SyncBitmap();
          }
          break;
        default:
          break;
      }
    }
  }
#endif

  void Show() override {
    visible = true;
    SyncBitmap();
#ifdef VXOSD_HAVE_X11
    EnsureWindow();
    if (window == 0) return;
    ApplyProperties();
    XMoveWindow(display, window, form.Left, form.Top);
    XMapRaised(display, window);
    XSync(display, False);
    PutImage();
    PumpEvents();
#endif
  }

  void Hide() override {
    visible = false;
#ifdef VXOSD_HAVE_X11
    if (window == 0) return;
    XWithdrawWindow(display, window, DefaultScreen(display));
    XSync(display, False);
#endif
  }

  void Repaint() override {
    SyncBitmap();
#ifdef VXOSD_HAVE_X11
    if (window == 0) return;
    PumpEvents();
    ApplyProperties();
    PutImage();
#endif
  }

  unsigned long WindowId() const override {
#ifdef VXOSD_HAVE_X11
    return window;
#else
    return 0;
#endif
  }
};

}  // namespace

std::unique_ptr<TForm::Impl> TForm::Impl::Create(TForm &form) {
  return std::make_unique<X11Form>(form);
}

// Linux hosts have no system device contexts: theirs are made by VxOSD_CreateBufferDC.
bool CopyToSystemDC(void *, const TBitmap &) { return false; }

}  // namespace vx
