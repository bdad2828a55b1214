// The order document screens as the agent meets them: the journal opens the editor, the
// editor the pickers and the keypad; everything runs through the real windows offscreen on
// a real base.sdb, and the stored document is checked in its tables.
#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <memory>

#include "core/db/Dates.h"
#include "core/db/Money.h"
#include "core/documents/RepeatOrder.h"
#include "screens/documents/ClientPicker.h"
#include "screens/documents/DocumentEditor.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/documents/QuantityDialog.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/Screens.h"
#include "screens/widgets/QtDates.h"
#include "screens/widgets/TwoLineDelegate.h"
#include "support/Controls.h"
#include "support/DocumentsSeed.h"
#include "support/FixedClock.h"
#include "support/ModalAnswer.h"
#include "support/Taps.h"
#include "support/TestSupport.h"

using namespace velmorant;
using test::AnswerKeypad;
using test::Column;
using test::TapMenu;

namespace {

const std::string kAskSave = "Документ изменен. Сохранить?";

// Chooses the client found by typing `start` in the client picker that opens next.
void AnswerClientPicker(const QString& start) {
    test::whenModalOpens<ClientPicker>([start](ClientPicker* p) {
        test::TypeText(p->searchField(), start);
        TapMenu(p->menuBar(), "[ Выбрать ]");
        if (p->isVisible()) TapMenu(p->menuBar(), "[ Отмена ]");  // refused: give up
    });
}

void SelectTab(DocumentEditor* e, int index) {
    QTabBar* bar = e->tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    QCOMPARE(e->tabs()->currentIndex(), index);
}

void SelectFolder(TGoodsPicker* p, const QString& name) {
    QTest::mouseClick(p->folderBar(), Qt::LeftButton);
    const auto found = p->folderTree()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) qFatal("no folder %s", qPrintable(name));
    p->folderTree()->setCurrentItem(found.first());
    QTest::mouseClick(p->findChild<QPushButton*>(QStringLiteral("dropDownOk")), Qt::LeftButton);
}

bool MenuShown(DocumentEditor* e, const char* caption) {
    QAction* a = e->menuBar()->findCommand(QString::fromUtf8(caption));
    return a && e->menuBar()->buttonOf(a)->isVisible();
}

QImage IconImage(const QIcon& icon) {
    return icon.pixmap(QSize(16, 12)).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class EditorFlowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void newDocumentShowsAnEmptyHeader_data();
    void newDocumentShowsAnEmptyHeader();
    void typicalDayFromNewDocumentToTheJournal();
    void forbiddenClientIsRefused();
    void closingAChangedDocumentAsks_data();
    void closingAChangedDocumentAsks();
    void quantityWithoutSumsShowsNoPrice();
    void sentDocumentIsShownButNotSaved();
    void loadingAddsTheSumColumnBeforeShowing_data();
    void loadingAddsTheSumColumnBeforeShowing();
    void documentReadInPartIsNotOpened();
    void longClientNameShowsItsBeginning();
    void goodsFoundOrOrderedBeforeComeBackToTheEditor();
    void repeatOpensAnUnsavedCopyAtTodaysPrices();
    void screenshots();

private:
    JournalWindow* openJournal();
    DocumentEditor* openNewDocument();

    test::FixedClock m_clock;
    std::unique_ptr<test::TempProgramFolder> m_folder;
    std::unique_ptr<test::RecordingNotifier> m_notifier;
    std::unique_ptr<JournalWindow> m_journal;
};

void EditorFlowTest::init() {
    m_folder = std::make_unique<test::TempProgramFolder>();
    m_notifier = std::make_unique<test::RecordingNotifier>();
    test::SeedClients();
    test::SeedGoods();
}

void EditorFlowTest::cleanup() {
    m_journal.reset();  // takes any editor left open with it
    m_notifier.reset();
    m_folder.reset();
}

JournalWindow* EditorFlowTest::openJournal() {
    m_journal = std::make_unique<JournalWindow>(ProgramScreens(m_clock), m_clock);
    m_journal->resize(240, 320);
    m_journal->show();
    if (!QTest::qWaitForWindowExposed(m_journal.get())) qFatal("journal not shown");
    return m_journal.get();
}

DocumentEditor* EditorFlowTest::openNewDocument() {
    if (!m_journal) openJournal();
    TapMenu(m_journal->menuBar(), " Новый ");
    auto* e = qobject_cast<DocumentEditor*>(m_journal->lastEditor());
    if (!e || !QTest::qWaitForWindowExposed(e)) qFatal("no editor");
    return e;
}

void EditorFlowTest::newDocumentShowsAnEmptyHeader_data() {
    QTest::addColumn<QString>("useSums");
    QTest::addColumn<QString>("docPage");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("tab");
    QTest::newRow("defaults") << ""
                              << "" << 3 << 0;
    QTest::newRow("sums on") << "1"
                             << "0" << 4 << 0;
    QTest::newRow("lines page first") << "2"
                                      << "1" << 3 << 1;
}

void EditorFlowTest::newDocumentShowsAnEmptyHeader() {
    QFETCH(QString, useSums);
    QFETCH(QString, docPage);
    QFETCH(int, columns);
    QFETCH(int, tab);
    test::SetOption("UseSUMS", useSums.toStdString());
    test::SetOption("DocPage", docPage.toStdString());
    test::SetOption("Client", "Покупатель");
    test::SetOption("Table1", "Товары");

    DocumentEditor* e = openNewDocument();
    QCOMPARE(e->windowTitle(), QString("Заявка"));
    QCOMPARE(e->statusLabel()->text(), QString("новый документ"));
    QCOMPARE(e->datePicker()->date(), ToQDate(m_clock.Today()));
    QVERIFY(e->clientField()->text().isEmpty());
    QVERIFY(e->noteField()->toPlainText().isEmpty());
    QCOMPARE(e->linesList()->topLevelItemCount(), 0);
    QCOMPARE(e->linesList()->columnCount(), columns);
    QCOMPARE(e->tabs()->currentIndex(), tab);
    QCOMPARE(e->tabs()->tabText(1), QString(" Товары "));
    QCOMPARE(e->findChild<QLabel*>(QStringLiteral("clientLabel"))->text(), QString("Покупатель:"));
    QCOMPARE(e->findChild<QLabel*>(QStringLiteral("dateLabel"))->text(), QString("Дата отгрузки:"));
    // "Подбор" and its separator only on the lines tab; the rest always.
    for (int t : {0, 1}) {
        SelectTab(e, t);
        QCOMPARE(MenuShown(e, "Подбор"), t == 1);
        QCOMPARE(MenuShown(e, "|"), t == 1);
        QVERIFY(MenuShown(e, "Ок") && MenuShown(e, "Записать") && MenuShown(e, " X "));
    }
    QVERIFY(m_notifier->shown().empty());
}

void EditorFlowTest::typicalDayFromNewDocumentToTheJournal() {
    test::SetOption("UseSUMS", "1");
    JournalWindow* journal = openJournal();
    QCOMPARE(journal->documentList()->model()->columnCount(), 5);

    // A new document; the client is found by typing the start of its name.
    DocumentEditor* e = openNewDocument();
    AnswerClientPicker("ооо р");
    QTest::mouseClick(e->findChild<QToolButton*>(QStringLiteral("clientButton")), Qt::LeftButton);
    QCOMPARE(e->clientField()->text(), QString("ООО Ромашка"));
    QCOMPARE(e->clientInfo()->text(), QString("ул. Садовая, 1\nтел. 22-33-44"));

    // Goods in two folders, quantities typed on the keypad.
    SelectTab(e, DocumentEditor::kLinesTab);
    test::whenModalOpens<TGoodsPicker>([](TGoodsPicker* p) {
        test::TapRow(p->goodsList(), 0);  // Квас in the first folder
        AnswerKeypad({"2"});
        TapMenu(p->menuBar(), " ВВОД ");
        SelectFolder(p, "Бакалея");
        test::TapRow(p->goodsList(), 0);  // Рис
        AnswerKeypad({"1", ".", "5"});
        TapMenu(p->menuBar(), " ВВОД ");
        TapMenu(p->menuBar(), " [ Ок ] ");
    });
    TapMenu(e->menuBar(), "Подбор");
    QCOMPARE(Column(e->linesList(), 1), (QStringList{"Квас", "Рис"}));
    QCOMPARE(Column(e->linesList(), 2), (QStringList{"2.00", "1.50"}));
    QCOMPARE(Column(e->linesList(), 3), (QStringList{"70.00", "120.00"}));

    // "Ок" writes the document and closes the editor; the journal lists it in state 1.
    QSignalSpy loads(journal, &JournalWindow::rowsLoaded);
    QPointer<DocumentEditor> first(e);
    TapMenu(e->menuBar(), "Ок");
    QTRY_VERIFY(!first);
    QCOMPARE(loads.count(), 1);
    QCOMPARE(journal->rowGuids().size(), size_t(1));
    QTableView* list = journal->documentList();
    QCOMPARE(test::CellText(list, 0, 2), QString("ООО Ромашка"));
    QCOMPARE(test::CellText(list, 0, 3), QString("3.5"));
    QCOMPARE(test::CellText(list, 0, 4), QString("190.00"));
    QCOMPARE(IconImage(test::CellIcon(list, 0, 0)),
             journal->stateImages().image(1).convertToFormat(QImage::Format_ARGB32));
    const std::string guid = journal->rowGuids()[0];
    QCOMPARE(guid.size(), size_t(36));
    auto heads = test::queryRows("select DOC_STATE, CLI_GUID, ORD_LINES from DOC_HEADS");
    QCOMPARE(heads, (std::vector<std::vector<std::string>>{{"1", "C-ROMASHKA", "2"}}));

    // Reopened: Квас set to 0 on the keypad, then "Подбор" + OK drops the line.
    list->selectRow(0);
    TapMenu(journal->menuBar(), " Редакт. ");
    auto* again = qobject_cast<DocumentEditor*>(journal->lastEditor());
    // A new editor: the first is gone (its address may well be used again, so it is not
    // compared with the new one's).
    QVERIFY(again && !first);
    QVERIFY(QTest::qWaitForWindowExposed(again));
    QCOMPARE(again->statusLabel()->text(), QString("документ записан"));
    SelectTab(again, DocumentEditor::kLinesTab);
    bool priceShown = false;
    AnswerKeypad({"0"}, &priceShown);
    test::TapRow(again->linesList(), 0, true);
    QVERIFY(priceShown);
    QCOMPARE(Column(again->linesList(), 2), (QStringList{"", "1.50"}));
    QCOMPARE(Column(again->linesList(), 3), (QStringList{"", "120.00"}));
    QStringList offered;
    test::whenModalOpens<TGoodsPicker>([&offered](TGoodsPicker* p) {
        offered = Column(p->goodsList(), 1);  // Напитки: Квас and Вода, neither chosen now
        TapMenu(p->menuBar(), " [ Ок ] ");
    });
    TapMenu(again->menuBar(), "Подбор");
    QCOMPARE(offered, (QStringList{"", ""}));
    QCOMPARE(Column(again->linesList(), 1), QStringList{"Рис"});
    QPointer<DocumentEditor> second(again);
    TapMenu(again->menuBar(), "Ок");
    QTRY_VERIFY(!second);
    QCOMPARE(test::CellText(list, 0, 3), QString("1.5"));
    QCOMPARE(test::CellText(list, 0, 4), QString("120.00"));
    QCOMPARE(test::queryRows("select G_GUID, G_WT from DOC_ORDERS where DOC_ID='" + guid + "'"),
             (std::vector<std::vector<std::string>>{{"G-RICE", "1.5"}}));

    // A double tap on the journal row opens it as well; closing it unchanged asks nothing.
    const QPoint at = test::CellRect(list, 0, 2).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    auto* third = qobject_cast<DocumentEditor*>(journal->lastEditor());
    QVERIFY(third && !second);
    QCOMPARE(third->clientField()->text(), QString("ООО Ромашка"));
    QPointer<DocumentEditor> thirdGuard(third);
    TapMenu(third->menuBar(), " X ");
    QTRY_VERIFY(!thirdGuard);
    for (const auto& m : m_notifier->shown()) QVERIFY2(m.text != kAskSave, m.text.c_str());
}

void EditorFlowTest::forbiddenClientIsRefused() {
    DocumentEditor* e = openNewDocument();
    AnswerClientPicker("ИП");
    QTest::mouseClick(e->findChild<QToolButton*>(QStringLiteral("clientButton")), Qt::LeftButton);
    QCOMPARE(m_notifier->texts(),
             std::vector<std::string>{"На выбранного клиента отгрузка запрещена!"});
    QVERIFY(e->clientField()->text().isEmpty());
    QVERIFY(e->document().CLI_GUID.empty());
    QVERIFY(!e->document().Modified);
    // Nothing changed, so " X " closes without a question.
    QPointer<DocumentEditor> guard(e);
    TapMenu(e->menuBar(), " X ");
    QTRY_VERIFY(!guard);
    QCOMPARE(m_notifier->shown().size(), size_t(1));
}

void EditorFlowTest::closingAChangedDocumentAsks_data() {
    QTest::addColumn<QString>("change");  // "note", "client", "date"
    QTest::addColumn<int>("answer");      // MessageAnswer
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("stored");  // documents in DOC_HEADS afterwards
    QTest::addColumn<QString>("warning");
    QTest::addColumn<bool>("viaExit");
    const int yes = int(MessageAnswer::Yes), no = int(MessageAnswer::No),
              cancel = int(MessageAnswer::Cancel);
    // "X" closes the editor; the journal's "Выход" closes it first, then asks to quit.
    for (const bool viaExit : {false, true}) {
        const QString how = viaExit ? QStringLiteral("Выход: ") : QString();
        // The name's bytes must outlive the call to newRow(), which copies them.
        const auto row = [&](const char* name) { return (how + QString(name)).toUtf8(); };
        QTest::newRow(row("yes saves").constData())
            << "client" << yes << true << true << 1 << "" << viaExit;
        QTest::newRow(row("yes without client stays").constData())
            << "note" << yes << true << false << 0 << "Не заполнено поле \"Клиент\"." << viaExit;
        QTest::newRow(row("no drops").constData())
            << "client" << no << true << true << 0 << "" << viaExit;
        QTest::newRow(row("cancel stays").constData())
            << "note" << cancel << true << false << 0 << "" << viaExit;
        QTest::newRow(row("date alone asks nothing").constData())
            << "date" << yes << false << true << 0 << "" << viaExit;
    }
}

void EditorFlowTest::closingAChangedDocumentAsks() {
    QFETCH(QString, change);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, closed);
    QFETCH(int, stored);
    QFETCH(QString, warning);
    QFETCH(bool, viaExit);

    JournalWindow* journal = openJournal();
    int quits = 0;
    journal->setQuitHandler([&quits] { ++quits; });
    DocumentEditor* e = openNewDocument();
    if (change == "client") {
        AnswerClientPicker("Ив");
        QTest::mouseClick(e->findChild<QToolButton*>(QStringLiteral("clientButton")),
                          Qt::LeftButton);
        QCOMPARE(e->clientField()->text(), QString("Иванов И.И."));
    } else if (change == "note") {
        e->noteField()->setFocus();
        QTest::keyClicks(e->noteField(), "call first");
    } else {
        e->datePicker()->setDate(ToQDate(m_clock.Today()).addDays(3));
    }
    QSignalSpy loads(journal, &JournalWindow::rowsLoaded);
    m_notifier->clear();
    m_notifier->queueAnswer(static_cast<MessageAnswer>(answer));
    QPointer<DocumentEditor> guard(e);
    if (viaExit) {
        m_notifier->queueAnswer(MessageAnswer::Yes);  // "Завершить работу?"
        journal->menuBar()->findCommand(QStringLiteral("Выход"))->trigger();
    } else {
        TapMenu(e->menuBar(), " X ");
    }

    std::vector<std::string> expected;
    if (asked) expected.push_back(kAskSave);
    if (!warning.isEmpty()) expected.push_back(warning.toStdString());
    if (viaExit && closed) expected.push_back("Завершить работу?");
    QTRY_COMPARE(m_notifier->texts(), expected);  // "Выход" closes through a posted event
    QCOMPARE(quits, viaExit && closed ? 1 : 0);
    if (asked) {
        QCOMPARE(m_notifier->shown()[0].buttons, MessageButtons::YesNoCancel);
        QCOMPARE(m_notifier->shown()[0].icon, MessageIcon::Question);
    }
    if (closed) {
        QTRY_VERIFY(!guard);
        QCOMPARE(loads.count(), 1);  // the journal refreshed
    } else {
        QTest::qWait(20);
        QVERIFY(guard && guard->isVisible());
        QCOMPARE(loads.count(), 0);
    }
    QCOMPARE(int(test::queryRows("select GUID from DOC_HEADS").size()), stored);
    QCOMPARE(int(journal->rowGuids().size()), closed ? stored : 0);
}

void EditorFlowTest::quantityWithoutSumsShowsNoPrice() {
    DocumentEditor* e = openNewDocument();
    AnswerClientPicker("Ив");
    QTest::mouseClick(e->findChild<QToolButton*>(QStringLiteral("clientButton")), Qt::LeftButton);
    SelectTab(e, DocumentEditor::kLinesTab);
    test::whenModalOpens<TGoodsPicker>([](TGoodsPicker* p) {
        QCOMPARE(p->goodsList()->columnCount(), 2);
        test::TapRow(p->goodsList(), 1);
        AnswerKeypad({"4"});
        TapMenu(p->menuBar(), " ВВОД ");
        TapMenu(p->menuBar(), " [ Ок ] ");
    });
    TapMenu(e->menuBar(), "Подбор");
    QCOMPARE(e->linesList()->columnCount(), 3);
    bool priceShown = true;
    AnswerKeypad({"7"}, &priceShown);
    test::TapRow(e->linesList(), 0, true);
    QVERIFY(!priceShown);
    QCOMPARE(Column(e->linesList(), 2), QStringList{"7.00"});

    // "Записать" keeps the window; closing afterwards asks nothing.
    TapMenu(e->menuBar(), "Записать");
    QVERIFY(e->isVisible());
    QCOMPARE(e->statusLabel()->text(), QString("документ записан"));
    auto rows = test::queryRows("select ORD_WEIGHT, ORD_SUMM from DOC_HEADS");
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(TextToMoney(rows[0][0], -1), Money(70000));
    QCOMPARE(TextToMoney(rows[0][1], -1), Money(0));
    QPointer<DocumentEditor> guard(e);
    TapMenu(e->menuBar(), " X ");
    QTRY_VERIFY(!guard);
    for (const auto& m : m_notifier->shown()) QVERIFY2(m.text != kAskSave, m.text.c_str());
}

void EditorFlowTest::sentDocumentIsShownButNotSaved() {
    const std::string today = DateToSqlText(m_clock.Today());
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
        "STR_PRIM) values ('D-SENT', " +
        today + ", 2, " + today +
        ", 'C-IVANOV', 'Иванов И.И.', 'old note'); "
        "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
        "values ('D-SENT', 0, 'G-RICE', 'Рис', 4, 80)");
    JournalWindow* journal = openJournal();
    journal->refresh();
    QCOMPARE(journal->rowGuids(), std::vector<std::string>{"D-SENT"});
    journal->documentList()->selectRow(0);
    TapMenu(journal->menuBar(), " Редакт. ");
    auto* e = qobject_cast<DocumentEditor*>(journal->lastEditor());
    QVERIFY(e && QTest::qWaitForWindowExposed(e));
    QCOMPARE(e->statusLabel()->text(), QString("документ передан в БД"));
    QCOMPARE(e->noteField()->toPlainText(), QString("old note"));
    QCOMPARE(Column(e->linesList(), 1), QStringList{"Рис"});
    QCOMPARE(Column(e->linesList(), 2), QStringList{"4.00"});

    // Every control stays editable; only saving is refused, and the window stays open.
    e->noteField()->setFocus();
    QTest::keyClicks(e->noteField(), " new");
    TapMenu(e->menuBar(), "Ок");
    QCOMPARE(m_notifier->texts(),
             std::vector<std::string>{"Изменение запрещено.\r\nДокумент выгружен в центр. БД."});
    QVERIFY(e->isVisible());
    QCOMPARE(test::queryRows("select STR_PRIM from DOC_HEADS"),
             (std::vector<std::vector<std::string>>{{"old note"}}));

    // Closing asks; No drops the change.
    m_notifier->clear();
    m_notifier->queueAnswer(MessageAnswer::No);
    QPointer<DocumentEditor> guard(e);
    TapMenu(e->menuBar(), " X ");
    QTRY_VERIFY(!guard);
    QCOMPARE(m_notifier->texts(), std::vector<std::string>{kAskSave});
}

void EditorFlowTest::loadingAddsTheSumColumnBeforeShowing_data() {
    QTest::addColumn<QString>("useSums");
    QTest::addColumn<QString>("guid");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QStringList>("sums");
    QTest::addColumn<QStringList>("messages");
    const QStringList none;
    QTest::newRow("stored, sums on") << "1"
                                     << "D-1" << 4 << QStringList{"320.00"} << none;
    QTest::newRow("stored, sums off") << "0"
                                      << "D-1" << 3 << none << none;
    QTest::newRow("header gone, sums on")
        << "1"
        << "D-GONE" << 4 << none << QStringList{"Не удалось прочитать заголовок."};
    QTest::newRow("new document, sums on") << "1"
                                           << "" << 3 << none << none;
    QTest::newRow("null GUID, sums on")
        << "1"
        << " 00000000-0000-0000-0000-000000000000 " << 3 << none << none;
}

// The editor itself decides, as soon as it has read a stored document, whether it shows the
// sum column; a new document leaves that to the showing of the window. Either way it starts
// on the header tab.
void EditorFlowTest::loadingAddsTheSumColumnBeforeShowing() {
    QFETCH(QString, useSums);
    QFETCH(QString, guid);
    QFETCH(int, columns);
    QFETCH(QStringList, sums);
    QFETCH(QStringList, messages);
    test::SetOption("UseSUMS", useSums.toStdString());
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME) "
        "values ('D-1', \"2008-03-15\", 1, \"2008-03-15\", 'C-IVANOV', 'Иванов И.И.'); "
        "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
        "values ('D-1', 0, 'G-RICE', 'Рис', 4, 80)");
    DocumentEditor editor(m_clock);
    QCOMPARE(editor.tabs()->currentIndex(), int(DocumentEditor::kHeaderTab));
    editor.LoadDocument(guid.toStdString());
    QVERIFY(!editor.isVisible());
    QCOMPARE(editor.linesList()->columnCount(), columns);
    QCOMPARE(editor.tabs()->currentIndex(), int(DocumentEditor::kHeaderTab));
    if (columns == 4) QCOMPARE(Column(editor.linesList(), 3), sums);
    QStringList shown;
    for (const auto& text : m_notifier->texts()) shown << QString::fromStdString(text);
    QCOMPARE(shown, messages);
}

void EditorFlowTest::documentReadInPartIsNotOpened() {
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
        "STR_PRIM) values ('D-PART', '2026-01-05', 1, '2026-01-05', 'C-IVANOV', 'Иванов И.И.', "
        "''); insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
        "('D-PART', 0, 'G-RICE', 'Рис', 4, 80), ('D-PART', 1, 'G-KVASS', 'Квас', 2, 35)");
    JournalWindow* journal = openJournal();
    journal->setPeriod(0, 0);
    journal->refresh();
    QCOMPARE(journal->rowGuids(), std::vector<std::string>{"D-PART"});
    journal->documentList()->selectRow(0);
    // The lines cannot be read: the failure is shown and no editor opens, so nothing can save
    // the header with an empty list of lines over the stored ones.
    test::ExecOrFail("alter table DOC_ORDERS rename to DOC_ORDERS_AWAY");
    m_notifier->clear();
    TapMenu(journal->menuBar(), " Редакт. ");
    QVERIFY(!journal->lastEditor());
    QCOMPARE(m_notifier->texts(), std::vector<std::string>{"no such table: DOC_ORDERS"});
    test::ExecOrFail("alter table DOC_ORDERS_AWAY rename to DOC_ORDERS");
    QCOMPARE(test::queryRows("select count(*) from DOC_ORDERS where DOC_ID='D-PART'"),
             (std::vector<std::vector<std::string>>{{"2"}}));
}

void EditorFlowTest::longClientNameShowsItsBeginning() {
    const QString name = QStringLiteral(
        "Общество с ограниченной ответственностью \"Торговый дом Северная Ромашка и партнёры\"");
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME) values "
        "('D-LONG', '2026-01-05', 1, '2026-01-05', 'C-ROMASHKA', '" +
        name.toStdString() + "')");
    DocumentEditor editor(m_clock);
    editor.resize(240, 294);
    QVERIFY(editor.LoadDocument("D-LONG"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(editor.clientField()->text(), name);
    QVERIFY(editor.clientField()->fontMetrics().horizontalAdvance(name) >
            editor.clientField()->width());
    QCOMPARE(editor.clientField()->cursorPosition(), 0);
}

void EditorFlowTest::goodsFoundOrOrderedBeforeComeBackToTheEditor() {
    test::SetOption("UseSUMS", "1");
    DocumentEditor* e = openNewDocument();
    AnswerClientPicker("ромаш");  // a word in the middle of the name
    QTest::mouseClick(e->findChild<QToolButton*>(QStringLiteral("clientButton")), Qt::LeftButton);
    QCOMPARE(e->clientField()->text(), QString("ООО Ромашка"));

    // Rice is in another folder than the one that opens; typing finds it.
    SelectTab(e, DocumentEditor::kLinesTab);
    bool earlierEnabled = true;
    test::whenModalOpens<TGoodsPicker>([&](TGoodsPicker* p) {
        earlierEnabled = p->earlierAction()->isEnabled();  // nothing stored for the client yet
        p->goodsList()->setFocus();
        test::TypeText(p->goodsList(), "Р");
        test::TypeText(p->searchField(), "иС");
        AnswerKeypad({"3"});
        QTest::keyClick(p->searchField(), Qt::Key_Return);
        QTest::keyClick(p->searchField(), Qt::Key_Escape);
        TapMenu(p->menuBar(), " [ Ок ] ");
    });
    TapMenu(e->menuBar(), "Подбор");
    QVERIFY(earlierEnabled);
    QCOMPARE(Column(e->linesList(), 1), QStringList{"Рис"});
    QCOMPARE(Column(e->linesList(), 2), QStringList{"3.00"});
    QCOMPARE(Column(e->linesList(), 3), QStringList{"240.00"});
    TapMenu(e->menuBar(), "Записать");
    QPointer<DocumentEditor> first(e);
    TapMenu(e->menuBar(), " X ");
    QTRY_VERIFY(!first);

    // The next document for the client offers what it ordered before.
    DocumentEditor* next = openNewDocument();
    AnswerClientPicker("ООО");
    QTest::mouseClick(next->findChild<QToolButton*>(QStringLiteral("clientButton")),
                      Qt::LeftButton);
    SelectTab(next, DocumentEditor::kLinesTab);
    QString offered;
    test::whenModalOpens<TGoodsPicker>([&](TGoodsPicker* p) {
        test::TapMenuItem(p->menuBar(), "  ...  ", " Ранее ");
        const QModelIndex top = p->foundList()->model()->index(0, 0);
        offered =
            top.data().toString() + " " + top.data(TwoLineDelegate::kSecondLineRole).toString();
        AnswerKeypad({"2"});
        TapMenu(p->menuBar(), " ВВОД ");
        TapMenu(p->menuBar(), " [ Ок ] ");
    });
    TapMenu(next->menuBar(), "Подбор");
    QCOMPARE(offered, QString::fromStdString("Рис " + DateToText(m_clock.Today()) + ": 3.00"));
    QCOMPARE(Column(next->linesList(), 2), QStringList{"2.00"});
    QCOMPARE(Column(next->linesList(), 3), QStringList{"160.00"});
}

void EditorFlowTest::repeatOpensAnUnsavedCopyAtTodaysPrices() {
    test::SetOption("UseSUMS", "1");
    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
        "STR_PRIM, ORD_WEIGHT, ORD_SUMM) values ('D-SRC', '2026-01-10', 2, '2026-01-09', "
        "'C-ROMASHKA', 'Ромашка', 'к обеду', 3, 100);"
        "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
        "('D-SRC', 0, 'G-KVASS', 'Квас', 2, 30), ('D-SRC', 1, 'G-GONE', 'Морс клюквенный', 1, 40),"
        "('D-SRC', 2, 'G-JUICE', 'Сок', 0, 50), ('D-SRC', 3, 'G-WATER', 'Вода', 1, 18)");
    JournalWindow* journal = openJournal();
    journal->setPeriod(0, 0);
    journal->loadRows(0, 0);
    QCOMPARE(journal->rowGuids(), std::vector<std::string>{"D-SRC"});
    journal->documentList()->selectRow(0);

    test::TapMenuItem(journal->menuBar(), "  ...  ", " Повторить ");
    auto* e = qobject_cast<DocumentEditor*>(journal->lastEditor());
    QVERIFY(e);
    QVERIFY(QTest::qWaitForWindowExposed(e));
    QCOMPARE(e->statusLabel()->text(), QString("новый документ"));
    QCOMPARE(e->datePicker()->date(), ToQDate(m_clock.Today()));
    QCOMPARE(e->clientField()->text(), QString("ООО Ромашка"));
    QCOMPARE(e->clientInfo()->text(), QString("ул. Садовая, 1\nтел. 22-33-44"));
    QCOMPARE(e->noteField()->toPlainText(), QString());
    QCOMPARE(Column(e->linesList(), 1), (QStringList{"Квас", "Вода"}));
    QCOMPARE(Column(e->linesList(), 2), (QStringList{"2.00", "1.00"}));
    QCOMPARE(Column(e->linesList(), 3), (QStringList{"70.00", "20.50"}));  // today's prices
    // Said over the new order once it is in front.
    QTRY_COMPARE(m_notifier->texts(),
                 std::vector<std::string>{MissingGoodsMessage({"Морс клюквенный"})});
    QCOMPARE(test::queryRows("select count(*) from DOC_HEADS"),
             (std::vector<std::vector<std::string>>{{"1"}}));

    // Closing it unsaved asks; No leaves nothing behind.
    m_notifier->clear();
    m_notifier->queueAnswer(MessageAnswer::No);
    QPointer<DocumentEditor> dropped(e);
    TapMenu(e->menuBar(), " X ");
    QTRY_VERIFY(!dropped);
    QCOMPARE(m_notifier->texts(), std::vector<std::string>{kAskSave});
    QCOMPARE(test::queryRows("select count(*) from DOC_HEADS"),
             (std::vector<std::vector<std::string>>{{"1"}}));

    // Saved, the copy is a document of its own in state 1, written today.
    journal->documentList()->selectRow(0);
    test::TapMenuItem(journal->menuBar(), "  ...  ", " Повторить ");
    auto* copy = qobject_cast<DocumentEditor*>(journal->lastEditor());
    QVERIFY(copy);  // the first copy is gone: its address may well be reused
    QPointer<DocumentEditor> saved(copy);
    TapMenu(copy->menuBar(), "Ок");
    QTRY_VERIFY(!saved);
    const std::string today = DateToIso(m_clock.Today());
    const auto heads = test::queryRows(
        "select GUID, DOC_STATE, DOC_DATE, REC_TIME, CLI_GUID, ORD_SUMM from DOC_HEADS where "
        "GUID<>'D-SRC'");
    QCOMPARE(heads.size(), size_t(1));
    QCOMPARE(heads[0][0].size(), size_t(36));
    QCOMPARE(heads[0][1], std::string("1"));
    QCOMPARE(heads[0][2], today);
    QCOMPARE(heads[0][3], today);
    QCOMPARE(heads[0][4], std::string("C-ROMASHKA"));
    QCOMPARE(heads[0][5], std::string("90.5"));
    QCOMPARE(test::queryRows("select G_GUID, G_WT, PRICE from DOC_ORDERS where DOC_ID='" +
                             heads[0][0] + "' order by ORDER_ID"),
             (std::vector<std::vector<std::string>>{{"G-KVASS", "2.0", "35.0"},
                                                    {"G-WATER", "1.0", "20.5"}}));
    QCOMPARE(test::queryRows("select count(*), max(DOC_STATE) from DOC_ORDERS, DOC_HEADS where "
                             "DOC_ID='D-SRC' and GUID='D-SRC'"),
             (std::vector<std::vector<std::string>>{{"4", "2"}}));
    // The journal lists both; without a selected row the command does nothing.
    QCOMPARE(journal->rowGuids().size(), size_t(2));
    journal->documentList()->clearSelection();
    QPointer<QWidget> last(journal->lastEditor());
    test::TapMenuItem(journal->menuBar(), "  ...  ", " Повторить ");
    QCOMPARE(journal->lastEditor(), last.data());
}

void EditorFlowTest::screenshots() {
    // Every screen grabbed as the agent sees it; written to VELMORANT_SCREENSHOT_DIR when set.
    test::SetOption("UseSUMS", "1");
    test::TempDir out;
    const QString target = qEnvironmentVariable("VELMORANT_SCREENSHOT_DIR");
    if (!target.isEmpty()) QVERIFY(QDir().mkpath(target));
    QStringList written;
    auto save = [&](QWidget* w, const char* name) {
        const QImage image = w->grab().toImage();
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 150 && image.height() >= 100);
        const QString file = QString::fromLatin1(name) + ".png";
        QVERIFY(image.save(QString::fromStdString(out.str()) + "/" + file));
        if (!target.isEmpty()) QVERIFY(image.save(QDir(target).filePath(file)));
        written << file;
    };

    test::ExecOrFail(
        "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME) values "
        "('D-EARLIER', '2026-11-30', 2, '2026-11-28', 'C-ROMASHKA', 'ООО Ромашка');"
        "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) values "
        "('D-EARLIER', 0, 'G-JUICE', 'Сок', 6, 55), ('D-EARLIER', 1, 'G-RICE', 'Рис', 2, 80)");
    DocumentEditor* e = openNewDocument();
    test::whenModalOpens<ClientPicker>([&](ClientPicker* p) {
        test::TypeText(p->searchField(), "ООО");
        save(p, "client-picker");
        TapMenu(p->menuBar(), "[ Выбрать ]");
    });
    QTest::mouseClick(e->findChild<QToolButton*>(QStringLiteral("clientButton")), Qt::LeftButton);
    e->noteField()->setPlainText("Доставка до 12:00");
    save(e, "editor-header");

    SelectTab(e, DocumentEditor::kLinesTab);
    test::whenModalOpens<TGoodsPicker>([&](TGoodsPicker* p) {
        p->resize(240, 300);
        test::TapRow(p->goodsList(), 0);
        AnswerKeypad({"2"});
        TapMenu(p->menuBar(), " ВВОД ");
        test::TapRow(p->goodsList(), 1);
        AnswerKeypad({"5"});
        TapMenu(p->menuBar(), " ВВОД ");
        save(p, "goods-picker");
        QTest::mouseClick(p->folderBar(), Qt::LeftButton);
        save(p, "goods-picker-folders");
        QTest::keyClick(p->folderTree(), Qt::Key_Escape);
        // Letters typed in the list search the whole catalogue.
        p->goodsList()->setFocus();
        test::TypeText(p->goodsList(), "с");
        save(p, "goods-picker-search");
        QTest::keyClick(p->searchField(), Qt::Key_Escape);
        TapMenu(p->menuBar(), " [ Ок ] ");
    });
    TapMenu(e->menuBar(), "Подбор");
    save(e, "editor-lines");

    // What the client ordered before.
    test::whenModalOpens<TGoodsPicker>([&](TGoodsPicker* p) {
        p->resize(240, 300);
        test::TapMenuItem(p->menuBar(), "  ...  ", " Ранее ");
        save(p, "goods-picker-earlier");
        TapMenu(p->menuBar(), " [X] Отмена");
    });
    TapMenu(e->menuBar(), "Подбор");

    for (const auto& [size, name] :
         {std::pair{QSize(240, 320), "keypad-portrait"}, {QSize(320, 240), "keypad-landscape"}}) {
        TQuantityDialog d(25000, 123400);
        d.setScreenSize(size);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        save(&d, name);
    }
    QCOMPARE(written.size(), 9);
}

QTEST_MAIN(EditorFlowTest)
#include "EditorFlowTest.moc"
