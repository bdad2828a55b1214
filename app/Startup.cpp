#include "app/Startup.h"

#include <QApplication>
#include <QIcon>

#include <memory>

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

    SetProgramFolder(QCoreApplication::applicationDirPath().toStdString() + "/");
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        return 1;
    }

    InstallScreens();
    auto journal = std::make_unique<JournalWindow>();
    SetMainWindow(journal.get());

    SingleInstance guard;
    if (guard.notifyRunningCopy()) return 0;
    if (!guard.listen([&journal] { bringForward(journal.get()); })) {
        // Another copy took the name a moment ago: hand over to it. A name that cannot be
        // used at all leaves this copy running without the guard.
        if (guard.notifyRunningCopy()) return 0;
    }

    if (!PrepareDatabase()) return 0;

    ScreenFitter::install()->placeMainWindow(journal.get());
    journal->show();
    return app.exec();
}

}  // namespace velmorant
