#include "screens/shell/DayCopy.h"

#include "core/db/Notifier.h"
#include "screens/journal/JournalWindow.h"

namespace velmorant {

DayCopy::DayCopy(const std::string& databasePath, DateTime day, QObject* parent)
    : QObject(parent), m_databasePath(databasePath), m_day(day), m_copy(databasePath, day) {
    m_timer.setInterval(0);  // one step per pass of the event loop
    connect(&m_timer, &QTimer::timeout, this, &DayCopy::step);
}

void DayCopy::start() {
    // An import run before the rows were shown has made the day's copy already.
    if (HasBackupOf(m_databasePath, m_day)) {
        emit finished(true);
        deleteLater();
        return;
    }
    m_timer.start();
}

void DayCopy::step() {
    const auto state = m_copy.Step(kPagesPerStep);
    if (state == BackupInSteps::State::Running) return;
    m_timer.stop();
    const bool ok = state == BackupInSteps::State::Done;
    if (!ok) notifier().message(BackupFailureMessage(m_copy.error()), MessageIcon::Warning);
    emit finished(ok);
    deleteLater();
}

void StartDayCopyAfterFirstLoad(JournalWindow& journal, const std::string& databasePath,
                                DateTime now) {
    if (HasBackupOf(databasePath, now)) return;
    auto* copy = new DayCopy(databasePath, now, &journal);
    // Queued: the rows are painted first, then the copy begins.
    QObject::connect(
        &journal, &JournalWindow::rowsLoaded, copy, &DayCopy::start,
        static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
}

}  // namespace velmorant
