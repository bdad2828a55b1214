// The exchange that runs by itself (option AutoExchange), through the program's real windows,
// offscreen, against the office simulator's FTP server on 127.0.0.1: the minute is made short,
// nothing is tapped to start it, and the journal's status line tells how it went.
#include <QJsonArray>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "TypicalDay.h"
#include "core/documents/Document.h"
#include "screens/documents/DocumentEditor.h"
#include "screens/exchange/AutoExchange.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/journal/JournalTexts.h"
#include "screens/journal/JournalWindow.h"
#include "screens/widgets/MenuBar.h"

namespace fs = std::filesystem;
using namespace velmorant;
using namespace velmorant::test;

namespace {

constexpr int kWaitMs = 30000;

// The IDs of the documents in the export the office received last.
QStringList ReceivedIds(const TypicalDay& day) {
    QString error;
    const auto received = ReadReceived(day.officeFolder / "PDATo1C.xml", &error);
    if (!received) {
        qWarning("%s", qPrintable(error));
        return {};
    }
    QStringList ids;
    for (const auto& doc : (*received)["documents"].toArray())
        ids << doc.toObject()["ID"].toString();
    return ids;
}

std::string StateOf(const std::string& guid) {
    return Value("select DOC_STATE from DOC_HEADS where GUID='" + guid + "'", "DOC_STATE");
}

}  // namespace

class AutoExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void exchangesByItselfWhileTheJournalIsIdle();
};

void AutoExchangeTest::initTestCase() {
    const CommandResult r = runCommand(std::string(kPython) + " -c 'import pyftpdlib'");
    if (r.exitCode != 0) QFAIL("/usr/bin/python3 lacks pyftpdlib: run tools/install-deps.sh test");
}

void AutoExchangeTest::exchangesByItselfWhileTheJournalIsIdle() {
    TypicalDay day;
    StartDay(day);
    if (QTest::currentTestFailed()) return;
    AnsweringBoxes& boxes = *day.boxes;
    JournalWindow& journal = *day.journal;
    QPushButton* status = journal.exchangeStatus();
    QVERIFY(status);
    QVERIFY(!status->isVisible());  // off: the journal is as it always was

    // An order waiting to be sent, written as the editor writes it.
    TDocHead doc;
    NewDocument(doc, day.clock);
    doc.CLI_GUID = kClientGuid;
    doc.CLI_NAME = kClientName.toStdString();
    doc.Lines.push_back(
        {Value("select GUID from SPR_GOODS where IS_FOLDER=0 limit 1", "GUID"), "", "2.00", 0, ""});
    QVERIFY(SaveDocument(doc, day.clock));
    const std::string first = doc.GUID;
    journal.refresh();
    QCOMPARE(journal.rowGuids().size(), std::size_t(1));

    // The agent has it open in the editor when the automatic exchange is switched on: a
    // minute of 300 ms, a period of five.
    journal.documentList()->selectRow(0);
    QVERIFY(Tap(day.journalBar, ToQString(journal_text::kMenuEdit)));
    QPointer<QWidget> editor = journal.lastEditor();
    QVERIFY(editor);
    QTRY_VERIFY(editor->isVisible());
    auto* automatic = journal.findChild<AutoExchange*>();
    QVERIFY(automatic);
    automatic->setTiming({std::chrono::milliseconds(300), std::chrono::milliseconds(150)});
    QVERIFY(SetOption("AutoExchange", "5"));
    automatic->reloadOption();
    QSignalSpy started(automatic, &AutoExchange::runStarted);
    QSignalSpy finished(automatic, &AutoExchange::runFinished);
    QTRY_VERIFY(status->isVisible());
    QCOMPARE(status->text(), ToQString("Ждут отправки: 1"));

    // Five minutes' worth with the editor open: nothing starts.
    QTest::qWait(1500);
    QCOMPARE(started.count(), 0);
    QVERIFY(!fs::exists(day.officeFolder / "PDATo1C.xml"));

    // The editor closes: the document reaches the office and comes back taken, untouched.
    editor->close();
    QTRY_VERIFY(editor.isNull());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWaitMs);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(ReceivedIds(day), QStringList{ToQString(first)});
    QCOMPARE(StateOf(first), std::string("2"));
    QCOMPARE(StateIcon(journal, 0), 2);
    QCOMPARE(status->text(), ToQString("Обмен 10:20 — отправлено 1"));
    QVERIFY2(boxes.shown().empty(), qPrintable(boxes.texts().join(" | ")));

    // The office goes away; a repeated order saved meanwhile waits, and the line says why.
    const std::uint16_t port = day.office->port();
    day.office.reset();
    QVERIFY(Choose(day.journalBar, day.more, ToQString(journal_text::kMenuRepeat)));
    QPointer<DocumentEditor> repeat = qobject_cast<DocumentEditor*>(journal.lastEditor());
    QVERIFY(repeat);
    QTRY_VERIFY(repeat->isVisible());
    QVERIFY(Tap(repeat->menuBar(), ToQString("Ок")));
    QTRY_VERIFY(repeat.isNull());
    QCOMPARE(journal.rowGuids().size(), std::size_t(2));
    std::string second;
    for (const std::string& guid : journal.rowGuids()) {
        if (guid != first) second = guid;
    }
    QCOMPARE(StateOf(second), std::string("1"));
    // The run's last log entry, as the automatic exchange screen's report quotes it.
    QTRY_COMPARE_WITH_TIMEOUT(
        status->text(), ToQString("Обмен 10:20: Не удалось соединиться с сервером."), kWaitMs);
    QVERIFY(automatic->schedule().Failures() >= 1);
    QCOMPARE(StateOf(second), std::string("1"));
    QVERIFY2(boxes.shown().empty(), qPrintable(boxes.texts().join(" | ")));

    // Back on the same port: the next attempt sends the waiting order.
    std::vector<std::string> args = day.serverArgs;
    args.insert(args.end(), {"--port", std::to_string(port)});
    day.office = std::make_unique<OfficeServer>(day.officeRoot, args);
    QVERIFY2(day.office->error().empty(), day.office->error().c_str());
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), ToQString("Обмен 10:20 — отправлено 1"), kWaitMs);
    QCOMPARE(StateOf(second), std::string("2"));
    QCOMPARE(ReceivedIds(day), QStringList{ToQString(second)});
    QCOMPARE(automatic->schedule().Failures(), 0);

    // The agent starts an exchange by hand while the next automatic one runs: refused.
    QPointer<ExchangeScreen> manual;
    bool busyDuringRun = false;
    // Only the first run after this point: a later one (once the screen closes) must not open
    // another screen under the same name.
    QMetaObject::Connection once;
    once = connect(automatic, &AutoExchange::runStarted, this, [&] {
        disconnect(once);
        QTimer::singleShot(0, &journal, [&] {
            busyDuringRun = automatic->running();
            journal.openExchange();
            manual = qobject_cast<ExchangeScreen*>(journal.lastExchangeScreen());
            if (manual) manual->sendCommand()->trigger();
        });
    });
    const int runs = finished.count();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() > runs, kWaitMs);
    QVERIFY(busyDuringRun);
    QVERIFY(manual);
    QCOMPARE(boxes.texts(), QStringList{ToQString(exchange_text::kBusy)});
    QCOMPARE(boxes.shown()[0].icon, MessageIcon::Warning);
    QVERIFY(LogTexts(manual).isEmpty());  // it never started
    QCOMPARE(finished.last().at(0).toBool(), true);
    // With the exchange screen open nothing more starts.
    const int before = started.count();
    QTest::qWait(2000);
    QCOMPARE(started.count(), before);
    manual->close();
    QTRY_VERIFY(manual.isNull());

    // Tapping the line shows the last run's log: right after a run, a period before the next.
    const int closedAt = finished.count();
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() > closedAt, kWaitMs);
    QTRY_VERIFY(status->isVisible());
    QTest::mouseClick(status, Qt::LeftButton);
    QPointer<ExchangeScreen> shown = qobject_cast<ExchangeScreen*>(journal.lastExchangeScreen());
    QVERIFY(shown);
    QTRY_VERIFY(shown->isVisible());
    const QStringList log = LogTexts(shown);
    QVERIFY2(log.contains(ToQString("Отправка завершена.")), qPrintable(log.join(" | ")));
    QCOMPARE(log.last(), ToQString("Загрузка завершена."));
    QVERIFY(!shown->busy());
    shown->close();
    QTRY_VERIFY(shown.isNull());
}

QTEST_MAIN(AutoExchangeTest)
#include "AutoExchangeTest.moc"
