#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <string>
#include <thread>

#include "core/db/Backup.h"

namespace velmorant {

class JournalWindow;

// The day's copy of base.sdb, made on the event loop a few hundred pages at a time so that
// the screen keeps answering while it runs. The written copy is made durable, checked (a
// damaged database must not replace a good copy) and put in the day's copy's place on a thread
// of its own.
// It owns itself: it ends (and is deleted) once the copy is in place or has failed, the
// failure shown as a message. A copy destroyed before its end (the program closing) leaves
// the mark of copies behind, if there is one, for the next start.
class DayCopy : public QObject {
    Q_OBJECT
public:
    // Pages copied per step: about a megabyte with the default page size, a few milliseconds.
    static constexpr int kPagesPerStep = 256;

    // Makes the copy of `day` current under `owner` (the journal), where one runs at a time:
    // starts one now, or has the one there (still running, or waiting to start) go on once more
    // when the database moved on after its content was taken.
    static DayCopy* KeepCurrent(QObject& owner, const std::string& databasePath, DateTime day);

    DayCopy(const std::string& databasePath, DateTime day, QObject* parent);
    ~DayCopy() override;
    void start();

signals:
    void finished(bool ok);

private:
    void step();
    void placed();
    void end(bool ok, const std::string& error = {});

    std::string m_databasePath;
    DateTime m_day;
    std::unique_ptr<BackupInSteps> m_copy;
    QTimer m_timer;
    std::thread m_check;
    bool m_again = false;  // owed anew while running
    bool m_ended = false;
};

// Starts the day's copy, unless it exists already, once `journal` has shown its first rows.
void StartDayCopyAfterFirstLoad(JournalWindow& journal, const std::string& databasePath,
                                DateTime now);

}  // namespace velmorant
