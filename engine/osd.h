#pragma once
// TOSD: the engine. It keeps the registry of named components, carries out every request of
// the exported interface on the component named in it, records the colour levels the card's
// palette carries, and every 60 ms composes its 640 x 480 frame: cleared to the key colour,
// the visible components copied on from the front of the registry to the back (so the back
// ends up on top), then handed to the Debug View when open, and to the card (frame stream
// into the card's buffer, then a push) or, without a card, to the picture control `image`.
//
// Every operation takes the component name first (8-bit, compared byte for byte), looks it up
// (the entry nearest the front of the registry wins) and calls the operation of the
// component's kind from the operation table in engine/kinds.h. Each returns true when the
// named component was found and the request applied to its kind; otherwise nothing changes
// and it returns false. Values (negative sizes, positions off the frame, odd modes) are stored
// as given. The name "root" names no component; SetComponent_Color("root", ...) records a
// level for the frame background.
//
// A new component kind adds its rows in its own engine/kind_<kind>.cpp; see engine/kinds.h.
// Nothing in this file needs to change for it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/kinds.h"
#include "engine/objlist.h"
#include "imaging/osd_graphic.h"
#include "platform/canvas.h"
#include "platform/forms.h"
#include "platform/timer.h"

namespace vx {
class TOSDCard;
}

namespace vx {

constexpr std::string_view kRootName = "root";
// The level SetComponent_RandomColor records for each of its colours.
constexpr int kRandomColorLevel = 111;
constexpr std::uint32_t kComposeIntervalMs = 60;
// The code that opens the Debug View.
constexpr std::string_view kDebugViewCode = "wqzbmk";

// The Debug View window: the composed frame at 640 x 480, refreshed every cycle.
class TFrm_dbg : public TForm {
 public:
  TFrm_dbg();
};

// The frame a library composes: the card's palette frame (the default, 640 x 480), or for
// hosts that are not the card a true-colour frame (premultiplied ARGB, see TOSDGraphic) of any
// size from 16 x 16 to 7680 x 4320, which the components draw into in true colour.
struct TOSDFrameFormat {
  bool true_colour = false;
  int width = kFrameWidth;
  int height = kFrameHeight;
};

class TOSD {
 public:
  // Probes for the card (and starts its stream when found), creates the frame and the 60 ms
  // timer, disabled: the cycle runs once SetActive(true) is called. Runs on, and binds its
  // timer to, the calling thread. A true-colour frame is never the card's: the card is then
  // not probed at all, and CheckCard is false.
  TOSD() : TOSD(TOSDFrameFormat{}) {}
  explicit TOSD(const TOSDFrameFormat &format);
  // Stops the timer before it releases what the cycle uses: Debug View, card, frame,
  // registry (and with it every component), timer.
  ~TOSD();
  TOSD(const TOSD &) = delete;
  TOSD &operator=(const TOSD &) = delete;

  TOSDObjList &Registry() { return *registry_; }
  TOSDGraphic &Frame() { return *frame_; }

  bool CheckCard() const { return check_card_; }
  bool TrueColour() const { return frame_->TrueColour(); }
  bool Active() const { return active_; }
  // Enables or disables the cycle; with a card, (re)starts the card's stream either way.
  void SetActive(bool value);
  TImage *image() const { return image_; }
  void SetImage(TImage *image) { image_ = image; }  // not owned
  bool clearroot() const { return clearroot_; }
  void SetClearroot(bool value) { clearroot_ = value; }
  bool DMABuff() const { return dma_buff_; }
  void SetDMABuff(bool value) { dma_buff_ = value; }
  // Bytes of the last frame stream written for the card.
  std::uint32_t FrameSize() const { return frame_size_; }
  TOSDCard *Card() { return card_.get(); }  // null with a true-colour frame
  TFrm_dbg *DebugView() { return debug_form_.get(); }

  // One cycle (the timer's handler). An error ends the cycle early; its message is kept in
  // LastCycleError, handed to OnCycleError, and the next cycle runs normally. A card that did
  // not complete a push in time is reported the same way, once per stall; while it stays
  // stalled, cycles compose the frame (the Debug View and CopyFrame show it) and send nothing.
  void ComposeFrame();
  const std::string &LastCycleError() const { return last_cycle_error_; }
  std::function<void(const std::string &)> OnCycleError;
  // Copies the whole frame to (0, 0) of dc; false for a null dc.
  bool CopyFrame(HDC dc);
  // Opens (or shows again) the Debug View when code is exactly "wqzbmk"; false otherwise.
  bool ShowDebugView(std::u16string_view code);

  // Creates a component of kind (only the low byte counts: 0 panel, 1 scrolling text, 2 text,
  // 3 picture, 4 date-time) at the front of the registry. "root", and kinds without a class,
  // create nothing.
  bool AddComponent(std::string_view name, int kind);
  // Destroys the front-most component of that name and, found or not, drops the colour levels
  // recorded under the name (ignoring case). True when a component was removed.
  bool DelComponent(std::string_view name);
  bool SetComponent_Pos(std::string_view name, int x, int y, int w, int h);
  bool SetComponent_Color(std::string_view name, TColor color, int level);
  // face is converted to the canvas's UTF-8 font name; colour before size, as the host passes.
  bool SetComponent_Font(std::string_view name, std::u16string_view face, TColor color, int size);
  // The first flag is accepted and ignored; the second decides.
  bool SetComponent_Visible(std::string_view name, bool ignored, bool visible);
  bool SetComponent_Text(std::string_view name, std::u16string_view text);
  bool SetComponent_Time(std::string_view name, int ms);
  bool GetComponent_TextRect(std::string_view name, std::u16string_view text, TRect &rect);
  bool SetComponent_TextStep(std::string_view name, int step);
  bool SetComponent_TextScroll(std::string_view name, int scroll);
  bool SetComponent_TextMode(std::string_view name, int mode);
  bool SetComponent_TextGradual(std::string_view name, TColor color1, TColor color2);
  bool SetComponent_TextHtml(std::string_view name, bool html);
  bool SetComponent_RandomColor(std::string_view name, const TFiveColors &colors);
  bool SetComponent_RandomTextColor(std::string_view name, const TFiveColors &colors);
  // Looks the name up and changes nothing; true when found.
  bool SetComponent_TextFile(std::string_view name, int ignored);
  bool SetComponent_PicFile(std::string_view name, std::u16string_view path);
  bool SetComponent_PicSplitFile(std::string_view name, std::u16string_view path, int count);
  bool SetComponent_PicSplitTextPos(std::string_view name, int x, int step);
  bool SetComponent_PicSplitShow(std::string_view name, int index);
  bool SetComponent_PicMovie(std::string_view name, std::u16string_view path, int first, int last);
  bool SetComponent_PicTime(std::string_view name, int ms);
  bool SetComponent_MovieTime(std::string_view name, int ms, bool loop);

 private:
  // The component and its kind's operations, or nulls when the name is not registered.
  struct Target {
    TOSDObject *component = nullptr;
    const TOSDKindOps *ops = nullptr;
  };
  Target Lookup(std::string_view name) const;
  // Calls the kind's operation op on the named component; false when the name is not
  // registered or op does not apply to its kind.
  template <class Op, class... Args>
  bool CallKind(std::string_view name, Op TOSDKindOps::*op, Args &&...args) const;
  void OnComposeTimer();
  void ReportCycleError(std::string message);

  // Fields in the order the engine builds them; the destructor releases them explicitly.
  std::unique_ptr<TFrm_dbg> debug_form_;
  bool debug_open_ = false;
  std::unique_ptr<TTimer> timer_;
  std::unique_ptr<TOSDCard> card_;
  std::unique_ptr<TOSDGraphic> frame_;
  bool check_card_ = false;
  TImage *image_ = nullptr;
  bool active_ = false;
  std::uint32_t frame_size_ = 0;
  bool clearroot_ = true;
  bool dma_buff_ = false;
  std::unique_ptr<TOSDObjList> registry_;
  std::string last_cycle_error_;
};

}  // namespace vx
