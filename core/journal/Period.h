#pragma once

#include "core/db/Dates.h"

namespace velmorant {

// The journal's period as the period dialog chooses it: a year, a quarter, a month, a day
// (optionally stretched back to the start of its year, quarter or month), a free interval, or
// all documents. The arithmetic on whole days, without widgets; years step within 1980..3000.
enum class PeriodMode { Year, Quarter, Month, Day, Interval, All };

struct PeriodChoice {
    PeriodMode mode = PeriodMode::All;
    DateTime start = 0;  // whole days; for All the day the dialog shows
    DateTime end = 0;
    int year = 0;
    int quarter = 0;
    int month = 0;
    // The ticks "from the start of the year / quarter / month" (for a quarter only the year's,
    // for a month the year's and the quarter's count).
    bool fromYearStart = false;
    bool fromQuarterStart = false;
    bool fromMonthStart = false;
};

inline constexpr int kFirstPeriodYear = 1980;
inline constexpr int kLastPeriodYear = 3000;

// The choice that describes start..end: the mode and ticks that give exactly these days when
// one does, otherwise an interval. start 0 stands for all documents, shown on `today`.
PeriodChoice DescribePeriod(DateTime start, DateTime end, DateTime today);

// Sets start and end from the mode, the numbers and the ticks (for a day, `end` holds the day
// chosen; an interval keeps its days), then the year, quarter and month from the end.
void ApplyPeriod(PeriodChoice& p);

// One year, quarter or month back (delta < 0) or on. False when the step would leave
// 1980..3000, and nothing changed; the caller then applies nothing.
bool StepPeriodYear(PeriodChoice& p, int delta);
bool StepPeriodQuarter(PeriodChoice& p, int delta);
bool StepPeriodMonth(PeriodChoice& p, int delta);

}  // namespace velmorant
