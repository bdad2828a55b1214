#pragma once

namespace velmorant {

// The one exchange that may run at a time. The exchange screens the agent opens and the
// automatic exchange share one guard, so that a manual exchange and an automatic one never
// overlap: their transfers and imports serve the event loop while they run, and the other side
// could otherwise start in between. User-interface thread only.
class ExchangeGuard {
public:
    // Takes the guard; false when an exchange already holds it.
    bool TryAcquire() {
        if (m_held) return false;
        m_held = true;
        return true;
    }
    void Release() { m_held = false; }
    bool Busy() const { return m_held; }

private:
    bool m_held = false;
};

// Holds a guard taken with TryAcquire() for the length of one exchange, also when it ends
// by an exception.
class HeldExchange {
public:
    explicit HeldExchange(ExchangeGuard& guard) : m_guard(guard) {}
    ~HeldExchange() { m_guard.Release(); }
    HeldExchange(const HeldExchange&) = delete;
    HeldExchange& operator=(const HeldExchange&) = delete;

private:
    ExchangeGuard& m_guard;
};

}  // namespace velmorant
