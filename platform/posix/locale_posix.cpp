// The user's date and time conventions on Linux: the environment's LC_TIME, read without
// changing the process-wide locale.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/os.h"

namespace vx::os {

namespace {

// The name of the environment's LC_TIME locale (empty when none is set).
std::string EnvironmentTimeLocale() {
  for (const char *variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char *name = std::getenv(variable);
    if (name != nullptr && *name != 0) return name;
  }
  return {};
}

// Bytes in one character set as bytes in another; false when iconv cannot convert them all.
bool Recode(std::string_view in, const char *to, const char *from, std::string &out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string src(in);
  out.assign(in.size() * 4 + 8, '\0');
  char *src_p = src.data(), *dst_p = out.data();
  std::size_t src_left = src.size(), dst_left = out.size();
  const bool ok = iconv(cd, &src_p, &src_left, &dst_p, &dst_left) != static_cast<std::size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &dst_p, &dst_left) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - dst_left);
  return ok && src_left == 0;
}

}  // namespace

LocaleInfo ReadLocale() {
  LocaleInfo info;
  const std::string n = EnvironmentTimeLocale();
  // The C/POSIX locale (C.UTF-8 too) gets ISO 8601, not its US-style "%m/%d/%y".
  if (n.empty() || n == "C" || n == "POSIX" || n.rfind("C.", 0) == 0) return info;
  locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return info;
  std::string d = FormatFromStrftime(nl_langinfo_l(D_FMT, loc));
  std::string t = FormatFromStrftime(nl_langinfo_l(T_FMT, loc));
  freelocale(loc);
  if (!d.empty()) info.short_date = d;
  if (!t.empty()) info.long_time = t;
  return info;
}

// glibc keeps each locale's names in that locale's character set; they are handed out in the
// system code page, like every other 8-bit text.
std::optional<TLocaleNames> ReadLocaleNames(std::string_view locale) {
  const std::string name = locale.empty() ? EnvironmentTimeLocale() : std::string(locale);
  if (name.empty()) return std::nullopt;
  locale_t loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return std::nullopt;
  const std::string from = nl_langinfo_l(CODESET, loc);
  const std::string to = SystemCodePageName();
  bool ok = true;
  auto read = [&](nl_item item) {
    const std::string text = nl_langinfo_l(item, loc);
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string out;
    if (text.empty() || (!ascii && from != to && !Recode(text, to.c_str(), from.c_str(), out)))
      ok = false;
    return ascii || from == to ? text : out;
  };
  static constexpr nl_item kShortMonths[] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4, ABMON_5,  ABMON_6,
                                             ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static constexpr nl_item kLongMonths[] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                            MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  static constexpr nl_item kShortDays[] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  static constexpr nl_item kLongDays[] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  TLocaleNames names;
  for (std::size_t i = 0; i < 12; ++i) {
    names.ShortMonthNames[i] = read(kShortMonths[i]);
    names.LongMonthNames[i] = read(kLongMonths[i]);
  }
  for (std::size_t i = 0; i < 7; ++i) {
    names.ShortDayNames[i] = read(kShortDays[i]);
    names.LongDayNames[i] = read(kLongDays[i]);
  }
  freelocale(loc);
  if (!ok) return std::nullopt;
  return names;
}

}  // namespace vx::os
