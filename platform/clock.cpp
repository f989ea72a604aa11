#include "platform/clock.h"

#include <ctime>

#include "platform/sysutils.h"

namespace vx {

std::int64_t RealClock::NowMs() const {
  // CLOCK_MONOTONIC: the message loop's timerfd counts on the same clock.
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

TDateTime RealClock::LocalNow() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  time_t secs = ts.tv_sec;
  localtime_r(&secs, &tm);
  TDateParts p;
  p.Year = tm.tm_year + 1900;
  p.Month = tm.tm_mon + 1;
  p.Day = tm.tm_mday;
  p.Hour = tm.tm_hour;
  p.Minute = tm.tm_min;
  p.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second shows as :59
  p.MSec = static_cast<int>(ts.tv_nsec / 1000000);
  return EncodeDateTime(p);
}

}  // namespace vx
