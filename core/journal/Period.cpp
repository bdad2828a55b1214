#include "core/journal/Period.h"

namespace velmorant {

namespace {

DateTime firstOf(int year, int month) { return EncodeDate(year, month, 1); }
DateTime lastOf(int year, int month) { return EncodeDate(year, month, daysInMonth(year, month)); }

// Which start the ticks ask for, when any: the year's, or the quarter's, or (when the mode
// allows it) the month's.
void applyStartTicks(PeriodChoice& p, bool withMonthStart) {
    if (p.fromYearStart) {
        p.start = firstOf(p.year, 1);
    } else if (p.fromQuarterStart) {
        p.start = firstOf(p.year, p.quarter * 3 - 2);
    } else if (withMonthStart && p.fromMonthStart) {
        p.start = firstOf(p.year, p.month);
    }
}

// The mode and ticks for two days of one year.
void describeWithinYear(PeriodChoice& p, int m1, int d1, int m2, int d2) {
    const bool sameDay = p.start == p.end;
    const bool sameMonth = m1 == m2;
    const bool sameQuarter = QuarterOfMonth(m1) == QuarterOfMonth(m2);
    const bool startsYear = m1 == 1 && d1 == 1 && !sameDay;
    const bool startsQuarter = sameQuarter && (m1 == 4 || m1 == 7 || m1 == 10) && d1 == 1;
    const bool startsMonth = sameMonth && d1 == 1 && !startsQuarter && !startsYear;
    const bool endsYear = d2 == 31 && m2 == 12;
    const bool endsQuarter = sameQuarter && p.end == PeriodEnd(p.end, 1);
    const bool endsMonth = sameMonth && p.end == PeriodEnd(p.end, 2);
    if (endsYear && startsYear) {
        p.mode = PeriodMode::Year;
    } else if (endsQuarter && (startsQuarter || startsYear)) {
        p.mode = PeriodMode::Quarter;
        p.fromYearStart = startsYear && !startsQuarter;
    } else if (endsMonth && (startsMonth || startsYear || startsQuarter)) {
        p.mode = PeriodMode::Month;
        p.fromYearStart = startsYear && !sameMonth;
        p.fromQuarterStart = startsQuarter && !startsYear && !sameMonth;
    } else if (sameDay || startsYear || startsQuarter || startsMonth) {
        p.mode = PeriodMode::Day;
        p.fromYearStart = startsYear && !sameDay;
        p.fromQuarterStart = startsQuarter && !startsYear && !sameDay;
        p.fromMonthStart = startsMonth && !startsQuarter && !startsYear && !sameDay;
    } else {
        p.mode = PeriodMode::Interval;
    }
}

// Steps `unit` (a quarter of 1..4 or a month of 1..12) within the years allowed.
bool stepWithinYears(int& year, int& unit, int last, int delta) {
    if (delta > 0 && unit >= last) {
        if (year >= kLastPeriodYear) return false;
        ++year;
        unit = 1;
    } else if (delta > 0) {
        ++unit;
    } else if (unit <= 1) {
        if (year <= kFirstPeriodYear) return false;
        --year;
        unit = last;
    } else {
        --unit;
    }
    return true;
}

}  // namespace

PeriodChoice DescribePeriod(DateTime start, DateTime end, DateTime today) {
    PeriodChoice p;
    p.start = dayOf(start);
    p.end = dayOf(end);
    if (p.start == 0) {
        p.start = p.end = today;
        p.mode = PeriodMode::All;
        ApplyPeriod(p);
        return p;
    }
    int y1, m1, d1, y2, m2, d2;
    DecodeDate(p.start, y1, m1, d1);
    DecodeDate(p.end, y2, m2, d2);
    p.year = y2;
    p.month = m2;
    p.quarter = QuarterOfMonth(m2);
    if (y1 != y2) {
        p.mode = PeriodMode::Interval;
    } else {
        describeWithinYear(p, m1, d1, m2, d2);
    }
    ApplyPeriod(p);
    return p;
}

void ApplyPeriod(PeriodChoice& p) {
    int day = 0;
    switch (p.mode) {
        case PeriodMode::Year:
            p.start = firstOf(p.year, 1);
            p.end = EncodeDate(p.year, 12, 31);
            break;
        case PeriodMode::Quarter:
            p.start = firstOf(p.year, p.quarter * 3 - 2);
            p.month = p.quarter * 3;
            p.end = lastOf(p.year, p.month);
            if (p.fromYearStart) p.start = firstOf(p.year, 1);
            break;
        case PeriodMode::Month:
            p.start = firstOf(p.year, p.month);
            p.end = lastOf(p.year, p.month);
            applyStartTicks(p, false);
            break;
        case PeriodMode::Day:
            p.start = p.end;
            DecodeDate(p.end, p.year, p.month, day);
            p.quarter = QuarterOfMonth(p.month);
            applyStartTicks(p, true);
            break;
        case PeriodMode::Interval:
        case PeriodMode::All:
            break;
    }
    DecodeDate(p.end, p.year, p.month, day);
    p.quarter = QuarterOfMonth(p.month);
}

bool StepPeriodYear(PeriodChoice& p, int delta) {
    if (delta < 0 && p.year > kFirstPeriodYear) --p.year;
    if (delta > 0 && p.year < kLastPeriodYear) ++p.year;
    return true;
}

bool StepPeriodQuarter(PeriodChoice& p, int delta) {
    if (!stepWithinYears(p.year, p.quarter, 4, delta)) return false;
    p.month = p.quarter * 3;
    return true;
}

bool StepPeriodMonth(PeriodChoice& p, int delta) {
    return stepWithinYears(p.year, p.month, 12, delta);
}

}  // namespace velmorant
