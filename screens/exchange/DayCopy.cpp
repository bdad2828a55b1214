#include "screens/exchange/DayCopy.h"

#include "core/db/Notifier.h"
#include "screens/journal/JournalWindow.h"

namespace velmorant {

DayCopy* DayCopy::KeepCurrent(QObject& owner, const std::string& databasePath, DateTime day) {
    for (DayCopy* running : owner.findChildren<DayCopy*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (running->m_ended || running->m_databasePath != databasePath) continue;
        running->m_day = day;
        running->m_again = true;
        return running;
    }
    auto* copy = new DayCopy(databasePath, day, &owner);
    copy->start();
    return copy;
}

DayCopy::DayCopy(const std::string& databasePath, DateTime day, QObject* parent)
    : QObject(parent), m_databasePath(databasePath), m_day(day) {
    m_timer.setInterval(0);  // one step per pass of the event loop
    connect(&m_timer, &QTimer::timeout, this, &DayCopy::step);
}

DayCopy::~DayCopy() {
    // The check's answer, posted to this object, goes with it.
    if (m_check.joinable()) m_check.join();
}

void DayCopy::start() {
    if (m_ended || m_copy) return;
    // An import run before the rows were shown may have made the day's copy already.
    if (HasBackupOf(m_databasePath, m_day)) return end(true);
    m_again = false;
    m_copy = std::make_unique<BackupInSteps>(m_databasePath, m_day);
    m_timer.start();
}

void DayCopy::step() {
    const auto state = m_copy->Step(kPagesPerStep);
    if (state == BackupInSteps::State::Running) return;
    m_timer.stop();
    if (state != BackupInSteps::State::Written) return end(false, m_copy->error());
    // Writing a large file to the disk and checking it take longer than a tap may wait: they
    // run on a thread of their own, which touches only the copies.
    m_check = std::thread([this] {
        m_copy->PutInPlace();
        QMetaObject::invokeMethod(this, &DayCopy::placed, Qt::QueuedConnection);
    });
}

void DayCopy::placed() {
    m_check.join();
    if (m_copy->Finish() != BackupInSteps::State::Done) return end(false, m_copy->error());
    m_copy.reset();
    // Owed anew after this copy's content was taken: once more.
    if (m_again && !HasBackupOf(m_databasePath, m_day)) return start();
    end(true);
}

void DayCopy::end(bool ok, const std::string& error) {
    m_ended = true;
    if (!ok) notifier().message(BackupFailureMessage(error), MessageIcon::Warning);
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
