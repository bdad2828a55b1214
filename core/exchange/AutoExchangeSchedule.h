#pragma once

#include <chrono>

namespace velmorant {

class MonotonicClock;

// The lengths the automatic exchange counts in. The option AutoExchange and the pauses are
// whole minutes; tests make the minute shorter.
struct AutoExchangeTiming {
    std::chrono::milliseconds minute{60000};
    // How long the agent must have left the screen alone (no key, no tap) before a run starts.
    std::chrono::milliseconds quiet{10000};
};

// When the automatic exchange runs: every `AutoExchange` minutes, a minute after a document
// was saved for sending, at once when the network comes back, and never while the agent is
// busy with the program. After a failure the next attempt waits a minute, then two, four, ...
// but never longer than the period; a success starts the period again.
//
// The schedule only decides; whoever owns it runs the exchange when ShouldStart() says so and
// reports the outcome with Finished(). Not thread-safe; the clock outlives the schedule.
class AutoExchangeSchedule {
public:
    explicit AutoExchangeSchedule(const MonotonicClock& clock, AutoExchangeTiming timing = {});

    // The period in minutes; 0 or less switches the automatic exchange off. Switched on, the
    // first run is due a minute later (or after the period, when that is shorter); a new
    // period that ends sooner than the run now due brings that run forward.
    void SetPeriod(int minutes);
    bool Enabled() const { return m_period.count() > 0; }
    void SetTiming(AutoExchangeTiming timing) { m_timing = timing; }
    const AutoExchangeTiming& Timing() const { return m_timing; }

    // A document was saved for sending: a run is due a minute from now at the latest, but not
    // before the pause after a failure has ended.
    void DocumentSaved();
    // The network came back: a run is due now, whatever pause a failure set.
    void NetworkOnline();
    // The agent pressed a key or tapped the screen.
    void InputSeen();

    // Whether a run should start now. `screenIdle`: the journal is the active window and
    // nothing (an editor, a dialog, the exchange screen, a menu) is open over it.
    bool ShouldStart(bool screenIdle) const;
    // A run ended; with a failure the pause before the next attempt grows.
    void Finished(bool ok);

    // How long until the next run is due (0 when it is due now); the period when switched off.
    std::chrono::milliseconds UntilDue() const;
    // Failed runs since the last success.
    int Failures() const { return m_failures; }

private:
    std::chrono::milliseconds now() const;

    const MonotonicClock& m_clock;
    AutoExchangeTiming m_timing;
    std::chrono::milliseconds m_period{0};
    std::chrono::milliseconds m_due{0};
    std::chrono::milliseconds m_notBefore{0};  // the end of the pause after a failure
    std::chrono::milliseconds m_lastInput;
    int m_failures = 0;
};

}  // namespace velmorant
