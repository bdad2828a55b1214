// The real screens on a real X server under a window manager (see on_x_server.sh): every
// screen and dialog the agent can open lies inside a handheld's 240x320 screen, and on a
// phone's 720x1440 panel of 5.95" at scale 2 what a finger touches is at least 7 mm.
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <functional>
#include <vector>

#include "core/db/Dates.h"
#include "core/db/Notifier.h"
#include "screens/documents/DocumentEditor.h"
#include "screens/documents/QuantityDialog.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/Screens.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/MessageBoxNotifier.h"
#include "screens/widgets/ScreenFitter.h"
#include "screens/widgets/TouchTargets.h"
#include "support/DocumentsSeed.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;

namespace {

using Opener = std::function<void(JournalWindow&)>;

// The window manager has framed and placed the window.
void settle() { QTest::qWait(300); }

DocumentEditor* openEditor(JournalWindow& journal) {
    journal.newDocument();
    auto* editor = qobject_cast<DocumentEditor*>(journal.lastEditor());
    if (editor) (void)QTest::qWaitForWindowExposed(editor);
    return editor;
}

void trigger(JournalWindow& journal, const char* caption) {
    QAction* action = journal.menuBar()->findCommand(QString::fromUtf8(caption));
    if (!action) qFatal("no command %s", caption);
    action->trigger();
}

// Keeps a picture of the whole screen in VELMORANT_SCREENSHOT_DIR when that is set.
void savePicture(const QString& name) {
    const QString folder = qEnvironmentVariable("VELMORANT_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    if (!QGuiApplication::primaryScreen()->grabWindow(0).save(QDir(folder).filePath(name)))
        qWarning("cannot save %s", qPrintable(name));
}

// Once a modal window opens: `look` at it, then close it.
void whenModalOpens(const std::function<void(QWidget*)>& look) {
    test::whenModalOpens<QWidget>([look](QWidget* modal) {
        (void)QTest::qWaitForWindowExposed(modal);
        look(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
}

// Runs `open` over a fresh journal on a database with goods, clients and one document.
class Program {
public:
    Program() {
        test::SeedClients();
        test::SeedGoods();
        test::SetOption("UseSUMS", "1");
        test::ExecOrFail(
            "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_NAME, ORD_WEIGHT) "
            "values ('D1', '" +
            DateToIso(m_clock.Today()) + "', 1, '" + DateToIso(m_clock.Today()) +
            "', 'ООО Ромашка', 3)");
        m_journal = std::make_unique<JournalWindow>(ProgramScreens(m_clock), m_clock);
        SetMainWindow(m_journal.get());
        m_previous = setNotifier(&m_boxes);
        ScreenFitter::install()->placeMainWindow(m_journal.get());
        m_journal->show();
        (void)QTest::qWaitForWindowExposed(m_journal.get());
        m_journal->loadRows(m_clock.Today(), m_clock.Today());
    }
    ~Program() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != m_journal.get() && w->isVisible() && w->isWindow()) w->hide();
        }
        setNotifier(m_previous);
        SetMainWindow(nullptr);
    }
    JournalWindow& journal() { return *m_journal; }

private:
    test::TempProgramFolder m_folder;
    test::FixedClock m_clock{EncodeDate(2026, 12, 8) + 0.5};
    MessageBoxNotifier m_boxes;
    Notifier* m_previous = nullptr;
    std::unique_ptr<JournalWindow> m_journal;
};

}  // namespace

Q_DECLARE_METATYPE(Opener)

class ScreenSizesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyScreenInsideTheHandheld_data();
    void everyScreenInsideTheHandheld();
    void fingerSizedOnAPhone_data();
    void fingerSizedOnAPhone();
};

void ScreenSizesTest::initTestCase() {
    ScreenFitter::install();
    InstallTouchStyle(*qApp);  // as the program starts
}

void ScreenSizesTest::everyScreenInsideTheHandheld_data() {
    QTest::addColumn<Opener>("open");
    const auto modal = [](Opener open) { return open; };
    QTest::newRow("period dialog") << modal([](JournalWindow& j) { trigger(j, "Выбор периода"); });
    QTest::newRow("settings") << modal([](JournalWindow& j) { trigger(j, "Настройки"); });
    QTest::newRow("about box") << modal([](JournalWindow& j) { trigger(j, "О программе"); });
    QTest::newRow("messages") << modal([](JournalWindow& j) { j.openMessages(); });
    QTest::newRow("quit question") << modal([](JournalWindow& j) { j.close(); });
    QTest::newRow("long message") << modal([](JournalWindow&) {
        notifier().message(std::string(40, 'W') + " " + std::string(300, 'x'));
    });
    QTest::newRow("quantity") << modal([](JournalWindow& j) {
        Money quantity = 0;
        EditQuantity(quantity, 100000, &j);
    });
    QTest::newRow("editor") << Opener([](JournalWindow& j) { openEditor(j); });
    QTest::newRow("client picker") << modal([](JournalWindow& j) {
        if (DocumentEditor* e = openEditor(j)) e->chooseClient();
    });
    QTest::newRow("goods picker") << modal([](JournalWindow& j) {
        if (DocumentEditor* e = openEditor(j)) {
            e->tabs()->setCurrentIndex(DocumentEditor::kLinesTab);
            e->pickGoods();
        }
    });
    QTest::newRow("exchange screen") << Opener([](JournalWindow& j) { j.openExchange(); });
    QTest::newRow("folder chooser") << modal([](JournalWindow& j) {
        j.openExchange();
        if (auto* screen = qobject_cast<ExchangeScreen*>(j.lastExchangeScreen())) {
            (void)QTest::qWaitForWindowExposed(screen);
            screen->ChooseFolder();
        }
    });
}

void ScreenSizesTest::everyScreenInsideTheHandheld() {
    QFETCH(Opener, open);
    QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->size(), QSize(240, 320));
    Program program;
    // Every window of the program shown while the screen is open, the journal's included.
    QStringList outside;
    auto check = [&] {
        settle();
        const QRect available = screen->availableGeometry();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
                continue;
            // A full-screen window has no frame, whatever frame it had before.
            const QRect frame =
                (w->windowState() & Qt::WindowFullScreen) ? w->geometry() : w->frameGeometry();
            if (!available.contains(frame))
                outside << QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
                               .arg(w->metaObject()->className(), w->windowTitle())
                               .arg(frame.x())
                               .arg(frame.y())
                               .arg(frame.width())
                               .arg(frame.height());
        }
    };
    whenModalOpens([&](QWidget*) { check(); });
    open(program.journal());
    check();
    QVERIFY2(outside.isEmpty(), qPrintable(outside.join(QStringLiteral("; "))));
}

void ScreenSizesTest::fingerSizedOnAPhone_data() {
    // Each row opens a screen and returns the controls a finger uses, by object name or kind.
    QTest::addColumn<Opener>("open");
    QTest::newRow("journal rows and bar") << Opener([](JournalWindow&) {});
    QTest::newRow("journal menu") << Opener([](JournalWindow& j) {
        j.menuBar()->popUp(j.menuBar()->findCommand(QString::fromUtf8("  ...  ")));
    });
    QTest::newRow("editor") << Opener([](JournalWindow& j) { openEditor(j); });
    QTest::newRow("period dialog") << Opener([](JournalWindow& j) { trigger(j, "Выбор периода"); });
    QTest::newRow("keypad") << Opener([](JournalWindow& j) {
        Money quantity = 0;
        EditQuantity(quantity, 100000, &j);
    });
    QTest::newRow("client picker") << Opener([](JournalWindow& j) {
        if (DocumentEditor* e = openEditor(j)) e->chooseClient();
    });
    QTest::newRow("goods picker") << Opener([](JournalWindow& j) {
        if (DocumentEditor* e = openEditor(j)) {
            e->tabs()->setCurrentIndex(DocumentEditor::kLinesTab);
            e->pickGoods();
        }
    });
    QTest::newRow("settings, connection") << Opener([](JournalWindow& j) { j.openSettings(); });
    QTest::newRow("settings, options") << Opener([](JournalWindow& j) {
        // Turns the page while the measuring waits for the dialog to settle.
        test::whenModalOpens<QWidget>([](QWidget* settings) {
            if (auto* pages = settings->findChild<QTabWidget*>(QStringLiteral("pages")))
                pages->setCurrentIndex(1);
        });
        j.openSettings();
    });
}

namespace {
// What a finger touches in `window`: rows of its lists, its buttons and check boxes, its
// fields, its menus' items; each with its height (and for a button also its width) in pixels.
struct Target {
    QString what;
    int height;
    int width;
};
std::vector<Target> touchedIn(QWidget* window) {
    std::vector<Target> found;
    if (auto* menu = qobject_cast<QMenu*>(window)) {
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator() && a->isVisible())
                found.push_back({"menu item " + a->text(), menu->actionGeometry(a).height(), 0});
        }
        return found;
    }
    for (auto* view : window->findChildren<QAbstractItemView*>()) {
        if (!view->isVisible() || !view->model() || view->model()->rowCount() == 0 ||
            qobject_cast<QHeaderView*>(view))
            continue;
        const QModelIndex first = view->model()->index(0, 0);
        found.push_back({"row of " + view->objectName(), view->visualRect(first).height(), 0});
    }
    for (auto* button : window->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().trimmed().isEmpty()) continue;
        if (button->window() != window || button->parentWidget()->inherits("QTabBar")) continue;
        // Menu bar commands are as wide as their captions; the rest are a finger wide too.
        const bool barCommand = button->parentWidget()->objectName() == "menuBar";
        found.push_back(
            {"button " + button->text(), button->height(), barCommand ? 0 : button->width()});
    }
    for (auto* field : window->findChildren<QLineEdit*>()) {
        // A date picker's or combo box's own field is the height of its control.
        if (!field->isVisible() || field->window() != window ||
            field->parentWidget()->inherits("QAbstractSpinBox") ||
            field->parentWidget()->inherits("QComboBox"))
            continue;
        found.push_back({"field " + field->objectName(), field->height(), 0});
    }
    return found;
}
}  // namespace

void ScreenSizesTest::fingerSizedOnAPhone() {
    QFETCH(Opener, open);
    QScreen* screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->size(), QSize(360, 720));  // 720x1440 at scale 2
    const QSizeF mm = screen->physicalSize();
    const double inches = std::hypot(mm.width(), mm.height()) / 25.4;
    QVERIFY2(std::abs(inches - 5.95) < 0.05, qPrintable(QString::number(inches)));
    const double perMm = PixelsPerMillimetre(screen);
    Program program;
    QStringList small;
    int measured = 0;
    const QString picture = QString::fromUtf8(QTest::currentDataTag()) == "journal menu"
                                ? QStringLiteral("journal-phone.png")
                                : QString();
    auto measure = [&](QWidget* window) {
        settle();
        if (!picture.isEmpty()) savePicture(picture);
        for (const Target& t : touchedIn(window)) {
            ++measured;
            const double h = t.height / perMm;
            const double w = t.width / perMm;
            if (h < kTouchMillimetres || (t.width > 0 && w < kTouchMillimetres))
                small << QStringLiteral("%1 in %2: %3 x %4 mm")
                             .arg(t.what, window->objectName())
                             .arg(w, 0, 'f', 1)
                             .arg(h, 0, 'f', 1);
        }
    };
    // A modal screen or a menu is measured while it is open; anything else afterwards.
    whenModalOpens(measure);
    open(program.journal());
    if (QWidget* popup = QApplication::activePopupWidget()) {
        measure(popup);
        popup->close();
    } else if (QWidget* active = program.journal().lastEditor()) {
        measure(active);
    } else {
        measure(&program.journal());
    }
    QVERIFY(measured > 0);
    QVERIFY2(small.isEmpty(), qPrintable(small.join(QStringLiteral("; "))));
}

QTEST_MAIN(ScreenSizesTest)
#include "ScreenSizesTest.moc"
