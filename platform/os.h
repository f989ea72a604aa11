#pragma once
// The operating-system services the shared platform code stands on, one thin function each.
// Implemented once per system (platform/posix/, platform/win32/); nothing outside platform/
// includes this header. File names are the library's byte strings: the system code page's
// bytes on Linux, UTF-8 on Windows (so that names outside the ANSI code page still open).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sysutils.h"

namespace vx::os {

// ---- time
std::int64_t MonotonicMs();
// The local wall-clock time, to the millisecond (a leap second shows as :59).
TDateParts LocalTimeNow();

// ---- files
// fopen with the library's file names; errno tells why on failure (ENOENT: no such file).
std::FILE *OpenFile(const std::string &path, const char *mode);
std::int64_t TellFile(std::FILE *file);               // -1 on failure
bool SeekFile(std::FILE *file, std::int64_t offset);  // from the start
// Replaces the file's contents all at once: a temporary file beside it, flushed, renamed over
// the original (whose permissions it keeps). Throws EFCreateError / EWriteError; on failure
// the old file is left as it was.
void ReplaceFile(const std::string &path, std::string_view data);

// ---- code pages
// Name of the system's 8-bit code page as the converters know it ("UTF-8", "GBK", "CP1252").
std::string SystemCharset();
// Conversions through the system's converter, for a code page given by number and by name.
// Invalid input becomes U+FFFD (to UTF-16) or the code page's replacement character (from
// UTF-16). nullopt when the system knows no such code page.
std::optional<std::u16string> ToUtf16(std::string_view bytes, unsigned code_page,
                                      const std::string &name);
std::optional<std::string> FromUtf16(std::u16string_view text, unsigned code_page,
                                     const std::string &name);

// ---- locale
// The date and time formats (the framework's notation) of the user's locale, in the system
// code page.
struct LocaleInfo {
  std::string short_date = "yyyy-mm-dd";
  std::string long_time = "hh:nn:ss";
};
LocaleInfo ReadLocale();
// The month and day names of a locale, by the system's name for it ("zh_CN.UTF-8" on Linux,
// "zh-CN" on Windows; empty: the user's locale), in the system code page. nullopt when the
// system does not know the locale or the system code page cannot hold its names.
std::optional<TLocaleNames> ReadLocaleNames(std::string_view locale);

}  // namespace vx::os
