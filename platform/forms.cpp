// The form's interface over the backend's implementation (platform/form_impl.h).
#include "platform/forms.h"

#include <algorithm>
#include <exception>

#include "platform/form_impl.h"

namespace vx {

void TForm::Impl::SyncBitmap() {
  int w = std::max(0, form.ClientWidth()), h = std::max(0, form.ClientHeight());
  if (w == 0 || h == 0) w = h = 0;  // an empty client is simply empty
  if (client.Width() == w && client.Height() == h) return;
  try {
    client.SetSize(w, h);
  } catch (const std::exception &) {
  }
}

TForm::TForm() : impl_(Impl::Create(*this)) {}
TForm::~TForm() = default;

int TForm::ClientWidth() const { return Width; }
int TForm::ClientHeight() const { return Height; }
void TForm::SetClientWidth(int w) { Width = std::max(0, w); }
void TForm::SetClientHeight(int h) { Height = std::max(0, h); }

void TForm::Show() { impl_->Show(); }
void TForm::Hide() { impl_->Hide(); }
bool TForm::Visible() const { return impl_->visible; }

TCanvas &TForm::Canvas() { return ClientBitmap().Canvas(); }

TBitmap &TForm::ClientBitmap() {
  impl_->SyncBitmap();
  return impl_->client;
}

void TForm::Repaint() { impl_->Repaint(); }

bool TForm::HasWindow() const { return impl_->WindowId() != 0; }
unsigned long TForm::WindowId() const { return impl_->WindowId(); }

}  // namespace vx
