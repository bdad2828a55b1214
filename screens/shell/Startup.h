#pragma once

#include <QString>

#include <memory>

namespace velmorant {

class Clock;
class ExchangeGuard;
class JournalWindow;
class SingleInstance;

// What the start-up left behind: an exit code to end with at once, or a shown journal and
// the running single-instance guard for the event loop.
struct StartedProgram {
    int exitCode = 0;
    bool runLoop = false;
    // The one exchange at a time of the journal's exchange screens and the automatic exchange
    // (a child of the journal); it outlives the journal.
    std::unique_ptr<ExchangeGuard> exchangeGuard;
    std::unique_ptr<JournalWindow> journal;
    std::unique_ptr<SingleInstance> guard;
    StartedProgram();
    StartedProgram(StartedProgram&&) noexcept;
    ~StartedProgram();
};

// The start-up sequence on an existing QApplication, with messages through the installed
// notifier: prepares the database in `programFolder` (exit code 1 with
// "Ошибка при открытии БД." when it cannot), creates the journal as the main window, hands
// over to a copy already listening on `instanceName` (exit code 0, no message), prepares the
// database again (exit code 0 when that fails) and shows the journal. Every screen reads the
// time from `clock`, which outlives the program started.
StartedProgram StartProgram(const QString& programFolder, const QString& instanceName,
                            const Clock& clock);

// The whole life of the GUI program: the application with Qt's Russian translations, the
// message boxes, StartProgram on the program's folder (ResolveProgramFolder: beside the
// executable or the user's data folder) and the event loop until the agent confirms
// "Завершить работу?".
// Returns the exit code.
int RunProgram(int argc, char** argv);

}  // namespace velmorant
