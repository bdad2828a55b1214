#include "app/Startup.h"

#include <QApplication>
#include <QIcon>

#include "app/Screens.h"
#include "app/SingleInstance.h"
#include "db/Database.h"
#include "db/Notifier.h"
#include "journal/JournalWindow.h"
#include "ui/ImageList.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxNotifier.h"
#include "ui/ScreenFitter.h"

namespace velmorant {

namespace {
constexpr char kDatabaseFailed[] = "Ошибка при открытии БД.";

void bringForward(QWidget* window) {
    if (!window) return;
    window->showNormal();
    window->raise();
    window->activateWindow();
    // A modal dialog or box open over the journal comes forward with it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}
}  // namespace

StartedProgram::StartedProgram() = default;
StartedProgram::StartedProgram(StartedProgram&&) noexcept = default;
StartedProgram::~StartedProgram() = default;

StartedProgram StartProgram(const QString& programFolder, const QString& instanceName) {
    StartedProgram started;
    QString folder = programFolder;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    SetProgramFolder(folder.toStdString());
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        started.exitCode = 1;
        return started;
    }

    started.journal = std::make_unique<JournalWindow>(ProgramScreens());
    SetMainWindow(started.journal.get());

    started.guard = std::make_unique<SingleInstance>(instanceName);
    bool another = started.guard->notifyRunningCopy();
    if (!another) {
        JournalWindow* journal = started.journal.get();
        if (!started.guard->listen([journal] { bringForward(journal); })) {
            // Another copy took the name a moment ago: hand over to it. A name that cannot
            // be used at all leaves this copy running without the guard.
            another = started.guard->notifyRunningCopy();
        }
    }
    if (another) {
        started.journal.reset();
        started.guard.reset();
        return started;
    }

    if (!PrepareDatabase()) return started;

    ScreenFitter::install()->placeMainWindow(started.journal.get());
    started.journal->show();
    started.runLoop = true;
    return started;
}

int RunProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // only the confirmed close ends the program
    app.setWindowIcon(QIcon(QPixmap::fromImage(ImageList::bitmap(QStringLiteral("APP_ICON")))));

    MessageBoxNotifier boxes;
    Notifier* previous = setNotifier(&boxes);
    struct RestoreNotifier {
        Notifier* previous;
        ~RestoreNotifier() { setNotifier(previous); }
    } restore{previous};

    StartedProgram started =
        StartProgram(QCoreApplication::applicationDirPath(), SingleInstance::defaultName());
    if (!started.runLoop) return started.exitCode;
    return app.exec();
}

}  // namespace velmorant
