// The program as a Linux desktop or phone meets it, on the real screens offscreen: the two
// soft keys F1/F2 and Tab from the keyboard, the name columns on windows larger than the
// handheld's, and Russian calendars whatever the process locale says.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QCalendarWidget>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <functional>
#include <memory>
#include <set>

#include "core/db/Dates.h"
#include "core/documents/OrderLines.h"
#include "screens/documents/ClientPicker.h"
#include "screens/documents/DocumentEditor.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/documents/QuantityDialog.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/exchange/SettingsDialog.h"
#include "screens/journal/JournalWindow.h"
#include "screens/journal/PeriodDialog.h"
#include "screens/shell/AboutBox.h"
#include "screens/shell/Screens.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/Translations.h"
#include "support/Controls.h"
#include "support/DocumentsSeed.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;

namespace {

bool showActive(QWidget* window) {
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Presses a key where the keyboard's input goes now: an open menu, or the focus.
void press(Qt::Key key) {
    QWidget* target = QApplication::activePopupWidget();
    if (!target) target = QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    QVERIFY(target);
    QTest::keyClick(target, key);
}

QMenu* openMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

// A widget the agent operates (as opposed to labels, frames and the insides of a control).
bool isControl(QWidget* w) {
    for (QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget()) {
        // Item views' headers and editors, a date picker's or combo box's own line edit, a
        // tab bar's scroll buttons: parts of one control.
        if (qobject_cast<QAbstractItemView*>(p) || qobject_cast<QAbstractSpinBox*>(p) ||
            qobject_cast<QComboBox*>(p) || qobject_cast<QTabBar*>(p))
            return false;
    }
    // The keypad's keys: the keyboard types digits into the edit box itself.
    if (w->parentWidget() && w->parentWidget()->objectName() == QLatin1String("keypad"))
        return false;
    if (qobject_cast<QHeaderView*>(w)) return false;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return !edit->isReadOnly();
    // Tab reaches the chosen radio button of a group; the arrows move within the group.
    if (auto* radio = qobject_cast<QRadioButton*>(w)) return radio->isChecked();
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractItemView*>(w) ||
           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
           qobject_cast<QTextEdit*>(w) || qobject_cast<QTabBar*>(w) || qobject_cast<QComboBox*>(w);
}

// Every visible, enabled control of `window` that Tab never reaches, by object name or class.
QStringList notReachedByTab(QWidget* window) {
    std::set<QWidget*> reached;
    const QList<QWidget*> all = window->findChildren<QWidget*>();
    for (int i = 0; i < 3 * all.size() + 4; ++i) {
        for (QWidget* w = QApplication::focusWidget(); w && w != window; w = w->parentWidget())
            reached.insert(w);
        press(Qt::Key_Tab);
        if (QApplication::activeWindow() != window) return {"Tab left the window"};
    }
    QStringList missing;
    for (QWidget* w : all) {
        if (w->window() != window || !w->isVisible() || !w->isEnabled() || !isControl(w)) continue;
        if (!reached.count(w)) {
            const QString text = qobject_cast<QAbstractButton*>(w)
                                     ? QLatin1String(" \"") +
                                           qobject_cast<QAbstractButton*>(w)->text() +
                                           QLatin1Char('"')
                                     : QString();
            missing << (w->objectName().isEmpty()
                            ? QString::fromLatin1(w->metaObject()->className())
                            : w->objectName()) +
                           text;
        }
    }
    return missing;
}

}  // namespace

class DesktopUseTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void softKeysOnTheJournal();
    void softKeysOnTheEditorAndItsPicker();
    void softKeysOnTheExchangeScreen();
    void goodsPickerFromTheKeyboard();
    void tabReachesEveryControl_data();
    void tabReachesEveryControl();
    void nameColumnsTakeTheExtraWidth_data();
    void nameColumnsTakeTheExtraWidth();
    void longNamesWrapAndColumnsThatDoNotFitHide_data();
    void longNamesWrapAndColumnsThatDoNotFitHide();
    void datePickersAreRussianWhateverTheLocale();
    void keyboardFlow_data();
    void keyboardFlow();

private:
    test::FixedClock m_clock{EncodeDate(2008, 3, 17) + 0.5};
    std::unique_ptr<test::TempProgramFolder> m_folder;
    std::unique_ptr<test::RecordingNotifier> m_boxes;
};

void DesktopUseTest::initTestCase() {
    // The process speaks English: nothing Russian below may come from the locale.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void DesktopUseTest::init() {
    m_folder = std::make_unique<test::TempProgramFolder>();
    m_boxes = std::make_unique<test::RecordingNotifier>();
    test::SeedClients();
    test::SeedGoods();
}

void DesktopUseTest::cleanup() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !qobject_cast<QMenu*>(w)) w->hide();
    }
    m_boxes.reset();
    m_folder.reset();
}

void DesktopUseTest::softKeysOnTheJournal() {
    JournalWindow journal(ProgramScreens(m_clock), m_clock);
    journal.loadTimer()->stop();
    journal.resize(240, 320);
    QVERIFY(showActive(&journal));

    // F1: " Новый " opens the editor on a new document.
    press(Qt::Key_F1);
    QPointer<QWidget> editor = journal.lastEditor();
    QVERIFY(editor && editor->isVisible());
    editor->close();
    QTRY_VERIFY(!editor || !editor->isVisible());
    QVERIFY(showActive(&journal));

    // F2: "..." drops its menu up, the first item marked; the arrows and Enter work in it.
    press(Qt::Key_F2);
    QTRY_VERIFY(openMenu());
    QCOMPARE(openMenu(), journal.menuBar()->menuOf(journal.menuBar()->commands().last()));
    QVERIFY(openMenu()->activeAction());
    QCOMPARE(openMenu()->activeAction()->text(), ToQString(" Повторить "));
    press(Qt::Key_Down);  // over the separator
    QVERIFY(openMenu()->activeAction());
    QCOMPARE(openMenu()->activeAction()->text(), ToQString("Обмен с центр. БД"));
    press(Qt::Key_Down);
    press(Qt::Key_Down);  // " Сообщения ", then over the next separator
    QVERIFY(openMenu()->activeAction());
    QCOMPARE(openMenu()->activeAction()->text(), ToQString("Обновить"));
    QSignalSpy loaded(&journal, &JournalWindow::rowsLoaded);
    press(Qt::Key_Return);
    QTRY_COMPARE(loaded.count(), 1);
    QVERIFY(!openMenu());

    // A soft key inside the open menu closes it; nothing is triggered.
    press(Qt::Key_F2);
    QTRY_VERIFY(openMenu());
    press(Qt::Key_F2);
    QTRY_VERIFY(!openMenu());
    QCOMPARE(loaded.count(), 1);
    QVERIFY(journal.isVisible());
}

void DesktopUseTest::softKeysOnTheEditorAndItsPicker() {
    auto* editor = new DocumentEditor(m_clock);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<DocumentEditor> alive(editor);
    QVERIFY(showActive(editor));
    // "Подбор" is shown on the lines tab only; on the header tab "Ок" comes first.
    editor->tabs()->setCurrentIndex(DocumentEditor::kLinesTab);
    QCOMPARE(editor->menuBar()->firstCommand(), editor->pickAction());

    // F1: "Подбор" opens the goods picker. There F2 opens its "..." menu on " Поиск ", F2
    // again closes it, and Escape is the picker's " [X] Отмена".
    int pickerResult = -1;
    bool menuSeen = false;
    bool rejectedByTest = false;
    test::whenModalOpens<TGoodsPicker>([&](TGoodsPicker* picker) {
        connect(picker, &QDialog::finished, [&](int r) { pickerResult = r; });
        picker->activateWindow();
        if (QTest::qWaitFor([picker] { return QApplication::activeWindow() == picker; })) {
            QTest::keyClick(picker, Qt::Key_F2);
            QMenu* menu = openMenu();
            menuSeen = menu && menu->activeAction() &&
                       menu->activeAction()->text() == QStringLiteral(" Поиск ");
            if (menu) QTest::keyClick(menu, Qt::Key_F2);
            if (!openMenu()) QTest::keyClick(picker->goodsList(), Qt::Key_Escape);
        }
        if (picker->isVisible()) {
            rejectedByTest = true;  // the keys did not end it: leave the modal loop all the same
            picker->reject();
        }
    });
    press(Qt::Key_F1);
    QVERIFY(menuSeen);
    QCOMPARE(pickerResult, Dialog::Cancelled);
    QVERIFY(!rejectedByTest);
    QVERIFY(alive && editor->isVisible());

    // F2: " X " closes the unchanged document without a question.
    QVERIFY(showActive(editor));
    press(Qt::Key_F2);
    QTRY_VERIFY(!alive);
    QVERIFY(m_boxes->shown().empty());
}

void DesktopUseTest::softKeysOnTheExchangeScreen() {
    auto* screen = new ExchangeScreen(m_clock);
    QPointer<ExchangeScreen> alive(screen);
    screen->resize(240, 320);
    QVERIFY(showActive(screen));

    // F1: " Обмен... " opens; without FTP its first enabled item is "Выгрузить".
    press(Qt::Key_F1);
    QTRY_VERIFY(openMenu());
    QCOMPARE(openMenu(), screen->menuBar()->menuOf(screen->menuBar()->commands().first()));
    QVERIFY(openMenu()->activeAction());
    QCOMPARE(openMenu()->activeAction()->text(), ToQString("Выгрузить"));
    press(Qt::Key_Escape);
    QTRY_VERIFY(!openMenu());
    QVERIFY(alive && screen->isVisible());

    // F2: " Закрыть ".
    QVERIFY(showActive(screen));
    press(Qt::Key_F2);
    QTRY_VERIFY(!alive);
}

void DesktopUseTest::goodsPickerFromTheKeyboard() {
    TGoodsPicker picker;
    picker.Load("");
    picker.resize(240, 320);
    QVERIFY(showActive(&picker));
    QCOMPARE(QApplication::focusWidget(), picker.goodsList());
    press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), picker.folderBar());
    press(Qt::Key_Return);  // the folder bar's own key, not " ВВОД "
    QVERIFY(picker.dropDownOpen());
    QCOMPARE(QApplication::focusWidget(), picker.folderTree());
    press(Qt::Key_Escape);  // closes the drop-down only
    QVERIFY(!picker.dropDownOpen());
    QVERIFY(picker.isVisible());
    picker.hide();
}

void DesktopUseTest::tabReachesEveryControl_data() {
    QTest::addColumn<QString>("screen");
    for (const char* screen : {"journal", "editor header", "editor lines", "client picker",
                               "goods picker", "keypad", "period dialog", "exchange screen",
                               "settings connection", "settings options", "about box"})
        QTest::newRow(screen) << screen;
}

void DesktopUseTest::tabReachesEveryControl() {
    QFETCH(QString, screen);
    test::SetOption("UseFTP", "1");  // the settings' fields enabled
    std::unique_ptr<QWidget> window;
    if (screen == "journal") {
        auto journal = std::make_unique<JournalWindow>(ProgramScreens(m_clock), m_clock);
        journal->loadTimer()->stop();
        journal->loadRows(0, 0);
        window = std::move(journal);
    } else if (screen.startsWith("editor")) {
        auto editor = std::make_unique<DocumentEditor>(m_clock);
        editor->tabs()->setCurrentIndex(screen.endsWith("lines") ? DocumentEditor::kLinesTab
                                                                 : DocumentEditor::kHeaderTab);
        window = std::move(editor);
    } else if (screen == "client picker") {
        auto picker = std::make_unique<ClientPicker>();
        picker->fill("SPR_CLIENTS", "");
        window = std::move(picker);
    } else if (screen == "goods picker") {
        auto picker = std::make_unique<TGoodsPicker>();
        picker->Load("");
        window = std::move(picker);
    } else if (screen == "keypad") {
        window = std::make_unique<TQuantityDialog>(15000, kNoPrice);
    } else if (screen == "period dialog") {
        window = std::make_unique<TPeriodDialog>(EncodeDate(2008, 3, 1), EncodeDate(2008, 3, 17),
                                                 m_clock);
    } else if (screen == "exchange screen") {
        window = std::make_unique<ExchangeScreen>(m_clock);
    } else if (screen.startsWith("settings")) {
        auto dialog = std::make_unique<SettingsDialog>();
        QVERIFY(dialog->load());
        window = std::move(dialog);
    } else {
        window = std::make_unique<AboutBox>();
    }
    window->resize(std::max(240, window->width()), std::max(320, window->height()));
    QVERIFY(showActive(window.get()));
    if (auto* editor = qobject_cast<DocumentEditor*>(window.get())) {
        // Showing the editor picks its page from the options; the row names the page.
        editor->tabs()->setCurrentIndex(screen.endsWith("lines") ? DocumentEditor::kLinesTab
                                                                 : DocumentEditor::kHeaderTab);
    }
    // A screen opens with the focus on one of its own controls: on a bar command, Enter
    // would trigger it. The About box has nothing but its command.
    QWidget* first = QApplication::focusWidget();
    QVERIFY(first);
    if (screen != "about box") {
        QVERIFY2(!qobject_cast<MenuBar*>(first->parentWidget()), qPrintable(first->objectName()));
    }
    const QHash<QString, QString> firstFocus = {{"journal", "documentList"},
                                                {"goods picker", "goodsList"},
                                                {"client picker", "searchField"},
                                                {"keypad", "quantityEdit"}};
    if (firstFocus.contains(screen)) QCOMPARE(first->objectName(), firstFocus.value(screen));
    if (screen == "settings options") {
        window->findChild<QTabWidget*>()->setCurrentIndex(1);
    }
    const QStringList missing = notReachedByTab(window.get());
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    window->hide();
}

void DesktopUseTest::nameColumnsTakeTheExtraWidth_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<int>("minimum");  // the width on a handheld
    QTest::newRow("journal, client") << "journal" << 106;
    QTest::newRow("journal with sums, client") << "journal with sums" << 106;
    QTest::newRow("goods picker, goods") << "goods picker" << 150;
    QTest::newRow("editor, goods") << "editor" << 150;
    QTest::newRow("editor with sums, goods") << "editor with sums" << 150;
    QTest::newRow("client picker, name") << "client picker" << 0;
}

void DesktopUseTest::nameColumnsTakeTheExtraWidth() {
    QFETCH(QString, screen);
    QFETCH(int, minimum);
    if (screen.endsWith("with sums")) test::SetOption("UseSUMS", "1");
    std::unique_ptr<QWidget> window;
    std::function<int()> nameWidth;
    if (screen.startsWith("journal")) {
        auto journal = std::make_unique<JournalWindow>(ProgramScreens(m_clock), m_clock);
        journal->loadTimer()->stop();
        QTableView* list = journal->documentList();
        nameWidth = [list] { return list->columnWidth(JournalWindow::kClientColumn); };
        window = std::move(journal);
    } else if (screen == "goods picker") {
        auto picker = std::make_unique<TGoodsPicker>();
        picker->Load("");
        QTreeWidget* list = picker->goodsList();
        nameWidth = [list] { return list->columnWidth(0); };
        window = std::move(picker);
    } else if (screen.startsWith("editor")) {
        auto editor = std::make_unique<DocumentEditor>(m_clock);
        QTreeWidget* list = editor->linesList();
        nameWidth = [list] { return list->columnWidth(1); };
        window = std::move(editor);
    } else {
        auto picker = std::make_unique<ClientPicker>();
        picker->fill("SPR_CLIENTS", "");
        QTreeWidget* list = picker->findChild<QTreeWidget*>(QStringLiteral("clientList"));
        nameWidth = [list] { return list->columnWidth(0); };
        window = std::move(picker);
    }
    window->resize(240, 320);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (auto* editor = qobject_cast<DocumentEditor*>(window.get()))
        editor->tabs()->setCurrentIndex(DocumentEditor::kLinesTab);
    QApplication::processEvents();
    const int handheld = nameWidth();
    if (minimum > 0) QCOMPARE(handheld, minimum);  // the handheld's layout, unchanged

    window->resize(800, 600);
    QTRY_VERIFY2(nameWidth() > std::max(minimum, handheld) + 400,
                 qPrintable(QStringLiteral("%1 px").arg(nameWidth())));
    window->resize(240, 320);
    QTRY_COMPARE(nameWidth(), handheld);  // and back again
}

void DesktopUseTest::longNamesWrapAndColumnsThatDoNotFitHide_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QList<int>>("droppable");  // hidden at 240 pixels, whole on a desktop
    QTest::addColumn<QString>("shortName");     // a row on one line
    const QString kvass = QStringLiteral("Квас");
    QTest::newRow("journal") << "journal" << QList<int>{JournalWindow::kSumColumn} << kvass;
    QTest::newRow("goods picker") << "goods picker" << QList<int>{2, 3} << kvass;
    QTest::newRow("editor") << "editor" << QList<int>{3} << kvass;
    QTest::newRow("client picker")
        << "client picker" << QList<int>{} << QStringLiteral("Иванов И.И.");
}

void DesktopUseTest::longNamesWrapAndColumnsThatDoNotFitHide() {
    QFETCH(QString, screen);
    QFETCH(QList<int>, droppable);
    QFETCH(QString, shortName);
    test::SetOption("UseSUMS", "1");
    const QString longName = QStringLiteral("Средство для мытья посуды «Капля», 500 мл");
    test::ExecOrFail(
        "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) "
        "values ('G-LONG', 14, 1, 0, 0, '" +
        longName.toStdString() +
        "', 'a0', 527.86);"
        "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, INFO) "
        "values ('C-LONG', 5, 0, 0, 0, '" +
        longName.toStdString() +
        "', 'а', '');"
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
        "ORD_WEIGHT, ORD_SUMM) values "
        "('D-LONG', '2008-03-17', 1, '2008-03-17', 'C-LONG', '" +
        longName.toStdString() +
        "', 2, 563), ('D-SHORT', '2008-03-17', 1, '2008-03-17', 'C-KVASS', '" +
        shortName.toStdString() +
        "', 1, 35);"
        "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
        "('D-LONG', 0, 'G-LONG', '" +
        longName.toStdString() +
        "', 1, 527.86),"
        "('D-LONG', 1, 'G-KVASS', '" +
        shortName.toStdString() + "', 1, 35)");

    std::unique_ptr<QWidget> window;
    QAbstractItemView* list = nullptr;
    QHeaderView* header = nullptr;
    int nameColumn = 0;
    if (screen == "journal") {
        auto journal = std::make_unique<JournalWindow>(ProgramScreens(m_clock), m_clock);
        journal->loadTimer()->stop();
        journal->loadRows(m_clock.Today(), m_clock.Today());
        list = journal->documentList();
        header = journal->documentList()->horizontalHeader();
        nameColumn = JournalWindow::kClientColumn;
        window = std::move(journal);
    } else if (screen == "goods picker") {
        auto picker = std::make_unique<TGoodsPicker>();
        picker->Load("");
        list = picker->goodsList();
        header = picker->goodsList()->header();
        window = std::move(picker);
    } else if (screen == "editor") {
        auto editor = std::make_unique<DocumentEditor>(m_clock);
        QVERIFY(editor->LoadDocument("D-LONG"));
        list = editor->linesList();
        header = editor->linesList()->header();
        nameColumn = 1;
        window = std::move(editor);
    } else {
        auto picker = std::make_unique<ClientPicker>();
        picker->fill("SPR_CLIENTS", "");
        auto* clients = picker->findChild<QTreeWidget*>(QStringLiteral("clientList"));
        list = clients;
        header = clients->header();
        window = std::move(picker);
    }
    // The row of each name, found by its text.
    const auto rowOf = [&](const QString& name) {
        const QModelIndexList found = list->model()->match(
            list->model()->index(0, nameColumn), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        return found.isEmpty() ? QModelIndex() : found.first();
    };
    const auto height = [&](const QString& name) { return list->visualRect(rowOf(name)).height(); };
    const auto shown = [&] {
        QList<int> columns;
        for (int c = 0; c < header->count(); ++c) {
            if (!header->isSectionHidden(c) && header->sectionSize(c) > 0) columns << c;
        }
        return columns;
    };
    QVERIFY(rowOf(longName).isValid() && rowOf(shortName).isValid());
    window->resize(240, 320);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    if (auto* editor = qobject_cast<DocumentEditor*>(window.get()))
        editor->tabs()->setCurrentIndex(DocumentEditor::kLinesTab);
    // On the handheld the long name takes a second line; a column cut short is not shown:
    // those shown lie inside the view.
    const int oneLine = list->fontMetrics().height();
    QTRY_VERIFY2(height(longName) >= 2 * oneLine,
                 qPrintable(QStringLiteral("%1 px").arg(height(longName))));
    QVERIFY(height(shortName) < 2 * oneLine);
    for (int c : droppable) {
        QTRY_VERIFY2(!shown().contains(c), qPrintable(QString::number(c)));
        const int last = shown().last();
        const int right = header->sectionViewportPosition(last) + header->sectionSize(last);
        QVERIFY2(right <= list->viewport()->width(), qPrintable(QString::number(right)));
    }

    // On a desktop the name has room on one line, and every column is back.
    window->resize(800, 600);
    QTRY_COMPARE(height(longName), height(shortName));
    for (int c : droppable) QTRY_VERIFY(shown().contains(c));
    window->resize(240, 320);  // and back again
    QTRY_VERIFY(height(longName) > height(shortName));
    for (int c : droppable) QTRY_VERIFY(!shown().contains(c));
}

void DesktopUseTest::datePickersAreRussianWhateverTheLocale() {
    QCOMPARE(QLocale().language(), QLocale::English);
    TPeriodDialog period(EncodeDate(2008, 3, 1), EncodeDate(2008, 3, 17), m_clock);
    DocumentEditor editor(m_clock);
    QList<QDateEdit*> pickers = period.findChildren<QDateEdit*>();
    pickers << editor.datePicker();
    QCOMPARE(pickers.size(), 4);  // the day, the interval's two ends, the shipment date
    for (QDateEdit* picker : pickers) {
        QCOMPARE(picker->locale().language(), QLocale::Russian);
        QCalendarWidget* calendar = picker->calendarWidget();
        QVERIFY(calendar);
        QCOMPARE(calendar->locale().language(), QLocale::Russian);
        QCOMPARE(calendar->firstDayOfWeek(), Qt::Monday);
        QCOMPARE(calendar->locale().standaloneMonthName(3), ToQString("март"));
        QCOMPARE(picker->displayFormat(), QStringLiteral("dd.MM.yyyy"));
    }
    // The calendar's month button names the month in Russian.
    QDateEdit* day = period.findChild<QDateEdit*>(QStringLiteral("dayPicker"));
    day->setDate(QDate(2008, 3, 17));
    auto* month = day->calendarWidget()->findChild<QToolButton*>("qt_calendar_monthbutton");
    QVERIFY(month);
    QCOMPARE(month->text(), ToQString("март"));
}

using Flow = std::function<void(JournalWindow&, DocumentEditor*)>;
Q_DECLARE_METATYPE(Flow)

void DesktopUseTest::keyboardFlow_data() {
    QTest::addColumn<Flow>("flow");  // given the journal (one document, selected) and an editor
    QTest::newRow("Enter on a folder of the drop-down: the list, its first row chosen")
        << Flow([](JournalWindow&, DocumentEditor* e) {
               e->tabs()->setCurrentIndex(DocumentEditor::kLinesTab);
               test::whenModalOpens<TGoodsPicker>([](TGoodsPicker* p) {
                   p->openDropDown();
                   QTreeWidget* tree = p->folderTree();
                   tree->setCurrentItem(tree->topLevelItem(1));  // Бакалея
                   QTest::keyClick(tree, Qt::Key_Return);
                   QVERIFY(!p->dropDownOpen());
                   QCOMPARE(p->focusWidget(), p->goodsList());
                   QVERIFY(p->goodsList()->currentItem() &&
                           p->goodsList()->currentItem()->isSelected());
                   QCOMPARE(p->goodsList()->currentItem()->text(0), QString("Рис"));
                   QTest::keyClick(p->goodsList(), Qt::Key_R);  // a letter: the search
                   QCOMPARE(p->view(), TGoodsPicker::View::Search);
                   p->reject();
               });
               e->pickGoods();
               // Opened again in this session, the picker is on the folder used last.
               test::whenModalOpens<TGoodsPicker>([](TGoodsPicker* p) {
                   QCOMPARE(p->folderBar()->text(), QString(" Бакалея"));
                   p->reject();
               });
               e->pickGoods();
           });
    QTest::newRow("Enter on the focused \"...\": the client picker")
        << Flow([](JournalWindow&, DocumentEditor* e) {
               bool opened = false;
               test::whenModalOpens<ClientPicker>([&](ClientPicker* p) {
                   opened = true;
                   p->reject();
               });
               e->clientButton()->setFocus();
               QTest::keyClick(e->clientButton(), Qt::Key_Return);
               QVERIFY(opened);
           });
    QTest::newRow("Enter on a journal row opens it; closed, the row stays chosen")
        << Flow([](JournalWindow& j, DocumentEditor* e) {
               e->close();
               QTRY_VERIFY(!j.lastEditor());
               QTest::keyClick(j.documentList(), Qt::Key_Return);
               QPointer<QWidget> opened = j.lastEditor();
               QVERIFY(opened);
               auto* editor = qobject_cast<DocumentEditor*>(opened.data());
               QCOMPARE(editor->clientField()->text(), QString("ООО Ромашка"));
               editor->close();
               QTRY_VERIFY(!opened);
               QCOMPARE(j.documentList()->selectionModel()->selectedRows().size(), 1);
           });
}

void DesktopUseTest::keyboardFlow() {
    QFETCH(Flow, flow);
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME) "
        "values ('D1', '2008-03-17', 1, '2008-03-17', 'C-ROMASHKA', 'ООО Ромашка')");
    QWidget session;  // the main window keeps the session's memory
    SetMainWindow(&session);
    JournalWindow journal(ProgramScreens(m_clock), m_clock);
    journal.loadTimer()->stop();
    QVERIFY(showActive(&journal));
    journal.loadRows(m_clock.Today(), m_clock.Today());
    journal.documentList()->selectRow(0);
    journal.newDocument();
    auto* editor = qobject_cast<DocumentEditor*>(journal.lastEditor());
    QVERIFY(editor);
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    flow(journal, editor);
    SetMainWindow(nullptr);
}

QTEST_MAIN(DesktopUseTest)
#include "DesktopUseTest.moc"
