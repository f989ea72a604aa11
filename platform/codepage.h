#pragma once
// Conversions between UTF-16 and 8-bit code pages, through the system's converter (iconv on
// Linux, MultiByteToWideChar on Windows). Invalid input (unpaired
// surrogates, bytes that are not valid in the code page) becomes replacement characters
// (U+FFFD, or '?' in 8-bit code pages that lack it); nothing ever reads past the input.

#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

constexpr unsigned CP_ACP = 0;  // the system code page: the locale's character set
constexpr unsigned CP_UTF8 = 65001;
constexpr unsigned CP_GBK = 936;

// Name of the system code page's character set ("UTF-8", "GBK", "CP1252", ...): on Linux the
// character set of the environment's LC_CTYPE, where the C/POSIX locale (plain ASCII) counts
// as UTF-8; on Windows the ANSI code page. SystemCodePage() is its number (65001, 936, 1252,
// ...; 0 when it has none).
std::string SystemCodePageName();
unsigned SystemCodePage();
// Replaces the system code page by a character set name; empty restores the system's.
// For tests that need another system code page than the machine's.
void SetSystemCodePageForTesting(std::string_view charset);

std::u16string ToUtf16(std::string_view bytes, unsigned code_page = CP_ACP);
std::string FromUtf16(std::u16string_view text, unsigned code_page = CP_ACP);

// Convenience: UTF-8 <-> UTF-16 (no system converter).
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view text);
// Decodes the UTF-8 sequence at utf8[i] (i < size), advancing i; broken sequences give U+FFFD.
char32_t NextUtf8CodePoint(std::string_view utf8, std::size_t &i);

// Length of a zero-terminated UTF-16 string, reading at most max_units (returns max_units
// when no terminator was found within them).
std::size_t StrLen16(const char16_t *text, std::size_t max_units = std::size_t{1} << 24);

}  // namespace vx
