#include "platform/forms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/timer.h"

#ifdef VXOSD_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vx {
namespace {

// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value) : name_(name) {
    const char *old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char *name_;
  bool had_ = false;
  std::string old_;
};

TEST(OffScreenForm, KeepsItsStateAndCanvasWithoutADisplay) {
  ScopedEnv no_display("DISPLAY", nullptr);
  TForm form;
  form.Caption = "debug";
  form.SetClientWidth(40);
  form.SetClientHeight(30);
  EXPECT_FALSE(form.Visible());
  form.Show();
  EXPECT_TRUE(form.Visible());
  EXPECT_FALSE(form.HasWindow());
  EXPECT_EQ(form.WindowId(), 0u);
  EXPECT_EQ(form.ClientBitmap().Width(), 40);
  EXPECT_EQ(form.ClientBitmap().Height(), 30);
  EXPECT_EQ(form.ClientBitmap().PixelFormat(), TPixelFormat::pf32bit);
  form.Canvas().Brush.Color = clRed;
  form.Canvas().FillRect(Rect(0, 0, 10, 10));
  form.Repaint();
  // Growing the client keeps the drawing at the top-left.
  form.SetClientWidth(80);
  EXPECT_EQ(form.ClientBitmap().Width(), 80);
  EXPECT_EQ(form.ClientBitmap().GetPixel(5, 5), clRed);
  form.SetClientWidth(-5);
  EXPECT_EQ(form.ClientWidth(), 0);
  EXPECT_TRUE(form.ClientBitmap().Empty());
  form.Hide();
  EXPECT_FALSE(form.Visible());
}

TEST(Image, TellsItsOwnerWhenItChanged) {
  TImage image;
  int changes = 0;
  image.Changed();  // no owner yet: nothing happens
  image.OnChange = [&] { ++changes; };
  image.Picture().SetSize(4, 4);
  image.Changed();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image.Picture().Width(), 4);
}

#ifdef VXOSD_HAVE_X11

// A display for the window tests: the one in DISPLAY when it answers, else a private Xvfb
// started for this test program (it reports its display number on a pipe once it is ready;
// -noreset keeps it from resetting, and refusing connections, whenever the last client leaves).
class XServer : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char *d = std::getenv("DISPLAY"); d != nullptr && *d != 0) {
      if (Display *dpy = XOpenDisplay(d)) {
        XCloseDisplay(dpy);
        available_ = true;
        return;
      }
    }
    int fds[2];
    if (pipe(fds) != 0) return reason_ = "no pipe", void();
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      int devnull = open("/dev/null", O_WRONLY);
      if (devnull >= 0) dup2(devnull, 2);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-noreset", "-nolisten",
             "tcp", static_cast<char *>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) return close(fds[0]), reason_ = "fork failed", void();
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return reason_ = "Xvfb could not be started", void();
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    available_ = true;
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      unsetenv("DISPLAY");
    }
  }
  static bool available_;
  static std::string reason_;

 private:
  pid_t pid_ = -1;
  std::string display_;
};
bool XServer::available_ = false;
std::string XServer::reason_ = "no X server";

const auto *const g_xserver = ::testing::AddGlobalTestEnvironment(new XServer);

// The test's own connection, reading back what the form's window shows.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServer::available_) GTEST_SKIP() << "window tests skipped: " << XServer::reason_;
    dpy_ = XOpenDisplay(nullptr);
    ASSERT_NE(dpy_, nullptr);
    MessageLoop::Current().SetClock(nullptr);
  }
  void TearDown() override {
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
  }

  // 0x00BBGGRR of one window pixel.
  TColor PixelAt(Window w, int x, int y) {
    XImage *img = XGetImage(dpy_, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (img == nullptr) return -1;
    unsigned long p = XGetPixel(img, 0, 0);
    auto channel = [&](unsigned long mask) {
      int shift = 0;
      while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
      return static_cast<int>((p >> shift) & 0xFF);
    };
    TColor c = RGB(channel(img->red_mask), channel(img->green_mask), channel(img->blue_mask));
    XDestroyImage(img);
    return c;
  }
  std::string Property(Window w, const char *name) {
    Atom atom = XInternAtom(dpy_, name, False), type;
    int format;
    unsigned long n, after;
    unsigned char *data = nullptr;
    std::string value;
    if (XGetWindowProperty(dpy_, w, atom, 0, 1024, False, AnyPropertyType, &type, &format, &n, &after,
                           &data) == Success &&
        data != nullptr) {
      value.assign(reinterpret_cast<char *>(data), n);
      XFree(data);
    }
    return value;
  }
  int MapState(Window w) {
    XWindowAttributes a{};
    XGetWindowAttributes(dpy_, w, &a);
    return a.map_state;
  }

  Display *dpy_ = nullptr;
};

TEST_F(WindowTest, ShowsCaptionFixedSizeAndTheCanvasPixels) {
  TForm form;
  form.Caption = "VXOSD 调试";
  form.Left = 20;
  form.Top = 30;
  form.SetClientWidth(64);
  form.SetClientHeight(48);
  form.BorderStyle = TFormBorderStyle::bsSingle;
  form.BorderIcons = biSystemMenu | biMinimize;
  TCanvas &c = form.Canvas();
  c.Brush.Color = clBlue;
  c.FillRect(Rect(0, 0, 64, 48));
  c.Brush.Color = RGB(0, 255, 0);
  c.FillRect(Rect(10, 5, 30, 20));
  form.Show();
  ASSERT_TRUE(form.HasWindow());
  const Window w = form.WindowId();
  XSync(dpy_, False);
  EXPECT_EQ(MapState(w), IsViewable);
  EXPECT_EQ(Property(w, "_NET_WM_NAME"), "VXOSD 调试");
  EXPECT_EQ(Property(w, "WM_NAME"), "VXOSD 调试");

  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(dpy_, w, &hints, &supplied));
  EXPECT_TRUE(hints.flags & PMinSize);
  EXPECT_TRUE(hints.flags & PMaxSize);
  EXPECT_EQ(hints.min_width, 64);
  EXPECT_EQ(hints.max_width, 64);
  EXPECT_EQ(hints.min_height, 48);
  EXPECT_EQ(hints.max_height, 48);
  EXPECT_EQ(hints.x, 20);
  EXPECT_EQ(hints.y, 30);

  XWindowAttributes a{};
  XGetWindowAttributes(dpy_, w, &a);
  EXPECT_EQ(a.width, 64);
  EXPECT_EQ(a.height, 48);
  EXPECT_EQ(PixelAt(w, 0, 0), clBlue);
  EXPECT_EQ(PixelAt(w, 10, 5), RGB(0, 255, 0));
  EXPECT_EQ(PixelAt(w, 29, 19), RGB(0, 255, 0));
  EXPECT_EQ(PixelAt(w, 30, 19), clBlue);
  EXPECT_EQ(PixelAt(w, 63, 47), clBlue);

  // Drawing shows after Repaint, and only then.
  c.Brush.Color = clRed;
  c.FillRect(Rect(60, 40, 64, 48));
  EXPECT_EQ(PixelAt(w, 63, 47), clBlue);
  form.Repaint();
  XSync(dpy_, False);
  EXPECT_EQ(PixelAt(w, 63, 47), clRed);
}

TEST_F(WindowTest, ClosingTheWindowHidesTheForm) {
  TForm form;
  form.Caption = "close me";
  form.SetClientWidth(32);
  form.SetClientHeight(16);
  form.Show();
  ASSERT_TRUE(form.HasWindow());
  const Window w = form.WindowId();

  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy_, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy_, w, False, NoEventMask, &ev);
  XSync(dpy_, False);
  // The message loop hands the window's events to the form; it waits on the connection.
  for (int i = 0; i < 100 && form.Visible(); ++i) MessageLoop::Current().ProcessMessages(200);
  EXPECT_FALSE(form.Visible());
  XSync(dpy_, False);
  EXPECT_EQ(MapState(w), IsUnmapped);

  form.Show();  // shown again, the same window
  XSync(dpy_, False);
  EXPECT_EQ(form.WindowId(), w);
  EXPECT_EQ(MapState(w), IsViewable);
}

TEST_F(WindowTest, SizeableFormsCanBeResizedAndFollowTheClientSize) {
  TForm form;
  form.SetClientWidth(50);
  form.SetClientHeight(40);
  form.BorderStyle = TFormBorderStyle::bsSizeable;
  form.Show();
  const Window w = form.WindowId();
  XSizeHints hints{};
  long supplied = 0;
  XSync(dpy_, False);
  ASSERT_TRUE(XGetWMNormalHints(dpy_, w, &hints, &supplied));
  EXPECT_FALSE(hints.flags & (PMinSize | PMaxSize));

  form.SetClientWidth(70);
  form.SetClientHeight(20);
  form.Canvas().Brush.Color = clYellow;
  form.Canvas().FillRect(Rect(0, 0, 70, 20));
  form.Repaint();
  XSync(dpy_, False);
  XWindowAttributes a{};
  XGetWindowAttributes(dpy_, w, &a);
  EXPECT_EQ(a.width, 70);
  EXPECT_EQ(a.height, 20);
  EXPECT_EQ(PixelAt(w, 69, 19), clYellow);
}

#endif  // VXOSD_HAVE_X11

}  // namespace
}  // namespace vx
