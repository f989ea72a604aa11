#pragma once
// Forms as the system needs them: a caption, a position, a client size, a border, shown or
// hidden, and a canvas. On Windows every form is a real window, created hidden with the form
// on the creating thread, whose message loop handles it. On Linux, with a display (DISPLAY set
// and reachable when the form is first shown) a form is a real X11 top-level window;
// otherwise it is an off-screen form with the same state; its events are handled by the
// message loop of the thread that first showed the form (and on Show/Repaint). Use a form on
// the thread that made it only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"

namespace vx {

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = unsigned;

class TForm {
 public:
  TForm();
  virtual ~TForm();
  TForm(const TForm &) = delete;
  TForm &operator=(const TForm &) = delete;

  std::string Caption;  // UTF-8
  // Width/Height are the client size: the caption and border come around it.
  int Left = 0, Top = 0, Width = 0, Height = 0;
  TBorderIcons BorderIcons = biSystemMenu | biMinimize | biMaximize;
  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;

  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int w);
  void SetClientHeight(int h);

  void Show();
  void Hide();  // closing the window hides it
  // Single, dialog, tool-window and no border: fixed size (the window manager is told
  // min = max); sizeable: the user may resize, which resizes the client area.
  bool Visible() const;
  // The client area's pixels (32-bit, resized to the client size, old pixels kept at the
  // top-left); drawing on it shows in the window after Repaint.
  TCanvas &Canvas();
  TBitmap &ClientBitmap();
  void Repaint();
  // Whether a real window backs the form (on Linux from its first Show on a display), and
  // its window id (the X11 window or the Windows window handle; 0 without one).
  bool HasWindow() const;
  unsigned long WindowId() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Copies `bitmap` to (0, 0) of a device context of the operating system (on Windows an HDC of
// a window or a memory DC, converted to its format). False when `dc` is not one, or the
// system has none (Linux).
bool CopyToSystemDC(void *dc, const TBitmap &bitmap);

// Picture control: holds a bitmap, tells its owner when it changed.
class TImage {
 public:
  TBitmap &Picture() { return picture_; }
  std::function<void()> OnChange;
  void Changed() { if (OnChange) OnChange(); }

 private:
  TBitmap picture_;
};

}  // namespace vx
