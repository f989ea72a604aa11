// The user's date and time conventions on Windows: the user locale's settings.
#include "platform/win32/windows_api.h"

#include "platform/codepage.h"
#include "platform/os.h"
#include "platform/win32/locale_win32.h"

namespace vx::os {
namespace {

// One setting of a locale by name (null: the user's), empty when there is none.
std::u16string Info(LCTYPE type, const wchar_t *locale = nullptr) {
  wchar_t buffer[128];
  const int n = locale == nullptr ? GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128)
                                  : GetLocaleInfoEx(locale, type, buffer, 128);
  if (n <= 1) return {};
  return std::u16string(buffer, buffer + n - 1);
}

std::size_t Run(std::u16string_view s, std::size_t i) {
  std::size_t n = 1;
  while (i + n < s.size() && s[i + n] == s[i]) ++n;
  return n;
}

}  // namespace

// Months M -> m, minutes m -> n, 24- and 12-hour H/h -> h, t/tt -> ampm.
std::string FormatFromPicture(std::u16string_view picture) {
  std::string out;
  std::string literal;
  auto flush = [&] {
    if (literal.empty()) return;
    bool letters = false;
    for (char c : literal)
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80) letters = true;
    out += letters ? '"' + literal + '"' : literal;
    literal.clear();
  };
  auto token = [&](std::string_view t) {
    flush();
    out += t;
  };
  for (std::size_t i = 0; i < picture.size();) {
    const char16_t c = picture[i];
    if (c == u'\'') {
      const std::size_t end = picture.find(u'\'', i + 1);
      const std::size_t stop = end == std::u16string_view::npos ? picture.size() : end;
      literal += Utf16ToUtf8(picture.substr(i + 1, stop - i - 1));
      i = stop < picture.size() ? stop + 1 : stop;
      continue;
    }
    const std::size_t n = Run(picture, i);
    switch (c) {
      case u'd': token(std::string(std::min<std::size_t>(n, 4), 'd')); break;
      case u'M': token(std::string(std::min<std::size_t>(n, 4), 'm')); break;
      case u'y': token(n <= 2 ? "yy" : "yyyy"); break;
      case u'h': case u'H': token(n == 1 ? "h" : "hh"); break;
      case u'm': token(n == 1 ? "n" : "nn"); break;
      case u's': token(n == 1 ? "s" : "ss"); break;
      case u't': token("ampm"); break;
      case u'g': break;  // era
      case u'"': break;
      default: literal += Utf16ToUtf8(picture.substr(i, n)); break;
    }
    i += n;
  }
  flush();
  return out;
}

LocaleInfo ReadLocale() {
  LocaleInfo info;
  const std::string d = FormatFromPicture(Info(LOCALE_SSHORTDATE));
  const std::string t = FormatFromPicture(Info(LOCALE_STIMEFORMAT));
  if (!d.empty()) info.short_date = d;
  if (!t.empty()) info.long_time = t;
  // Literal text in the system code page, as every other byte string of the system.
  auto acp = [](const std::string &utf8) { return vx::FromUtf16(Utf8ToUtf16(utf8), CP_ACP); };
  info.short_date = acp(info.short_date);
  info.long_time = acp(info.long_time);
  return info;
}

std::optional<TLocaleNames> ReadLocaleNames(std::string_view locale) {
  std::wstring wide_name;
  for (const char c : locale) wide_name += static_cast<wchar_t>(static_cast<unsigned char>(c));
  const wchar_t *name = locale.empty() ? nullptr : wide_name.c_str();
  if (name != nullptr && !IsValidLocaleName(name)) return std::nullopt;
  TLocaleNames names;
  bool ok = true;
  auto read = [&](LCTYPE type, std::string &out) {
    const std::u16string s = Info(type, name);
    if (s.empty()) {
      ok = false;
      return;
    }
    // Names the system code page cannot hold would turn into question marks.
    const std::string bytes = vx::FromUtf16(s, CP_ACP);
    if (vx::ToUtf16(bytes, CP_ACP) != s) ok = false;
    out = bytes;
  };
  for (int m = 0; m < 12; ++m) {
    read(LOCALE_SABBREVMONTHNAME1 + m, names.ShortMonthNames[m]);
    read(LOCALE_SMONTHNAME1 + m, names.LongMonthNames[m]);
  }
  // Windows counts the days from Monday (1) to Sunday (7); the framework from Sunday.
  for (int day = 0; day < 7; ++day) {
    const int windows_day = (day + 6) % 7;
    read(LOCALE_SABBREVDAYNAME1 + windows_day, names.ShortDayNames[day]);
    read(LOCALE_SDAYNAME1 + windows_day, names.LongDayNames[day]);
  }
  if (!ok) return std::nullopt;
  return names;
}

}  // namespace vx::os
