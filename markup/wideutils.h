#pragma once
// Wide-string helpers of the markup reader. Positions are 1-based, as the markup grammar
// counts them; 0 means "not found".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// 1-based position of the first occurrence of `sub` in `text` at or after the 1-based
// `offset`, or 0. An offset below 1, an offset past the end and an empty `sub` find nothing.
int FindWideText(std::u16string_view sub, std::u16string_view text, int offset);

// Lower-cases letters of the Latin (ASCII, Latin-1, Latin Extended-A), Greek, Cyrillic and
// full-width Latin blocks; every other code unit (CJK, surrogates) stays as it is.
char16_t WideLowerChar(char16_t c);
std::u16string WideLowerCase(std::u16string_view text);

// Equality ignoring case (through WideLowerChar).
bool SameWideText(std::u16string_view a, std::u16string_view b);

// Replaces every occurrence of `from`, left to right, without overlaps, matching case
// exactly. An empty `from` leaves the text as it is.
std::u16string ReplaceAllWide(std::u16string_view text, std::u16string_view from,
                              std::u16string_view to);

// Removes characters with code 32 or below from both ends.
std::u16string_view TrimWide(std::u16string_view text);

// The integer reader: optional leading blanks (space, tab), an optional sign, then decimal
// digits, or hexadecimal digits after "$", "x"/"X" or "0x"/"0X"; nothing may follow. Decimal
// values must fit a 32-bit signed integer; hexadecimal ones may use all 32 bits and are taken
// as the signed integer with the same bits (so "$FFFFFFFF" reads as -1).
std::optional<std::int32_t> ReadIntegerText(std::u16string_view text);
inline bool IsIntegerText(std::u16string_view text) { return ReadIntegerText(text).has_value(); }

}  // namespace vx
