// Code page conversions through MultiByteToWideChar / WideCharToMultiByte.
#include "platform/win32/windows_api.h"

#include "platform/codepage.h"
#include "platform/os.h"

namespace vx::os {
namespace {

constexpr char16_t kReplacement16 = 0xFFFD;

bool Known(unsigned code_page) { return code_page != 0 && IsValidCodePage(code_page) != 0; }

// Converts bytes that must be valid as a whole; false when the system rejects them.
bool Decode(unsigned code_page, std::string_view bytes, std::u16string &out) {
  if (bytes.empty()) return true;
  if (bytes.size() > 0x7FFFFFFF) return false;
  const int in = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), in, nullptr, 0);
  if (n <= 0) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(n));
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), in,
                      reinterpret_cast<wchar_t *>(out.data() + at), n);
  return true;
}

// Encodes text; false when some character has no encoding in the code page.
bool Encode(unsigned code_page, std::u16string_view text, std::string &out) {
  if (text.empty()) return true;
  if (text.size() > 0x3FFFFFFF) return false;
  const auto *w = reinterpret_cast<const wchar_t *>(text.data());
  const int in = static_cast<int>(text.size());
  // UTF-8 and GB18030 encode everything and take no default-character arguments.
  const bool total = code_page == CP_UTF8 || code_page == 54936;
  BOOL used_default = FALSE;
  const DWORD flags = total ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(code_page, flags, w, in, nullptr, 0, nullptr, total ? nullptr : &used_default);
  if (n <= 0 || used_default) return false;
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(n));
  WideCharToMultiByte(code_page, flags, w, in, out.data() + at, n, nullptr, nullptr);
  return true;
}

}  // namespace

std::string SystemCharset() {
  const unsigned acp = GetACP();
  switch (acp) {
    case CP_UTF8: return "UTF-8";
    case 936: return "GBK";
    case 54936: return "GB18030";
    default: break;
  }
  if (acp > 28590 && acp < 28606) return "ISO-8859-" + std::to_string(acp - 28590);
  return "CP" + std::to_string(acp);
}

std::optional<std::u16string> ToUtf16(std::string_view bytes, unsigned code_page, const std::string &) {
  if (!Known(code_page)) return std::nullopt;
  std::u16string out;
  out.reserve(bytes.size());
  if (Decode(code_page, bytes, out)) return out;
  // Some bytes are invalid: character by character, each invalid byte becoming U+FFFD (a
  // double-byte lead with a bad trail skips only the lead, as iconv does on Linux).
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t len = IsDBCSLeadByteEx(code_page, b) && i + 1 < bytes.size() ? 2 : 1;
    if (IsDBCSLeadByteEx(code_page, b) && i + 1 >= bytes.size()) {
      out += kReplacement16;  // a lead byte cut off at the end
      break;
    }
    if (Decode(code_page, bytes.substr(i, len), out)) {
      i += len;
    } else {
      out += kReplacement16;
      ++i;
    }
  }
  return out;
}

std::optional<std::string> FromUtf16(std::u16string_view text, unsigned code_page, const std::string &) {
  if (!Known(code_page)) return std::nullopt;
  const std::u16string clean = Utf8ToUtf16(Utf16ToUtf8(text));  // unpaired surrogates -> U+FFFD
  std::string out;
  out.reserve(clean.size());
  if (Encode(code_page, clean, out)) return out;
  // A character the code page lacks becomes the code page's replacement character when it has
  // one, else '?'; whole characters (a surrogate pair is one).
  std::string replacement;
  if (!Encode(code_page, u"\uFFFD", replacement)) replacement = "?";
  for (std::size_t i = 0; i < clean.size();) {
    const bool pair = clean[i] >= 0xD800 && clean[i] <= 0xDBFF && i + 1 < clean.size();
    const std::size_t len = pair ? 2 : 1;
    if (!Encode(code_page, std::u16string_view(clean).substr(i, len), out)) out += replacement;
    i += len;
  }
  return out;
}

}  // namespace vx::os
