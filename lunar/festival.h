#pragma once
// TFestivalList: the festivals and memorial days the calendar names for a date (solar: fixed
// Gregorian month and day; lunar: fixed lunar month and day; week: n-th or n-th-from-last
// weekday of a Gregorian month), and three mark lists of the same kinds that attach only a
// colour to a date. Texts are code page 936 (GBK) bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lunar/lunardate.h"
#include "platform/clock.h"
#include "platform/color.h"

namespace vx {

class TYnrCalendar;

// A sorted string list with a 32-bit value attached to every entry, as the festival lists
// keep them. Entries of the form "key=text" sort by key first; keys compare ignoring ASCII
// letter case. An entry without "=" (a mark) has no key: it sorts before the keyed entries and
// only IndexOf finds it. Adding an entry equal to an existing one (ignoring case) keeps the old
// one.
class TFestivalStrings {
 public:
  struct Entry {
    std::string Text;
    std::int32_t Value = 0;
    friend bool operator==(const Entry &, const Entry &) = default;
  };

  int Count() const { return static_cast<int>(entries_.size()); }
  const std::vector<Entry> &Entries() const { return entries_; }
  // Entry i (0 <= i < Count()); an index outside gives an empty entry.
  const std::string &Strings(int i) const;
  std::int32_t Objects(int i) const;
  // The key: the part before the first "="; empty for an entry without "=".
  std::string_view Names(int i) const;

  // Returns the index of the entry (the existing one for a duplicate).
  int AddObject(std::string_view text, std::int32_t value);
  void Delete(int i);
  void Clear() { entries_.clear(); }
  // Index of the entry equal to text (ignoring case), or -1.
  int IndexOf(std::string_view text) const;
  // Index of the first entry with "=" whose key equals name (ignoring case), or -1.
  int IndexOfName(std::string_view name) const;
  // Replaces the content with the source's entries and values.
  void Assign(const TFestivalStrings &source);

 private:
  std::vector<Entry> entries_;
};

// A festival found for a date: the names separated by single spaces, and the colour of the
// first kind found (-1 when none).
struct TFestival {
  std::string Text;
  TColor Color = -1;
  friend bool operator==(const TFestival &, const TFestival &) = default;
};

enum TFestivalKind { fkSolar = 0, fkLunar = 1, fkWeek = 2 };

constexpr TColor kSolarFestivalColor = 0x0000FF;
constexpr TColor kLunarFestivalColor = 0x800080;
constexpr TColor kWeekFestivalColor = 0x800000;

class TFestivalList {
 public:
  // Loads the built-in festivals; the mark lists start empty.
  explicit TFestivalList(TYnrCalendar *calendar = nullptr);

  TYnrCalendar *Calendar() const { return calendar_; }

  TFestivalStrings &SolarFestivals() { return solar_festivals_; }
  TFestivalStrings &LunarFestivals() { return lunar_festivals_; }
  TFestivalStrings &WeekFestivals() { return week_festivals_; }
  TFestivalStrings &SolarMarks() { return solar_marks_; }
  TFestivalStrings &LunarMarks() { return lunar_marks_; }
  TFestivalStrings &WeekMarks() { return week_marks_; }
  const TFestivalStrings &SolarFestivals() const { return solar_festivals_; }
  const TFestivalStrings &LunarFestivals() const { return lunar_festivals_; }
  const TFestivalStrings &WeekFestivals() const { return week_festivals_; }
  const TFestivalStrings &SolarMarks() const { return solar_marks_; }
  const TFestivalStrings &LunarMarks() const { return lunar_marks_; }
  const TFestivalStrings &WeekMarks() const { return week_marks_; }
  void SetSolarFestivals(const TFestivalStrings &v) { solar_festivals_.Assign(v); }
  void SetLunarFestivals(const TFestivalStrings &v) { lunar_festivals_.Assign(v); }
  void SetWeekFestivals(const TFestivalStrings &v) { week_festivals_.Assign(v); }
  void SetSolarMarks(const TFestivalStrings &v) { solar_marks_.Assign(v); }
  void SetLunarMarks(const TFestivalStrings &v) { lunar_marks_.Assign(v); }
  void SetWeekMarks(const TFestivalStrings &v) { week_marks_.Assign(v); }

  // Copies the six lists (the calendar reference stays).
  void Assign(const TFestivalList &source);

  // kind 0 solar, 1 lunar, 2 week. Adds key + "=" + trimmed text, replacing any entry of that
  // kind with the same key. False, with nothing changed, for another kind, an empty key or an
  // empty text.
  bool AddFestival(int kind, std::string_view key, TColor color, std::string_view text);

  // Lookups for one date: empty text and colour -1 when nothing matches.
  TFestival SolarFestival(TDateTime date) const;
  TFestival LunarFestival(const TLunarDate &date) const;
  TFestival WeekFestival(TDateTime date) const;
  // The mark colour for a date, or -1.
  std::int32_t SolarMark(TDateTime date) const;
  std::int32_t LunarMark(const TLunarDate &date) const;
  std::int32_t WeekMark(TDateTime date) const;

  // Which week counted from the month's end holds the date (1 = the last seven days);
  // 0 for a date that does not decode.
  static int WeekFromMonthEnd(TDateTime date);

 private:
  friend TFestival GetFestival(const TFestivalList &list, TDateTime date);
  // The entry found, if any (a hit may carry any colour, -1 included).
  std::optional<TFestival> FindSolar(TDateTime date) const;
  std::optional<TFestival> FindLunar(const TLunarDate &date) const;
  std::optional<TFestival> FindWeek(TDateTime date) const;

  TYnrCalendar *calendar_;
  TFestivalStrings solar_festivals_, lunar_festivals_, week_festivals_;
  TFestivalStrings solar_marks_, lunar_marks_, week_marks_;
};

TFestival GetFestival(const TFestivalList &list, TDateTime date);
// All festival names of a day in the order lunar eve, lunar, solar, week, and the colour of
// the first kind found.
inline std::string FestivalText(const TFestivalList &list, TDateTime date) {
  return GetFestival(list, date).Text;
}
// The lunar mark, else the solar mark, else the week mark of the day; -1 when none.
std::int32_t FestivalMarkColor(const TFestivalList &list, TDateTime date);

// Removes leading and trailing blanks and control characters (bytes up to 0x20; GBK lead and
// trail bytes are all above that).
std::string_view TrimFestivalText(std::string_view text);

}  // namespace vx
