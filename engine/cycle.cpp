// The engine as an object: construction, activation, the 60 ms compositing cycle and its
// outputs, destruction.
#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "card/card.h"
#include "engine/osd.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace vx {

TFrm_dbg::TFrm_dbg() {
  Caption = "Debug View";
  Left = 192;
  Top = 114;
  Width = 696;
  Height = 480;
}

namespace {

// The plain copy of a component onto the frame when both are 8-bit over one palette: the
// bytes of the rows that land inside the frame, no conversion. Returns false when the
// formats differ (the caller then copies through the canvas).
bool CopyRows(TOSDObject &component, TOSDGraphic &frame) {
  // The palettes compared as bytes (four plain bytes per entry): an element-wise compare
  // of 256 entries per component was a tenth of the cycle.
  static_assert(sizeof(TPaletteEntry) == 4);
  if (component.PixelFormat() != TPixelFormat::pf8bit ||
      frame.PixelFormat() != TPixelFormat::pf8bit ||
      std::memcmp(component.Palette().data(), frame.Palette().data(), sizeof(TPalette)) != 0)
    return false;
  // 64-bit edges: positions and sizes come from the host unchecked.
  const long long x0 = std::max<long long>(component.x, 0);
  const long long y0 = std::max<long long>(component.y, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(component.x) + component.Width(),
                                           frame.Width());
  const long long y1 = std::min<long long>(static_cast<long long>(component.y) + component.Height(),
                                           frame.Height());
  if (x0 >= x1 || y0 >= y1) return true;  // wholly outside the frame: nothing to copy
  const auto n = static_cast<std::size_t>(x1 - x0);
  for (long long y = y0; y < y1; ++y)
    std::memcpy(frame.ScanLine(static_cast<int>(y)) + x0,
                component.ScanLine(static_cast<int>(y - component.y)) + (x0 - component.x), n);
  return true;
}

}  // namespace

TOSD::TOSD(const TOSDFrameFormat &format) {
  registry_ = std::make_unique<TOSDObjList>();
  if (format.true_colour) {
    // Not the card's frame: the card is left alone (it takes the palette frame only).
    if (format.width < kMinTrueColourSide || format.height < kMinTrueColourSide ||
        format.width > kMaxTrueColourWidth || format.height > kMaxTrueColourHeight)
      throw EInvalidOperation("a true-colour frame is 16 x 16 to 7680 x 4320 pixels");
    frame_ = std::make_unique<TOSDGraphic>();
    frame_->MakeTrueColourFrame(format.width, format.height);
  } else {
    // The card channel probes for the card and starts its stream at once.
    card_ = std::make_unique<TOSDCard>();
    check_card_ = card_->Present();
    if (check_card_) card_->SetDMABuff(true);
    frame_ = std::make_unique<TOSDGraphic>();
    frame_->SetWidth(kFrameWidth);
    frame_->SetHeight(kFrameHeight);
    card_->SetLeft(0);
    card_->SetTop(0);
    card_->SetWidth(kFrameWidth);
    card_->SetHeight(kFrameHeight);
  }
  timer_ = std::make_unique<TTimer>();
  timer_->SetInterval(kComposeIntervalMs);
  timer_->SetEnabled(false);
  active_ = false;
  clearroot_ = true;
  dma_buff_ = card_ && card_->DMABuff();
  timer_->OnTimer = [this] { OnComposeTimer(); };
}

TOSD::~TOSD() {
  debug_form_.reset();
  debug_open_ = false;
  if (timer_) timer_->SetEnabled(false);
  card_.reset();  // stops the stream and releases the card
  frame_.reset();
  registry_.reset();  // destroys the components and their timers
  timer_.reset();
}

void TOSD::SetActive(bool value) {
  timer_->SetEnabled(value);
  active_ = value;
  if (check_card_) card_->Start();
}

void TOSD::ReportCycleError(std::string message) {
  last_cycle_error_ = std::move(message);
  if (OnCycleError) OnCycleError(last_cycle_error_);
}

void TOSD::OnComposeTimer() {
  try {
    ComposeFrame();
  } catch (const std::exception &e) {
    ReportCycleError(e.what());
  } catch (...) {
    ReportCycleError("unknown error in the compositing cycle");
  }
}

void TOSD::ComposeFrame() {
  TOSDGraphic &frame = *frame_;
  TCanvas &canvas = frame.Canvas();
  canvas.Brush.Color = kKeyColor;
  canvas.FillRect(canvas.ClipRect());

  // Front to back: later positions are drawn over earlier ones.
  registry_->ForEach([&](TOSDObject &c) {
    if (!c.visible || c.Empty()) return;
    const TOSDKindOps *ops = KindOps(c.mode);
    if (ops && ops->Draw) {
      ops->Draw(c, frame);
    } else if (!CopyRows(c, frame)) {
      BitBlt(canvas.Handle(), c.x, c.y, c.Width(), c.Height(), c.Canvas().Handle(), 0, 0, SRCCOPY);
    }
  });
  frame.Changed();

  if (debug_open_ && debug_form_) {
    BitBlt(debug_form_->Canvas().Handle(), 0, 0, frame.Width(), frame.Height(), canvas.Handle(),
           0, 0, SRCCOPY);
    debug_form_->Repaint();
  }

  if (check_card_) {
    // A stalled card still holds the last frame it took: leave its buffer alone.
    if (card_->Stalled()) return;
    if (clearroot_) {
      std::uint8_t *buffer = card_->GetBuffer(0);
      if (!buffer) return;  // no buffer: composed, nothing sent
      frame_size_ = static_cast<std::uint32_t>(frame.SaveToFrameBytes(
          {reinterpret_cast<std::byte *>(buffer), card_->BufferSize()}));
    }
    card_->PushFrame(nullptr, 0);
    if (card_->Stalled()) {  // this push began the stall
      ReportCycleError("the capture card did not complete a frame within " +
                       std::to_string(card_->PushWaitLimit()) +
                       " ms; frames are composed but not sent to it until it completes that one");
    }
    return;
  }

  if (image_) {
    image_->Picture().Assign(frame);
    image_->Changed();
  }
}

bool TOSD::CopyFrame(HDC dc) {
  if (!dc) return false;
  BitBlt(dc, 0, 0, frame_->Width(), frame_->Height(), frame_->Canvas().Handle(), 0, 0, SRCCOPY);
  return true;
}

bool TOSD::ShowDebugView(std::u16string_view code) {
  if (FromUtf16(code, CP_ACP) != kDebugViewCode) return false;
  if (!debug_form_) debug_form_ = std::make_unique<TFrm_dbg>();
  debug_form_->BorderIcons = biSystemMenu;
  debug_form_->BorderStyle = TFormBorderStyle::bsSingle;
  debug_form_->SetClientHeight(frame_->Height());
  debug_form_->SetClientWidth(frame_->Width());
  debug_open_ = true;
  debug_form_->Show();
  return true;
}

}  // namespace vx
