#include "core/db/Clock.h"

#include <ctime>

namespace velmorant {

DateTime SystemClock::Now() const {
    // The precise real-time clock, not std::time(): that one may read a coarse clock that lags
    // by a tick, and would then name the second before the one other programs already show.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const std::time_t t = now.tv_sec;
    std::tm tm{};
    localtime_r(&t, &tm);
    const double seconds = tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec;
    return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + seconds / 86400.0;
}

std::chrono::milliseconds SteadyClock::Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace velmorant
