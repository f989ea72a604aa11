#pragma once
// TOSDDateTime: the clock. While visible it rebuilds its text from the current local date and
// time once a second and redraws itself, each line centred over bkcolor in the canvas font.
// The text can hold the date, the time, a weekday number, the lunar date and the day's
// festivals (from a calendar object of its own). With showtime S > 0 it hides itself at the
// S-th tick of its timer.

#include <memory>
#include <string>

#include "components/object.h"
#include "platform/timer.h"

namespace vx {

class TYnrCalendar;

class TOSDDateTime : public TOSDObject {
 public:
  TOSDDateTime();
  ~TOSDDateTime() override;

  // Stores the flag, then Redraw (which draws only when visible).
  void SetVisible(bool value);
  // From SetVxComponent_Time: showtime := ms / 1000 (truncated), tickcount := 0.
  void SetShowtime(int ms);
  // Starts the clock timer and, for a text mode 1..11, rebuilds the text and draws it.
  void Redraw();
  // The clock timer's event.
  void OnClockTimer();

  // The text mode's text for the current moment; u"" for a mode outside 1..11.
  std::u16string BuildText(int mode);

  TYnrCalendar &calendar() { return *calendar_; }
  TTimer &clocktimer() { return *clocktimer_; }

  int showtime = 0;   // seconds the clock stays visible; 0 = no limit
  int tickcount = 0;  // timer ticks counted toward showtime
  int textmode = 0;   // written directly by the engine

 private:
  std::unique_ptr<TYnrCalendar> calendar_;
  std::unique_ptr<TTimer> clocktimer_;
};

// Lines of the clock's text are separated by LF then CR.
inline constexpr std::u16string_view kClockLineSeparator = u"\n\r";

}  // namespace vx
