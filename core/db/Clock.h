#pragma once

#include <chrono>

#include "core/db/Dates.h"

namespace velmorant {

// Where the program reads the current time: the export's DateTime, the time of a load
// (LLD_Def), a document's REC_TIME and default dates, the exchange log's time stamps, the
// journal's and the period dialog's today, an archive entry's fallback time. The programs
// pass a SystemClock; tests pass a clock of their own, so that a run across midnight reads
// one day throughout. Whoever is given a clock keeps a reference to it: the clock outlives
// the objects that use it.
class Clock {
public:
    virtual ~Clock() = default;

    // The local date and time of day: whole days since 30 December 1899, the time of day
    // as the fraction.
    virtual DateTime Now() const = 0;

    // Today's local calendar day, without the time of day.
    DateTime Today() const { return dayOf(Now()); }
};

// The machine's local time, to the second. Safe to use from any thread.
class SystemClock final : public Clock {
public:
    DateTime Now() const override;
};

// Time that only moves forward, for what waits a while (the automatic exchange's pauses):
// the local time may jump when the device sets its clock. Tests pass one that they advance.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    // Time since some fixed moment of this run.
    virtual std::chrono::milliseconds Elapsed() const = 0;
};

// The machine's steady clock. Safe to use from any thread.
class SteadyClock final : public MonotonicClock {
public:
    std::chrono::milliseconds Elapsed() const override;
};

}  // namespace velmorant
