#pragma once
// A form's implementation: what every backend shares (the client bitmap, whether the form is
// shown) and the window the backend puts behind it (forms_x11.cpp, forms_win32.cpp).

#include <memory>

#include "platform/bitmap.h"
#include "platform/forms.h"

namespace vx {

struct TForm::Impl {
  explicit Impl(TForm &f) : form(f) { client.SetPixelFormat(TPixelFormat::pf32bit); }
  virtual ~Impl() = default;
  Impl(const Impl &) = delete;
  Impl &operator=(const Impl &) = delete;

  // The backend's implementation, with its window where it can make one.
  static std::unique_ptr<Impl> Create(TForm &form);

  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Repaint() = 0;
  // The window id (the X11 window or the Windows window handle), 0 without a window.
  virtual unsigned long WindowId() const = 0;

  // The client bitmap follows the client size; a refused size (absurd numbers) keeps the old.
  void SyncBitmap();

  TForm &form;
  TBitmap client;
  bool visible = false;
};

}  // namespace vx
