#pragma once
// Runs a test with another locale's day and month names in FormatDateTime, without touching the
// environment or the process-wide locale; the user's names come back at the end of the scope.

#include <string_view>

#include "platform/sysutils.h"

namespace vx::test {

// The locale the Chinese-name tests use; scripts/setup.sh generates it.
inline constexpr std::string_view kChineseLocale = "zh_CN.UTF-8";

class ScopedLocaleNames {
 public:
  explicit ScopedLocaleNames(std::string_view locale) { SetLocaleNamesForTesting(locale); }
  ~ScopedLocaleNames() { SetLocaleNamesForTesting({}); }
  ScopedLocaleNames(const ScopedLocaleNames &) = delete;
  ScopedLocaleNames &operator=(const ScopedLocaleNames &) = delete;
};

}  // namespace vx::test
