#include "platform/clock.h"

#include "platform/os.h"
#include "platform/sysutils.h"

namespace vx {

std::int64_t RealClock::NowMs() const { return os::MonotonicMs(); }

TDateTime RealClock::LocalNow() const { return EncodeDateTime(os::LocalTimeNow()); }

}  // namespace vx
