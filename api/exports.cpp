// The C interface: each export checks that the library runs on the calling thread and that
// its pointers are present, forwards to one engine operation, and turns every exception into
// a 0 result with the message kept for VxOSD_GetLastError.
#include <atomic>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/frm_osd.h"
#include "card/card.h"
#include "components/picture.h"
#include "engine/osd.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/forms.h"
#include "platform/timer.h"
#include "vxosd/vxosd.h"

namespace {

using vx::TOSD;

// The public kind numbers are the engine's.
constexpr bool SameKind(int exported, vx::TOSD_Component kind) { return exported == kind; }
static_assert(SameKind(VXOSD_PANEL, vx::eosdPanel) &&
              SameKind(VXOSD_SCROLLTEXT, vx::eOSDScrollText) &&
              SameKind(VXOSD_TEXT, vx::eOSDText) && SameKind(VXOSD_PICTURE, vx::eOSDPicute) &&
              SameKind(VXOSD_DATETIME, vx::eOSDDateTime));

// Longest text taken from the host, in UTF-16 units (a missing terminator stops here).
constexpr std::size_t kMaxTextUnits = std::size_t{1} << 20;

thread_local std::string t_last_error;

void SetError(std::string message) { t_last_error = std::move(message); }
// Every call that may leave a message starts without one, so that the message after a call
// is that call's.
void ClearError() { t_last_error.clear(); }

// The library of one thread: what the thread sets before its InitVxOSD (clock, frame
// callback, card wait), and, between InitVxOSD and FreeVxOSD, its host form with the engine.
// Only its own thread touches it, so nothing in it is locked. A thread that ends with its
// library running frees it as it ends (MessageLoop::AtThreadEnd).
struct ThreadLibrary {
  std::unique_ptr<vx::TFrm_osd> form;
  bool manual_clock = false;
  double manual_start = 36526.0;  // 2000-01-01 00:00
  std::uint32_t card_wait_ms = 0;  // 0: the channel's default
  vx::TOSDFrameFormat frame_format;  // for the next InitVxOSD
  VxOSD_FrameCallback callback = nullptr;
  void *callback_user = nullptr;
  int in_callback = 0;
  std::vector<std::byte> stream;  // the frame stream handed to the callback
};

// Libraries running in the process, for the message of a call on a thread without one.
std::atomic<int> g_running{0};

thread_local ThreadLibrary *t_library = nullptr;  // trivial: safe in a DLL's thread storage

// The calling thread's library record, made on first use.
ThreadLibrary &Here() {
  if (t_library == nullptr) {
    vx::MessageLoop &loop = vx::MessageLoop::Current();
    auto lib = std::make_shared<ThreadLibrary>();
    loop.AtThreadEnd([lib] {
      if (lib->form) {
        lib->form.reset();
        --g_running;
      }
      t_library = nullptr;
    });
    t_library = lib.get();
  }
  return *t_library;
}

// Device contexts made by VxOSD_CreateBufferDC; only these are accepted. Shared by the
// process's libraries; never destroyed, as libraries may be freed during the process's exit.
struct BufferDCs {
  std::mutex mutex;
  std::map<vx::TCanvas *, std::unique_ptr<vx::TBitmap>> live;
};
BufferDCs &DCs() {
  static BufferDCs *const dcs = new BufferDCs;
  return *dcs;
}

vx::TCanvas *LookupDC(HDC dc) {
  auto &dcs = DCs();
  std::lock_guard lock(dcs.mutex);
  auto it = dcs.live.find(reinterpret_cast<vx::TCanvas *>(dc));
  return it == dcs.live.end() ? nullptr : it->first;
}

// The calling thread's running library, or null (with the reason kept).
ThreadLibrary *Running() {
  ThreadLibrary *lib = t_library;
  if (lib != nullptr && lib->form && lib->form->osd) return lib;
  SetError(g_running.load() == 0
               ? "VxOSD is not initialised (call InitVxOSD first)"
               : "VxOSD has no library on this thread: it was initialised on another thread; "
                 "call it from that thread, or call InitVxOSD on this one");
  return nullptr;
}

// The running engine of the calling thread; null (with the reason kept) otherwise.
TOSD *Engine() {
  ThreadLibrary *lib = Running();
  return lib != nullptr ? lib->form->osd.get() : nullptr;
}

std::u16string Text16(const uint16_t *text) {
  std::u16string out;
  for (std::size_t i = 0; i < kMaxTextUnits && text[i] != 0; ++i)
    out.push_back(static_cast<char16_t>(text[i]));
  return out;
}

bool Flag(int32_t value) { return (value & 0xFF) != 0; }

// Runs op on the engine; catches everything; a false result keeps a message naming the call.
template <class Op>
uint8_t Call(const char *call, Op &&op) {
  try {
    ClearError();
    TOSD *osd = Engine();
    if (!osd) return 0;
    return op(*osd) ? 1 : 0;
  } catch (const std::exception &e) {
    SetError(std::string(call) + ": " + e.what());
  } catch (...) {
    SetError(std::string(call) + ": unknown error");
  }
  return 0;
}

// A component call: refuses a null name; a false result names the component.
template <class Op>
uint8_t Component(const char *call, const char *name, Op &&op) {
  ClearError();
  if (!name) {
    SetError(std::string(call) + ": the name is null");
    return 0;
  }
  return Call(call, [&](TOSD &osd) {
    if (op(osd, std::string_view(name))) return true;
    SetError(std::string(call) + ": no component named \"" + name +
             "\" to which this call applies");
    return false;
  });
}

template <class Op>
uint8_t ComponentText(const char *call, const char *name, const uint16_t *text, Op &&op) {
  ClearError();
  if (!text) {
    SetError(std::string(call) + ": the text is null");
    return 0;
  }
  return Component(call, name, [&](TOSD &osd, std::string_view n) { return op(osd, n, Text16(text)); });
}

// The picture calls apply even when the file is missing (the component is then empty). The
// last error then names the file; a picture that was read leaves no message, so a host can
// ask right after the call.
bool ExplainMissingPicture(const char *call, TOSD &osd, std::string_view name) {
  const auto *picture = dynamic_cast<const vx::TOSDPicute *>(osd.Registry().Find(name));
  if (!picture) return true;
  if (picture->MissingFile().empty())
    SetError({});
  else
    SetError(std::string(call) + ": the picture file \"" +
             vx::Utf16ToUtf8(vx::ToUtf16(picture->MissingFile())) +
             "\" does not exist; the component is empty");
  return true;
}

void FrameToCallback(ThreadLibrary &lib) {
  if (!lib.callback || !lib.form || !lib.form->osd) return;
  vx::TOSDGraphic &frame = lib.form->osd->Frame();
  const uint8_t *bytes = nullptr;
  std::size_t size = 0;
  if (frame.TrueColour()) {
    // The pixels as they are: 32-bit rows are never padded.
    bytes = frame.ScanLine(0);
    size = static_cast<std::size_t>(frame.BytesPerScanLine()) * static_cast<std::size_t>(frame.Height());
  } else {
    lib.stream.resize(frame.FrameStreamBytes());
    size = frame.SaveToFrameBytes(lib.stream);
    bytes = reinterpret_cast<const uint8_t *>(lib.stream.data());
  }
  ++lib.in_callback;
  struct Leave {
    int &n;
    ~Leave() { --n; }
  } leave{lib.in_callback};
  lib.callback(bytes, static_cast<uint32_t>(size), lib.callback_user);
}

void AttachCallback(ThreadLibrary &lib) {
  if (!lib.form || !lib.form->osd) return;
  ThreadLibrary *self = &lib;
  lib.form->image.OnChange =
      lib.callback ? std::function<void()>([self] { FrameToCallback(*self); }) : nullptr;
  lib.form->osd->SetImage(lib.callback ? &lib.form->image : nullptr);
}

void FreeRunning(ThreadLibrary &lib) {
  if (lib.form) --g_running;
  lib.form.reset();
  lib.stream = {};
}

}  // namespace

extern "C" {

uint8_t VXOSD_CALL InitVxOSD(void) {
  ClearError();
  ThreadLibrary *lib = nullptr;
  try {
    lib = &Here();
    if (lib->form) {
      if (lib->in_callback) {
        SetError("InitVxOSD: not allowed inside the frame callback");
        return 0;
      }
      FreeRunning(*lib);  // a second InitVxOSD replaces the thread's running library
    }
    vx::MessageLoop &loop = vx::MessageLoop::Current();
    if (lib->manual_clock)
      loop.SetClock(std::make_shared<vx::ManualClock>(lib->manual_start));
    else if (loop.GetClock().IsManual())
      loop.SetClock(std::make_shared<vx::RealClock>());
    auto form = std::make_unique<vx::TFrm_osd>();
    // The card's wait is this library's; the probe takes the process's card unless another
    // library holds it. A true-colour library never probes: the card takes the palette frame.
    const vx::TOSDFrameFormat format = lib->frame_format;
    form->osd = std::make_unique<TOSD>(format);
    if (vx::TOSDCard *card = form->osd->Card(); card && lib->card_wait_ms != 0)
      card->SetPushWaitLimit(lib->card_wait_ms);
    lib->form = std::move(form);
    ++g_running;
    AttachCallback(*lib);
    TOSD &osd = *lib->form->osd;
    // The cycle runs on this thread, so its reports land in this thread's error slot.
    osd.OnCycleError = [](const std::string &message) { SetError("VxOSD cycle: " + message); };
    loop.SetHandlerErrorSink([](const std::string &message) { SetError("VxOSD timer: " + message); });
    osd.SetActive(true);
    osd.SetComponent_Color(vx::kRootName, vx::kKeyColor, 0);
    if (format.true_colour)
      SetError("InitVxOSD: the frame is true colour (" + std::to_string(format.width) + " x " +
               std::to_string(format.height) +
               "); the card takes only the palette frame, so VxOSD runs without the card");
    else if (osd.Card() != nullptr && osd.Card()->CardTaken())
      SetError("VxOSD: the capture card is held by the library of another thread; this "
               "library runs without a card");
    return osd.CheckCard() ? 1 : 0;
  } catch (const std::exception &e) {
    SetError(std::string("InitVxOSD: ") + e.what());
  } catch (...) {
    SetError("InitVxOSD: unknown error");
  }
  try {
    if (lib != nullptr) FreeRunning(*lib);
  } catch (...) {
  }
  return 0;
}

uint8_t VXOSD_CALL FreeVxOSD(void) {
  ClearError();
  try {
    ThreadLibrary *lib = Running();
    if (!lib) return 0;
    if (lib->in_callback) {
      SetError("FreeVxOSD: not allowed inside the frame callback");
      return 0;
    }
    FreeRunning(*lib);
    return 1;
  } catch (const std::exception &e) {
    SetError(std::string("FreeVxOSD: ") + e.what());
  } catch (...) {
    SetError("FreeVxOSD: unknown error");
  }
  return 0;
}

uint8_t VXOSD_CALL AddVxComponent(const char *name, int32_t kind) {
  ClearError();
  if (!name) {
    SetError("AddVxComponent: the name is null");
    return 0;
  }
  return Call("AddVxComponent", [&](TOSD &osd) {
    if (osd.AddComponent(name, kind)) return true;
    SetError(std::string("AddVxComponent: nothing created for \"") + name +
             "\": \"root\" is reserved, or kind " + std::to_string(kind & 0xFF) +
             " has no component class");
    return false;
  });
}

uint8_t VXOSD_CALL DelVxComponent(const char *name) {
  return Component("DelVxComponent", name,
                   [&](TOSD &osd, std::string_view n) { return osd.DelComponent(n); });
}

uint8_t VXOSD_CALL SetVxComponent_Pos(const char *name, int32_t x, int32_t y, int32_t w, int32_t h) {
  return Component("SetVxComponent_Pos", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_Pos(n, x, y, w, h);
  });
}

uint8_t VXOSD_CALL SetVxComponent_Color(const char *name, int32_t color, int32_t level) {
  return Component("SetVxComponent_Color", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_Color(n, color, level);
  });
}

uint8_t VXOSD_CALL SetVxComponent_Font(const char *name, const uint16_t *face, int32_t color,
                                       int32_t size) {
  return ComponentText("SetVxComponent_Font", name, face,
                       [&](TOSD &osd, std::string_view n, const std::u16string &f) {
                         return osd.SetComponent_Font(n, f, color, size);
                       });
}

uint8_t VXOSD_CALL SetVxComponent_Visible(const char *name, int32_t ignored, int32_t visible) {
  return Component("SetVxComponent_Visible", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_Visible(n, Flag(ignored), Flag(visible));
  });
}

uint8_t VXOSD_CALL SetVxComponent_Text(const char *name, const uint16_t *text) {
  return ComponentText("SetVxComponent_Text", name, text,
                       [&](TOSD &osd, std::string_view n, const std::u16string &t) {
                         return osd.SetComponent_Text(n, t);
                       });
}

uint8_t VXOSD_CALL SetVxComponent_Time(const char *name, int32_t ms) {
  return Component("SetVxComponent_Time", name,
                   [&](TOSD &osd, std::string_view n) { return osd.SetComponent_Time(n, ms); });
}

uint8_t VXOSD_CALL GetVxComponent_TextRect(const char *name, const uint16_t *text, int32_t rect[4]) {
  ClearError();
  if (!rect) {
    SetError("GetVxComponent_TextRect: the rectangle is null");
    return 0;
  }
  return ComponentText("GetVxComponent_TextRect", name, text,
                       [&](TOSD &osd, std::string_view n, const std::u16string &t) {
                         vx::TRect r{};
                         if (!osd.GetComponent_TextRect(n, t, r)) return false;
                         rect[0] = r.Left, rect[1] = r.Top, rect[2] = r.Right, rect[3] = r.Bottom;
                         return true;
                       });
}

uint8_t VXOSD_CALL SetVxComponent_TextStep(const char *name, int32_t step) {
  return Component("SetVxComponent_TextStep", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_TextStep(n, step);
  });
}

uint8_t VXOSD_CALL SetVxComponent_TextScroll(const char *name, int32_t scroll) {
  return Component("SetVxComponent_TextScroll", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_TextScroll(n, scroll);
  });
}

uint8_t VXOSD_CALL SetVxComponent_TextMode(const char *name, int32_t mode) {
  return Component("SetVxComponent_TextMode", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_TextMode(n, mode);
  });
}

uint8_t VXOSD_CALL SetVxComponent_TextGradual(const char *name, int32_t color1, int32_t color2) {
  return Component("SetVxComponent_TextGradual", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_TextGradual(n, color1, color2);
  });
}

uint8_t VXOSD_CALL SetVxComponent_TextHtml(const char *name, int32_t html) {
  return Component("SetVxComponent_TextHtml", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_TextHtml(n, Flag(html));
  });
}

uint8_t VXOSD_CALL SetVxComponent_RandomColor(const char *name, int32_t color1, int32_t color2,
                                              int32_t color3, int32_t color4, int32_t color5) {
  return Component("SetVxComponent_RandomColor", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_RandomColor(n, {color1, color2, color3, color4, color5});
  });
}

uint8_t VXOSD_CALL SetVxComponent_RandomTextColor(const char *name, int32_t color1,
                                                  int32_t color2, int32_t color3, int32_t color4,
                                                  int32_t color5) {
  return Component("SetVxComponent_RandomTextColor", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_RandomTextColor(n, {color1, color2, color3, color4, color5});
  });
}

uint8_t VXOSD_CALL SetVxComponent_TextFile(const char *name, int32_t ignored) {
  return Component("SetVxComponent_TextFile", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_TextFile(n, ignored);
  });
}

uint8_t VXOSD_CALL SetVxComponent_PicFile(const char *name, const uint16_t *path) {
  return ComponentText("SetVxComponent_PicFile", name, path,
                       [&](TOSD &osd, std::string_view n, const std::u16string &p) {
                         return osd.SetComponent_PicFile(n, p) &&
                                ExplainMissingPicture("SetVxComponent_PicFile", osd, n);
                       });
}

uint8_t VXOSD_CALL SetVxComponent_PicSplitFile(const char *name, const uint16_t *path,
                                               int32_t count) {
  return ComponentText("SetVxComponent_PicSplitFile", name, path,
                       [&](TOSD &osd, std::string_view n, const std::u16string &p) {
                         return osd.SetComponent_PicSplitFile(n, p, count) &&
                                ExplainMissingPicture("SetVxComponent_PicSplitFile", osd, n);
                       });
}

uint8_t VXOSD_CALL SetVxComponent_PicSplitTextPos(const char *name, int32_t x, int32_t step) {
  return Component("SetVxComponent_PicSplitTextPos", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_PicSplitTextPos(n, x, step);
  });
}

uint8_t VXOSD_CALL SetVxComponent_PicSplitShow(const char *name, int32_t index) {
  return Component("SetVxComponent_PicSplitShow", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_PicSplitShow(n, index);
  });
}

uint8_t VXOSD_CALL SetVxComponent_PicMovie(const char *name, const uint16_t *path, int32_t first,
                                           int32_t last) {
  return ComponentText("SetVxComponent_PicMovie", name, path,
                       [&](TOSD &osd, std::string_view n, const std::u16string &p) {
                         return osd.SetComponent_PicMovie(n, p, first, last) &&
                                ExplainMissingPicture("SetVxComponent_PicMovie", osd, n);
                       });
}

uint8_t VXOSD_CALL SetVxComponent_PicTime(const char *name, int32_t ms) {
  return Component("SetVxComponent_PicTime", name,
                   [&](TOSD &osd, std::string_view n) { return osd.SetComponent_PicTime(n, ms); });
}

uint8_t VXOSD_CALL SetVxComponent_MovieTime(const char *name, int32_t ms, int32_t loop) {
  return Component("SetVxComponent_MovieTime", name, [&](TOSD &osd, std::string_view n) {
    return osd.SetComponent_MovieTime(n, ms, Flag(loop));
  });
}

void VXOSD_CALL SetVxOSD_Debug(HDC dc) {
  Call("SetVxOSD_Debug", [&](TOSD &osd) {
    if (!dc) {
      SetError("SetVxOSD_Debug: the device context is null");
      return false;
    }
    if (vx::TCanvas *canvas = LookupDC(dc)) return osd.CopyFrame(canvas->Handle());
    // Otherwise a device context of the system's (a Windows host's window or memory DC).
    if (vx::CopyToSystemDC(dc, osd.Frame())) return true;
    SetError("SetVxOSD_Debug: not a device context (neither the system's nor one made by "
             "VxOSD_CreateBufferDC)");
    return false;
  });
}

uint8_t VXOSD_CALL SetVxOSD_DebugView(const uint16_t *code) {
  ClearError();
  if (!code) {
    SetError("SetVxOSD_DebugView: the code is null");
    return 0;
  }
  return Call("SetVxOSD_DebugView", [&](TOSD &osd) {
    if (osd.ShowDebugView(Text16(code))) return true;
    SetError("SetVxOSD_DebugView: wrong access code");
    return false;
  });
}

uint32_t VXOSD_CALL VxOSD_ProcessMessages(uint32_t max_wait_ms) {
  ClearError();
  try {
    return vx::MessageLoop::Current().ProcessMessages(max_wait_ms);
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_ProcessMessages: ") + e.what());
  } catch (...) {
    SetError("VxOSD_ProcessMessages: unknown error");
  }
  return 0;
}

int VXOSD_CALL VxOSD_EventFd(void) {
  ClearError();
  try {
    return vx::MessageLoop::Current().EventFd();
  } catch (...) {
    SetError("VxOSD_EventFd: no descriptor available");
  }
  return -1;
}

void VXOSD_CALL VxOSD_UseManualClock(uint8_t on) {
  try {
    Here().manual_clock = on != 0;
  } catch (...) {
    // No memory for the thread's record: nothing changes.
  }
}

uint8_t VXOSD_CALL VxOSD_SetManualClockStart(double local_days) {
  ClearError();
  // The calendar behind the clock components covers 1900-01-01 (2) to 2100-12-31 (73415).
  if (!(local_days >= 2.0 && local_days < 73416.0)) {
    SetError("VxOSD_SetManualClockStart: the date-time must lie between 1900-01-01 and 2100-12-31");
    return 0;
  }
  try {
    Here().manual_start = local_days;
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_SetManualClockStart: ") + e.what());
    return 0;
  }
  return 1;
}

uint8_t VXOSD_CALL VxOSD_SetManualClockStartNow(void) {
  ClearError();
  try {
    const double now = vx::RealClock().LocalNow();
    if (!(now >= 2.0 && now < 73416.0)) {
      SetError("VxOSD_SetManualClockStartNow: the local date-time lies outside 1900-01-01 .. 2100-12-31");
      return 0;
    }
    ThreadLibrary &lib = Here();
    lib.manual_start = now;
    if (lib.form)
      if (auto *manual = dynamic_cast<vx::ManualClock *>(&vx::MessageLoop::Current().GetClock()))
        manual->SetLocal(now);
    return 1;
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_SetManualClockStartNow: ") + e.what());
  } catch (...) {
    SetError("VxOSD_SetManualClockStartNow: unknown error");
  }
  return 0;
}

uint8_t VXOSD_CALL VxOSD_SetCardWaitLimit(uint32_t ms) {
  ClearError();
  if (ms < 1 || ms > vx::kCardPushWaitMs) {
    SetError("VxOSD_SetCardWaitLimit: the limit must lie between 1 and 20000 ms");
    return 0;
  }
  try {
    ThreadLibrary &lib = Here();
    lib.card_wait_ms = ms;
    if (lib.form && lib.form->osd && lib.form->osd->Card())
      lib.form->osd->Card()->SetPushWaitLimit(ms);
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_SetCardWaitLimit: ") + e.what());
    return 0;
  }
  return 1;
}

int32_t VXOSD_CALL VxOSD_GetStatus(void) {
  const ThreadLibrary *lib = t_library;
  if (lib == nullptr || !lib->form || !lib->form->osd) return VXOSD_STATUS_NONE;
  TOSD &osd = *lib->form->osd;
  if (osd.CheckCard()) return VXOSD_STATUS_CARD;
  if (osd.Card() != nullptr && osd.Card()->CardTaken()) return VXOSD_STATUS_CARD_TAKEN;
  return VXOSD_STATUS_NO_CARD;
}

uint32_t VXOSD_CALL VxOSD_AdvanceClock(uint32_t ms) {
  ClearError();
  try {
    if (!Engine()) return 0;
    vx::MessageLoop &loop = vx::MessageLoop::Current();
    if (!loop.GetClock().IsManual()) {
      SetError("VxOSD_AdvanceClock: the library runs on real time");
      return 0;
    }
    return loop.Advance(ms);
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_AdvanceClock: ") + e.what());
  } catch (...) {
    SetError("VxOSD_AdvanceClock: unknown error");
  }
  return 0;
}

uint8_t VXOSD_CALL VxOSD_SetFrameFormat(int32_t width, int32_t height, int32_t format) {
  ClearError();
  vx::TOSDFrameFormat next;
  if (format == VXOSD_FRAME_PALETTE8) {
    if (!((width == 0 && height == 0) || (width == vx::kFrameWidth && height == vx::kFrameHeight))) {
      SetError("VxOSD_SetFrameFormat: the palette frame is 640 x 480");
      return 0;
    }
  } else if (format == VXOSD_FRAME_ARGB32) {
    if (width < vx::kMinTrueColourSide || height < vx::kMinTrueColourSide ||
        width > vx::kMaxTrueColourWidth || height > vx::kMaxTrueColourHeight) {
      SetError("VxOSD_SetFrameFormat: a true-colour frame is 16 x 16 to 7680 x 4320 pixels");
      return 0;
    }
    next.true_colour = true;
    next.width = width;
    next.height = height;
  } else {
    SetError("VxOSD_SetFrameFormat: unknown frame format " + std::to_string(format) +
             " (VXOSD_FRAME_PALETTE8 or VXOSD_FRAME_ARGB32)");
    return 0;
  }
  try {
    Here().frame_format = next;
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_SetFrameFormat: ") + e.what());
    return 0;
  }
  return 1;
}

HDC VXOSD_CALL VxOSD_CreateBufferDC(void *bgra, int32_t width, int32_t height, int32_t stride) {
  ClearError();
  try {
    if (!bgra || width <= 0 || height <= 0 || stride / 4 < width ||
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) > vx::kMaxBitmapBytes) {
      SetError("VxOSD_CreateBufferDC: bad buffer, size or stride");
      return nullptr;
    }
    auto bitmap = std::make_unique<vx::TBitmap>();
    bitmap->AttachExternal(bgra, width, height, stride, vx::TPixelFormat::pf32bit);
    vx::TCanvas *canvas = &bitmap->Canvas();
    auto &dcs = DCs();
    std::lock_guard lock(dcs.mutex);
    dcs.live.emplace(canvas, std::move(bitmap));
    return reinterpret_cast<HDC>(canvas);
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_CreateBufferDC: ") + e.what());
  } catch (...) {
    SetError("VxOSD_CreateBufferDC: unknown error");
  }
  return nullptr;
}

void VXOSD_CALL VxOSD_DeleteDC(HDC dc) {
  auto &dcs = DCs();
  std::unique_ptr<vx::TBitmap> gone;
  std::lock_guard lock(dcs.mutex);
  auto it = dcs.live.find(reinterpret_cast<vx::TCanvas *>(dc));
  if (it == dcs.live.end()) return;
  gone = std::move(it->second);
  dcs.live.erase(it);
}

void VXOSD_CALL VxOSD_SetFrameCallback(VxOSD_FrameCallback cb, void *user) {
  ClearError();
  try {
    // The thread's own library: its callback is called on this thread.
    ThreadLibrary &lib = Here();
    lib.callback = cb;
    lib.callback_user = user;
    AttachCallback(lib);
  } catch (const std::exception &e) {
    SetError(std::string("VxOSD_SetFrameCallback: ") + e.what());
  }
}

uint32_t VXOSD_CALL VxOSD_GetLastError(char *utf8, uint32_t size) {
  const std::string &m = t_last_error;
  if (utf8 && size > 0) {
    std::size_t n = m.size() < size - 1 ? m.size() : size - 1;
    // A cut message ends at a character boundary: names in it may be Chinese, and a host
    // printing the cut text should not get half a character.
    if (n < m.size())
      while (n > 0 && (static_cast<unsigned char>(m[n]) & 0xC0) == 0x80) --n;
    std::memcpy(utf8, m.data(), n);
    utf8[n] = '\0';
  }
  return static_cast<uint32_t>(m.size());
}

}  // extern "C"
