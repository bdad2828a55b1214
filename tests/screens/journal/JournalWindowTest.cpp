// The journal window on a real base.sdb in a temporary program folder, driven offscreen.
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "screens/journal/JournalWindow.h"
#include "screens/journal/MessagesDialog.h"
#include "screens/journal/PeriodDialog.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/TwoLineDelegate.h"
#include "support/Controls.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"
#include "support/Taps.h"
#include "support/TestSupport.h"

using namespace velmorant;

namespace {

void exec(const std::string& sql) {
    auto q = Query(sql);
    if (!q) qFatal("statement failed: %s", sql.c_str());
}

struct Doc {
    const char* guid;
    const char* docDate;
    const char* state;
    const char* client;
    const char* weight;
    const char* sum;
    const char* recTime;
};

void insert(const Doc& doc) {
    exec(std::string("insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, "
                     "ORD_SUMM, REC_TIME) values ('") +
         doc.guid + "', '" + doc.docDate + "', '" + doc.state + "', '" + doc.client + "', '" +
         doc.weight + "', '" + doc.sum + "', '" + doc.recTime + "')");
}

void setOption(const char* name, const char* value) {
    exec(std::string("delete from MY_OPTIONS where OPT_NAME='") + name + "'");
    exec(std::string("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('") + name + "', '" +
         value + "')");
}

int countDocs() {
    auto q = Query("select count(*) as N from DOC_HEADS");
    return q ? std::stoi(q->Value("N", "0")) : -1;
}

QStringList rowTexts(QTableView* list, int column) {
    QStringList out;
    for (int r = 0; r < test::RowCount(list); ++r) out << test::CellText(list, r, column);
    return out;
}

// The state picture a row shows, -1 for none.
int iconIndex(const JournalWindow& journal, int row) {
    const QIcon icon = test::CellIcon(journal.documentList(), row, 0);
    if (icon.isNull()) return -1;
    const QImage shown =
        icon.pixmap(QSize(16, 12)).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int i = 0; i < journal.stateImages().count(); ++i) {
        if (shown == journal.stateImages().image(i).convertToFormat(QImage::Format_ARGB32))
            return i;
    }
    return -2;
}

const DateTime kDay = EncodeDate(2008, 3, 15);

}  // namespace

class JournalWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void emptyStartListsNothingAfterOneSecond();
    void listsTheDocumentsOfThePeriod();
    void periodConditions_data();
    void periodConditions();
    void columnsFollowUseSums_data();
    void columnsFollowUseSums();
    void dateChangeIsAskedOncePerDay();
    void allDocumentsThenNewDay();
    void deleteAsksAndRemoves();
    void failingStatementIsReported();
    void menuEntriesInOrder();
    void screensOpenTheOtherScreens();
    void choosingAPeriodThroughTheDialog();
    void exitAsksFirst();
    void messagesOpenedAreMarkedRead();
    void exchangeStatusBreaksWithinTheWindow();

private:
    std::unique_ptr<test::TempProgramFolder> m_folder;
    std::unique_ptr<test::RecordingNotifier> m_boxes;
    test::FixedClock m_clock;
    std::unique_ptr<JournalWindow> makeJournal(JournalScreens screens = JournalScreens());
};

void JournalWindowTest::init() {
    m_folder = std::make_unique<test::TempProgramFolder>();
    m_boxes = std::make_unique<test::RecordingNotifier>();
    m_clock.set(kDay + 0.5);
}

void JournalWindowTest::cleanup() {
    m_boxes.reset();
    m_folder.reset();
}

std::unique_ptr<JournalWindow> JournalWindowTest::makeJournal(JournalScreens screens) {
    auto journal = std::make_unique<JournalWindow>(std::move(screens), m_clock);
    journal->loadTimer()->stop();  // tests load when they choose
    return journal;
}

void JournalWindowTest::emptyStartListsNothingAfterOneSecond() {
    JournalWindow journal(JournalScreens(), m_clock);
    QSignalSpy loaded(&journal, &JournalWindow::rowsLoaded);
    journal.show();
    QCOMPARE(journal.windowTitle(), ToQString("Агент продаж"));
    QVERIFY(journal.loadTimer()->isActive());
    QCOMPARE(journal.loadTimer()->interval(), 1000);
    QCOMPARE(loaded.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 3000);
    QCOMPARE(test::RowCount(journal.documentList()), 0);
    QVERIFY(!journal.loadTimer()->isActive());
    QTest::qWait(1300);  // the timer runs only once
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(m_boxes->texts(), std::vector<std::string>{});
    QCOMPARE(journal.periodStart(), kDay);
    QCOMPARE(journal.periodEnd(), kDay);
}

void JournalWindowTest::listsTheDocumentsOfThePeriod() {
    setOption("UseSUMS", "1");
    const Doc docs[] = {
        {"AAAAAAAA-0000-0000-0000-000000000001", "2008-03-15", "0", "Ромашка", "12.5", "100",
         "2008-03-15"},
        {" BBBBBBBB-0000-0000-0000-000000000002 ", "2008-03-20", "1", " Лютик ", "0", "0",
         "2008-03-15"},
        {"CCCCCCCC-0000-0000-0000-000000000003", "2008-3-5", "2", "Василёк", "3,25", "7.005",
         "2008-03-15"},
        {"DDDDDDDD-0000-0000-0000-000000000004", "15.03.2008", "3", "X", "abc", "x", "2008-03-15"},
        {"EEEEEEEE-0000-0000-0000-000000000005", "2008-12-31", "4", "Y", "1", "1", "2008-03-15"},
        {"FFFFFFFF-0000-0000-0000-000000000006", "", "", "Z", "", "", "2008-03-15"},
        {"00000000-0000-0000-0000-000000000007", "2008-03-01", "5", "W", "", "", "2008-03-15"},
        {"00000000-0000-0000-0000-000000000008", "2008-03-01", "x1", "V", "", "", "2008-03-15"},
        // A state the office wrote as a real number.
        {"00000000-0000-0000-0000-000000000010", "2008-03-01", "2.0", "U", "", "", "2008-03-15"},
        {"99999999-0000-0000-0000-000000000009", "2008-03-16", "1", "Other day", "", "",
         "2008-03-16"},
    };
    for (const Doc& doc : docs) insert(doc);
    auto journal = makeJournal();
    QVERIFY(journal->showsSums());
    journal->loadRows(kDay, kDay);
    QTableView* list = journal->documentList();
    QCOMPARE(test::RowCount(list), 9);
    QCOMPARE(rowTexts(list, 1), (QStringList{"15.03", "20.03", "???", "???", "31.12", "???",
                                             "01.03", "01.03", "01.03"}));
    QCOMPARE(rowTexts(list, 2), (QStringList{ToQString("Ромашка"), ToQString("Лютик"), "Василёк",
                                             "X", "Y", "Z", "W", "V", "U"}));
    QCOMPARE(rowTexts(list, 3), (QStringList{"12.5", "", "3.3", "", "1.0", "", "", "", ""}));
    QCOMPARE(rowTexts(list, 4), (QStringList{"100.00", "", "7.01", "", "1.00", "", "", "", ""}));
    const int icons[] = {0, 1, 2, 3, 4, 0, -1, 0, 2};
    for (int r = 0; r < 9; ++r) QCOMPARE(iconIndex(*journal, r), icons[r]);
    QCOMPARE(test::CellText(list, 1, 0), QString("  BBBBBBBB-0000-0000-0000-000000000002"));
    QCOMPARE(journal->rowGuids().at(1), std::string("BBBBBBBB-0000-0000-0000-000000000002"));
    QCOMPARE(test::CellAlignment(list, 0, 3) & Qt::AlignRight, int(Qt::AlignRight));
    QCOMPARE(m_boxes->texts(), std::vector<std::string>{});
}

void JournalWindowTest::periodConditions_data() {
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::addColumn<QStringList>("clients");
    QTest::newRow("one day") << EncodeDate(2008, 3, 1) << EncodeDate(2008, 3, 1)
                             << QStringList{"first"};
    QTest::newRow("whole month, both ends included")
        << EncodeDate(2008, 3, 1) << EncodeDate(2008, 3, 31)
        << QStringList{"first", "middle", "last"};
    QTest::newRow("all documents")
        << 0.0 << 0.0 << QStringList{"before", "first", "middle", "last", "after"};
    QTest::newRow("first day after the last")
        << EncodeDate(2008, 3, 31) << EncodeDate(2008, 3, 1) << QStringList{};
}

void JournalWindowTest::periodConditions() {
    QFETCH(double, start);
    QFETCH(double, end);
    QFETCH(QStringList, clients);
    const Doc docs[] = {
        {"G1", "2008-03-01", "1", "before", "", "", "2008-02-29"},
        {"G2", "2008-03-01", "1", "first", "", "", "2008-03-01"},
        {"G3", "2008-03-01", "1", "middle", "", "", "2008-03-15"},
        {"G4", "2008-03-01", "1", "last", "", "", "2008-03-31"},
        {"G5", "2008-03-01", "1", "after", "", "", "2008-04-01"},
    };
    for (const Doc& doc : docs) insert(doc);
    auto journal = makeJournal();
    journal->loadRows(start, end);
    QCOMPARE(rowTexts(journal->documentList(), 2), clients);
}

void JournalWindowTest::columnsFollowUseSums_data() {
    QTest::addColumn<QString>("useSums");
    QTest::addColumn<int>("columns");
    QTest::newRow("sums on") << "1" << 5;
    QTest::newRow("sums on, blanks around") << " 1 " << 5;
    QTest::newRow("sums off") << "0" << 4;
    QTest::newRow("other text") << "yes" << 4;
    QTest::newRow("not set") << "" << 4;
}

void JournalWindowTest::columnsFollowUseSums() {
    QFETCH(QString, useSums);
    QFETCH(int, columns);
    if (!useSums.isEmpty()) setOption("UseSUMS", useSums.toUtf8().constData());
    insert({"G1", "2008-03-15", "1", "c", "2", "5", "2008-03-15"});
    auto journal = makeJournal();
    QTableView* list = journal->documentList();
    QCOMPARE(list->model()->columnCount(), columns);
    QStringList captions;
    for (int c = 0; c < list->model()->columnCount(); ++c)
        captions << list->model()->headerData(c, Qt::Horizontal).toString();
    QStringList expected = {" ", ToQString("Дата"), ToQString("Клиент"), ToQString("Кол-во"),
                            ToQString("Сумма")};
    QCOMPARE(captions, expected.mid(0, columns));
    const int widths[] = {18, 46, 106, 62, 62};
    for (int c = 0; c < columns; ++c) {
        // The sum does not fit whole beside the others in a handheld's window: hidden, not cut.
        if (c == JournalWindow::kSumColumn) {
            QVERIFY(list->isColumnHidden(c));
            continue;
        }
        QCOMPARE(list->columnWidth(c), widths[c]);
    }
    // The column stays as created; a later change of UseSUMS only changes what is filled.
    setOption("UseSUMS", columns == 5 ? "0" : "1");
    journal->loadRows(kDay, kDay);
    QCOMPARE(list->model()->columnCount(), columns);
    if (columns == 5) QCOMPARE(test::CellText(list, 0, 4), QString());
}

void JournalWindowTest::dateChangeIsAskedOncePerDay() {
    auto journal = makeJournal();
    const std::string question = "Сменилась дата. Установить новую дату в журнале?";
    journal->refresh();
    QCOMPARE(m_boxes->texts(), std::vector<std::string>{});

    m_clock.set(kDay + 1.01);  // just past midnight
    m_boxes->queueAnswer(MessageAnswer::No);
    journal->refresh();
    QCOMPARE(m_boxes->texts(), std::vector<std::string>{question});
    QCOMPARE(m_boxes->shown().at(0).icon, MessageIcon::Question);
    QCOMPARE(journal->periodStart(), kDay);
    journal->refresh();
    QCOMPARE(m_boxes->shown().size(), size_t(1));

    m_clock.set(kDay + 2.3);
    m_boxes->queueAnswer(MessageAnswer::Yes);
    journal->refresh();
    QCOMPARE(m_boxes->shown().size(), size_t(2));
    QCOMPARE(journal->periodStart(), kDay + 2);
    QCOMPARE(journal->periodEnd(), kDay + 2);
    QCOMPARE(journal->lastSeenDay(), kDay + 2);
}

void JournalWindowTest::allDocumentsThenNewDay() {
    insert({"G1", "2008-03-15", "1", "today", "", "", "2008-03-15"});
    insert({"G2", "2008-03-16", "1", "tomorrow", "", "", "2008-03-16"});
    insert({"G3", "2007-01-01", "1", "old", "", "", "2007-01-01"});
    auto journal = makeJournal();
    journal->setPeriod(0, 0);
    journal->refresh();
    QCOMPARE(test::RowCount(journal->documentList()), 3);
    m_clock.set(kDay + 1);
    m_boxes->queueAnswer(MessageAnswer::Yes);
    journal->refresh();
    QCOMPARE(rowTexts(journal->documentList(), 2), QStringList{"tomorrow"});
}

void JournalWindowTest::deleteAsksAndRemoves() {
    insert({"G1", "2008-03-15", "1", "one", "", "", "2008-03-15"});
    insert({"G2", "2008-03-15", "1", "two", "", "", "2008-03-15"});
    exec("insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID) values ('G2', 0, 'X')");
    int editorCalls = 0;
    JournalScreens screens;
    screens.createEditor = [&](JournalWindow&, const std::string&) -> QWidget* {
        ++editorCalls;
        return nullptr;
    };
    auto journal = makeJournal(screens);
    journal->show();
    journal->loadRows(kDay, kDay);
    QTableView* list = journal->documentList();
    QAction* remove = journal->menuBar()->findCommand(ToQString(" Удалить "));
    QVERIFY(remove);

    // No selection: nothing asked, nothing removed.
    list->clearSelection();
    remove->trigger();
    QVERIFY(m_boxes->shown().empty());

    list->selectRow(1);
    m_boxes->queueAnswer(MessageAnswer::No);
    remove->trigger();
    QCOMPARE(m_boxes->texts(), std::vector<std::string>{"Удалить документ?"});
    QCOMPARE(countDocs(), 2);

    list->selectRow(1);
    m_boxes->queueAnswer(MessageAnswer::Yes);
    QTest::mouseClick(journal->menuBar()->buttonOf(remove), Qt::LeftButton);
    QCOMPARE(m_boxes->shown().size(), size_t(2));
    QCOMPARE(countDocs(), 1);
    QCOMPARE(Query("select * from DOC_ORDERS")->RowCount(), 0);
    QCOMPARE(rowTexts(list, 2), QStringList{"one"});

    list->selectRow(0);
    m_boxes->queueAnswer(MessageAnswer::Yes);
    remove->trigger();
    QCOMPARE(test::RowCount(list), 0);
    QCOMPARE(countDocs(), 0);
    // The list is empty: Edit and Delete do nothing and say nothing.
    m_boxes->clear();
    remove->trigger();
    journal->menuBar()->findCommand(ToQString(" Редакт. "))->trigger();
    QVERIFY(m_boxes->shown().empty());
    QCOMPARE(editorCalls, 0);
}

void JournalWindowTest::failingStatementIsReported() {
    insert({"G1", "2008-03-15", "1", "one", "", "", "2008-03-15"});
    auto journal = makeJournal();
    journal->loadRows(kDay, kDay);
    QCOMPARE(test::RowCount(journal->documentList()), 1);
    exec("drop table DOC_HEADS");
    journal->loadRows(kDay, kDay);
    QCOMPARE(test::RowCount(journal->documentList()), 0);
    QVERIFY(journal->rowGuids().empty());
    const auto texts = m_boxes->texts();
    QCOMPARE(texts.size(), size_t(2));
    QVERIFY(texts[0].find("DOC_HEADS") != std::string::npos);  // the library's own words
    QCOMPARE(texts[1], std::string("Ошибка при выполнении запроса (список документов)."));
    QCOMPARE(m_boxes->shown().at(1).icon, MessageIcon::None);
}

void JournalWindowTest::menuEntriesInOrder() {
    auto journal = makeJournal();
    MenuBar* bar = journal->menuBar();
    QStringList top;
    for (QAction* a : bar->commands()) top << a->text();
    QCOMPARE(top, (QStringList{ToQString(" Новый "), ToQString(" Редакт. "), ToQString(" Удалить "),
                               "  ...  "}));
    QMenu* more = bar->menuOf(bar->commands().at(3));
    QVERIFY(more);
    QStringList sub;
    for (QAction* a : more->actions()) sub << (a->isSeparator() ? QString("-") : a->text());
    QCOMPARE(sub, (QStringList{ToQString(" Повторить "), "-", ToQString("Обмен с центр. БД"),
                               ToQString(" Сообщения "), "-", ToQString("Обновить"),
                               ToQString("Выбор периода"), "-", ToQString("Настройки"), "-",
                               ToQString("О программе"), "-", ToQString("Выход")}));
}

void JournalWindowTest::screensOpenTheOtherScreens() {
    insert({"G1", "2008-03-15", "1", "one", "", "", "2008-03-15"});
    insert({"G2", "2008-03-15", "1", "two", "", "", "2008-03-15"});
    JournalScreens screens;
    std::vector<std::string> opened;
    screens.createEditor = [&](JournalWindow& j, const std::string& guid) -> QWidget* {
        opened.push_back(guid);
        auto* w = new QWidget(&j, Qt::Window);
        w->setObjectName(QString::fromStdString("editor " + guid));
        return w;
    };
    int exchanges = 0;
    screens.createExchangeScreen = [&](JournalWindow& j) -> QWidget* {
        ++exchanges;
        return new QWidget(&j, Qt::Window);
    };
    QWidget* settingsParent = nullptr;
    screens.runSettings = [&](QWidget* parent) { settingsParent = parent; };
    QWidget* aboutParent = nullptr;
    screens.runAbout = [&](QWidget* parent) { aboutParent = parent; };
    auto journal = makeJournal(screens);
    journal->show();
    journal->loadRows(kDay, kDay);
    QSignalSpy loaded(journal.get(), &JournalWindow::rowsLoaded);

    MenuBar* bar = journal->menuBar();
    QTest::mouseClick(bar->buttonOf(bar->findCommand(ToQString(" Новый "))), Qt::LeftButton);
    QCOMPARE(opened, std::vector<std::string>{""});
    QVERIFY(journal->lastEditor() && journal->lastEditor()->isVisible());

    journal->documentList()->selectRow(1);
    bar->findCommand(ToQString(" Редакт. "))->trigger();
    const QRect cell = test::CellRect(journal->documentList(), 0, 2);
    QTest::mousePress(journal->documentList()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseRelease(journal->documentList()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(journal->documentList()->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(opened.size(), size_t(3));
    QCOMPARE(opened, (std::vector<std::string>{"", "G2", "G1"}));
    QCOMPARE(journal->lastEditor()->objectName(), QString("editor G1"));

    bar->findCommand(ToQString("Обмен с центр. БД"))->trigger();
    QCOMPARE(exchanges, 1);
    QVERIFY(journal->lastExchangeScreen()->isVisible());
    // While that screen is open, the command brings it back instead of a second one.
    QWidget* first = journal->lastExchangeScreen();
    bar->findCommand(ToQString("Обмен с центр. БД"))->trigger();
    QCOMPARE(exchanges, 1);
    QCOMPARE(journal->lastExchangeScreen(), first);
    first->close();
    bar->findCommand(ToQString("Обмен с центр. БД"))->trigger();
    QCOMPARE(exchanges, 2);
    bar->findCommand(ToQString("Настройки"))->trigger();
    QCOMPARE(settingsParent, static_cast<QWidget*>(journal.get()));
    QVERIFY(!aboutParent);
    bar->findCommand(ToQString("О программе"))->trigger();
    QCOMPARE(aboutParent, static_cast<QWidget*>(journal.get()));
    QCOMPARE(loaded.count(), 0);  // none of these reloads the journal
}

void JournalWindowTest::choosingAPeriodThroughTheDialog() {
    insert({"G1", "2008-03-15", "1", "today", "", "", "2008-03-15"});
    insert({"G2", "2008-01-10", "1", "january", "", "", "2008-01-10"});
    auto journal = makeJournal();
    SetMainWindow(journal.get());
    journal->show();
    journal->loadRows(kDay, kDay);

    test::whenModalOpens<TPeriodDialog>([](TPeriodDialog* dialog) {
        QCOMPARE(dialog->mode(), TPeriodDialog::Mode::Day);
        QCOMPARE(dialog->parentWidget()->objectName(), QString("journal"));
        dialog->findChild<QRadioButton*>("yearRadio")->click();
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    journal->menuBar()->findCommand(ToQString("Выбор периода"))->trigger();
    QCOMPARE(journal->periodStart(), EncodeDate(2008, 1, 1));
    QCOMPARE(journal->periodEnd(), EncodeDate(2008, 12, 31));
    QCOMPARE(rowTexts(journal->documentList(), 2), (QStringList{"today", "january"}));

    QSignalSpy loaded(journal.get(), &JournalWindow::rowsLoaded);
    test::whenModalOpens<TPeriodDialog>([](TPeriodDialog* dialog) {
        dialog->findChild<QRadioButton*>("allRadio")->click();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    journal->choosePeriod();
    QCOMPARE(loaded.count(), 0);  // cancelled: nothing changes, nothing reloads
    QCOMPARE(journal->periodStart(), EncodeDate(2008, 1, 1));

    test::whenModalOpens<TPeriodDialog>([](TPeriodDialog* dialog) {
        dialog->findChild<QRadioButton*>("allRadio")->click();
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    journal->choosePeriod();
    QCOMPARE(journal->periodStart(), 0.0);
    QCOMPARE(journal->periodEnd(), 0.0);
    QCOMPARE(loaded.count(), 1);
    SetMainWindow(nullptr);
}

void JournalWindowTest::exitAsksFirst() {
    auto journal = makeJournal();
    int quits = 0;
    journal->setQuitHandler([&] { ++quits; });
    journal->show();
    QVERIFY(QTest::qWaitForWindowExposed(journal.get()));
    QAction* exit = journal->menuBar()->findCommand(ToQString("Выход"));
    m_boxes->queueAnswer(MessageAnswer::No);
    exit->trigger();
    QTRY_COMPARE(m_boxes->shown().size(), size_t(1));
    QCOMPARE(m_boxes->texts().at(0), std::string("Завершить работу?"));
    QCOMPARE(m_boxes->shown().at(0).buttons, MessageButtons::YesNo);
    QTest::qWait(50);
    QVERIFY(journal->isVisible());
    QCOMPARE(quits, 0);

    m_boxes->queueAnswer(MessageAnswer::Yes);
    journal->close();
    QCOMPARE(m_boxes->shown().size(), size_t(2));
    QCOMPARE(quits, 1);
    QVERIFY(!journal->isVisible());
}

// The rows of the open message list: "title | date | bold or plain".
QStringList messageRows(MessagesDialog* d) {
    QStringList rows;
    for (int i = 0; i < d->list()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = d->list()->topLevelItem(i);
        rows << item->text(0) + " | " + item->data(0, TwoLineDelegate::kSecondLineRole).toString() +
                    " | " + (item->font(0).bold() ? "bold" : "plain");
    }
    return rows;
}

void JournalWindowTest::messagesOpenedAreMarkedRead() {
    exec(
        "insert into MY_MESSAGES (GUID, M_DATE, M_TYPE, S_TITLE, S_BODY, IS_NEW) values "
        "('M1', '2026-12-01 09:00:00', 0, 'Новые цены', 'С 1 декабря новые цены.|На соки тоже.', "
        "1), ('M2', '2026-12-07 08:30:00', 0, 'План на неделю', 'Консервы.', 1),"
        "('M3', '2026-11-20', 0, '', 'Старое сообщение без темы', 0)");
    auto journal = makeJournal();
    journal->resize(240, 320);
    journal->show();
    QVERIFY(QTest::qWaitForWindowExposed(journal.get()));
    QCOMPARE(journal->messagesAction()->text(), ToQString(" Сообщения (2) "));

    QStringList firstLook, secondLook;
    QString shownTitle, shownText;
    test::whenModalOpens<MessagesDialog>([&](MessagesDialog* d) {
        firstLook = messageRows(d);
        test::TapRow(d->list(), 1);  // Новые цены
        test::whenModalOpens<MessageView>([&](MessageView* v) {
            shownTitle = v->title()->text();
            shownText = v->text()->toPlainText();
            test::TapMenu(v->menuBar(), "[ Закрыть ]");
        });
        test::TapMenu(d->menuBar(), "[ Открыть ]");
        test::TapMenu(d->menuBar(), "[ Закрыть ]");
    });
    test::TapMenuItem(journal->menuBar(), "  ...  ", " Сообщения (2) ");
    QCOMPARE(firstLook, (QStringList{ToQString("План на неделю | 07.12.2026 08:30 | bold"),
                                     ToQString("Новые цены | 01.12.2026 09:00 | bold"),
                                     ToQString("Старое сообщение без темы | 20.11.2026 | plain")}));
    QCOMPARE(shownTitle, ToQString("Новые цены"));
    QCOMPARE(shownText, ToQString("С 1 декабря новые цены.\nНа соки тоже."));
    QCOMPARE(journal->messagesAction()->text(), ToQString(" Сообщения (1) "));

    // Opened once, it stays read: plain in the list, IS_NEW 0 in base.sdb.
    test::whenModalOpens<MessagesDialog>([&](MessagesDialog* d) {
        secondLook = messageRows(d);
        QTest::keyClick(d->list(), Qt::Key_Escape);
    });
    test::TapMenuItem(journal->menuBar(), "  ...  ", " Сообщения (1) ");
    QCOMPARE(secondLook,
             (QStringList{ToQString("План на неделю | 07.12.2026 08:30 | bold"),
                          ToQString("Новые цены | 01.12.2026 09:00 | plain"),
                          ToQString("Старое сообщение без темы | 20.11.2026 | plain")}));
    auto q = Query("select GUID, IS_NEW from MY_MESSAGES order by GUID");
    QVERIFY(q);
    QStringList stored;
    for (q->First(); !q->AtEnd(); q->Next())
        stored << QString::fromStdString(q->Cell(0) + "=" + q->Cell(1));
    QCOMPARE(stored, (QStringList{"M1=0", "M2=1", "M3=0"}));

    // Read all, the command shows no count; a new message from the office brings it back on
    // the next load.
    exec("update MY_MESSAGES set IS_NEW=0");
    journal->loadRows(kDay, kDay);
    QCOMPARE(journal->messagesAction()->text(), ToQString(" Сообщения "));
    exec(
        "insert into MY_MESSAGES (GUID, M_DATE, S_TITLE, S_BODY, IS_NEW) values "
        "('M4', '2026-12-08', 'Ещё', '', 1)");
    journal->loadRows(kDay, kDay);
    QCOMPARE(journal->messagesAction()->text(), ToQString(" Сообщения (1) "));
    QCOMPARE(m_boxes->texts(), std::vector<std::string>{});
}

// The exchange's line never widens the handheld's window: a text longer than the window takes
// a second line, a short one stays on one, an empty one hides it.
void JournalWindowTest::exchangeStatusBreaksWithinTheWindow() {
    auto journal = makeJournal();
    journal->resize(240, 320);
    journal->show();
    QVERIFY(QTest::qWaitForWindowExposed(journal.get()));
    QPushButton* status = journal->exchangeStatus();
    const int line = status->fontMetrics().lineSpacing();
    const struct {
        const char* text;
        int lines;
    } cases[] = {
        {"Ждут отправки: 2", 1},
        {"Обмен 23:05: Не удалось соединиться с сервером.", 2},
    };
    for (const auto& c : cases) {
        journal->setExchangeStatus(ToQString(c.text));
        QTRY_VERIFY(status->isVisible());
        QTRY_COMPARE(status->height(), status->heightForWidth(status->width()));
        QCOMPARE(journal->width(), 240);
        QVERIFY2(status->geometry().right() < 240, c.text);
        QVERIFY2(status->height() >= c.lines * line && status->height() < (c.lines + 1) * line,
                 c.text);
    }
    journal->setExchangeStatus(QString());
    QVERIFY(!status->isVisible());
}

QTEST_MAIN(JournalWindowTest)
#include "JournalWindowTest.moc"
