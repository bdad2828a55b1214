#include "core/db/Clock.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/TestSupport.h"

namespace velmorant {
namespace {

// The local time as the date command tells it, as a date value.
DateTime dateCommandNow() {
    const test::CommandResult r = test::runCommand("date '+%Y %m %d %H %M %S'");
    std::istringstream in(r.out);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    in >> y >> mo >> d >> h >> mi >> s;
    if (r.exitCode != 0 || !in) ADD_FAILURE() << "date failed: " << r.out << r.err;
    return EncodeDate(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
}

TEST(Clock, SystemClockTellsTheLocalTime) {
    const SystemClock clock;
    const DateTime before = dateCommandNow();
    const DateTime now = clock.Now();
    const DateTime after = dateCommandNow();
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
    EXPECT_LT(after - before, 60.0 / 86400);  // the command did not hang
    const DateTime today = clock.Today();
    EXPECT_EQ(today, dayOf(today));
    EXPECT_TRUE(today == dayOf(before) || today == dayOf(after));
}

}  // namespace
}  // namespace velmorant
