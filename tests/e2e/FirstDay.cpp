// The first day: a new order written in the editor with both pickers and the keypad, sent
// with "FTP - отправить", the office's answer imported; the journal and the editor afterwards.
#include <QDate>
#include <QJsonArray>
#include <QPointer>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include "TypicalDay.h"
#include "core/db/Dates.h"
#include "core/db/Options.h"
#include "core/documents/Document.h"
#include "screens/documents/ClientPicker.h"
#include "screens/documents/DocumentEditor.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalTexts.h"
#include "screens/journal/JournalWindow.h"
#include "screens/widgets/MenuBar.h"
#include "screens/widgets/QtDates.h"
#include "support/Controls.h"
#include "support/ModalAnswer.h"

namespace fs = std::filesystem;

namespace velmorant::test {

void FirstDay(TypicalDay& day) {
    AnsweringBoxes& boxes = *day.boxes;
    // 1. " Новый ": the editor on a new document dated today.
    QVERIFY(Tap(day.journalBar, ToQString(journal_text::kMenuNew)));
    QPointer<DocumentEditor> editor = qobject_cast<DocumentEditor*>(day.journal->lastEditor());
    QVERIFY(editor);
    QTRY_VERIFY(editor->isVisible());
    QCOMPARE(editor->datePicker()->date(), ToQDate(day.clock.Today()));
    QCOMPARE(editor->statusLabel()->text(), ToQString(kDocStatusNew));
    // Shipment tomorrow: the document still belongs to the day it was written.
    const QDate shipment = ToQDate(day.clock.Today()).addDays(1);
    editor->datePicker()->setFocus();
    editor->datePicker()->setDate(shipment);

    // 2. The client, found by typing the start of its name in any letter case.
    QString current;
    whenModalOpens<ClientPicker>([&current](ClientPicker* picker) {
        TypeText(picker->searchField(), ToQString("ао \"ке"));
        if (QTreeWidgetItem* item = picker->list()->currentItem()) current = item->text(0);
        Tap(picker->menuBar(), ToQString("[ Выбрать ]"));
        if (picker->isVisible()) Tap(picker->menuBar(), ToQString("[ Отмена ]"));
    });
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("clientButton")),
                      Qt::LeftButton);
    QCOMPARE(current, kClientName);
    QCOMPARE(editor->clientField()->text(), kClientName);
    QCOMPARE(editor->document().CLI_GUID, kClientGuid);
    editor->noteField()->setFocus();
    TypeText(editor->noteField(), kNote);

    // Goods in two folders, quantities typed on the keypad.
    QTabBar* tabs = editor->tabs()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(DocumentEditor::kLinesTab).center());
    QCOMPARE(editor->tabs()->currentIndex(), int(DocumentEditor::kLinesTab));
    QStringList picked;
    bool pickerOk = false;
    whenModalOpens<TGoodsPicker>([&picked, &pickerOk](TGoodsPicker* p) {
        const QString enter = ToQString(" ВВОД ");
        if (!OpenFolder(p, ToQString("Крупы")) || !SelectRowByTap(p->goodsList(), 0)) return;
        picked << p->goodsList()->topLevelItem(0)->text(0);
        AnswerKeypad({"3"});
        Tap(p->menuBar(), enter);
        if (!OpenFolder(p, ToQString("Молоко")) || !SelectRowByTap(p->goodsList(), 1)) return;
        picked << p->goodsList()->topLevelItem(1)->text(0);
        AnswerKeypad({"1", "2", ".", "5"});
        Tap(p->menuBar(), enter);
        pickerOk = Tap(p->menuBar(), ToQString(" [ Ок ] "));
    });
    QVERIFY(Tap(editor->menuBar(), ToQString("Подбор")));
    QVERIFY(pickerOk);
    QCOMPARE(picked.size(), 2);
    QCOMPARE(Column(editor->linesList(), 1), picked);
    QCOMPARE(Column(editor->linesList(), 2), (QStringList{"3.00", "12.50"}));
    double total = 0;
    for (const QString& sum : Column(editor->linesList(), 3)) total += sum.toDouble();
    QVERIFY(total > 0);

    // "Ок" writes the document and closes the editor; the journal shows it in state 1.
    QVERIFY(Tap(editor->menuBar(), ToQString("Ок")));
    QTRY_VERIFY(editor.isNull());
    QCOMPARE(day.loads->count(), 2);
    QCOMPARE(day.journal->rowGuids().size(), std::size_t(1));
    day.guid = day.journal->rowGuids()[0];
    const std::string& guid = day.guid;
    QCOMPARE(guid.size(), std::size_t(36));
    QTableView* list = day.journal->documentList();
    QCOMPARE(test::CellText(list, 0, JournalWindow::kClientColumn), kClientName);
    QCOMPARE(test::CellText(list, 0, JournalWindow::kDateColumn),
             shipment.toString(QStringLiteral("dd.MM")));
    QCOMPARE(test::CellText(list, 0, JournalWindow::kWeightColumn), QStringLiteral("15.5"));
    QCOMPARE(test::CellText(list, 0, JournalWindow::kSumColumn), QString::number(total, 'f', 2));
    QCOMPARE(StateIcon(*day.journal, 0), 1);
    day.doc = "GUID='" + guid + "'";
    const std::string& doc = day.doc;
    QCOMPARE(Value("select DOC_STATE from DOC_HEADS where " + doc, "DOC_STATE"), std::string("1"));
    QCOMPARE(Value("select REC_TIME from DOC_HEADS where " + doc, "REC_TIME"),
             TodayIso(day.clock).toStdString());
    QCOMPARE(Count("DOC_ORDERS", "DOC_ID='" + guid + "'"), 2);
    QVERIFY(boxes.shown().empty());

    // The agent opens the document again and leaves it open while the exchange runs.
    day.journal->documentList()->selectRow(0);
    QVERIFY(Tap(day.journalBar, ToQString(journal_text::kMenuEdit)));
    QPointer<DocumentEditor> held = qobject_cast<DocumentEditor*>(day.journal->lastEditor());
    QVERIFY(held);
    QTRY_VERIFY(held->isVisible());
    QCOMPARE(held->statusLabel()->text(), ToQString(kDocStatusWritten));

    // A directory entry spoiled on the device: the office's answer puts it right again.
    const std::string other = "GUID='912F6DC0-0114-4592-9A26-6CDF6E053CF3'";
    const std::string otherName = Value("select ANAME from SPR_CLIENTS where " + other, "ANAME");
    QVERIFY(Exec("update SPR_CLIENTS set ANAME='spoilt' where " + other));

    // 3. The exchange screen from the journal's menu: "FTP - отправить" exports and uploads
    // (with FTPAuto the screen starts by itself); 4. the question is answered Yes: the
    // office's answer is downloaded and imported. By hand the screen stays open with its log
    // until " Закрыть "; automatically it reports success and closes.
    boxes.answer(ToQString(exchange_text::kFetchQuestion), MessageAnswer::Yes);
    ExchangeFromJournal(day);
    if (QTest::currentTestFailed()) return;
    QStringList expected = {ToQString(exchange_text::kFetchQuestion)};
    if (day.automatic) expected << day.success;
    QCOMPARE(boxes.texts(), expected);
    QCOMPARE(boxes.shown()[0].icon, MessageIcon::Question);
    QCOMPARE(boxes.shown()[0].buttons, MessageButtons::YesNo);
    QCOMPARE(boxes.shown()[0].caption, ToQString(journal_text::kCaption));
    if (!day.login.isEmpty()) {
        QVERIFY2(ToQString(day.office->output())
                     .contains(ToQString("USER '%1' logged in").arg(day.login)),
                 day.office->output().c_str());
    }

    // The office received the document, in a file its strict XML reader accepts.
    day.sent = day.officeFolder / (day.zip ? "PDATo1C.zip" : "PDATo1C.xml");
    const fs::path& sent = day.sent;
    QVERIFY2(fs::exists(sent), day.office->output().c_str());
    QCOMPARE(readFile(sent).substr(0, 2) == "PK", day.zip);
    QString error;
    std::optional<QJsonObject> received = ReadReceived(sent, &error);
    QVERIFY2(received, qPrintable(error));
    QCOMPARE((*received)["attributes"].toObject()["LastLoadDate"].toString().trimmed(), QString());
    QJsonArray docs = (*received)["documents"].toArray();
    QCOMPARE(docs.size(), 1);
    const QJsonObject sentDoc = docs[0].toObject();
    QCOMPARE(sentDoc["ID"].toString(), ToQString(guid));
    QCOMPARE(sentDoc["CLIENT"].toString(), ToQString(kClientGuid));
    QCOMPARE(sentDoc["CLIENTNAME"].toString(), kClientName);
    QCOMPARE(sentDoc["PRIM"].toString(), kNote);
    QCOMPARE(sentDoc["DOCDATE"].toString(), shipment.toString(QStringLiteral("yyyy-MM-dd")));
    QCOMPARE(sentDoc["DATEREC"].toString(), TodayIso(day.clock));
    QCOMPARE(sentDoc["LINES"].toString(), QStringLiteral("2"));
    const QJsonArray rows = sentDoc["rows"].toArray();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].toObject()["NNAME"].toString(), picked[0]);
    QCOMPARE(rows[0].toObject()["NCOUNT"].toString().toDouble(), 3.0);
    QCOMPARE(rows[1].toObject()["NNAME"].toString(), picked[1]);
    QCOMPARE(rows[1].toObject()["NCOUNT"].toString().toDouble(), 12.5);

    // The answer came through the local exchange folder and did its work: the document is
    // taken (state 2), the directories are refreshed, the time of the load is kept.
    const fs::path exchange = day.program.path() / "exchange";
    QVERIFY(fs::exists(exchange / "ToPDA.sqd"));
    QCOMPARE(fs::exists(exchange / "ToPDA.zip"), day.zip);
    QCOMPARE(Value("select DOC_STATE from DOC_HEADS where " + doc, "DOC_STATE"), std::string("2"));
    QCOMPARE(Value("select ANAME from SPR_CLIENTS where " + other, "ANAME"), otherName);
    QCOMPARE(Count("SPR_GOODS"), 500);
    day.lastLoad = GetOption("LLD_Def", "");
    const std::string& lastLoad = day.lastLoad;
    QVERIFY2(ToQString(lastLoad).startsWith(ToQString(DateToText(day.clock.Today()))),
             lastLoad.c_str());

    // 5. "Обновить": the journal shows the document in state 2.
    int before = day.loads->count();
    QVERIFY(Choose(day.journalBar, day.more, ToQString(journal_text::kMenuRefresh)));
    QCOMPARE(day.loads->count(), before + 1);
    QCOMPARE(day.journal->rowGuids(), std::vector<std::string>{guid});
    QCOMPARE(StateIcon(*day.journal, 0), 2);

    // The editor held open during the exchange may no longer save the document...
    boxes.clear();
    held->noteField()->setFocus();
    TypeText(held->noteField(), ToQString(" later"));
    QVERIFY(Tap(held->menuBar(), ToQString("Записать")));
    QCOMPARE(boxes.texts(), QStringList{ToQString(kDocSaveRefused)});
    QCOMPARE(boxes.shown()[0].icon, MessageIcon::Warning);
    QCOMPARE(held->statusLabel()->text(), ToQString(kDocStatusSent));
    QCOMPARE(ToQString(Value("select STR_PRIM from DOC_HEADS where " + doc, "STR_PRIM")), kNote);
    // ... and closing it drops the change when the agent says so.
    boxes.answer(ToQString("Документ изменен. Сохранить?"), MessageAnswer::No);
    QVERIFY(Tap(held->menuBar(), ToQString(" X ")));
    QTRY_VERIFY(held.isNull());
    QCOMPARE(boxes.texts().size(), 2);

    // Opened afresh, the taken document is refused as well, and closes without a question.
    boxes.clear();
    day.journal->documentList()->selectRow(0);
    QVERIFY(Tap(day.journalBar, ToQString(journal_text::kMenuEdit)));
    editor = qobject_cast<DocumentEditor*>(day.journal->lastEditor());
    QVERIFY(editor);
    QTRY_VERIFY(editor->isVisible());
    QCOMPARE(editor->statusLabel()->text(), ToQString(kDocStatusSent));
    QCOMPARE(editor->clientField()->text(), kClientName);
    QVERIFY(Tap(editor->menuBar(), ToQString("Записать")));
    QCOMPARE(boxes.texts(), QStringList{ToQString(kDocSaveRefused)});
    QVERIFY(Tap(editor->menuBar(), ToQString(" X ")));
    QTRY_VERIFY(editor.isNull());
    QCOMPARE(boxes.texts().size(), 1);
    QCOMPARE(Value("select DOC_STATE from DOC_HEADS where " + doc, "DOC_STATE"), std::string("2"));
    QCOMPARE(Count("DOC_ORDERS", "DOC_ID='" + guid + "'"), 2);
}

}  // namespace velmorant::test
