#include "core/db/Clock.h"

#include <ctime>

namespace velmorant {

DateTime SystemClock::Now() const {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    const double seconds = tm.tm_hour * 3600.0 + tm.tm_min * 60.0 + tm.tm_sec;
    return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + seconds / 86400.0;
}

}  // namespace velmorant
