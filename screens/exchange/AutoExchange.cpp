#include "screens/exchange/AutoExchange.h"

#include <QApplication>
#include <QEvent>
#include <QNetworkInformation>

#include <algorithm>

#include "core/db/Notifier.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/ExchangeGuard.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalWindow.h"
#include "screens/widgets/QtText.h"

namespace velmorant {

namespace {
constexpr int kLongestCheckMs = 1000;
}  // namespace

AutoExchange::AutoExchange(JournalWindow& journal, const Clock& clock, ExchangeGuard& guard)
    : QObject(&journal), m_journal(journal), m_clock(clock), m_guard(guard), m_schedule(m_ticks) {
    setObjectName(QStringLiteral("autoExchange"));
    connect(&m_check, &QTimer::timeout, this, &AutoExchange::check);
    connect(&journal, &JournalWindow::documentChanged, this, [this] {
        if (!m_schedule.Enabled()) return;
        if (CountDocumentsToSend() > 0) m_schedule.DocumentSaved();
        updateStatus();
    });
    connect(&journal, &JournalWindow::rowsLoaded, this, [this] {
        if (m_schedule.Enabled() && !m_running) updateStatus();
    });
    connect(&journal, &JournalWindow::settingsClosed, this, &AutoExchange::reloadOption);
    connect(&journal, &JournalWindow::exchangeStatusTapped, this, &AutoExchange::openLastLog);
    qApp->installEventFilter(this);
    watchNetwork();
    setTiming(m_schedule.Timing());
    reloadOption();
}

AutoExchange::~AutoExchange() = default;

void AutoExchange::setTiming(const AutoExchangeTiming& timing) {
    m_schedule.SetTiming(timing);
    const auto quarter = std::chrono::duration_cast<std::chrono::milliseconds>(timing.minute / 4);
    m_check.setInterval(
        static_cast<int>(std::clamp<long long>(quarter.count(), 20, kLongestCheckMs)));
}

void AutoExchange::reloadOption() {
    const int minutes = AutoExchangeMinutes();
    m_schedule.SetPeriod(minutes);
    if (minutes > 0) {
        m_check.start();
        updateStatus();
    } else {
        m_check.stop();
        m_journal.setExchangeStatus(QString());
    }
}

void AutoExchange::watchNetwork() {
    // A platform without a backend (or without the plugins) leaves the timer alone to work.
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    QNetworkInformation* info = QNetworkInformation::instance();
    if (!info) return;
    connect(info, &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability reachability) {
                using R = QNetworkInformation::Reachability;
                if (reachability == R::Online) {
                    // Only a network that was known to be down comes back; the first report
                    // after the start says nothing new.
                    if (m_networkWasDown) m_schedule.NetworkOnline();
                    m_networkWasDown = false;
                } else if (reachability != R::Unknown) {
                    m_networkWasDown = true;
                }
            });
}

bool AutoExchange::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::TouchBegin:
        case QEvent::Wheel:
            m_schedule.InputSeen();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

bool AutoExchange::journalIdle() const {
    if (!m_journal.isVisible() || m_journal.isMinimized()) return false;
    // Another window of the program in front of the journal. With no window of the program
    // active (a platform without a window manager, or the agent in another program) the
    // journal alone on screen counts as idle: nothing of the program is in use.
    const QWidget* active = QApplication::activeWindow();
    if (active && active != &m_journal) return false;
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return false;
    // The editor, the exchange screen, a dialog or a message box: anything else on screen.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != &m_journal && window->isVisible() && window->isWindow() &&
            window->windowType() != Qt::ToolTip)
            return false;
    }
    return true;
}

void AutoExchange::check() {
    if (m_running) return;
    const bool idle = journalIdle();
    if (idle && !m_pendingBoxes.empty()) {
        // What the last run brought (the office's messages), over the journal as usual.
        const std::vector<HeldMessages::Box> boxes = std::move(m_pendingBoxes);
        m_pendingBoxes.clear();
        for (const HeldMessages::Box& box : boxes) notifier().message(box.text, box.icon);
        return;
    }
    if (m_guard.Busy()) return;
    if (m_schedule.ShouldStart(idle)) run();
}

void AutoExchange::run() {
    if (!m_runner) {
        // Never shown: it keeps the run's log and serves the event loop while it waits.
        m_runner = new ExchangeScreen(m_clock, &m_journal, &m_guard);
        m_runner->setObjectName(QStringLiteral("autoExchangeScreen"));
    }
    m_running = true;
    m_journal.setExchangeStatus(ToQString(auto_exchange_text::kRunning));
    emit runStarted();
    ExchangeScreen::AutomaticRun outcome = m_runner->RunAutomaticExchange();
    m_running = false;
    if (!outcome.started) {
        // FTP is not set up (or another exchange came first): try again after a period.
        m_schedule.Finished(true);
        updateStatus();
        return;
    }
    m_last.ran = true;
    m_last.when = m_clock.Now();
    m_last.ok = outcome.ok;
    m_last.sent = outcome.sent;
    m_last.failure = outcome.ok ? std::string() : outcome.lastMessage;
    m_lastLog = m_runner->log()->toPlainText();
    m_schedule.Finished(outcome.ok);
    if (outcome.ok) {
        m_pendingBoxes = std::move(outcome.boxes);
        // The office moved the documents on: show their new states.
        m_journal.loadRows(m_journal.periodStart(), m_journal.periodEnd());
    }
    updateStatus();
    emit runFinished(outcome.ok);
}

void AutoExchange::updateStatus() {
    m_journal.setExchangeStatus(ToQString(ExchangeStatusLine(m_last, CountDocumentsToSend())));
}

void AutoExchange::openLastLog() {
    m_journal.openExchange();
    auto* screen = qobject_cast<ExchangeScreen*>(m_journal.lastExchangeScreen());
    if (screen && !m_lastLog.isEmpty()) screen->showEarlierRun(m_lastLog);
}

}  // namespace velmorant
