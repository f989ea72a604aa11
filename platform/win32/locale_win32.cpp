// The user's date and time conventions on Windows: the user locale's settings.
#include "platform/win32/windows_api.h"

#include "platform/codepage.h"
#include "platform/os.h"
#include "platform/win32/locale_win32.h"

namespace vx::os {
namespace {

std::u16string Info(LCTYPE type) {
  wchar_t buffer[128];
  const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 128);
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
  // Literal text and names in the system code page, as every other byte string of the system.
  auto acp = [](const std::string &utf8) { return vx::FromUtf16(Utf8ToUtf16(utf8), CP_ACP); };
  info.short_date = acp(info.short_date);
  info.long_time = acp(info.long_time);
  auto name = [&](LCTYPE type, std::string &out) {
    const std::u16string s = Info(type);
    if (!s.empty()) out = vx::FromUtf16(s, CP_ACP);
  };
  for (int m = 0; m < 12; ++m) {
    name(LOCALE_SABBREVMONTHNAME1 + m, info.short_months[m]);
    name(LOCALE_SMONTHNAME1 + m, info.long_months[m]);
  }
  // Windows counts the days from Monday (1) to Sunday (7); the framework from Sunday.
  for (int day = 0; day < 7; ++day) {
    const int windows_day = (day + 6) % 7;
    name(LOCALE_SABBREVDAYNAME1 + windows_day, info.short_days[day]);
    name(LOCALE_SDAYNAME1 + windows_day, info.long_days[day]);
  }
  return info;
}

}  // namespace vx::os
