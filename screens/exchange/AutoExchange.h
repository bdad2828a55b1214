#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <vector>

#include "core/db/Clock.h"
#include "core/exchange/AutoExchangeSchedule.h"
#include "core/exchange/ExchangeStatus.h"
#include "core/exchange/HeldMessages.h"

namespace velmorant {

class ExchangeGuard;
class ExchangeScreen;
class JournalWindow;

namespace auto_exchange_text {
inline constexpr char kRunning[] = "Идёт обмен с сервером…";
}  // namespace auto_exchange_text

// The exchange that runs by itself while the option AutoExchange (minutes) is above 0 and FTP
// is set up: AutoExchangeSchedule decides when, a hidden ExchangeScreen runs it
// (RunAutomaticExchange), and the journal's status line tells how it went. A run starts only
// while the journal is the program's one window on screen (and the active one, when one of
// the program's windows is active), with no menu open, and the agent has not touched the
// program for a while, and never while another exchange holds `guard`. When the
// network comes back (where Qt has a network-information backend) a run is due at once.
// After a successful run the journal reloads its rows and the boxes the run held back (the
// office's messages) are shown as soon as the journal is idle again. Tapping the status line
// opens the exchange screen with the last run's log.
//
// A child of the journal; reads the option when created and when the settings dialog closes.
// User-interface thread only.
class AutoExchange : public QObject {
    Q_OBJECT
public:
    // `clock` stamps the status line; it and `guard` outlive this object.
    AutoExchange(JournalWindow& journal, const Clock& clock, ExchangeGuard& guard);
    ~AutoExchange() override;

    // Reads the option AutoExchange again.
    void reloadOption();
    // Shorter minutes for tests; the checks follow the minute.
    void setTiming(const AutoExchangeTiming& timing);

    bool running() const { return m_running; }
    const AutoExchangeSchedule& schedule() const { return m_schedule; }
    const LastExchangeRun& lastRun() const { return m_last; }
    QString lastLog() const { return m_lastLog; }

signals:
    void runStarted();
    void runFinished(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool journalIdle() const;
    void check();
    void run();
    void updateStatus();
    void openLastLog();
    void watchNetwork();

    JournalWindow& m_journal;
    const Clock& m_clock;
    ExchangeGuard& m_guard;
    SteadyClock m_ticks;
    AutoExchangeSchedule m_schedule;
    QTimer m_check;
    QPointer<ExchangeScreen> m_runner;
    LastExchangeRun m_last;
    QString m_lastLog;
    std::vector<HeldMessages::Box> m_pendingBoxes;
    bool m_running = false;
    bool m_networkWasDown = false;
};

}  // namespace velmorant
