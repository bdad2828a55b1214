#include "screens/shell/Startup.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>

#include "core/db/Backup.h"
#include "core/db/Clock.h"
#include "core/db/DataFolder.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/Screens.h"
#include "screens/shell/SingleInstance.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/MessageBoxNotifier.h"
#include "screens/widgets/ProgramIcon.h"
#include "screens/widgets/ScreenFitter.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/Translations.h"

namespace velmorant {

namespace {
constexpr char kDatabaseFailed[] = "Ошибка при открытии БД.";

// Remembers the order in which the program's windows were last active, so that a newcomer's
// request brings back the window the agent was working in (an editor with an unsaved
// document, the exchange screen, a picker over them), not the journal beneath it.
class ActivationOrder : public QObject {
public:
    explicit ActivationOrder(QObject* owner) : QObject(owner) { qApp->installEventFilter(this); }

    // Visible windows, the least recently active first.
    QList<QWidget*> visibleWindows() const {
        QList<QWidget*> windows;
        for (const QPointer<QWidget>& w : m_order) {
            if (w && w->isVisible()) windows.append(w);
        }
        return windows;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow()) {
                m_order.removeAll(QPointer<QWidget>(widget));
                m_order.removeAll(QPointer<QWidget>());
                m_order.append(widget);
            }
        }
        return false;
    }

private:
    QList<QPointer<QWidget>> m_order;
};

// The journal comes forward first, then every other open window in the order the agent last
// used them, so the one in front is the one that was in front before; a modal dialog or box
// stays above them all.
void bringForward(QWidget* journal, const ActivationOrder* order) {
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
    StartedProgram started;
    QString folder = programFolder;
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    SetProgramFolder(folder.toStdString());
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        started.exitCode = 1;
        return started;
    }

    started.journal = std::make_unique<JournalWindow>(ProgramScreens(clock), clock);
    SetMainWindow(started.journal.get());

    started.guard = std::make_unique<SingleInstance>(instanceName);
    bool another = started.guard->notifyRunningCopy();
    if (!another) {
        JournalWindow* journal = started.journal.get();
        const auto* order = new ActivationOrder(journal);  // freed with the journal
        if (!started.guard->listen([journal, order] { bringForward(journal, order); })) {
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

    // Only the copy that stays checks the file: a second copy must not restore a database
    // under the running one. A question shown here may outlast the journal's first load, so
    // the load is started again on whatever file is in place now.
    CheckAndBackUpAtStart(DatabasePath(), clock.Now());
    if (!PrepareDatabase()) return started;
    started.journal->loadTimer()->start();

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
