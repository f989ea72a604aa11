// Code pages, GUID text and date formats take text from hosts and files: none may crash,
// read out of bounds or lose a valid round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/codepage.h"
#include "platform/com.h"
#include "platform/sysutils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);

  // Bytes in the system code page (UTF-8) and in 936.
  const std::u16string from_utf8 = vx::Utf8ToUtf16(bytes);
  const std::string back = vx::Utf16ToUtf8(from_utf8);
  if (vx::Utf8ToUtf16(back) != from_utf8) std::abort();  // decoded text round-trips exactly
  const std::u16string from_gbk = vx::ToUtf16(bytes, vx::CP_GBK);
  // Every character decoded from 936 encodes back to one character (itself or '?').
  if (vx::ToUtf16(vx::FromUtf16(from_gbk, vx::CP_GBK), vx::CP_GBK).size() != from_gbk.size())
    std::abort();

  // The same bytes as UTF-16 units (possibly unpaired surrogates).
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i + 1 < size; i += 2)
    units[i / 2] = static_cast<char16_t>(data[i] | data[i + 1] << 8);
  (void)vx::FromUtf16(units, vx::CP_GBK);
  (void)vx::FromUtf16(units, vx::CP_ACP);
  (void)vx::StrLen16(units.c_str(), units.size() + 1);

  if (auto guid = vx::ParseGUID(bytes)) {
    if (vx::ParseGUID(vx::FormatGUID(*guid)) != guid) std::abort();
  }
  (void)vx::FormatDateTime(bytes, 45000.5);
  (void)vx::FormatDateTime(vx::FormatFromStrftime(bytes), -700.25);
  return 0;
}
