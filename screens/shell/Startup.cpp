#include "screens/shell/Startup.h"

#include <QApplication>
#include <QTimer>

#include <filesystem>

#include "core/db/Backup.h"
#include "core/db/Clock.h"
#include "core/db/DataFolder.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/StartCheck.h"
#include "core/exchange/ExchangeGuard.h"
#include "core/exchange/FtpExchange.h"
#include "screens/exchange/AutoExchange.h"
#include "screens/exchange/DayCopy.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/Screens.h"
#include "screens/shell/SingleInstance.h"
#include "screens/widgets/ActiveWindowOrder.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/MessageBoxNotifier.h"
#include "screens/widgets/ProgramIcon.h"
#include "screens/widgets/ScreenFitter.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/Translations.h"

namespace velmorant {

namespace {
constexpr char kDatabaseFailed[] = "Ошибка при открытии БД.";

// The journal comes forward first, then every other open window in the order the agent last
// used them, so the one in front is the one that was in front before; a modal dialog or box
// stays above them all.
void bringForward(QWidget* journal, const ActiveWindowOrder* order) {
    if (!journal) return;
    // Back from minimised, but the full-screen state of a handheld stays.
    journal->setWindowState(journal->windowState() & ~Qt::WindowMinimized);
    journal->show();
    journal->raise();
    QWidget* top = journal;
    if (order) {
        for (QWidget* window : order->visibleWindows()) {
            if (window == journal) continue;
            window->raise();
            top = window;
        }
    }
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        top = modal;
    }
    top->activateWindow();
}
}  // namespace

StartedProgram::StartedProgram() = default;
StartedProgram::StartedProgram(StartedProgram&&) noexcept = default;
StartedProgram::~StartedProgram() = default;

StartedProgram StartProgram(const QString& programFolder, const QString& instanceName,
                            const Clock& clock) {
    const auto runStarted = std::filesystem::file_time_type::clock::now();
    StartedProgram started;
    QString folder = programFolder;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    SetProgramFolder(folder.toStdString());

    // A copy that is already running keeps its database: the newcomer only prepares one where
    // that cannot hide damage (a missing file is created on a new device alone), and hands over.
    started.guard = std::make_unique<SingleInstance>(instanceName);
    if (started.guard->notifyRunningCopy()) {
        started.guard.reset();
        if (ClassifyDatabase(DatabaseFileIn(ProgramFolder())) != DatabaseState::Damaged &&
            !PrepareDatabase()) {
            notifier().message(kDatabaseFailed, MessageIcon::Error);
            started.exitCode = 1;
        }
        return started;
    }

    // The check, and the restore question, come before anything opens the file for writing or
    // probes its tables. The day's copy is made once the journal shows its rows.
    const StartOutcome outcome = CheckDatabaseAtStart(ProgramFolder(), clock.Now(), runStarted);
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        started.guard.reset();
        started.exitCode = 1;
        return started;
    }
    // The exchange folder is there from the first start, for the agent to find and use.
    std::error_code ec;
    std::filesystem::create_directories(ExchangeFolder(), ec);

    started.exchangeGuard = std::make_unique<ExchangeGuard>();
    started.journal =
        std::make_unique<JournalWindow>(ProgramScreens(clock, started.exchangeGuard.get()), clock);
    SetMainWindow(started.journal.get());
    JournalWindow* journal = started.journal.get();
    // The order brings back the window the agent was working in (an editor with an unsaved
    // document, the exchange screen, a picker over them), not the journal beneath it.
    const auto* order = new ActiveWindowOrder(journal);  // freed with the journal
    if (!started.guard->listen([journal, order] { bringForward(journal, order); }) &&
        started.guard->notifyRunningCopy()) {
        // Another copy took the name a moment ago: hand over to it. A name that cannot be used
        // at all leaves this copy running without the guard.
        started.journal.reset();
        started.guard.reset();
        return started;
    }

    if (!PrepareDatabase()) return started;
    if (outcome == StartOutcome::Healthy || outcome == StartOutcome::Restored)
        StartDayCopyAfterFirstLoad(*journal, DatabasePath(), clock.Now());
    started.journal->loadTimer()->start();
    // With the option AutoExchange the exchange runs by itself while the journal is idle.
    new AutoExchange(*journal, clock, *started.exchangeGuard);  // a child of the journal

    ScreenFitter::install()->placeMainWindow(started.journal.get());
    started.journal->show();
    started.runLoop = true;
    return started;
}

int RunProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // only the confirmed close ends the program
    app.setWindowIcon(ProgramIcon());
    InstallTouchStyle(app);  // finger-sized controls on a phone's screen
    // The desktop entry's name: window managers match the windows to it (and its icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmorant.Velmorant"));
    InstallQtTranslations(app);

    MessageBoxNotifier boxes;
    Notifier* previous = setNotifier(&boxes);
    struct RestoreNotifier {
        Notifier* previous;
        ~RestoreNotifier() { setNotifier(previous); }
    } restore{previous};

    const SystemClock clock;
    StartedProgram started = StartProgram(QString::fromStdString(ResolveProgramFolder()),
                                          SingleInstance::defaultName(), clock);
    if (!started.runLoop) return started.exitCode;
    return app.exec();
}

}  // namespace velmorant
