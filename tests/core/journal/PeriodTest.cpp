#include "core/journal/Period.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmorant {
namespace {

std::string iso(DateTime d) { return d == 0 ? "0" : DateToIso(d); }

// What a period of two days is taken for, and that taking it so gives back the same days.
TEST(Period, DescribesTheDaysItWasGiven) {
    struct Case {
        const char* from;
        const char* to;
        PeriodMode mode;
        const char* ticks;  // "y", "q", "m" for the start ticks set
    };
    const std::vector<Case> cases = {
        {"2030-01-01", "2030-12-31", PeriodMode::Year, ""},
        {"2030-04-01", "2030-06-30", PeriodMode::Quarter, ""},
        {"2030-01-01", "2030-03-31", PeriodMode::Quarter, "y"},
        {"2030-01-01", "2030-06-30", PeriodMode::Day, "y"},
        {"2030-02-01", "2030-02-28", PeriodMode::Month, ""},
        {"2030-05-01", "2030-05-31", PeriodMode::Month, ""},
        {"2030-04-01", "2030-05-31", PeriodMode::Day, "q"},
        {"2030-03-14", "2030-03-14", PeriodMode::Day, ""},
        {"2030-01-01", "2030-03-14", PeriodMode::Day, "y"},
        {"2030-07-01", "2030-08-20", PeriodMode::Day, "q"},
        {"2030-08-01", "2030-08-20", PeriodMode::Day, "m"},
        {"2030-03-02", "2030-03-14", PeriodMode::Interval, ""},
        {"2029-12-31", "2030-01-01", PeriodMode::Interval, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " .. " + c.to);
        const PeriodChoice p = DescribePeriod(IsoToDate(c.from, 0), IsoToDate(c.to, 0), 1);
        EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(p.mode));
        const std::string ticks = std::string(p.fromYearStart ? "y" : "") +
                                  (p.fromQuarterStart ? "q" : "") + (p.fromMonthStart ? "m" : "");
        EXPECT_EQ(c.ticks, ticks);
        EXPECT_EQ(c.from, iso(p.start));
        EXPECT_EQ(c.to, iso(p.end));
    }
    // All documents: shown on today, which gives the numbers.
    const PeriodChoice all = DescribePeriod(0, 0, IsoToDate("2030-11-05", 0));
    EXPECT_EQ(static_cast<int>(PeriodMode::All), static_cast<int>(all.mode));
    EXPECT_EQ(2030, all.year);
    EXPECT_EQ(4, all.quarter);
    EXPECT_EQ(11, all.month);
}

// Steps move the numbers and stop at the years allowed; applying them gives the new period.
TEST(Period, StepsWithinTheYearsAllowed) {
    struct Case {
        const char* label;
        PeriodMode mode;
        int year, quarter, month;
        bool (*step)(PeriodChoice&, int);
        int delta;
        bool moved;
        const char* start;
        const char* end;
    };
    const std::vector<Case> cases = {
        {"next quarter across a year", PeriodMode::Quarter, 2030, 4, 12, &StepPeriodQuarter, 1,
         true, "2031-01-01", "2031-03-31"},
        {"previous month across a year", PeriodMode::Month, 2030, 1, 1, &StepPeriodMonth, -1, true,
         "2029-12-01", "2029-12-31"},
        {"February of a leap year", PeriodMode::Month, 2028, 1, 1, &StepPeriodMonth, 1, true,
         "2028-02-01", "2028-02-29"},
        {"no month before 1980", PeriodMode::Month, 1980, 1, 1, &StepPeriodMonth, -1, false,
         "1980-01-01", "1980-01-31"},
        {"no quarter after 3000", PeriodMode::Quarter, 3000, 4, 12, &StepPeriodQuarter, 1, false,
         "3000-10-01", "3000-12-31"},
        {"the year stays at 3000", PeriodMode::Year, 3000, 1, 1, &StepPeriodYear, 1, true,
         "3000-01-01", "3000-12-31"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        PeriodChoice p;
        p.mode = c.mode;
        p.year = c.year;
        p.quarter = c.quarter;
        p.month = c.month;
        EXPECT_EQ(c.moved, c.step(p, c.delta));
        ApplyPeriod(p);
        EXPECT_EQ(c.start, iso(p.start));
        EXPECT_EQ(c.end, iso(p.end));
    }
}

}  // namespace
}  // namespace velmorant
