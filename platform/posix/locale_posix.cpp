// The user's date and time conventions on Linux: the environment's LC_TIME.
#include <langinfo.h>
#include <locale.h>

#include <cstdlib>

#include "platform/os.h"

namespace vx::os {

// Read without changing the process-wide locale.
LocaleInfo ReadLocale() {
  LocaleInfo info;
  const char *name = std::getenv("LC_ALL");
  if (name == nullptr || *name == 0) name = std::getenv("LC_TIME");
  if (name == nullptr || *name == 0) name = std::getenv("LANG");
  std::string n = name != nullptr ? name : "";
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

}  // namespace vx::os
