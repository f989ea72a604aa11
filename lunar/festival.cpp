#include "lunar/festival.h"

#include <algorithm>

#include "lunar/texts.h"

namespace vx {

namespace {

unsigned char FoldCase(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldCase(static_cast<unsigned char>(a[i]));
    const unsigned char y = FoldCase(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool HasKey(std::string_view s) { return s.find('=') != std::string_view::npos; }

// The part before the first "="; an entry without "=" has no key.
std::string_view NameOf(std::string_view s) {
  return HasKey(s) ? s.substr(0, s.find('=')) : std::string_view();
}

// Order: key (entries without one first), then entries without "=" before those with one,
// then the rest of the entry.
int CompareEntries(std::string_view a, std::string_view b) {
  if (int c = CompareText(NameOf(a), NameOf(b)); c != 0) return c;
  if (HasKey(a) != HasKey(b)) return HasKey(a) ? 1 : -1;
  return CompareText(a.substr(NameOf(a).size()), b.substr(NameOf(b).size()));
}

std::string TwoDigits(int n) {
  std::string s = std::to_string(n);
  return n >= 0 && n < 10 ? "0" + s : s;
}

std::string SolarKey(const lunar_detail::YMD &d) { return TwoDigits(d.Month) + TwoDigits(d.Day); }
std::string LunarKey(const TLunarDate &d) { return TwoDigits(d.Month) + TwoDigits(d.Day); }

// The two week keys of a date: n-th weekday from the month's start, and from its end.
bool WeekKeys(TDateTime date, std::string &first, std::string &second) {
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d)) return false;
  const std::string mm = TwoDigits(d.Month);
  const std::string weekday = std::to_string(lunar_detail::WeekDay(date));
  first = mm + std::to_string((d.Day - 1) / 7 + 1) + weekday;
  second = mm + std::to_string(TFestivalList::WeekFromMonthEnd(date) + 4) + weekday;
  return true;
}

std::optional<TFestival> Lookup(const TFestivalStrings &list, std::string_view key) {
  const int i = list.IndexOfName(key);
  if (i < 0) return std::nullopt;
  const std::string &entry = list.Strings(i);
  return TFestival{entry.size() > 5 ? entry.substr(5) : std::string(), list.Objects(i)};
}

std::int32_t Mark(const TFestivalStrings &list, std::string_view key) {
  const int i = list.IndexOf(key);
  return i < 0 ? -1 : list.Objects(i);
}

// Appends a found festival: its colour counts only when none was found before.
void Join(TFestival &into, const std::optional<TFestival> &found) {
  if (!found) return;
  if (into.Color == -1) into.Color = found->Color;
  into.Text = std::string(TrimFestivalText(into.Text + " " + found->Text));
}

}  // namespace

std::string_view TrimFestivalText(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// ---- TFestivalStrings ----

const std::string &TFestivalStrings::Strings(int i) const {
  static const std::string kEmpty;
  return i >= 0 && i < Count() ? entries_[static_cast<std::size_t>(i)].Text : kEmpty;
}

std::int32_t TFestivalStrings::Objects(int i) const {
  return i >= 0 && i < Count() ? entries_[static_cast<std::size_t>(i)].Value : 0;
}

std::string_view TFestivalStrings::Names(int i) const { return NameOf(Strings(i)); }

int TFestivalStrings::AddObject(std::string_view text, std::int32_t value) {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), text,
                                   [](const Entry &e, std::string_view t) {
                                     return CompareEntries(e.Text, t) < 0;
                                   });
  if (it != entries_.end() && CompareEntries(it->Text, text) == 0)
    return static_cast<int>(it - entries_.begin());
  return static_cast<int>(entries_.insert(it, Entry{std::string(text), value}) - entries_.begin());
}

void TFestivalStrings::Delete(int i) {
  if (i >= 0 && i < Count()) entries_.erase(entries_.begin() + i);
}

int TFestivalStrings::IndexOf(std::string_view text) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), text,
                                   [](const Entry &e, std::string_view t) {
                                     return CompareEntries(e.Text, t) < 0;
                                   });
  return it != entries_.end() && CompareEntries(it->Text, text) == 0
             ? static_cast<int>(it - entries_.begin())
             : -1;
}

int TFestivalStrings::IndexOfName(std::string_view name) const {
  // Entries without "=" sort before the keyed ones of the same name and are passed over.
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), name,
                                   [](const Entry &e, std::string_view n) {
                                     const int c = CompareText(NameOf(e.Text), n);
                                     return c < 0 || (c == 0 && !HasKey(e.Text));
                                   });
  return it != entries_.end() && HasKey(it->Text) && CompareText(NameOf(it->Text), name) == 0
             ? static_cast<int>(it - entries_.begin())
             : -1;
}

void TFestivalStrings::Assign(const TFestivalStrings &source) {
  if (&source == this) return;
  entries_.clear();
  for (const Entry &e : source.entries_) AddObject(e.Text, e.Value);
}

// ---- TFestivalList ----

TFestivalList::TFestivalList(TYnrCalendar *calendar) : calendar_(calendar) {
  auto load = [this](int kind, TColor color, const auto &rows) {
    // "mmdd", one flag character, then the names.
    for (std::string_view row : rows)
      AddFestival(kind, row.substr(0, 4), color, row.size() > 5 ? row.substr(5) : "");
  };
  load(fkSolar, kSolarFestivalColor, lunar_text::DefaultSolarFestivals);
  load(fkLunar, kLunarFestivalColor, lunar_text::DefaultLunarFestivals);
  load(fkWeek, kWeekFestivalColor, lunar_text::DefaultWeekFestivals);
}

void TFestivalList::Assign(const TFestivalList &source) {
  solar_festivals_.Assign(source.solar_festivals_);
  lunar_festivals_.Assign(source.lunar_festivals_);
  week_festivals_.Assign(source.week_festivals_);
  solar_marks_.Assign(source.solar_marks_);
  lunar_marks_.Assign(source.lunar_marks_);
  week_marks_.Assign(source.week_marks_);
}

bool TFestivalList::AddFestival(int kind, std::string_view key, TColor color,
                                std::string_view text) {
  TFestivalStrings *list = kind == fkSolar   ? &solar_festivals_
                           : kind == fkLunar ? &lunar_festivals_
                           : kind == fkWeek  ? &week_festivals_
                                             : nullptr;
  // A text of blanks only is refused like an empty one: it would name a festival without name.
  const std::string_view trimmed = TrimFestivalText(text);
  if (list == nullptr || key.empty() || trimmed.empty()) return false;
  for (int i = list->IndexOfName(key); i >= 0; i = list->IndexOfName(key)) list->Delete(i);
  std::string entry(key);
  entry += '=';
  entry += trimmed;
  list->AddObject(entry, color);
  return true;
}

std::optional<TFestival> TFestivalList::FindSolar(TDateTime date) const {
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d)) return std::nullopt;
  return Lookup(solar_festivals_, SolarKey(d));
}

std::optional<TFestival> TFestivalList::FindLunar(const TLunarDate &date) const {
  return Lookup(lunar_festivals_, LunarKey(date));
}

std::optional<TFestival> TFestivalList::FindWeek(TDateTime date) const {
  std::string first, second;
  if (!WeekKeys(date, first, second)) return std::nullopt;
  // A hit counted from the month's end replaces one counted from its start.
  if (auto from_end = Lookup(week_festivals_, second)) return from_end;
  return Lookup(week_festivals_, first);
}

TFestival TFestivalList::SolarFestival(TDateTime date) const {
  return FindSolar(date).value_or(TFestival{});
}
TFestival TFestivalList::LunarFestival(const TLunarDate &date) const {
  return FindLunar(date).value_or(TFestival{});
}
TFestival TFestivalList::WeekFestival(TDateTime date) const {
  return FindWeek(date).value_or(TFestival{});
}

std::int32_t TFestivalList::SolarMark(TDateTime date) const {
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d)) return -1;
  return Mark(solar_marks_, SolarKey(d));
}

std::int32_t TFestivalList::LunarMark(const TLunarDate &date) const {
  return Mark(lunar_marks_, LunarKey(date));
}

std::int32_t TFestivalList::WeekMark(TDateTime date) const {
  std::string first, second;
  if (!WeekKeys(date, first, second)) return -1;
  const int i = week_marks_.IndexOf(second);
  if (i >= 0) return week_marks_.Objects(i);
  return Mark(week_marks_, first);
}

int TFestivalList::WeekFromMonthEnd(TDateTime date) {
  lunar_detail::YMD d;
  if (!lunar_detail::DecodeDay(date, d)) return 0;
  return (lunar_detail::DaysInMonth(d.Year, d.Month) - d.Day) / 7 + 1;
}

// ---- lookups for one day ----

TFestival GetFestival(const TFestivalList &list, TDateTime date) {
  TFestival result;
  const TLunarDate today = SolarToLunar(date);
  TLunarDate tomorrow = SolarToLunar(date + 1);
  if (today.Month != tomorrow.Month) {
    // The last day of a lunar month: the following month's day "00" (e.g. 除夕 as "0100").
    tomorrow.Day = 0;
    Join(result, list.FindLunar(tomorrow));
  }
  Join(result, list.FindLunar(today));
  Join(result, list.FindSolar(date));
  Join(result, list.FindWeek(date));
  return result;
}

std::int32_t FestivalMarkColor(const TFestivalList &list, TDateTime date) {
  if (std::int32_t c = list.LunarMark(SolarToLunar(date)); c >= 0) return c;
  if (std::int32_t c = list.SolarMark(date); c >= 0) return c;
  return list.WeekMark(date);
}

}  // namespace vx
