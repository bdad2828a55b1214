#include "core/exchange/AutoExchangeSchedule.h"

#include <algorithm>

#include "core/db/Clock.h"

namespace velmorant {

using std::chrono::milliseconds;

AutoExchangeSchedule::AutoExchangeSchedule(const MonotonicClock& clock, AutoExchangeTiming timing)
    : m_clock(clock), m_timing(timing), m_lastInput(clock.Elapsed() - timing.quiet) {}

milliseconds AutoExchangeSchedule::now() const { return m_clock.Elapsed(); }

void AutoExchangeSchedule::SetPeriod(int minutes) {
    const milliseconds period = minutes > 0 ? m_timing.minute * minutes : milliseconds(0);
    if (period.count() == 0) {
        m_period = period;
        return;
    }
    const milliseconds t = now();
    if (!Enabled()) {
        m_due = t + std::min(m_timing.minute, period);
        m_notBefore = t;
        m_failures = 0;
    } else {
        m_due = std::min(m_due, t + period);
    }
    m_period = period;
}

void AutoExchangeSchedule::DocumentSaved() {
    if (!Enabled()) return;
    m_due = std::min(m_due, std::max(now() + m_timing.minute, m_notBefore));
}

void AutoExchangeSchedule::NetworkOnline() {
    if (!Enabled()) return;
    m_due = m_notBefore = now();
}

void AutoExchangeSchedule::InputSeen() { m_lastInput = now(); }

bool AutoExchangeSchedule::ShouldStart(bool screenIdle) const {
    if (!Enabled() || !screenIdle) return false;
    const milliseconds t = now();
    return t >= m_due && t - m_lastInput >= m_timing.quiet;
}

void AutoExchangeSchedule::Finished(bool ok) {
    const milliseconds t = now();
    if (ok) {
        m_failures = 0;
        m_notBefore = t;
        m_due = t + m_period;
        return;
    }
    ++m_failures;
    // A minute, then twice as long after every further failure, at most the period. The
    // doubling stops long before it could overflow.
    milliseconds pause = m_timing.minute;
    for (int i = 1; i < m_failures && pause < m_period; ++i) pause *= 2;
    pause = std::min(pause, std::max(m_period, m_timing.minute));
    m_due = m_notBefore = t + pause;
}

milliseconds AutoExchangeSchedule::UntilDue() const {
    if (!Enabled()) return m_period;
    return std::max(milliseconds(0), m_due - now());
}

}  // namespace velmorant
