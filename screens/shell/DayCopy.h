#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

#include "core/db/Backup.h"

namespace velmorant {

class JournalWindow;

// The day's first copy of base.sdb, made on the event loop a few hundred pages at a time so
// that the screen keeps answering while it runs. It owns itself: it ends (and is deleted)
// once the copy is in place or has failed, the failure shown as a message.
class DayCopy : public QObject {
    Q_OBJECT
public:
    // Pages copied per step: about a megabyte with the default page size, a few milliseconds.
    static constexpr int kPagesPerStep = 256;

    DayCopy(const std::string& databasePath, DateTime day, QObject* parent);
    void start();

signals:
    void finished(bool ok);

private:
    void step();

    std::string m_databasePath;
    DateTime m_day;
    BackupInSteps m_copy;
    QTimer m_timer;
};

// Starts the day's copy, unless it exists already, once `journal` has shown its first rows.
void StartDayCopyAfterFirstLoad(JournalWindow& journal, const std::string& databasePath,
                                DateTime now);

}  // namespace velmorant
