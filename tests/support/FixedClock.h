#pragma once

#include "core/db/Clock.h"

namespace velmorant::test {

// The moment the tests' clocks show unless a test sets another: 14 March 2030, 10:20:30.
// Far from the day the tests run, so that a time read from the machine shows.
inline DateTime TestNow() { return EncodeDate(2030, 3, 14) + (10 * 3600 + 20 * 60 + 30) / 86400.0; }

// A clock that stands still at the time it is given until a test sets another.
class FixedClock : public Clock {
public:
    explicit FixedClock(DateTime now = TestNow()) : m_now(now) {}
    DateTime Now() const override { return m_now; }
    void set(DateTime now) { m_now = now; }

private:
    DateTime m_now;
};

}  // namespace velmorant::test
